// The client-daemon message codec: the byte layout of every request, reply and event, shared
// by the client library (encodes requests, decodes replies and events) and the control daemon
// (decodes requests, encodes replies and events). Little-endian; every variable part padded
// with zero bytes to a multiple of 4. Every decoder reads only the bytes it is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <variant>

#include "ovkargs.h"

namespace ovkwire {

// Message type words.
constexpr uint32_t MSG_EVENT = 0xCE000001;
constexpr uint32_t MSG_REPLY = 0xCE000002;
constexpr uint32_t REQ_CLOSE = 0xCE000003;
constexpr uint32_t REQ_INITIALIZE = 0xCE000004;
constexpr uint32_t REQ_IOCTL = 0xCE000005;
constexpr uint32_t REQ_OPEN = 0xCE000006;
constexpr uint32_t REQ_READ = 0xCE000007;
constexpr uint32_t REQ_VERSION = 0xCE000008;
constexpr uint32_t REQ_WRITE = 0xCE000009;

constexpr size_t REQUEST_HEADER_SIZE = 8;
constexpr size_t REPLY_HEADER_SIZE = 20;
constexpr size_t EVENT_SIZE = 20;
constexpr size_t INITIALIZE_FIXED_SIZE = 60;
constexpr size_t OPEN_FIXED_SIZE = 16;
constexpr size_t IOCTL_FIXED_SIZE = 16;
constexpr size_t READ_FIXED_SIZE = 12;
constexpr size_t WRITE_FIXED_SIZE = 12;
constexpr size_t CLOSE_SIZE = 12;
constexpr size_t LEAD_BYTES_SIZE = 32;
constexpr uint32_t INITIALIZE_MAGIC = 0xCCCC0001;

// Every request, and every reply with its padded data, fits a message buffer of this size.
constexpr size_t MESSAGE_BUFFER_SIZE = 32751;
// Largest reply data length (unpadded); the client keeps the padding too.
constexpr size_t MAX_REPLY_DATA = MESSAGE_BUFFER_SIZE - REPLY_HEADER_SIZE; // 32731
constexpr size_t REPLY_BUFFER_SIZE = REPLY_HEADER_SIZE + ((MAX_REPLY_DATA + 3) & ~size_t(3));
// Largest argument block of an IOCtl request, and the longest device name (NUL included).
constexpr size_t MAX_IOCTL_ARGS = MESSAGE_BUFFER_SIZE - IOCTL_FIXED_SIZE; // 32735
constexpr size_t MAX_DEVICE_NAME = 33;
// Largest byte counts a Read (bounded by the reply's data) and a Write request carry.
constexpr size_t MAX_READ_BYTES = MAX_REPLY_DATA;                                         // 32731
constexpr size_t MAX_WRITE_BYTES = (MESSAGE_BUFFER_SIZE - WRITE_FIXED_SIZE) & ~size_t(3); // 32736

constexpr size_t pad4(size_t n) { return (n + 3) & ~size_t(3); }

// Little-endian field access.
inline uint16_t getU16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t getU32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline void putU16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void putU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

// ---------------------------------------------------------------------------------------
// Messages. Strings are given without their NUL (it is added on the wire); byte views point
// into the caller's buffer and stay valid as long as it does.

struct InitializeRequest {
    uint32_t handle = 0;
    std::string_view applName;
    std::string_view resFile;
    ByteSpan argBlock;   // serialised argument block (may be empty)
    uint16_t nargs = 0;  // number of arguments the application gave
    uint16_t codePage = 0;
    uint8_t leadBytes[LEAD_BYTES_SIZE] = {};
    ArgList args;        // decoded from argBlock (daemon side)
};

struct OpenRequest {
    uint32_t handle = 0;
    std::string_view deviceName;
    std::string_view className;
    ByteSpan argBlock;
    uint16_t nargs = 0;
    ArgList args;
};

struct IOCtlRequest {
    uint32_t handle = 0;
    uint8_t device = 0;   // server device descriptor, 0 for the process's system handle
    uint16_t request = 0; // low 16 bits of the request code
    ByteSpan argBlock;
    uint16_t nargs = 0;   // 0 whenever argBlock is empty
    ArgList args;
};

struct ReadRequest {
    uint32_t handle = 0;
    uint8_t device = 0;
    ByteSpan data; // the caller's buffer as it stands; its size is the count wanted
};

struct WriteRequest {
    uint32_t handle = 0;
    uint8_t device = 0;
    ByteSpan data;
};

struct CloseRequest {
    uint32_t handle = 0;
    uint8_t device = 0;
};

struct VersionRequest {
    uint32_t handle = 0;
};

using Request = std::variant<CloseRequest, InitializeRequest, IOCtlRequest, OpenRequest,
                             ReadRequest, VersionRequest, WriteRequest>;

struct ReplyHeader {
    uint32_t handle = 0;
    int32_t rc = 0;
    int32_t error = 0;
    uint32_t dataLength = 0; // unpadded
};

struct EventMessage {
    uint32_t queueHandle = 0;
    uint32_t msg = 0;
    uint32_t mp1 = 0;
    uint32_t mp2 = 0;
};

// What the daemon sends: an event, a reply (with a view of its unpadded data), or a message
// of another type (its 20 bytes are skipped).
struct ServerMessage {
    enum Kind { Event, Reply, Unknown } kind = Unknown;
    uint32_t type = 0;
    EventMessage event;
    ReplyHeader reply;
    ByteSpan data;
};

// Lead-byte ranges of a double-byte code page (all zero for any other code page).
void leadByteRanges(uint16_t codePage, uint8_t out[LEAD_BYTES_SIZE]);

// Version data of a Version reply: version, release and modification as signed 16-bit values
// at data offsets 0, 2 and 4.
constexpr size_t VERSION_DATA_SIZE = 6;
struct VersionInfo {
    int16_t version = 0, release = 0, modification = 0;
};
void encodeVersionData(const VersionInfo& v, uint8_t out[VERSION_DATA_SIZE]);
// Fields missing from a short data part read as 0.
VersionInfo decodeVersionData(ByteSpan data);

// ---------------------------------------------------------------------------------------
// Encoders: each writes the whole message at `out` and returns its length, or 0 when it does
// not fit `size` bytes or a length exceeds what its field can carry.

size_t encodeRequest(uint8_t* out, size_t size, const InitializeRequest& r);
size_t encodeRequest(uint8_t* out, size_t size, const OpenRequest& r);
size_t encodeRequest(uint8_t* out, size_t size, const IOCtlRequest& r);
size_t encodeRequest(uint8_t* out, size_t size, const ReadRequest& r);
size_t encodeRequest(uint8_t* out, size_t size, const WriteRequest& r);
size_t encodeRequest(uint8_t* out, size_t size, const CloseRequest& r);
size_t encodeRequest(uint8_t* out, size_t size, const VersionRequest& r);

// A reply with its data (at most MAX_REPLY_DATA bytes), padded.
size_t encodeReply(uint8_t* out, size_t size, const ReplyHeader& h, ByteSpan data);
size_t encodeEvent(uint8_t* out, size_t size, const EventMessage& e);

// ---------------------------------------------------------------------------------------
// Decoders. Given the bytes received so far, each tells whether they begin with a whole
// message, need more bytes, or cannot be a valid message (the connection is then closed).

struct DecodeResult {
    enum Status { Ok, NeedMore, Invalid } status = Invalid;
    size_t bytes = 0; // Ok: the message's length; NeedMore: bytes needed before trying again
};

// Daemon side: one request, its strings checked for their NUL and its argument block decoded
// and checked against the resource-name table (ArgList::decode).
DecodeResult decodeRequest(const uint8_t* p, size_t n, Request& out);
// Client side: one event, reply (data length at most MAX_REPLY_DATA) or unknown message.
DecodeResult decodeServerMessage(const uint8_t* p, size_t n, ServerMessage& out);

} // namespace ovkwire
