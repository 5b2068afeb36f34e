// The observer pair that carries the touch screen's status from the device access object
// through the facade to the application.
#pragma once

#include <mutex>
#include <vector>

class Observer {
public:
    virtual ~Observer() = default;
    virtual void Update() = 0;
};

class Observable {
public:
    enum { MAX_OBSERVERS = 20 };

    Observable() = default;
    virtual ~Observable() = default;

    // False when 20 are registered; the same observer may be added twice.
    virtual bool AddObserver(Observer* observer);
    // Removes the first registration of the observer; the order stays.
    virtual bool DeleteObserver(Observer* observer);
    // Update() of every observer in registration order; how many were called. An observer
    // removed meanwhile waits until the notification has ended.
    int NotifyObserver();
    int GetState() const { return m_nState; }
    int SetState(int state) {
        m_nState = state;
        return m_nState;
    }
    int GetNumObservers();

private:
    Observer* m_observers[MAX_OBSERVERS] = {};
    int m_nNumObservers = 0;
    int m_nState = 0;
    std::recursive_mutex m_lock;
};

// Sleeps whole seconds.
void delay(unsigned long seconds);

// Tests: while a recorder is set, delay() records the seconds asked for and returns at once.
namespace tutilTest {
void RecordDelays(std::vector<unsigned long>* recorder);
}
