#include "DaemonUnderTest.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;

namespace {

bool accepts(const std::string& path) {
    const int sd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (sd < 0) return false;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    const bool ok = ::connect(sd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(sd);
    return ok;
}

} // namespace

std::string DaemonUnderTest::Program() { return std::string(OVK_STAGING_ROOT) + "/usr/bin/ovkctrl"; }

void DaemonUnderTest::PrepareRoot(const TempRoot& root) {
    const fs::path staging(OVK_STAGING_ROOT);
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(staging / "usr/lib", ec)) {
        fs::create_symlink(entry.path(), fs::path(root.at("/usr/lib")) / entry.path().filename(), ec);
    }
    for (const char* file : {"/etc/ovksys.conf", "/etc/ovksys.res"}) {
        if (fs::exists(staging.string() + file))
            fs::copy_file(staging.string() + file, root.at(file), fs::copy_options::skip_existing, ec);
    }
}

DaemonUnderTest::DaemonUnderTest(const TempRoot& root) : root_(root) { PrepareRoot(root); }

bool DaemonUnderTest::Start(int timeoutMs, const std::vector<std::string>& args) {
    std::vector<std::string> argv{Program(), "-f"};
    argv.insert(argv.end(), args.begin(), args.end());
    if (!child_.Start(argv, root_.at("/daemon.log"), false)) return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (!child_.Running()) return false;
        if (accepts(SocketPath())) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

int DaemonUnderTest::Terminate(int timeoutMs) {
    child_.Signal(SIGTERM);
    return child_.Wait(timeoutMs);
}

void DaemonUnderTest::Kill() {
    child_.Signal(SIGKILL);
    child_.Wait();
}

bool DaemonUnderTest::WaitForOutput(const std::string& text, int timeoutMs) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (Output().find(text) != std::string::npos) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}
