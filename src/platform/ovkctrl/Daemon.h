// The control daemon: start-up, the accept loop and shut-down.
//
// Start-up, in this order: the plug-in loader (lt_dlinit); the pid-file lock and the log
// (before anything is published, so that a second instance stops there); the system object
// COMD (a failure ends the daemon with status 1); the system resources from
// "/etc/ovksys.res" (a failure is logged and the daemon goes on); the trace file
// "/var/log/ovkctrl.trc" when the core's trace options ask for it (bit 0x02: "trace = yes" in
// the configuration file, or the loaded "traceOptions"); the polling thread; then
// the Unix socket "/tmp/.ovkctrl" (mode 0666) and, where the service "ovkctrl" (or the one
// given with -t) is known, TCP.
// Every path is taken under $OVK_ROOT.
//
// Each accepted connection gets its own thread (ClientConnection). SIGTERM and SIGINT end the
// daemon: the adapters are stopped and polled until they have stopped, every client is
// disconnected, the socket is removed, the trace file is written out, and the status is 0.
#pragma once

#include <list>
#include <memory>
#include <string>
#include <vector>

#include "DaemonOptions.h"

class ClientConnection;
class COMD;
class CoreProcessHost;
class Server;
class ServicePublisher;
class SlotPoller;

class Daemon {
public:
    static constexpr const char* kName = "ovkctrl";
    static constexpr const char* kSocketPath = "/tmp/.ovkctrl";
    static constexpr const char* kResourceFile = "/etc/ovksys.res";
    static constexpr const char* kTraceFile = "/var/log/ovkctrl.trc";
    static constexpr unsigned kTraceFileOption = 0x02; // bit of the core's trace options
    // Longest wait at shut-down for the client threads to end.
    static constexpr int kClientStopLimitMs = 3000;

    explicit Daemon(const DaemonOptions& options);
    ~Daemon();
    Daemon(const Daemon&) = delete;
    Daemon& operator=(const Daemon&) = delete;

    // Runs the daemon to its end and returns the process's exit status.
    int Run();

    // Takes the connection waiting on `listener` (called when it is readable).
    void Accept(ServicePublisher& listener);

private:
    bool StartServer();
    bool StartCore();
    // Opens the trace file when the core's trace options now ask for it (once opened it
    // stays open to the end).
    void UpdateTraceFile();
    bool Publish();
    void Serve();
    void Shutdown();
    // Deletes the connections whose thread has ended (all of them with `all`).
    void Reap(bool all);

    DaemonOptions options_;
    std::unique_ptr<Server> server_;
    COMD* comd_ = nullptr;
    std::unique_ptr<CoreProcessHost> host_;
    std::unique_ptr<SlotPoller> poller_;
    std::vector<std::unique_ptr<ServicePublisher>> listeners_;
    std::list<std::unique_ptr<ClientConnection>> clients_;
    std::string socketPath_;
    bool published_ = false;
    bool abandoned_ = false; // a client thread was left behind at shut-down
};
