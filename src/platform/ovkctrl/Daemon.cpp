#include "Daemon.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <malloc.h>
#include <ltdl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "COMD.h"
#include "ClientConnection.h"
#include "DaemonLog.h"
#include "PeerId.h"
#include "PosException.h"
#include "ProcessHost.h"
#include "Server.h"
#include "ServerException.h"
#include "ServicePublisher.h"
#include "SlotPoller.h"
#include "ovkhost.h"

namespace {

// SIGTERM and SIGINT reach the accept loop through a pipe: the handler only writes the
// signal's number into it.
int signalPipe[2] = {-1, -1};

void onSignal(int sig) {
    const int saved = errno;
    const unsigned char b = static_cast<unsigned char>(sig);
    if (signalPipe[1] >= 0 && ::write(signalPipe[1], &b, 1) < 0) {
        // The pipe is full: a signal is pending already.
    }
    errno = saved;
}

bool installSignals() {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    if (::sigaction(SIGTERM, &sa, nullptr) != 0 || ::sigaction(SIGINT, &sa, nullptr) != 0)
        return false;
    // A client that goes away while a reply is written is noticed by the write's result.
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

void closeSignals() {
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
    for (int& fd : signalPipe) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

// A listening socket of the daemon: readable means a client is waiting to be accepted.
class Listener : public ServicePublisher {
public:
    Listener(Daemon& daemon, const std::string& path) : ServicePublisher(path), daemon_(daemon) {}
    Listener(Daemon& daemon, const std::string& host, const std::string& service)
        : ServicePublisher(host, service), daemon_(daemon) {}
    int handleInput(Selector*) override {
        daemon_.Accept(*this);
        return 0;
    }

private:
    Daemon& daemon_;
};

} // namespace

Daemon::Daemon(const DaemonOptions& options) : options_(options) {}

Daemon::~Daemon() {
    Reap(true);
    listeners_.clear();
    closeSignals();
}

int Daemon::Run() {
    if (lt_dlinit() != 0) std::fprintf(stderr, "ovkctrl: lt_dlinit failed: %s\n", lt_dlerror());
    if (!StartServer()) return 1;
    if (!installSignals()) {
        daemonLog("cannot install the signal handlers: %s", std::strerror(errno));
        return 1;
    }
    daemonLog("starting (pid %d)", static_cast<int>(::getpid()));
    bool ok = StartCore();
    if (ok) ok = Publish();
    if (ok) {
        daemonLog("serving %s", socketPath_.c_str());
        Serve();
    }
    Shutdown();
    daemonLog(ok ? "ended" : "ended after a failed start-up");
    ovkhost::closeLog();
    return ok ? 0 : 1;
}

bool Daemon::StartServer() {
    int flags = Server::SINGLETON | Server::LOGGING;
    if (!options_.foreground) flags |= Server::DAEMONIZE;
    // In the foreground the log file takes the standard output and the standard error
    // stays where it was, so that every line goes to both.
    const int savedStderr = options_.foreground ? ::fcntl(2, F_DUPFD_CLOEXEC, 3) : -1;
    try {
        server_.reset(new Server(kName, flags));
    } catch (const ServerException& e) {
        std::fprintf(stderr, "ovkctrl: %s\n", e.what());
        if (savedStderr >= 0) ::close(savedStderr);
        return false;
    }
    if (savedStderr >= 0) {
        ::dup2(savedStderr, 2);
        ::close(savedStderr);
        daemonLogToBoth(true);
        ovkhost::setLogFile(ovkPath("/var/log/") + kName + ".log");
    }
    ovkhost::setLogToStderr(true);
    return true;
}

bool Daemon::StartCore() {
    try {
        comd_ = new COMD();
    } catch (const PosException& e) {
        daemonLog("cannot build the system object: %s", e.what());
        return false;
    } catch (const std::exception& e) {
        daemonLog("cannot build the system object: %s", e.what());
        return false;
    }
    UpdateTraceFile(); // "trace = yes" in the configuration file
    int rc;
    try {
        rc = comd_->BuildResourceDatabase(reinterpret_cast<const unsigned char*>(kName),
                                          reinterpret_cast<const unsigned char*>(kResourceFile),
                                          nullptr, 0);
    } catch (const std::exception& e) {
        daemonLog("system resources: %s", e.what());
        rc = 321;
    }
    if (rc != 0) daemonLog("system resources not loaded (error %d); going on with defaults", rc);
    UpdateTraceFile(); // or the loaded trace options ("traceOptions", OVK_TRACE_OPTIONS)
    host_.reset(new CoreProcessHost);
    poller_.reset(new SlotPoller);
    return poller_->Start();
}

void Daemon::UpdateTraceFile() {
    if (ovkhost::traceFileActive() || !comd_ || (comd_->GetTraceOptions() & kTraceFileOption) == 0)
        return;
    const std::string path = ovkPath(kTraceFile);
    if (ovkhost::startTraceFile(path))
        daemonLog("tracing to %s", path.c_str());
    else
        daemonLog("cannot create the trace file %s: %s", path.c_str(), std::strerror(errno));
}

bool Daemon::Publish() {
    socketPath_ = ovkPath(kSocketPath);
    if (socketPath_.size() >= sizeof(sockaddr_un::sun_path)) {
        daemonLog("cannot listen on %s: the path is too long for a Unix socket (at most %zu bytes)",
                  socketPath_.c_str(), sizeof(sockaddr_un::sun_path) - 1);
        return false;
    }
    try {
        listeners_.emplace_back(new Listener(*this, socketPath_));
    } catch (const ServerException& e) {
        daemonLog("cannot listen on %s: %s", socketPath_.c_str(), e.what());
        return false;
    }
    published_ = true;
    // Every local user's applications connect.
    if (::chmod(socketPath_.c_str(), 0666) != 0)
        daemonLog("cannot make %s writable for all: %s", socketPath_.c_str(), std::strerror(errno));
    const char* service = options_.tcpService.c_str();
    const uint16_t port = sostream::resolveService(service);
    if (port != sockbuf::INVALID_PORT && port != 0) {
        try {
            listeners_.emplace_back(new Listener(*this, "", service));
            daemonLog("serving TCP port %u", static_cast<unsigned>(port));
        } catch (const ServerException& e) {
            daemonLog("cannot listen on TCP service %s: %s", service, e.what());
        }
    } else if (options_.tcpService != kName && port != 0) {
        daemonLog("TCP service %s is not known: no TCP", service);
    }
    return true;
}

void Daemon::Accept(ServicePublisher& listener) {
    sockbuf* sb = listener.accept();
    if (!sb) {
        const int e = errno;
        if (e == EAGAIN || e == EWOULDBLOCK || e == ECONNABORTED || e == EPROTO) return;
        // Out of descriptors or memory: the connection stays queued; wait a moment before
        // trying again rather than spin on it.
        daemonLog("accept failed: %s", std::strerror(e));
        Reap(false);
        ::poll(nullptr, 0, 100);
        return;
    }
    std::unique_ptr<ClientConnection> client(
        new ClientConnection(sb, *host_, ClientProcessId(sb->getDescriptor())));
    if (!client->Start()) return; // the connection closes with it
    clients_.push_back(std::move(client));
}

void Daemon::Serve() {
    // Finished connections are reaped at least this often.
    constexpr int kReapIntervalMs = 1000;
    std::vector<pollfd> fds;
    fds.push_back(pollfd{signalPipe[0], POLLIN, 0});
    for (auto& l : listeners_) fds.push_back(pollfd{l->getDescriptor(), POLLIN, 0});
    for (;;) {
        for (pollfd& p : fds) p.revents = 0;
        const int n = ::poll(fds.data(), fds.size(), kReapIntervalMs);
        if (n < 0 && errno != EINTR) {
            daemonLog("poll failed: %s", std::strerror(errno));
            return;
        }
        if (n > 0 && fds[0].revents) {
            unsigned char sig = 0;
            if (::read(signalPipe[0], &sig, 1) == 1) {
                daemonLog("signal %d: shutting down", sig);
                return;
            }
        }
        for (size_t i = 1; n > 0 && i < fds.size(); ++i)
            if (fds[i].revents) listeners_[i - 1]->handleInput(nullptr);
        Reap(false);
    }
}

void Daemon::Reap(bool all) {
    bool freed = false;
    for (auto it = clients_.begin(); it != clients_.end();) {
        if (all || (*it)->Finished()) {
            it = clients_.erase(it); // joins the thread
            freed = true;
        } else {
            ++it;
        }
    }
    // What the ended connections' threads had allocated goes back to the system, so that
    // a burst of clients leaves no lasting mark.
    if (freed) ::malloc_trim(0);
}

void Daemon::Shutdown() {
    if (poller_ && !poller_->StopAdapters())
        daemonLog("adapters not stopped within %d ms", SlotPoller::kDefaultStopLimitMs);
    // Every client: its thread ends its process, then its connection. A thread that does
    // not end in time (stuck in a call that nothing can break off) is left behind, and so is
    // the core it may still be using: the daemon ends anyway.
    for (auto& c : clients_) c->Stop();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kClientStopLimitMs);
    auto running = [this] {
        return std::any_of(clients_.begin(), clients_.end(), [](const auto& c) { return !c->Finished(); });
    };
    while (running() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    for (auto& c : clients_) {
        if (c->Finished()) continue;
        daemonLog("process %d: its connection's thread does not end; leaving it behind", c->ProcessId());
        c.release();
        abandoned_ = true;
    }
    clients_.remove(nullptr);
    Reap(true);
    listeners_.clear();
    if (published_) ::unlink(socketPath_.c_str());
    published_ = false;
    poller_.reset();
    if (comd_ && !abandoned_) {
        comd_->Term();
        delete comd_;
        comd_ = nullptr;
    }
    if (ovkhost::traceFileActive()) ovkhost::stopTraceFile(); // written out and closed
}
