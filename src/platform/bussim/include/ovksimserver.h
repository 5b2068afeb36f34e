// The sockets of ovksim: the driver nodes ($OVK_ROOT/dev/ovkdcs and /dev/ovkikbps) as Unix
// sockets that the core's driver-node helpers forward their requests to, and the control
// socket that takes scripting commands, one line each. A node connection may instead watch
// for input: it gets a byte after every scripting command, which may have given a station
// something to say. One thread per connection; the
// accepting thread polls the listening sockets and a wake-up pipe.
#pragma once

#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ovksimcontrol.h"
#include "ovksimlog.h"

namespace bussim {

class SimServer {
public:
    struct Paths {
        std::string node;     // served with the bus engine
        std::string keyboard; // served with the keyboard node
        std::string control;  // scripting commands
    };
    static constexpr int kMaxConnections = 64;
    static constexpr size_t kMaxCommandLine = 1024;

    SimServer(Simulator& simulator, SimLog& log);
    // Stops and removes the socket files.
    ~SimServer();
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    // Creates the three listening sockets (a stale socket file is replaced, any other file
    // at a path is an error); false with the reason.
    bool start(const Paths& paths, std::string& error);
    // Serves until a byte arrives on wakeFd().
    void run();
    // Once run() has returned (or instead of it): closes the listening sockets and every
    // connection, waits for their threads and removes the socket files.
    void stop();
    // Writing a byte here (from a signal handler, for one) ends run().
    int wakeFd() const { return wake_[1]; }

private:
    enum class Kind { Node, Keyboard, Control };
    struct Connection {
        std::thread thread;
        int fd = -1;
        std::atomic<bool> done{false};
    };

    bool listenOn(const std::string& path, int& fd, std::string& error);
    void accept(int listener, Kind kind);
    void serveNode(Connection* c, DevNodeBackend& node, const char* systemPath);
    void serveControl(Connection* c);
    // A node connection that asked to watch for input: kept until the peer closes it.
    void watch(Connection* c);
    // Tells every watcher that a station may have input (one byte each, never waiting).
    void notifyWatchers();
    void reap(bool all);
    void closeListeners();

    Simulator& simulator_;
    SimLog& log_;
    std::vector<std::string> bound_; // socket files made by this server
    int node_ = -1, keyboard_ = -1, control_ = -1;
    int wake_[2] = {-1, -1};
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::list<std::unique_ptr<Connection>> connections_;
    std::mutex watchMutex_;
    std::vector<int> watchers_;
};

} // namespace bussim
