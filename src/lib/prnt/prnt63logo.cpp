// The logo directory of the model-6397 printer: its byte layout, file names and files.
#include "Prnt63Logo.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "COMD.h"
#include "ConfTable.h"
#include "ovkhost.h"

namespace {

void put16(unsigned char* p, uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

void put32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

uint16_t get16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

uint32_t get32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

constexpr int kHeader = 8;
constexpr size_t kMaxName = PRN63_LOGO_NAME_SIZE - 1;

// Sets the process umask to 022 for the life of the object.
class Umask022 {
public:
    Umask022() : old_(umask(022)) {}
    ~Umask022() { umask(old_); }

private:
    mode_t old_;
};

bool writeAll(int fd, const unsigned char* data, size_t n) {
    while (n > 0) {
        const ssize_t w = write(fd, data, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        data += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

} // namespace

void Prnt63EncodeLogoFile(const LogoFile& in, unsigned char out[PRN63_LOGO_FILE_SIZE]) {
    std::memset(out, 0, PRN63_LOGO_FILE_SIZE);
    put16(out, in.checksum);
    put16(out + 2, in.unused);
    put32(out + 4, in.memoryUsed);
    for (int i = 0; i < PRN63_LOGO_ENTRIES; ++i) {
        const LogoEntry& e = in.entries[i];
        unsigned char* p = out + kHeader + i * PRN63_LOGO_ENTRY_SIZE;
        put16(p, e.number);
        put16(p + 2, e.crc);
        put16(p + 4, e.length);
        put16(p + 6, e.present);
        std::memcpy(p + 8, e.fileName, strnlen(e.fileName, kMaxName));
    }
}

void Prnt63DecodeLogoFile(const unsigned char in[PRN63_LOGO_FILE_SIZE], LogoFile& out) {
    out = LogoFile();
    out.checksum = get16(in);
    out.unused = get16(in + 2);
    out.memoryUsed = get32(in + 4);
    for (int i = 0; i < PRN63_LOGO_ENTRIES; ++i) {
        LogoEntry& e = out.entries[i];
        const unsigned char* p = in + kHeader + i * PRN63_LOGO_ENTRY_SIZE;
        e.number = get16(p);
        e.crc = get16(p + 2);
        e.length = get16(p + 4);
        e.present = get16(p + 6);
        const char* name = reinterpret_cast<const char*>(p + 8);
        const size_t n = strnlen(name, PRN63_LOGO_NAME_SIZE);
        if (n <= kMaxName) std::memcpy(e.fileName, name, n);
    }
}

std::string Prnt63LogoFileName(const std::string& dir, const char* serial, int number) {
    if (number < 0 || number > PRN63_LOGO_LAST) return std::string();
    std::string name = dir.empty() ? std::string("/var/log") : dir;
    name += "/6397-";
    name += serial ? serial : "";
    char tail[32];
    if (number == 0) std::snprintf(tail, sizeof tail, ".dat");
    else std::snprintf(tail, sizeof tail, "-logo-%02d.dat", number);
    name += tail;
    name = ovkPath(name);
    if (name.size() > kMaxName || name.find('\0') != std::string::npos) return std::string();
    return name;
}

const char* GetPrinterLogoFileName(const char* serial, int number) {
    static thread_local char buffer[PRN63_LOGO_NAME_SIZE];
    std::string dir;
    if (pcomd && pcomd->GetConfTable()) dir = pcomd->GetConfTable()->getValue("logo-dir", std::string());
    const std::string name = Prnt63LogoFileName(dir, serial, number);
    if (name.empty()) {
        buffer[0] = 0;
        return nullptr;
    }
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    return buffer;
}

int WriteLogoFile(const char* path, const unsigned char* data, int n) {
    if (!path || !*path || n < 0 || (n > 0 && !data)) return -1;
    int fd;
    {
        Umask022 mask;
        fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    }
    if (fd < 0) return -1;
    const bool ok = writeAll(fd, data, static_cast<size_t>(n));
    return close(fd) == 0 && ok ? 0 : -1;
}

int WritePrinterLogoFile(const char* path, const LogoFile* file) {
    if (!file) return -1;
    unsigned char bytes[PRN63_LOGO_FILE_SIZE];
    Prnt63EncodeLogoFile(*file, bytes);
    return WriteLogoFile(path, bytes, PRN63_LOGO_FILE_SIZE);
}

int ReadLogoFile(const char* path, unsigned char* buf, int n) {
    if (!path || !*path || n < 0 || (n > 0 && !buf)) return -1;
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    int got = 0;
    while (got < n) {
        const ssize_t r = read(fd, buf + got, static_cast<size_t>(n - got));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        got += static_cast<int>(r);
    }
    close(fd);
    return got == n ? 0 : -1;
}

int ReadPrinterLogoFile(const char* path, LogoFile* file) {
    if (!file) return -1;
    unsigned char bytes[PRN63_LOGO_FILE_SIZE];
    if (ReadLogoFile(path, bytes, PRN63_LOGO_FILE_SIZE) != 0) return -1;
    Prnt63DecodeLogoFile(bytes, *file);
    return 0;
}

int Prnt63CheckLogoData(const unsigned char* data, int n) {
    if (!data || n < 4 || n > 0xFFFF) return 4914;
    if (data[0] < PRN63_LOGO_FIRST || data[0] > PRN63_LOGO_LAST) return 4914;
    if (n != int(data[1]) * int(data[2]) * 8 + 3) return 4914;
    return 0;
}
