// Selector: waits with poll(2) on the descriptors of registered Selectable objects and calls
// their handlers. Runs on one thread; handlers may add objects while it runs.
#pragma once

#include <vector>

class Selector;

// Something the Selector waits on. handleInput is called when the descriptor is readable
// (or hung up); a negative result, or an exception, removes and deletes the object.
class Selectable {
public:
    virtual ~Selectable() = default;
    virtual int getDescriptor() = 0;
    virtual int handleInput(Selector* selector) = 0;
};

class Selector {
public:
    Selector();
    // Removes and deletes every object still registered.
    virtual ~Selector();
    Selector(const Selector&) = delete;
    Selector& operator=(const Selector&) = delete;

    // Takes ownership of `s`.
    virtual void addSelectable(Selectable* s);
    virtual void setIdleHandler(void (*handler)(), int thresholdMs);
    virtual void setIdleHandler(void (*handler)());
    // Milliseconds without input before the idle handler runs; negative: wait without limit.
    virtual void setIdleThreshold(int ms);
    // The loop; returns only by ServerException: "select() failing: %s" after four failed
    // or idle waits in a row without an idle handler, "idle handler failing: %s? (errno)"
    // after four idle handler exceptions in a row.
    virtual void run();

    int count() const { return static_cast<int>(selectables_.size()); }

private:
    void drop(Selectable* s);

    std::vector<Selectable*> selectables_;
    void (*idleHandler_)() = nullptr;
    int idleThreshold_ = -1;
};
