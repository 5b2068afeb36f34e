// Encoding and bounded decoding of the client-daemon messages.
#include "ovkwire.h"

#include <cstring>

namespace ovkwire {

namespace {

// Writes `s` with its NUL, zero-padded to 4 bytes; returns the bytes written.
size_t putString(uint8_t* p, std::string_view s) {
    size_t n = s.size() + 1;
    std::memcpy(p, s.data(), s.size());
    std::memset(p + s.size(), 0, pad4(n) - s.size());
    return pad4(n);
}

size_t putBytes(uint8_t* p, ByteSpan b) {
    if (b.size) std::memcpy(p, b.data, b.size);
    std::memset(p + b.size, 0, pad4(b.size) - b.size);
    return pad4(b.size);
}

// Room for a message of `total` bytes: within the caller's buffer and the message limit.
bool fits(size_t total, size_t size) { return total <= size && total <= MESSAGE_BUFFER_SIZE; }

// A string field of `len` bytes (NUL included) at p: exactly one NUL, at its end.
bool getString(const uint8_t* p, size_t len, std::string_view& out) {
    if (len == 0 || p[len - 1] != '\0' || std::memchr(p, '\0', len - 1) != nullptr) return false;
    out = std::string_view(reinterpret_cast<const char*>(p), len - 1);
    return true;
}

DecodeResult need(size_t bytes) { return {DecodeResult::NeedMore, bytes}; }
DecodeResult ok(size_t bytes) { return {DecodeResult::Ok, bytes}; }
DecodeResult invalid() { return {DecodeResult::Invalid, 0}; }

DecodeResult decodeInitialize(const uint8_t* p, size_t n, Request& out) {
    if (n < INITIALIZE_FIXED_SIZE) return need(INITIALIZE_FIXED_SIZE);
    size_t nameLen = getU16(p + 10), resLen = getU16(p + 12), blockLen = getU16(p + 14);
    if (getU16(p + 8) != 1 || getU32(p + 20) != INITIALIZE_MAGIC || blockLen % 4 != 0)
        return invalid();
    size_t total = INITIALIZE_FIXED_SIZE + pad4(nameLen) + pad4(resLen) + blockLen;
    if (total > MESSAGE_BUFFER_SIZE) return invalid();
    if (n < total) return need(total);
    InitializeRequest r;
    r.handle = getU32(p + 4);
    size_t pos = INITIALIZE_FIXED_SIZE;
    if (!getString(p + pos, nameLen, r.applName)) return invalid();
    pos += pad4(nameLen);
    if (!getString(p + pos, resLen, r.resFile)) return invalid();
    pos += pad4(resLen);
    r.argBlock = ByteSpan(p + pos, blockLen);
    r.nargs = getU16(p + 16);
    r.codePage = getU16(p + 18);
    std::memcpy(r.leadBytes, p + 24, LEAD_BYTES_SIZE);
    if (!r.args.decode(r.argBlock, r.nargs, 0)) return invalid();
    out = std::move(r);
    return ok(total);
}

DecodeResult decodeOpen(const uint8_t* p, size_t n, Request& out) {
    if (n < OPEN_FIXED_SIZE) return need(OPEN_FIXED_SIZE);
    size_t nameLen = getU16(p + 8), classLen = getU16(p + 10), blockLen = getU16(p + 12);
    if (nameLen > MAX_DEVICE_NAME || blockLen % 4 != 0) return invalid();
    size_t total = OPEN_FIXED_SIZE + pad4(nameLen) + pad4(classLen) + blockLen;
    if (total > MESSAGE_BUFFER_SIZE) return invalid();
    if (n < total) return need(total);
    OpenRequest r;
    r.handle = getU32(p + 4);
    size_t pos = OPEN_FIXED_SIZE;
    if (!getString(p + pos, nameLen, r.deviceName)) return invalid();
    pos += pad4(nameLen);
    if (!getString(p + pos, classLen, r.className)) return invalid();
    pos += pad4(classLen);
    r.argBlock = ByteSpan(p + pos, blockLen);
    r.nargs = getU16(p + 14);
    if (!r.args.decode(r.argBlock, r.nargs, 0)) return invalid();
    out = std::move(r);
    return ok(total);
}

DecodeResult decodeIOCtl(const uint8_t* p, size_t n, Request& out) {
    if (n < IOCTL_FIXED_SIZE) return need(IOCTL_FIXED_SIZE);
    size_t blockLen = getU16(p + 12);
    if (blockLen > MAX_IOCTL_ARGS || blockLen % 4 != 0) return invalid();
    size_t total = IOCTL_FIXED_SIZE + blockLen;
    if (n < total) return need(total);
    IOCtlRequest r;
    r.handle = getU32(p + 4);
    r.device = p[8];
    r.request = getU16(p + 10);
    r.argBlock = ByteSpan(p + IOCTL_FIXED_SIZE, blockLen);
    r.nargs = blockLen ? getU16(p + 14) : 0;
    if (!r.args.decode(r.argBlock, r.nargs, r.request)) return invalid();
    out = std::move(r);
    return ok(total);
}

template <class R>
DecodeResult decodeData(const uint8_t* p, size_t n, Request& out) {
    if (n < READ_FIXED_SIZE) return need(READ_FIXED_SIZE);
    size_t len = getU16(p + 10);
    size_t total = READ_FIXED_SIZE + pad4(len);
    if (total > MESSAGE_BUFFER_SIZE) return invalid();
    if (n < total) return need(total);
    R r;
    r.handle = getU32(p + 4);
    r.device = p[8];
    r.data = ByteSpan(p + READ_FIXED_SIZE, len);
    out = r;
    return ok(total);
}

} // namespace

void leadByteRanges(uint16_t codePage, uint8_t out[LEAD_BYTES_SIZE]) {
    std::memset(out, 0, LEAD_BYTES_SIZE);
    static const uint8_t cp932[] = {0x81, 0x9F, 0xE9, 0xFC};
    static const uint8_t cp936[] = {0x81, 0xFC};
    static const uint8_t cp949[] = {0xA1, 0xFE};
    static const uint8_t cp874[] = {0x81, 0x9F};
    switch (codePage) {
    case 932: std::memcpy(out, cp932, sizeof cp932); break;
    case 936:
    case 950: std::memcpy(out, cp936, sizeof cp936); break;
    case 949:
    case 1361: std::memcpy(out, cp949, sizeof cp949); break;
    case 874:
    case 929: std::memcpy(out, cp874, sizeof cp874); break;
    default: break;
    }
}

void encodeVersionData(const VersionInfo& v, uint8_t out[VERSION_DATA_SIZE]) {
    putU16(out, static_cast<uint16_t>(v.version));
    putU16(out + 2, static_cast<uint16_t>(v.release));
    putU16(out + 4, static_cast<uint16_t>(v.modification));
}

VersionInfo decodeVersionData(ByteSpan data) {
    VersionInfo v;
    if (data.size >= 2) v.version = static_cast<int16_t>(getU16(data.data));
    if (data.size >= 4) v.release = static_cast<int16_t>(getU16(data.data + 2));
    if (data.size >= 6) v.modification = static_cast<int16_t>(getU16(data.data + 4));
    return v;
}

// ---------------------------------------------------------------------------------------
// Encoders

size_t encodeRequest(uint8_t* out, size_t size, const InitializeRequest& r) {
    size_t nameLen = r.applName.size() + 1, resLen = r.resFile.size() + 1;
    if (nameLen > 0xFFFF || resLen > 0xFFFF || r.argBlock.size > 0xFFFF) return 0;
    size_t total = INITIALIZE_FIXED_SIZE + pad4(nameLen) + pad4(resLen) + pad4(r.argBlock.size);
    if (!fits(total, size)) return 0;
    std::memset(out, 0, INITIALIZE_FIXED_SIZE);
    putU32(out, REQ_INITIALIZE);
    putU32(out + 4, r.handle);
    putU16(out + 8, 1);
    putU16(out + 10, static_cast<uint16_t>(nameLen));
    putU16(out + 12, static_cast<uint16_t>(resLen));
    putU16(out + 14, static_cast<uint16_t>(r.argBlock.size));
    putU16(out + 16, r.nargs);
    putU16(out + 18, r.codePage);
    putU32(out + 20, INITIALIZE_MAGIC);
    std::memcpy(out + 24, r.leadBytes, LEAD_BYTES_SIZE);
    size_t pos = INITIALIZE_FIXED_SIZE;
    pos += putString(out + pos, r.applName);
    pos += putString(out + pos, r.resFile);
    pos += putBytes(out + pos, r.argBlock);
    return pos;
}

size_t encodeRequest(uint8_t* out, size_t size, const OpenRequest& r) {
    size_t nameLen = r.deviceName.size() + 1, classLen = r.className.size() + 1;
    if (nameLen > MAX_DEVICE_NAME || classLen > 0xFFFF || r.argBlock.size > 0xFFFF) return 0;
    size_t total = OPEN_FIXED_SIZE + pad4(nameLen) + pad4(classLen) + pad4(r.argBlock.size);
    if (!fits(total, size)) return 0;
    putU32(out, REQ_OPEN);
    putU32(out + 4, r.handle);
    putU16(out + 8, static_cast<uint16_t>(nameLen));
    putU16(out + 10, static_cast<uint16_t>(classLen));
    putU16(out + 12, static_cast<uint16_t>(r.argBlock.size));
    putU16(out + 14, r.nargs);
    size_t pos = OPEN_FIXED_SIZE;
    pos += putString(out + pos, r.deviceName);
    pos += putString(out + pos, r.className);
    pos += putBytes(out + pos, r.argBlock);
    return pos;
}

size_t encodeRequest(uint8_t* out, size_t size, const IOCtlRequest& r) {
    if (r.argBlock.size > MAX_IOCTL_ARGS) return 0;
    size_t total = IOCTL_FIXED_SIZE + pad4(r.argBlock.size);
    if (!fits(total, size)) return 0;
    putU32(out, REQ_IOCTL);
    putU32(out + 4, r.handle);
    out[8] = r.device;
    out[9] = 0;
    putU16(out + 10, r.request);
    putU16(out + 12, static_cast<uint16_t>(r.argBlock.size));
    putU16(out + 14, r.argBlock.size ? r.nargs : 0);
    return IOCTL_FIXED_SIZE + putBytes(out + IOCTL_FIXED_SIZE, r.argBlock);
}

namespace {
size_t encodeData(uint8_t* out, size_t size, uint32_t type, uint32_t handle, uint8_t device,
                  ByteSpan data) {
    if (data.size > 0xFFFF) return 0;
    size_t total = READ_FIXED_SIZE + pad4(data.size);
    if (!fits(total, size)) return 0;
    putU32(out, type);
    putU32(out + 4, handle);
    out[8] = device;
    out[9] = 0;
    putU16(out + 10, static_cast<uint16_t>(data.size));
    return READ_FIXED_SIZE + putBytes(out + READ_FIXED_SIZE, data);
}
} // namespace

size_t encodeRequest(uint8_t* out, size_t size, const ReadRequest& r) {
    return encodeData(out, size, REQ_READ, r.handle, r.device, r.data);
}

size_t encodeRequest(uint8_t* out, size_t size, const WriteRequest& r) {
    return encodeData(out, size, REQ_WRITE, r.handle, r.device, r.data);
}

size_t encodeRequest(uint8_t* out, size_t size, const CloseRequest& r) {
    if (size < CLOSE_SIZE) return 0;
    putU32(out, REQ_CLOSE);
    putU32(out + 4, r.handle);
    out[8] = r.device;
    out[9] = out[10] = out[11] = 0;
    return CLOSE_SIZE;
}

size_t encodeRequest(uint8_t* out, size_t size, const VersionRequest& r) {
    if (size < REQUEST_HEADER_SIZE) return 0;
    putU32(out, REQ_VERSION);
    putU32(out + 4, r.handle);
    return REQUEST_HEADER_SIZE;
}

size_t encodeReply(uint8_t* out, size_t size, const ReplyHeader& h, ByteSpan data) {
    if (data.size > MAX_REPLY_DATA) return 0;
    size_t total = REPLY_HEADER_SIZE + pad4(data.size);
    if (total > size) return 0;
    putU32(out, MSG_REPLY);
    putU32(out + 4, h.handle);
    putU32(out + 8, static_cast<uint32_t>(h.rc));
    putU32(out + 12, static_cast<uint32_t>(h.error));
    putU32(out + 16, static_cast<uint32_t>(data.size));
    return REPLY_HEADER_SIZE + putBytes(out + REPLY_HEADER_SIZE, data);
}

size_t encodeEvent(uint8_t* out, size_t size, const EventMessage& e) {
    if (size < EVENT_SIZE) return 0;
    putU32(out, MSG_EVENT);
    putU32(out + 4, e.queueHandle);
    putU32(out + 8, e.msg);
    putU32(out + 12, e.mp1);
    putU32(out + 16, e.mp2);
    return EVENT_SIZE;
}

// ---------------------------------------------------------------------------------------
// Decoders

DecodeResult decodeRequest(const uint8_t* p, size_t n, Request& out) {
    if (n < REQUEST_HEADER_SIZE) return need(REQUEST_HEADER_SIZE);
    switch (getU32(p)) {
    case REQ_CLOSE: {
        if (n < CLOSE_SIZE) return need(CLOSE_SIZE);
        CloseRequest r;
        r.handle = getU32(p + 4);
        r.device = p[8];
        out = r;
        return ok(CLOSE_SIZE);
    }
    case REQ_VERSION: {
        VersionRequest r;
        r.handle = getU32(p + 4);
        out = r;
        return ok(REQUEST_HEADER_SIZE);
    }
    case REQ_INITIALIZE: return decodeInitialize(p, n, out);
    case REQ_OPEN: return decodeOpen(p, n, out);
    case REQ_IOCTL: return decodeIOCtl(p, n, out);
    case REQ_READ: return decodeData<ReadRequest>(p, n, out);
    case REQ_WRITE: return decodeData<WriteRequest>(p, n, out);
    default: return invalid();
    }
}

DecodeResult decodeServerMessage(const uint8_t* p, size_t n, ServerMessage& out) {
    if (n < REPLY_HEADER_SIZE) return need(REPLY_HEADER_SIZE);
    out = ServerMessage{};
    out.type = getU32(p);
    if (out.type == MSG_EVENT) {
        out.kind = ServerMessage::Event;
        out.event.queueHandle = getU32(p + 4);
        out.event.msg = getU32(p + 8);
        out.event.mp1 = getU32(p + 12);
        out.event.mp2 = getU32(p + 16);
        return ok(EVENT_SIZE);
    }
    if (out.type != MSG_REPLY) return ok(EVENT_SIZE); // Unknown: its 20 bytes are skipped
    uint32_t len = getU32(p + 16);
    if (len > MAX_REPLY_DATA) return invalid();
    size_t total = REPLY_HEADER_SIZE + pad4(len);
    if (n < total) return need(total);
    out.kind = ServerMessage::Reply;
    out.reply.handle = getU32(p + 4);
    out.reply.rc = static_cast<int32_t>(getU32(p + 8));
    out.reply.error = static_cast<int32_t>(getU32(p + 12));
    out.reply.dataLength = len;
    out.data = ByteSpan(p + REPLY_HEADER_SIZE, len);
    return ok(total);
}

} // namespace ovkwire
