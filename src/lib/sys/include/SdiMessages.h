// Raw access over TCP: the framing and the tagged messages of the raw-access protocol, and
// the two records that carry a client's command (SDICMD) and a device event (SDIMSG).
#pragma once

#include <cstdint>

namespace sdi {

constexpr int kFrameBuffer = 4096;   // a frame is built in this many bytes
constexpr int kMaxText = 4093;       // length, text and the end byte fit the buffer
constexpr unsigned char kFrameEnd = 0x16;
constexpr int kMaxData = 1738;       // data bytes of one command or event
constexpr int kCommandHeader = 11;   // binary header of a client's "<rs485>" body
constexpr int kEventHeader = 24;     // header of a server's "<rs485>" event
constexpr int kEventText = kEventHeader + kMaxData + 8 + 2; // header, data, closing tag

// Builds a frame (16-bit big-endian length, the text, 0x16) into out, which has
// kFrameBuffer bytes. Returns the frame's size, or 0 for a text over kMaxText bytes.
int BuildFrame(const char* text, int n, unsigned char* out);

// Message kinds of both servers.
enum MessageType {
    kUnknown = 0,
    kRs485,
    kAck,
    kVersion,
    kStatus,
    kTrace,
    kOpen,
    kClose,
    kQuery,
};

struct Tag {
    const char* open;
    const char* close;
    MessageType type;
};

// The message a text holds: its kind, its body (a view into the text) and whether the
// closing tag was missing (the body is then empty).
struct Parsed {
    MessageType type = kUnknown;
    const char* body = nullptr;
    int length = 0;
    bool malformed = false;
};

// Compares the start of the text with each opening tag of the table in order; the first
// that matches names the message. Texts that match none give kUnknown.
Parsed ParseMessage(const char* text, int n, const Tag* table, int count);
Parsed ParseDeviceServerMessage(const char* text, int n);
Parsed ParseQueryServerMessage(const char* text, int n);

// Class name of a device type for the version request ("UNKNOWN" out of range).
const char* ClassName(int deviceType);

// Reads a big-endian 16- or 32-bit value.
inline uint32_t be16(const unsigned char* p) { return uint32_t(p[0]) << 8 | p[1]; }
inline uint32_t be32(const unsigned char* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

} // namespace sdi

// Option bits of a command.
enum : uint16_t {
    SDICMD_NO_HOLD = 0x02,      // does not hold back later commands
    SDICMD_RELEASE = 0x04,      // released as soon as sent
    SDICMD_NO_ACK_WAIT = 0x08,  // sent without entering the wait for the acknowledgement
    SDICMD_TOO_LONG = 0x8000,   // the declared data did not fit
};

// One client command, parsed from the binary body of an "<rs485>" message.
class SDICMD {
public:
    // From the connection id and the body (bodyLength bytes). A body shorter than its
    // header gives a command without data; only data present in the body is copied.
    SDICMD(uint32_t connectionId, int bodyLength, const unsigned char* body);
    virtual ~SDICMD();

    virtual unsigned char GetCommand() const { return command_; }
    virtual unsigned char GetAWait() const { return addressWait_; }
    virtual unsigned char GetBWait() const { return byteWait_; }
    virtual uint32_t GetMessageID() const { return messageId_; }
    virtual uint16_t GetQueueID() const { return queue_; }
    virtual uint16_t GetFlags() const { return flags_; }
    virtual uint16_t GetLength() const { return length_; }
    virtual const unsigned char* GetBuffer() const { return data_; }
    virtual uint32_t GetCID() const { return connectionId_; }

private:
    uint32_t connectionId_;
    unsigned char command_ = 0;
    uint16_t queue_ = 0;
    uint32_t messageId_ = 0;
    uint16_t flags_ = 0;
    unsigned char addressWait_ = 0;
    unsigned char byteWait_ = 0;
    uint16_t length_ = 0;
    unsigned char data_[sdi::kMaxData];
};

// Flag bits of an event.
enum : uint16_t {
    SDIMSG_LOST = 0x0001,       // the device was in the message-lost state
    SDIMSG_CUT = 0x0002,        // data cut to kMaxData bytes
    SDIMSG_RETRANSMIT = 0x8000,
};

// One device event, ready to send to a client: "<rs485>", the event letter, flags, the
// server's message id, the command's message id and connection id, the data length, the
// data and "</rs485>".
class SDIMSG {
public:
    SDIMSG(char letter, uint32_t messageId, uint32_t serverId, uint32_t connectionId,
           const unsigned char* data, int n, bool lost);
    virtual ~SDIMSG();

    // 0 while the next check is not due; past it: 1 when already marked as a
    // retransmission, else 2 after marking it (the next check a second later).
    virtual int CheckForNonAcknowledgedMessage();
    virtual char GetResponseID() const { return letter_; }
    virtual uint32_t GetMessageID() const { return messageId_; }
    virtual uint32_t GetServerID() const { return serverId_; }
    virtual uint16_t GetFlags() const { return flags_; }
    virtual int GetLength() const { return length_; }
    virtual const unsigned char* GetBuffer() const { return text_; }
    // Marks the event as a retransmission (flag and text) and makes it due now.
    virtual void SetRetransmitFlag();
    virtual bool GetRetransmitFlag() const { return (flags_ & SDIMSG_RETRANSMIT) != 0; }

    uint32_t GetConnectionID() const { return connectionId_; }
    int32_t GetNextCheck() const { return nextCheck_; }
    // Time an event waits for its acknowledgement before it is sent once more.
    static constexpr int32_t kAckWaitMs = 1000;

private:
    char letter_;
    uint32_t messageId_;
    uint32_t serverId_;
    uint32_t connectionId_;
    uint16_t flags_ = 0;
    int length_;
    int32_t created_;
    int32_t nextCheck_;
    unsigned char text_[sdi::kEventText];
};
