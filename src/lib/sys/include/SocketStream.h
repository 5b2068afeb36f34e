// sostream: an iostream over a socket (sockbuf). Opens Unix-domain and TCP stream sockets
// as a client (mode 0: connect) or a server (mode 1: bind and listen). Failures show in the
// stream state; nothing throws.
//
// A reader thread and a writer thread may share one stream: the reader uses the stream
// itself, the writer uses writer(), an ostream over the same buffer with its own state, so
// that a read time-out or a clear() on one side never hides or fakes a failure of the other.
// Call writer() before the second thread starts. Writers serialise among themselves (see
// ServiceConnection for a stream with a writer mutex).
#pragma once

#include <cstdint>
#include <istream>
#include <memory>
#include <ostream>

#include "SocketBuffer.h"

class sostream : public std::iostream {
public:
    sostream();
    sostream(const char* path, int mode);
    sostream(const char* host, unsigned short port, int mode);
    sostream(const char* host, const char* service, int mode);
    explicit sostream(sockbuf* sb);
    ~sostream() override;
    sostream(const sostream&) = delete;
    sostream& operator=(const sostream&) = delete;

    // Each returns 0 when the socket is open, else -1 with the state bad and fail.
    int open(const char* path, int mode);
    int open(const char* host, unsigned short port, int mode);
    int open(const char* host, const char* service, int mode);

    // A new heap stream for the next connection on this listening stream, or null.
    sostream* accept();
    int close();
    static int close_sd(int sd);
    // IPv4 address in network byte order; 0 for null, "INADDR_ANY" and "0";
    // sockbuf::INVALID_ADDR when the name is unknown.
    static uint32_t host_addr(const char* name);
    // Port of a service name or number text (base from its prefix); null and "0" give 0;
    // sockbuf::INVALID_PORT when unknown or out of range.
    static uint16_t resolveService(const char* service);

    sockbuf* rdbuf() const { return static_cast<sockbuf*>(std::iostream::rdbuf()); }
    int sync();

    // Reads n bytes. With a read time-out other than -1 and 0, returns at once (eof and
    // fail) when no byte is pending; otherwise each refill waits at most the time-out.
    std::istream& read(char* p, int n);
    std::istream& read(void* p, int n) { return read(static_cast<char*>(p), n); }
    std::istream& read(unsigned char* p, int n) { return read(reinterpret_cast<char*>(p), n); }
    std::istream& read(signed char* p, int n) { return read(reinterpret_cast<char*>(p), n); }

    // The write side: an ostream over this stream's buffer with its own state; from its
    // first use on, send failures are reported there instead of in this stream's state.
    std::ostream& writer();

    static int error();

private:
    int openSocket(int family, const void* addr, unsigned addrLen, int mode, const char* unixPath);
    void setOpenFailed();

    sockbuf buf_;
    std::unique_ptr<std::ostream> writer_;
};
