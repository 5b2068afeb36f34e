#include "SdiClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

SdiClient::~SdiClient() { Close(); }

bool SdiClient::Connect(int port, int timeoutMs) {
    Close();
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<uint16_t>(port));
        if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
            int on = 1;
            ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            return true;
        }
        Close();
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void SdiClient::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    in_.clear();
}

bool SdiClient::SendRaw(const std::vector<uint8_t>& bytes) {
    size_t sent = 0;
    while (fd_ >= 0 && sent < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return fd_ >= 0;
}

bool SdiClient::Send(const std::string& text) {
    std::vector<uint8_t> frame(text.size() + 3);
    frame[0] = static_cast<uint8_t>(text.size() >> 8);
    frame[1] = static_cast<uint8_t>(text.size() & 0xFF);
    if (!text.empty()) std::memcpy(&frame[2], text.data(), text.size());
    frame[text.size() + 2] = 0x16;
    return SendRaw(frame);
}

bool SdiClient::SendCommand(char letter, uint8_t options, uint32_t messageId,
                            const std::vector<uint8_t>& data, int declared) {
    const int length = declared >= 0 ? declared : static_cast<int>(data.size());
    std::string text = "<rs485>";
    const uint8_t header[11] = {static_cast<uint8_t>(letter), 0, options,
                                static_cast<uint8_t>(messageId >> 24), static_cast<uint8_t>(messageId >> 16),
                                static_cast<uint8_t>(messageId >> 8), static_cast<uint8_t>(messageId),
                                30, 0, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
    text.append(reinterpret_cast<const char*>(header), sizeof header);
    text.append(reinterpret_cast<const char*>(data.data()), data.size());
    text += "</rs485>";
    return Send(text);
}

bool SdiClient::Fill(size_t n, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (in_.size() < n) {
        if (fd_ < 0) return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              end - std::chrono::steady_clock::now()).count();
        if (left <= 0) return false;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
        uint8_t buf[4096];
        const ssize_t got = ::recv(fd_, buf, sizeof buf, 0);
        if (got <= 0) return false;
        in_.insert(in_.end(), buf, buf + got);
    }
    return true;
}

bool SdiClient::Receive(std::string& text, int timeoutMs) {
    if (!Fill(2, timeoutMs)) return false;
    const size_t n = static_cast<size_t>(in_[0]) << 8 | in_[1];
    if (!Fill(n + 3, timeoutMs)) return false;
    text.assign(in_.begin() + 2, in_.begin() + 2 + static_cast<long>(n));
    in_.erase(in_.begin(), in_.begin() + static_cast<long>(n + 3));
    return true;
}

std::string SdiClient::ReceiveStarting(const std::string& prefix, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              end - std::chrono::steady_clock::now()).count();
        std::string text;
        if (left <= 0 || !Receive(text, static_cast<int>(left))) return "";
        if (text.compare(0, prefix.size(), prefix) == 0) return text;
        skipped_.push_back(text);
    }
}

bool SdiClient::ClosedByPeer(int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (fd_ >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              end - std::chrono::steady_clock::now()).count();
        if (left <= 0) return false;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
        uint8_t buf[4096];
        const ssize_t got = ::recv(fd_, buf, sizeof buf, 0);
        if (got <= 0) return true;
    }
    return false;
}

std::string SdiClient::Open(char mode) {
    std::string version;
    if (!Receive(version)) return "";
    if (!Send("<version>tester 1.2.3 4 5</version>")) return "";
    if (!Send(std::string("<open>") + mode + " 0</open>")) return "";
    return ReceiveStarting("<open>");
}

bool ParseSdiEvent(const std::string& text, SdiEvent& out) {
    if (text.size() < 32 || text.compare(0, 7, "<rs485>") != 0) return false;
    const auto* t = reinterpret_cast<const uint8_t*>(text.data());
    auto be32 = [](const uint8_t* p) {
        return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
    };
    out.letter = static_cast<char>(t[7]);
    out.flags = static_cast<uint16_t>(t[8] << 8 | t[9]);
    out.serverId = be32(t + 10);
    out.messageId = be32(t + 14);
    out.connectionId = be32(t + 18);
    const size_t n = static_cast<size_t>(t[22] << 8 | t[23]);
    if (text.size() != n + 32) return false;
    out.data.assign(t + 24, t + 24 + n);
    return true;
}
