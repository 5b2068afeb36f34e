#include "PtySession.h"

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

PtySession::~PtySession() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) ::close(master_);
}

bool PtySession::Start(const std::vector<std::string>& argv, int rows, int columns) {
    if (argv.empty() || pid_ > 0) return false;
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    winsize size{};
    size.ws_row = static_cast<unsigned short>(rows);
    size.ws_col = static_cast<unsigned short>(columns);
    const pid_t pid = ::forkpty(&master_, nullptr, nullptr, &size);
    if (pid < 0) return false;
    if (pid == 0) {
        ::execv(args[0], args.data());
        _exit(127);
    }
    pid_ = pid;
    output_.clear();
    consumed_ = 0;
    return true;
}

void PtySession::Type(const std::string& keys) {
    size_t done = 0;
    while (master_ >= 0 && done < keys.size()) {
        const ssize_t n = ::write(master_, keys.data() + done, keys.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

bool PtySession::pump(int timeoutMs) {
    if (master_ < 0) return false;
    pollfd p{master_, POLLIN, 0};
    const int ready = ::poll(&p, 1, timeoutMs);
    if (ready <= 0) return ready == 0 || errno == EINTR;
    char buffer[4096];
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n > 0) {
        output_.append(buffer, static_cast<size_t>(n));
        return true;
    }
    if (n < 0 && errno == EINTR) return true;
    return false; // EIO: the program's side of the terminal is closed
}

bool PtySession::WaitFor(const std::string& text, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const size_t at = output_.find(text, consumed_);
        if (at != std::string::npos) {
            consumed_ = at + text.size();
            return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0 || !pump(static_cast<int>(left))) return false;
    }
}

int PtySession::Wait(int timeoutMs) {
    if (pid_ <= 0) return status_;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pump(10); // keep the terminal drained so that the program is never blocked writing
        int status;
        const pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            pid_ = -1;
            while (pump(0) && master_ >= 0) {
                pollfd p{master_, POLLIN, 0};
                if (::poll(&p, 1, 0) <= 0) break;
            }
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return status_;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
            return -1;
        }
    }
}
