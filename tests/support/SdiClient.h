// A raw-access client for tests: TCP to a loopback port, frames out and in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class SdiClient {
public:
    SdiClient() = default;
    ~SdiClient();
    SdiClient(const SdiClient&) = delete;
    SdiClient& operator=(const SdiClient&) = delete;

    bool Connect(int port, int timeoutMs = 5000);
    void Close();
    int fd() const { return fd_; }

    // One frame with the text; raw bytes as they are.
    bool Send(const std::string& text);
    bool SendRaw(const std::vector<uint8_t>& bytes);
    // "<rs485>" with a command header and data (declared length: the data's, unless given).
    bool SendCommand(char letter, uint8_t options, uint32_t messageId,
                     const std::vector<uint8_t>& data, int declared = -1);
    // The text of the next frame; false when none came in time or the stream ended.
    bool Receive(std::string& text, int timeoutMs = 5000);
    // Receives until a frame starts with `prefix` (the frames before it are kept in
    // skipped()); "" when none came in time.
    std::string ReceiveStarting(const std::string& prefix, int timeoutMs = 5000);
    // True when the server closed the connection within the time.
    bool ClosedByPeer(int timeoutMs = 5000);
    // The usual start: version request read, version sent, "<open>mode 0</open>" answered.
    std::string Open(char mode = 'N');

    const std::vector<std::string>& skipped() const { return skipped_; }

private:
    bool Fill(size_t n, int timeoutMs);

    int fd_ = -1;
    std::vector<uint8_t> in_;
    std::vector<std::string> skipped_;
};

// Fields of a server's "<rs485>" event.
struct SdiEvent {
    char letter = 0;
    uint16_t flags = 0;
    uint32_t serverId = 0, messageId = 0, connectionId = 0;
    std::vector<uint8_t> data;
};
// False when the text is not a whole event.
bool ParseSdiEvent(const std::string& text, SdiEvent& out);
