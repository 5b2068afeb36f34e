#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

extern char** environ;

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && status_ < 0) {
        Signal(SIGKILL);
        Wait(10000);
    }
    CloseInput();
    if (out_ >= 0) ::close(out_);
}

bool ChildProcess::Start(const std::vector<std::string>& argv, const std::string& errorFile,
                         bool pipeOutput) {
    // A program that ended may be started again.
    if (pid_ > 0 && status_ < 0) return false;
    CloseInput();
    if (out_ >= 0) ::close(out_);
    out_ = -1;
    status_ = -1;
    pending_.clear();
    int inPipe[2], outPipe[2];
    if (::pipe2(inPipe, O_CLOEXEC) != 0) return false;
    if (::pipe2(outPipe, O_CLOEXEC) != 0) {
        ::close(inPipe[0]);
        ::close(inPipe[1]);
        return false;
    }
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, inPipe[0], 0);
    posix_spawn_file_actions_addopen(&fa, 2, errorFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (pipeOutput) posix_spawn_file_actions_adddup2(&fa, outPipe[1], 1);
    else posix_spawn_file_actions_adddup2(&fa, 2, 1);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const int rc = ::posix_spawn(&pid_, args[0], &fa, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(inPipe[0]);
    ::close(outPipe[1]);
    in_ = inPipe[1];
    out_ = outPipe[0];
    if (rc != 0) {
        pid_ = -1;
        return false;
    }
    return true;
}

bool ChildProcess::Running() {
    if (pid_ <= 0 || status_ >= 0) return false;
    int st = 0;
    if (::waitpid(pid_, &st, WNOHANG) == pid_) {
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        return false;
    }
    return true;
}

bool ChildProcess::ReadLine(std::string& line, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const size_t nl = pending_.find('\n');
        if (nl != std::string::npos) {
            line = pending_.substr(0, nl);
            pending_.erase(0, nl + 1);
            return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0 || out_ < 0) return false;
        pollfd p{out_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
        char buf[256];
        const ssize_t n = ::read(out_, buf, sizeof buf);
        if (n <= 0) return false;
        pending_.append(buf, static_cast<size_t>(n));
    }
}

std::string ChildProcess::ReadAll(int timeoutMs) {
    std::string text;
    text.swap(pending_);
    char buf[256];
    for (;;) {
        pollfd p{out_, POLLIN, 0};
        ssize_t n;
        if (out_ < 0 || ::poll(&p, 1, timeoutMs) <= 0 || (n = ::read(out_, buf, sizeof buf)) <= 0) return text;
        text.append(buf, static_cast<size_t>(n));
    }
}

bool ChildProcess::WriteLine(const std::string& line) {
    if (in_ < 0) return false;
    const std::string text = line + "\n";
    return ::write(in_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

void ChildProcess::CloseInput() {
    if (in_ >= 0) ::close(in_);
    in_ = -1;
}

void ChildProcess::Signal(int sig) {
    if (pid_ > 0 && status_ < 0) ::kill(pid_, sig);
}

int ChildProcess::Wait(int timeoutMs) {
    if (pid_ <= 0) return -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (status_ < 0) {
        if (!Running()) break;
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid_, SIGKILL);
            int st;
            ::waitpid(pid_, &st, 0);
            status_ = 128 + SIGKILL;
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return status_;
}
