// Bounded reads of a record's payload: every field is read within the payload's length, and
// a field that lies (partly) past it reads as zero bytes, as in the reader's cleared buffer.
#pragma once

#include <cstdint>
#include <string>

class Payload {
public:
    Payload(const uint8_t* data, int length) : data_(data), length_(length > 0 ? length : 0) {}

    const uint8_t* data() const { return data_; }
    int length() const { return length_; }

    uint8_t u8(int at) const { return at >= 0 && at < length_ ? data_[at] : 0; }
    uint16_t u16(int at) const { return static_cast<uint16_t>(u8(at) | u8(at + 1) << 8); }
    uint32_t u32(int at) const {
        return static_cast<uint32_t>(u8(at)) | static_cast<uint32_t>(u8(at + 1)) << 8 |
               static_cast<uint32_t>(u8(at + 2)) << 16 | static_cast<uint32_t>(u8(at + 3)) << 24;
    }
    int32_t i32(int at) const { return static_cast<int32_t>(u32(at)); }
    // The zero-terminated text at `at`, at most `max` characters and never past the payload.
    std::string text(int at, int max) const;
    // The position of the first zero byte at or after `at` (the payload's length when none).
    int zeroAfter(int at) const;
    // The bytes from `at` to the end (an empty span when `at` lies past it).
    const uint8_t* from(int at) const { return data_ + clampOffset(at); }
    int restFrom(int at) const { return length_ - clampOffset(at); }
    // A count taken from the payload, bounded to what lies from `at` on (negative: 0).
    int clampCount(int at, long count) const;

private:
    int clampOffset(int at) const { return at < 0 ? 0 : at > length_ ? length_ : at; }
    const uint8_t* data_;
    int length_;
};
