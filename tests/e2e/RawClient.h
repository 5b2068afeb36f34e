// A client that speaks the protocol by hand, for requests the client library never sends.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "ovkwire.h"

class RawClient {
public:
    RawClient() = default;
    ~RawClient();
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool Connect(const std::string& path);
    // TCP to the loopback address.
    bool ConnectTcp(uint16_t port);
    void Close();
    int fd() const { return sd_; }

    bool Send(const std::vector<uint8_t>& bytes);
    bool Send(const void* data, size_t length);
    template <class R>
    bool SendRequest(R&& request) {
        request.handle = ++handle_;
        std::vector<uint8_t> out(ovkwire::MESSAGE_BUFFER_SIZE);
        size_t n = ovkwire::encodeRequest(out.data(), out.size(), request);
        out.resize(n);
        return n > 0 && Send(out);
    }
    uint32_t LastHandle() const { return handle_; }

    // The next reply (events are counted and skipped); false at the end of the stream or
    // after `timeoutMs`.
    bool Reply(ovkwire::ReplyHeader& header, std::vector<uint8_t>& data, int timeoutMs = 10000);
    // True when the daemon closed the connection within `timeoutMs` (whatever it sent first
    // is dropped).
    bool ClosedByPeer(int timeoutMs = 10000);

    // Initialize request with the given application name; the reply's header.
    ovkwire::ReplyHeader Initialize(const char* appl = "rawclient");
    // One request and its reply: rc, or INT32_MIN when no reply came.
    template <class R>
    ovkwire::ReplyHeader Call(R request, std::vector<uint8_t>* data = nullptr) {
        ovkwire::ReplyHeader h;
        h.rc = INT32_MIN;
        std::vector<uint8_t> d;
        if (SendRequest(request) && Reply(h, d)) {
            if (data) *data = d;
        } else {
            h.rc = INT32_MIN;
        }
        return h;
    }

    int events() const { return events_; }

private:
    enum Received { Data, Closed, TimedOut };
    // Waits for bytes until `deadline`; they are added to in_ when `keep`, else dropped.
    Received Receive(std::chrono::steady_clock::time_point deadline, bool keep);
    bool Fill(size_t n, int timeoutMs);

    int sd_ = -1;
    uint32_t handle_ = 0;
    std::vector<uint8_t> in_;
    int events_ = 0;
};
