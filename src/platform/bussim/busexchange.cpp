// Exchange-buffer layout: encoding and bounded decoding of both directions.
#include "busexchange.h"

#include <algorithm>
#include <cstring>

#include "sycrc.h"

namespace bussim {

namespace {

uint16_t get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

void put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

} // namespace

uint16_t frameCheck(uint8_t address, uint8_t control, const uint8_t* data, size_t n) {
    std::vector<uint8_t> covered;
    covered.reserve(n + 2);
    covered.push_back(address);
    covered.push_back(control);
    if (n) covered.insert(covered.end(), data, data + n);
    return CalculateCRC(covered.data(), static_cast<int>(covered.size()));
}

OutFrame OutFrame::make(uint8_t port, uint8_t address, uint8_t control, std::vector<uint8_t> data,
                        uint8_t addressWait, uint8_t byteWait) {
    OutFrame f;
    f.port = port;
    f.addressWait = addressWait;
    f.byteWait = byteWait;
    f.address = address;
    f.control = control;
    f.data = std::move(data);
    f.check = frameCheck(address, control, f.data.data(), f.data.size());
    f.checkOk = true;
    return f;
}

OutFrame OutFrame::broadcastReset(uint8_t port) {
    // 04 00 port 60 00 7A 03 00 40: the power-on reset data 00 40 sits where the check would.
    OutFrame f;
    f.port = port;
    f.addressWait = 0x60;
    f.byteWait = 0x00;
    f.address = exch::kBroadcastAddress;
    f.control = 0x03;
    f.check = 0x4000;
    f.checkOk = false;
    return f;
}

std::vector<uint8_t> encodeOutFrame(const OutFrame& f) {
    std::vector<uint8_t> r(f.data.size() + 9);
    put16(r.data(), static_cast<uint16_t>(f.data.size() + 4));
    r[2] = f.port;
    r[3] = f.addressWait;
    r[4] = f.byteWait;
    r[5] = f.address;
    r[6] = f.control;
    if (!f.data.empty()) std::memcpy(r.data() + 7, f.data.data(), f.data.size());
    put16(r.data() + 7 + f.data.size(), f.check);
    return r;
}

bool decodeCoreOutput(const uint8_t* buf, size_t n, CoreOutput& out, std::string& why) {
    out = CoreOutput{};
    if (!buf || n < exch::kBufferSize) {
        why = "buffer shorter than 2048 bytes";
        return false;
    }
    out.flags = buf[exch::kFlags];
    if (out.flags & exch::kFlagPortConfig) out.portConfig = buf[exch::kPortConfig];
    if (out.flags & exch::kFlagTiming)
        std::copy(buf + exch::kTiming, buf + exch::kTiming + 3, out.timing.begin());
    if (out.flags & exch::kFlagPollList) {
        for (size_t i = 0; i < exch::kPollEntries; ++i)
            out.pollList[i] = PollEntry{buf[exch::kPollList + 2 * i], buf[exch::kPollList + 2 * i + 1]};
    }
    if (out.flags & exch::kFlagFrames) {
        const size_t count = buf[exch::kFrameCount];
        const size_t end = exch::kFrameArea + exch::kOutFrameAreaSize;
        size_t off = exch::kFrameArea;
        for (size_t i = 0; i < count; ++i) {
            if (off + 2 > end) {
                why = "frame count " + std::to_string(count) + " runs past the frame area";
                return false;
            }
            const size_t length = get16(buf + off);
            if (length == 0) break; // a zero length ends the records
            if (length < 4) {
                why = "frame record " + std::to_string(i) + " has length " + std::to_string(length);
                return false;
            }
            if (off + length + 5 > end) {
                why = "frame record " + std::to_string(i) + " runs past the frame area";
                return false;
            }
            const uint8_t* r = buf + off;
            OutFrame f;
            f.port = r[2];
            f.addressWait = r[3];
            f.byteWait = r[4];
            f.address = r[5];
            f.control = r[6];
            f.data.assign(r + 7, r + 7 + (length - 4));
            f.check = get16(r + 7 + (length - 4));
            f.checkOk = f.check == frameCheck(f.address, f.control, f.data.data(), f.data.size());
            out.frames.push_back(std::move(f));
            off += length + 5;
        }
    }
    return true;
}

bool encodeCoreOutput(const CoreOutput& out, std::array<uint8_t, exch::kBufferSize>& buf) {
    buf.fill(0);
    buf[exch::kFlags] = out.flags;
    buf[exch::kPortConfig] = out.portConfig;
    std::copy(out.timing.begin(), out.timing.end(), buf.begin() + exch::kTiming);
    for (size_t i = 0; i < exch::kPollEntries; ++i) {
        buf[exch::kPollList + 2 * i] = out.pollList[i].port;
        buf[exch::kPollList + 2 * i + 1] = out.pollList[i].address;
    }
    if (out.frames.size() > 255) return false;
    size_t off = exch::kFrameArea;
    for (const OutFrame& f : out.frames) {
        std::vector<uint8_t> r = encodeOutFrame(f);
        if (off + r.size() > exch::kFrameArea + exch::kOutFrameAreaSize) return false;
        std::memcpy(buf.data() + off, r.data(), r.size());
        off += r.size();
    }
    buf[exch::kFrameCount] = static_cast<uint8_t>(out.frames.size());
    if (!out.frames.empty()) {
        buf[exch::kFrameMark1] = 0x2F;
        buf[exch::kFrameMark2] = 0x01;
    }
    return true;
}

bool encodeNodeInput(const NodeInput& in, std::array<uint8_t, exch::kBufferSize>& buf) {
    buf.fill(0);
    uint8_t events = in.events;
    events &= static_cast<uint8_t>(~((1u << exch::kEventErrors) | (1u << exch::kEventFrame)));
    if (in.frame && (events & (1u << exch::kEventStatus))) return false;
    buf[exch::kFlags] = in.flags;
    buf[exch::kPortConfig] = in.portByte;
    if (!in.errors.empty()) {
        size_t off = exch::kErrorArea;
        for (const ErrorRecord& e : in.errors) {
            const size_t size = e.encodedSize();
            if (size - 1 > 255 || off + size > exch::kErrorArea + exch::kErrorAreaSize) return false;
            buf[off] = static_cast<uint8_t>(size - 1);
            buf[off + 1] = e.code;
            buf[off + 2] = e.port;
            buf[off + 3] = e.address;
            if (!e.extra.empty()) std::memcpy(buf.data() + off + 4, e.extra.data(), e.extra.size());
            off += size;
        }
        put16(buf.data() + exch::kErrorLength, static_cast<uint16_t>(off - exch::kErrorArea));
        events |= 1u << exch::kEventErrors;
    }
    if (in.frame) {
        const InFrame& f = *in.frame;
        const size_t length = f.data.size() + 4;
        if (length + 3 > exch::kInFrameAreaSize) return false;
        uint8_t* r = buf.data() + exch::kFrameArea;
        put16(r, static_cast<uint16_t>(length));
        r[2] = f.port;
        r[3] = f.address;
        r[4] = f.control;
        if (!f.data.empty()) std::memcpy(r + 5, f.data.data(), f.data.size());
        put16(r + 5 + f.data.size(), frameCheck(f.address, f.control, f.data.data(), f.data.size()));
        events |= 1u << exch::kEventFrame;
    } else if (events & (1u << exch::kEventStatus)) {
        buf[exch::kStatusByte] = in.status;
    }
    buf[exch::kEvents] = events;
    return true;
}

bool decodeNodeInput(const uint8_t* buf, size_t n, NodeInput& in, std::string& why) {
    in = NodeInput{};
    if (!buf || n < exch::kBufferSize) {
        why = "buffer shorter than 2048 bytes";
        return false;
    }
    in.flags = buf[exch::kFlags];
    in.portByte = buf[exch::kPortConfig];
    in.events = buf[exch::kEvents];
    if (in.events & (1u << exch::kEventErrors)) {
        const size_t length = get16(buf + exch::kErrorLength);
        if (length > exch::kErrorAreaSize) {
            why = "error area length " + std::to_string(length);
            return false;
        }
        const size_t end = exch::kErrorArea + length;
        size_t off = exch::kErrorArea;
        while (off < end) {
            const size_t count = buf[off];
            if (count < 3 || off + count + 1 > end) {
                why = "error record at " + std::to_string(off) + " does not fit the error area";
                return false;
            }
            ErrorRecord e;
            e.code = buf[off + 1];
            e.port = buf[off + 2];
            e.address = buf[off + 3];
            e.extra.assign(buf + off + 4, buf + off + count + 1);
            in.errors.push_back(std::move(e));
            off += count + 1;
        }
    }
    if (in.events & (1u << exch::kEventFrame)) {
        const uint8_t* r = buf + exch::kFrameArea;
        const size_t length = get16(r);
        if (length < 4 || length + 3 > exch::kInFrameAreaSize) {
            why = "received frame length " + std::to_string(length);
            return false;
        }
        InFrame f;
        f.port = r[2];
        f.address = r[3];
        f.control = r[4];
        f.data.assign(r + 5, r + 5 + (length - 4));
        f.check = get16(r + 5 + (length - 4));
        f.checkOk = f.check == frameCheck(f.address, f.control, f.data.data(), f.data.size());
        in.frame = std::move(f);
    } else if (in.events & (1u << exch::kEventStatus)) {
        in.status = buf[exch::kStatusByte];
    }
    return true;
}

} // namespace bussim
