// The control daemon of the build, started in the foreground under the test's private
// OVK_ROOT (a TempRoot that is alive). The root gets the staging root's libraries and
// configuration; the daemon's output goes to "/daemon.log" in the root.
#pragma once

#include <string>
#include <vector>

#include "ChildProcess.h"
#include "TempRoot.h"

class DaemonUnderTest {
public:
    explicit DaemonUnderTest(const TempRoot& root);
    // A daemon still running is killed.
    ~DaemonUnderTest() = default;

    // Starts it (with `-f` and `args`) and waits until its socket accepts connections.
    bool Start(int timeoutMs = 30000, const std::vector<std::string>& args = {});
    // SIGTERM, then the exit status (see ChildProcess::Wait).
    int Terminate(int timeoutMs = 20000);
    void Kill();
    bool Running() { return child_.Running(); }
    pid_t pid() const { return child_.pid(); }

    std::string SocketPath() const { return root_.at("/tmp/.ovkctrl"); }
    std::string Output() const { return root_.read("/daemon.log"); }
    // Waits until the daemon's output holds `text` (it goes on starting after its Unix
    // socket accepts, e.g. it publishes TCP after that).
    bool WaitForOutput(const std::string& text, int timeoutMs = 10000) const;

    static std::string Program();
    // Lays out what a daemon needs under the root (done by the constructor).
    static void PrepareRoot(const TempRoot& root);

private:
    const TempRoot& root_;
    ChildProcess child_;
};
