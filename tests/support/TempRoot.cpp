#include "TempRoot.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <random>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

// True when a TCP port can be bound now.
bool portFree(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

// A port below the ephemeral range whose next `count` - 1 ports are free too.
int freePortBlock(int count) {
    std::random_device seed;
    std::mt19937 pick(seed());
    std::uniform_int_distribution<int> block(0, (32000 - 20000) / 16 - 1);
    for (int attempt = 0; attempt < 64; ++attempt) {
        const int base = 20000 + 16 * block(pick);
        bool free = true;
        for (int i = 0; free && i < count; ++i) free = portFree(base + i);
        if (free) return base;
    }
    return 20000 + 16 * block(pick);
}

} // namespace

TempRoot::TempRoot() {
    std::string tmpl = (fs::temp_directory_path() / "ovkroot.XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    root_ = tmpl;
    for (const char* d : {"/etc", "/usr/lib", "/usr/bin", "/usr/share/pos/fonts", "/var/log",
                          "/var/run", "/var/lib/misc", "/tmp", "/dev"})
        fs::create_directories(root_ + d);
    if (const char* prev = std::getenv("OVK_ROOT")) {
        previous_ = prev;
        hadPrevious_ = true;
    }
    setenv("OVK_ROOT", root_.c_str(), 1);
    // The query server and the device servers after it (each takes the next port).
    queryPort_ = freePortBlock(12);
    write("/etc/services", "qorvel_vusk " + std::to_string(queryPort_) + "/tcp\n");
}

TempRoot::~TempRoot() {
    if (hadPrevious_) setenv("OVK_ROOT", previous_.c_str(), 1);
    else unsetenv("OVK_ROOT");
    std::error_code ec;
    fs::remove_all(root_, ec);
}

void TempRoot::write(const std::string& systemPath, const std::string& contents) const {
    fs::path p(at(systemPath));
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << contents;
}

std::string TempRoot::read(const std::string& systemPath) const {
    std::ifstream in(at(systemPath), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}
