// mgmt_reply_fuzz: bytes from outside the management bridge: a reply stream through the
// ESC ... BS framing (Receive2 on a socket pair), the reply and event documents, and the
// properties file.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "SimpleStringBuffer.h"
#include "UPOSConnector.h"
#include "UPOSIni.h"
#include "UPOSXMLAdapter.h"

namespace {

// The framing: every message of the stream, until it ends.
void Frames(const uint8_t* data, size_t size) {
    int sv[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) return;
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
    }
    ::close(sv[0]);
    ::close(sv[1]);
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 65536) return 0; // one socket buffer
    UPOSConnector::SetTimeout(100);
    Frames(data, size);

    const std::string text(reinterpret_cast<const char*>(data), size);
    UPOSXMLAdapter xml;
    xml.fromXML(text);
    xml.fromXMLEvent(text);

    if (std::FILE* f = std::fopen(IniPath().c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
        INIFile ini = LoadIni(IniPath().c_str());
        GetIniSetting(ini, "default", "upos.requestSocket.Port", "42115");
    }
    return 0;
}
