// Server: the pid-file lock, the rotated log, daemon mode, and a second instance that must
// leave the first one serving.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <fstream>
#include <thread>

#include "EchoServer.h"
#include "TempRoot.h"

using namespace echo;

namespace {

std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const ServerException& e) {
        return e.what();
    }
    return "";
}

bool exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

// Waits for a child and gives its exit status (-1 when it did not exit normally).
int reap(pid_t pid) {
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Polls until a Unix socket at `path` answers, at most 5 s.
int connectWhenUp(const std::string& path) {
    for (int i = 0; i < 500; ++i) {
        int fd = connectUnix(path);
        if (fd >= 0) return fd;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

// The start of a daemon as the control daemon does it: the Server first (taking the
// lock), then its Unix socket; then serve until killed. Runs in a child process.
[[noreturn]] void daemonMain(const std::string& name, int flags, const std::string& path) {
    int rc = 0;
    try {
        Server server(name, flags);
        std::printf("serving %s\n", name.c_str());
        std::fflush(stdout);
        Shared shared;
        server.addSelectable(new Publisher(path, &shared));
        server.run();
    } catch (const ServerException& e) {
        std::fprintf(stderr, "%s\n", e.what());
        rc = std::string(e.what()) == "server is already running" ? 3 : 4;
    }
    ::_exit(rc);
}

class ServerTest : public ::testing::Test {
protected:
    TempRoot root;
};

TEST_F(ServerTest, PidFileHoldsExactlyThePid) {
    root.write("/var/run/ovkt.pid", "99999999999999\nstale\n");
    Server server("ovkt", Server::SINGLETON);
    EXPECT_EQ(root.read("/var/run/ovkt.pid"), std::to_string(::getpid()) + "\n");
    struct stat st;
    ASSERT_EQ(::stat(root.at("/var/run/ovkt.pid").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    EXPECT_TRUE(Server::singletonLockHeld("ovkt"));
    EXPECT_FALSE(Server::singletonLockHeld("other"));
}

TEST_F(ServerTest, SecondInstanceInThisProcessIsRefused) {
    auto first = std::make_unique<Server>("dup", Server::SINGLETON);
    EXPECT_EQ(errorOf([] { Server second("dup", Server::SINGLETON); }), "server is already running");
    // The refused attempt leaves the first one's lock and pid alone.
    EXPECT_TRUE(Server::singletonLockHeld("dup"));
    EXPECT_EQ(root.read("/var/run/dup.pid"), std::to_string(::getpid()) + "\n");
    first.reset();
    EXPECT_FALSE(Server::singletonLockHeld("dup"));
    EXPECT_EQ(errorOf([] { Server again("dup", Server::SINGLETON); }), "");
}

TEST_F(ServerTest, LockCreatesMissingFoldersAndReportsOpenFailures) {
    std::filesystem::remove_all(root.at("/var"));
    EXPECT_EQ(errorOf([] { Server s("fresh", Server::SINGLETON); }), "");
    struct stat st;
    ASSERT_EQ(::stat(root.at("/var/run").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);

    std::filesystem::remove_all(root.at("/var/run"));
    root.write("/var/run", "a file, not a folder");
    const std::string path = root.at("/var/run/blocked.pid");
    EXPECT_EQ(errorOf([] { Server s("blocked", Server::SINGLETON); }),
              "can't open " + path + ": Not a directory");
}

// A daemon serving in another process; a second start with the same name fails with the
// documented message before it touches the socket, and the first goes on serving.
TEST_F(ServerTest, SecondDaemonFailsAndFirstKeepsServing) {
    const std::string path = root.at("/tmp/.ovkt");
    pid_t first = ::fork();
    ASSERT_GE(first, 0);
    if (first == 0) daemonMain("ovkt", Server::SINGLETON, path);
    int fd = connectWhenUp(path);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(roundTrip(fd, "one"));

    pid_t second = ::fork();
    ASSERT_GE(second, 0);
    if (second == 0) daemonMain("ovkt", Server::SINGLETON, path);
    EXPECT_EQ(reap(second), 3);

    // In this process too: the Server throws before any publishing could happen.
    EXPECT_EQ(errorOf([] { Server s("ovkt", Server::SINGLETON); }), "server is already running");

    EXPECT_TRUE(roundTrip(fd, "still here"));
    int fd2 = connectUnix(path);
    ASSERT_GE(fd2, 0);
    EXPECT_TRUE(roundTrip(fd2, "new client"));
    EXPECT_EQ(root.read("/var/run/ovkt.pid"), std::to_string(first) + "\n");
    ::close(fd);
    ::close(fd2);
    ::kill(first, SIGTERM);
    EXPECT_EQ(reap(first), -1);
}

// Each start moves the log to ".1", ".1" to ".2", ".2" to ".3"; the oldest goes. Standard
// output and error both go to the new log.
TEST_F(ServerTest, LogRotationKeepsThreeCopies) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        for (int gen = 1; gen <= 5; ++gen) {
            Server s("rot", Server::LOGGING);
            std::printf("out %d\n", gen);
            std::fflush(stdout);
            std::fprintf(stderr, "err %d\n", gen);
        }
        ::_exit(0);
    }
    ASSERT_EQ(reap(child), 0);
    EXPECT_EQ(root.read("/var/log/rot.log"), "out 5\nerr 5\n");
    EXPECT_EQ(root.read("/var/log/rot.log.1"), "out 4\nerr 4\n");
    EXPECT_EQ(root.read("/var/log/rot.log.2"), "out 3\nerr 3\n");
    EXPECT_EQ(root.read("/var/log/rot.log.3"), "out 2\nerr 2\n");
    EXPECT_FALSE(exists(root.at("/var/log/rot.log.4")));
    struct stat st;
    ASSERT_EQ(::stat(root.at("/var/log/rot.log").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
}

// Daemon mode (flag 1 alone turns logging on as well): the starting process exits with 0,
// the daemon writes its pid and log and serves; a second daemon start is refused in the
// foreground with a non-zero exit.
TEST_F(ServerTest, DaemonMode) {
    const std::string path = root.at("/tmp/.ovkd");
    // Orphaned daemons come back to this process, so the test can reap them.
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    pid_t starter = ::fork();
    ASSERT_GE(starter, 0);
    if (starter == 0) daemonMain("ovkd", Server::DAEMONIZE | Server::SINGLETON, path);
    EXPECT_EQ(reap(starter), 0);

    int fd = connectWhenUp(path);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(roundTrip(fd, "daemon"));
    const std::string pidText = root.read("/var/run/ovkd.pid");
    const pid_t daemon = static_cast<pid_t>(std::stol(pidText));
    EXPECT_EQ(pidText, std::to_string(daemon) + "\n");
    EXPECT_NE(daemon, starter);
    EXPECT_EQ(root.read("/var/log/ovkd.log"), "serving ovkd\n");

    pid_t again = ::fork();
    ASSERT_GE(again, 0);
    if (again == 0) daemonMain("ovkd", Server::DAEMONIZE | Server::SINGLETON, path);
    EXPECT_EQ(reap(again), 3);
    EXPECT_TRUE(roundTrip(fd, "still the first"));
    EXPECT_EQ(root.read("/var/log/ovkd.log"), "serving ovkd\n"); // not rotated away

    ::close(fd);
    ::kill(daemon, SIGTERM);
    EXPECT_EQ(reap(daemon), -1);
    ::prctl(PR_SET_CHILD_SUBREAPER, 0);
}

} // namespace
