// The daemon keeps serving through what clients do to it: clients that end and initialise
// again at once, a resource file that is a FIFO, a client that goes away before its reply.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "DaemonTest.h"
#include "RawClient.h"
#include "ovkwire.h"

namespace {

class Robustness : public DaemonTest {};

// Resident memory of a process in kB, from /proc (-1 when it cannot be read).
long RssKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, 6, "VmRSS:") == 0) return std::atol(line.c_str() + 6);
    return -1;
}

// Opens of names that no resource names: OVK_NAME_OPENS, else 100,000.
int NameOpens() {
    const char* env = std::getenv("OVK_NAME_OPENS");
    return env && std::atoi(env) > 0 ? std::atoi(env) : 100000;
}

// Re-initialise cycles per process: OVK_REINIT_CYCLES for a long run (750 makes the 3,000
// cycles of four processes), a short run otherwise.
int Cycles() {
    const char* env = std::getenv("OVK_REINIT_CYCLES");
    return env && std::atoi(env) > 0 ? std::atoi(env) : 100;
}

// PosTerm and at once PosInitialize again, in four processes at once: every initialise
// succeeds, although the daemon may not yet have seen the end of the old connection.
TEST_F(Robustness, InitialiseRightAfterTermAlwaysSucceeds) {
    constexpr int kProcesses = 4;
    const int cycles = Cycles();
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int failures = 0;
            for (int i = 0; i < cycles; ++i) {
                if (Initialize("reinit") != 0) ++failures;
                PosTerm();
            }
            _exit(failures > 255 ? 255 : failures);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "failed initialisations in one process";
    }
}

// A FIFO named as the resource file reads as an unreadable file (an empty database): the
// initialise is answered, and SIGTERM still ends the daemon promptly.
TEST_F(Robustness, FifoAsResourceFileHoldsNothing) {
    ASSERT_EQ(::mkfifo(root_.at("/etc/fifo.res").c_str(), 0644), 0);
    char appl[] = "fifoapp", res[] = "/etc/fifo.res";
    EXPECT_EQ(PosInitialize(appl, res, 0, 0, nullptr, 0), 0) << PosErrno();
    PosTerm();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(daemon_.Terminate(6000), 0) << daemon_.Output();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(6));
    expectRunning_ = false;
}

// Device and class names that no resource file holds go to the resource manager as one
// placeholder: a client opening ever new names does not grow the daemon.
TEST_F(Robustness, OpensOfUnknownNamesKeepTheDaemonsMemoryFlat) {
    // By hand: the client library itself refuses class names it does not know.
    RawClient c;
    ASSERT_TRUE(c.Connect(daemon_.SocketPath()));
    ASSERT_EQ(c.Initialize("names").rc, 0);
    auto openAll = [&c](int from, int to) {
        for (int i = from; i < to; ++i) {
            char name[32], cls[32];
            std::snprintf(name, sizeof name, "dev%07d", i);
            std::snprintf(cls, sizeof cls, "Cls%07d", i);
            ovkwire::OpenRequest open;
            open.deviceName = name;
            open.className = cls;
            // Nothing has that name: every open is answered, and refused.
            if (c.Call(std::move(open)).rc != -1) return false;
        }
        return true;
    };
    // Warm up first: the connection's buffers and the allocator's pools settle.
    ASSERT_TRUE(openAll(0, 5000));
    const long before = RssKb(daemon_.pid());
    ASSERT_GT(before, 0);
#ifdef OVK_SANITIZED
    // The sanitizer holds freed memory back for a while: the figure would mean nothing.
    ASSERT_TRUE(openAll(5000, 10000));
    GTEST_SKIP() << "memory is not measured in a sanitizer build";
#endif
    ASSERT_TRUE(openAll(5000, 5000 + NameOpens()));
    const long after = RssKb(daemon_.pid());
    EXPECT_LT(after - before, 1024) << before << " kB before, " << after << " kB after";
}

// A client that stops taking what the daemon sends before its reply comes: the log says the
// client went away, not that a reply timed out.
TEST_F(Robustness, ClientGoneBeforeItsReplyIsLoggedAsGone) {
    RawClient c;
    ASSERT_TRUE(c.Connect(daemon_.SocketPath()));
    ASSERT_EQ(c.Initialize("goneclient").rc, 0);
    ASSERT_EQ(::shutdown(c.fd(), SHUT_RD), 0);
    ASSERT_TRUE(c.SendRequest(ovkwire::VersionRequest{}));
    EXPECT_TRUE(daemon_.WaitForOutput("went away before taking its reply")) << daemon_.Output();
    EXPECT_EQ(daemon_.Output().find("write time-out"), std::string::npos) << daemon_.Output();
}

} // namespace
