// Watches the bus driver node for input (chDevWatch) on a thread of its own and posts the
// polling thread's wake-up whenever the node has some, so that an event at a station is
// carried in the next round rather than after the idle interval. A node that cannot be
// watched, or that went away, is tried again every second.
#pragma once

#include <thread>

class NodeWatch {
public:
    static constexpr int kRetryMs = 1000;

    NodeWatch() = default;
    ~NodeWatch(); // Stop
    NodeWatch(const NodeWatch&) = delete;
    NodeWatch& operator=(const NodeWatch&) = delete;

    // False when no thread could be started (the poller then keeps its interval alone).
    bool Start(const char* nodePath);
    void Stop();

private:
    void Run();

    const char* path_ = nullptr;
    int stop_[2] = {-1, -1};
    std::thread thread_;
};
