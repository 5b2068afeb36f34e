// mgmt_reply_fuzz: bytes from outside the management bridge: a reply stream cut into its
// ESC ... BS frames by the connector (Receive2 on a socket pair), each frame read as a reply
// document and as an event document, and the whole input read as the properties file.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <xercesc/util/PlatformUtils.hpp>

#include "SimpleStringBuffer.h"
#include "UPOSConnector.h"
#include "UPOSIni.h"
#include "UPOSXMLAdapter.h"

namespace {

// The frames the connector cuts out of the stream, until it ends.
std::vector<std::string> Frames(const uint8_t* data, size_t size) {
    std::vector<std::string> frames;
    int sv[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) std::abort();
    size_t written = 0;
    while (written < size) {
        const ssize_t n = ::write(sv[1], data + written, size - written);
        if (n <= 0) break;
        written += static_cast<size_t>(n);
    }
    ::shutdown(sv[1], SHUT_WR);
    UPOSConnector c;
    UPOSConnector::initd = 1;
    c.m_socket = sv[0];
    c.connected = 1;
    for (int i = 0; i < 64; ++i) {
        SimpleStringBuffer out;
        if (c.Receive(&out) < 0) break;
        if (out.length() > static_cast<int>(size)) std::abort();
        frames.emplace_back(out.c_str(), static_cast<size_t>(out.length()));
    }
    ::close(sv[0]);
    ::close(sv[1]);
    return frames;
}

const std::string& IniPath() {
    static const std::string path = [] {
        char name[] = "/tmp/mgmt_reply_fuzz.XXXXXX";
        const int fd = ::mkstemp(name);
        if (fd >= 0) ::close(fd);
        return std::string(name);
    }();
    return path;
}

void RemoveIni() { std::remove(IniPath().c_str()); }

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The library stays initialised for the run: the bridge's own initialise and terminate
    // around each document then only count.
    xercesc::XMLPlatformUtils::Initialize();
    UPOSConnector::SetTimeout(100);
    IniPath();
    std::atexit(RemoveIni);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 65536) return 0; // one socket buffer
    for (const std::string& frame : Frames(data, size)) {
        UPOSXMLAdapter xml;
        xml.fromXML(frame);
        (void)xml.getInstances();
        xml.fromXMLEvent(frame);
    }

    if (std::FILE* f = std::fopen(IniPath().c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
        INIFile ini = LoadIni(IniPath().c_str());
        GetIniSetting(ini, "default", "upos.requestSocket.Port", "42115");
    }
    return 0;
}
