// Server: the frame of a socket daemon. By its flags it turns the process into a daemon,
// takes the single-instance lock (pid file "/var/run/NAME.pid") and sends its output to the
// log "/var/log/NAME.log" (rotated to ".1" .. ".3"); then it runs a Selector. Every fixed path
// goes through ovkPath ($OVK_ROOT). Failures throw ServerException.
//
// Build the Server before publishing any socket: a second instance then fails with "server
// is already running" before it could replace the first one's Unix socket.
#pragma once

#include <string>

#include "Selector.h"

class Server {
public:
    enum Flags {
        DAEMONIZE = 1,    // become a daemon (turns on LOGGING as well)
        SINGLETON = 2,    // take the pid-file lock
        LOGGING = 4,      // standard output and error to the rotated log
    };

    Server(const std::string& name, int flags);
    virtual void addSelectable(Selectable* s);
    // Deletes the Selector (and its objects) and releases the pid-file lock.
    virtual ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;
    // Runs the Selector; returns only by ServerException.
    virtual void run();

    Selector& selector() { return selector_; }

    // Rotates "/var/log/NAME.log" to ".1" (".1" to ".2", ".2" to ".3", ".3" removed) and
    // opens a new one as standard output and error.
    static void initLogging(const std::string& name);
    // Detaches from the terminal: closes every descriptor, forks twice (the parents exit
    // with status 0), standard descriptors on "/dev/null", working directory "/".
    static void becomeDaemon();
    // Locks "/var/run/NAME.pid" for this Server and writes the process id into it.
    void acquireSingletonLock(const std::string& name);
    // True when another holder has the lock of "/var/run/NAME.pid".
    static bool singletonLockHeld(const std::string& name);

private:
    Selector selector_;
    int lockFd_ = -1;
};
