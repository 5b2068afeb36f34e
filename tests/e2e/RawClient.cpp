#include "RawClient.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstring>

using namespace ovkwire;

RawClient::~RawClient() { Close(); }

bool RawClient::Connect(const std::string& path) {
    Close();
    sd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (sd_ < 0) return false;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    if (::connect(sd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        Close();
        return false;
    }
    return true;
}

bool RawClient::ConnectTcp(uint16_t port) {
    Close();
    sd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (sd_ < 0) return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(sd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        Close();
        return false;
    }
    return true;
}

void RawClient::Close() {
    if (sd_ >= 0) ::close(sd_);
    sd_ = -1;
    in_.clear();
}

bool RawClient::Send(const void* data, size_t length) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (length > 0) {
        const ssize_t n = ::send(sd_, p, length, MSG_NOSIGNAL);
        if (n <= 0) return false;
        p += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

bool RawClient::Send(const std::vector<uint8_t>& bytes) { return Send(bytes.data(), bytes.size()); }

RawClient::Received RawClient::Receive(std::chrono::steady_clock::time_point deadline,
                                       bool keep) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) return TimedOut;
        pollfd p{sd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
        uint8_t buf[4096];
        const ssize_t got = ::recv(sd_, buf, sizeof buf, 0);
        if (got <= 0) return Closed;
        if (keep) in_.insert(in_.end(), buf, buf + got);
        return Data;
    }
}

bool RawClient::Fill(size_t n, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (in_.size() < n)
        if (Receive(deadline, true) != Data) return false;
    return true;
}

bool RawClient::Reply(ReplyHeader& header, std::vector<uint8_t>& data, int timeoutMs) {
    for (;;) {
        ServerMessage m;
        DecodeResult r = decodeServerMessage(in_.data(), in_.size(), m);
        if (r.status == DecodeResult::NeedMore) {
            if (!Fill(r.bytes, timeoutMs)) return false;
            continue;
        }
        if (r.status == DecodeResult::Invalid) return false;
        std::vector<uint8_t> payload(m.data.data, m.data.data + m.data.size);
        in_.erase(in_.begin(), in_.begin() + static_cast<long>(r.bytes));
        if (m.kind == ServerMessage::Event) {
            ++events_;
            continue;
        }
        if (m.kind != ServerMessage::Reply) continue;
        header = m.reply;
        data = std::move(payload);
        return true;
    }
}

bool RawClient::ClosedByPeer(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        switch (Receive(deadline, false)) {
        case Data: continue;
        case Closed: return true;
        case TimedOut: return false;
        }
    }
}

ReplyHeader RawClient::Initialize(const char* appl) {
    InitializeRequest r;
    r.applName = appl;
    r.resFile = "rawclient.res";
    r.codePage = 858;
    return Call(std::move(r));
}
