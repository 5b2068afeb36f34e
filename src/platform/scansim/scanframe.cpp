// The line scanner's frames.
#include "scanframe.h"

#include <cstdio>

namespace scansim {

uint16_t checksum(const Bytes& bytes) {
    unsigned a = 0, b = 0;
    for (uint8_t x : bytes) {
        a += x;
        b += a;
    }
    return static_cast<uint16_t>(b & 0xFFFF);
}

Bytes stuff(const Bytes& bytes) {
    Bytes out{kStx};
    for (uint8_t x : bytes) {
        if (x == kStx || x == kEtx || x == kDle) {
            out.push_back(kDle);
            out.push_back(static_cast<uint8_t>(x | 0x40));
        } else {
            out.push_back(x);
        }
    }
    out.push_back(kEtx);
    return out;
}

bool unstuff(const Bytes& frame, Bytes& out) {
    out.clear();
    if (frame.size() < 2 || frame.front() != kStx || frame.back() != kEtx) return false;
    for (size_t i = 1; i + 1 < frame.size(); ++i) {
        if (frame[i] != kDle) {
            out.push_back(frame[i]);
            continue;
        }
        if (i + 2 >= frame.size()) return false; // a lone DLE before ETX
        out.push_back(static_cast<uint8_t>(frame[++i] & 0xBF));
    }
    return true;
}

Bytes commandFrame(const Bytes& body, uint8_t control) {
    Bytes plain;
    plain.reserve(body.size() + 4);
    plain.push_back(0x00);
    plain.insert(plain.end(), body.begin(), body.end());
    plain.push_back(control);
    const uint16_t sum = checksum(plain);
    plain.push_back(static_cast<uint8_t>(sum >> 8));
    plain.push_back(static_cast<uint8_t>(sum & 0xFF));
    return stuff(plain);
}

std::string hex(const Bytes& bytes) {
    std::string out;
    char two[4];
    for (uint8_t x : bytes) {
        std::snprintf(two, sizeof two, "%02X", x);
        if (!out.empty()) out += ' ';
        out += two;
    }
    return out;
}

void FrameReader::feed(const uint8_t* data, size_t n, std::vector<Bytes>& frames) {
    for (size_t i = 0; i < n; ++i) {
        const uint8_t x = data[i];
        if (x == kStx) {
            current_.assign(1, kStx);
            continue;
        }
        if (current_.empty()) continue;
        current_.push_back(x);
        if (x == kEtx) {
            frames.push_back(std::move(current_));
            current_.clear();
        } else if (current_.size() >= kMaxFrame) {
            current_.clear();
        }
    }
}

} // namespace scansim
