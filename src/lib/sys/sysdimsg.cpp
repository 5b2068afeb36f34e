// Raw-access protocol: frames, the tag parser, commands and events.
#include "SdiMessages.h"

#include <cstring>

#include "ovkhost.h"

namespace sdi {

int BuildFrame(const char* text, int n, unsigned char* out) {
    if (!out || n < 0 || n > kMaxText || (n > 0 && !text)) return 0;
    out[0] = static_cast<unsigned char>(n >> 8);
    out[1] = static_cast<unsigned char>(n & 0xFF);
    if (n > 0) std::memcpy(out + 2, text, static_cast<size_t>(n));
    out[2 + n] = kFrameEnd;
    return n + 3;
}

Parsed ParseMessage(const char* text, int n, const Tag* table, int count) {
    Parsed out;
    if (!text || n <= 0) return out;
    for (int i = 0; i < count; ++i) {
        const int open = static_cast<int>(std::strlen(table[i].open));
        const int close = static_cast<int>(std::strlen(table[i].close));
        if (n < open || std::memcmp(text, table[i].open, static_cast<size_t>(open)) != 0) continue;
        out.type = table[i].type;
        if (n >= open + close && std::memcmp(text + n - close, table[i].close, static_cast<size_t>(close)) == 0) {
            out.body = text + open;
            out.length = n - open - close;
        } else {
            out.body = text + open;
            out.length = 0;
            out.malformed = true;
        }
        return out;
    }
    return out;
}

namespace {

const Tag kDeviceTags[] = {
    {"<rs485>", "</rs485>", kRs485},       {"<ack>", "</ack>", kAck},
    {"<version>", "</version>", kVersion}, {"<status>", "</status>", kStatus},
    {"<trace>", "</trace>", kTrace},       {"<open>", "</open>", kOpen},
    {"<close>", "</close>", kClose},
};

const Tag kQueryTags[] = {
    {"<query>", "</query>", kQuery},
    {"<status>", "</status>", kStatus},
};

const char* const kClassNames[] = {
    "UNKNOWN", "UNKNOWN", "DISPLAY", "PRINTER",  "SCANNER", "MSR",   "CASH_DRAWER",
    "ALARM",   "NVRAM",   "KEYBOARD", "RS232",   "SCALE",   "POWER", "TOUCH_SCREEN",
};

} // namespace

Parsed ParseDeviceServerMessage(const char* text, int n) {
    return ParseMessage(text, n, kDeviceTags, sizeof kDeviceTags / sizeof kDeviceTags[0]);
}

Parsed ParseQueryServerMessage(const char* text, int n) {
    return ParseMessage(text, n, kQueryTags, sizeof kQueryTags / sizeof kQueryTags[0]);
}

const char* ClassName(int deviceType) {
    const int count = static_cast<int>(sizeof kClassNames / sizeof kClassNames[0]);
    return deviceType >= 0 && deviceType < count ? kClassNames[deviceType] : "UNKNOWN";
}

} // namespace sdi

// ---------------------------------------------------------------------------------------

SDICMD::SDICMD(uint32_t connectionId, int bodyLength, const unsigned char* body)
    : connectionId_(connectionId) {
    std::memset(data_, 0, sizeof data_);
    if (!body || bodyLength < sdi::kCommandHeader) return;
    command_ = body[0];
    const unsigned char options = body[2];
    queue_ = (options & 0x01) ? 1 : 0;
    flags_ = options & (SDICMD_NO_HOLD | SDICMD_RELEASE | SDICMD_NO_ACK_WAIT);
    messageId_ = sdi::be32(body + 3);
    addressWait_ = body[7];
    byteWait_ = body[8];
    int length = static_cast<int>(sdi::be16(body + 9));
    if (length > sdi::kMaxData) {
        length = sdi::kMaxData;
        flags_ |= SDICMD_TOO_LONG;
    }
    // Only the data the body holds.
    if (bodyLength < sdi::kCommandHeader + length) length = bodyLength - sdi::kCommandHeader;
    length_ = static_cast<uint16_t>(length);
    std::memcpy(data_, body + sdi::kCommandHeader, static_cast<size_t>(length));
    if ((length == 2 || length == 3) && data_[0] == 0x00 && data_[1] == 0x40)
        flags_ |= SDICMD_RELEASE | SDICMD_NO_ACK_WAIT;
}

SDICMD::~SDICMD() = default;

// ---------------------------------------------------------------------------------------

namespace {

void put16(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v >> 8);
    p[1] = static_cast<unsigned char>(v);
}

void put32(unsigned char* p, uint32_t v) {
    put16(p, v >> 16);
    put16(p + 2, v);
}

} // namespace

SDIMSG::SDIMSG(char letter, uint32_t messageId, uint32_t serverId, uint32_t connectionId,
               const unsigned char* data, int n, bool lost)
    : letter_(letter), messageId_(messageId), serverId_(serverId), connectionId_(connectionId) {
    std::memset(text_, 0, sizeof text_);
    if (!data || n < 0) n = 0;
    if (lost) flags_ |= SDIMSG_LOST;
    if (n > sdi::kMaxData) {
        n = sdi::kMaxData;
        flags_ |= SDIMSG_CUT;
    }
    std::memcpy(text_, "<rs485>", 7);
    text_[7] = static_cast<unsigned char>(letter);
    put16(text_ + 8, flags_);
    put32(text_ + 10, serverId);
    put32(text_ + 14, messageId);
    put32(text_ + 18, connectionId);
    put16(text_ + 22, static_cast<uint32_t>(n));
    if (n > 0) std::memcpy(text_ + sdi::kEventHeader, data, static_cast<size_t>(n));
    std::memcpy(text_ + sdi::kEventHeader + n, "</rs485>", 8);
    length_ = n + sdi::kEventHeader + 8;
    created_ = chTime();
    nextCheck_ = chTimeAdd(created_, kAckWaitMs);
}

SDIMSG::~SDIMSG() = default;

void SDIMSG::SetRetransmitFlag() {
    nextCheck_ = chTime();
    flags_ |= SDIMSG_RETRANSMIT;
    put16(text_ + 8, flags_);
}

int SDIMSG::CheckForNonAcknowledgedMessage() {
    const int32_t now = chTime();
    if (!chTimeReached(now, nextCheck_)) return 0;
    if (GetRetransmitFlag()) return 1;
    SetRetransmitFlag();
    nextCheck_ = chTimeAdd(now, kAckWaitMs);
    return 2;
}
