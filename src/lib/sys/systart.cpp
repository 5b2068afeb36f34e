// Starting of child programs: the firmware loader and the font download program.
#include "systart.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "ovkhost.h"

namespace {

const char kTag[] = "@(#)systart.cpp";
constexpr size_t kMaxText = 255;
constexpr size_t kMaxArgumentWords = 7;

std::string copyText(const unsigned char* s) {
    if (!s) return std::string();
    std::string out(reinterpret_cast<const char*>(s));
    if (out.size() > kMaxText) out.resize(kMaxText);
    return out;
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// The file to execute for a program name: its copy in /usr/bin under OVK_ROOT when there is
// one, else the name itself (searched in PATH when it has no "/").
std::string executableFor(const std::string& program) {
    if (program.find('/') != std::string::npos) return program;
    std::string candidate = ovkPath("/usr/bin/" + program);
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    return program;
}

// Waits for the child in the background so that it never stays a zombie.
void reapInBackground(pid_t pid) {
    try {
        std::thread([pid] {
            int status;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (...) {
        // No thread to spare: the child is reaped when the process ends.
    }
}

} // namespace

int chStartProcess(const unsigned char* program, const unsigned char* arguments,
                   const unsigned char* debugger) {
    std::string run = copyText(program);
    std::string args = copyText(arguments);

    std::string dbg = copyText(debugger);
    if (!dbg.empty()) {
        size_t b = 0;
        while (b < dbg.size() && isSpace(dbg[b])) ++b;
        size_t e = b;
        while (e < dbg.size() && !isSpace(dbg[e])) ++e;
        std::string word = dbg.substr(b, e - b);
        args = run + " " + args;
        while (!args.empty() && isSpace(args.back())) args.pop_back();
        run = word.empty() ? "dbx" : word;
    }

    std::vector<std::string> words;
    for (size_t i = 0; i < args.size() && words.size() < kMaxArgumentWords;) {
        while (i < args.size() && args[i] == ' ') ++i;
        size_t j = i;
        while (j < args.size() && args[j] != ' ') ++j;
        if (j > i) words.push_back(args.substr(i, j - i));
        i = j;
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(run.c_str()));
    for (std::string& w : words) argv.push_back(const_cast<char*>(w.c_str()));
    argv.push_back(nullptr);
    std::string file = executableFor(run);
    bool searchPath = file.find('/') == std::string::npos;

    errno = 0;
    pid_t pid = ::fork();
    if (pid == 0) {
        // Only the standard descriptors go to the program.
        ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
        if (searchPath) ::execvp(file.c_str(), argv.data());
        else ::execv(file.c_str(), argv.data());
        ::_exit(errno);
    }
    if (pid < 0) {
        int32_t e = errno;
        clErrorLog(24201, 301, static_cast<uint32_t>(e), kTag, run.c_str(),
                   static_cast<uint16_t>(run.size() + 1), args.c_str(),
                   static_cast<uint16_t>(args.size() + 1), &e, sizeof e);
        return 301;
    }
    reapInBackground(pid);
    return 0;
}

int chStart63Firmload(int slot, int port, char* fileName, const unsigned char* debugger) {
    char args[kMaxText + 1];
    std::snprintf(args, sizeof args, "-P %d -S %d -F %s", port, slot, fileName ? fileName : "");
    return chStartProcess(reinterpret_cast<const unsigned char*>("ovkfld63"),
                          reinterpret_cast<const unsigned char*>(args), debugger);
}

int chStartK7eDownload(int slot, int port, const unsigned char* debugger) {
    char args[kMaxText + 1];
    std::snprintf(args, sizeof args, "-P %d -S %d -C", port, slot);
    return chStartProcess(reinterpret_cast<const unsigned char*>("ovkk7eld"),
                          reinterpret_cast<const unsigned char*>(args), debugger);
}
