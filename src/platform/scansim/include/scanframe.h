// The wire format of the serial line scanner: frames between STX and ETX with DLE stuffing,
// the 16-bit frame checksum, and a reader that cuts a byte stream into frames.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace scansim {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kStx = 0x02;
constexpr uint8_t kEtx = 0x03;
constexpr uint8_t kDle = 0x10;

// A = B = 0; for each byte A += byte, B += A; the low 16 bits of B.
uint16_t checksum(const Bytes& bytes);

// STX, each byte (0x02, 0x03 and 0x10 as 0x10 and the byte OR 0x40), ETX.
Bytes stuff(const Bytes& bytes);

// The bytes between STX and ETX with each 0x10 x pair turned back into x AND 0xBF. False for
// a frame without both delimiters or ending in a lone 0x10.
bool unstuff(const Bytes& frame, Bytes& out);

// 0x00, the body, the control byte and the checksum over those, stuffed.
Bytes commandFrame(const Bytes& body, uint8_t control);

// Bytes as upper-case hexadecimal pairs separated by blanks.
std::string hex(const Bytes& bytes);

// Cuts a byte stream into frames: STX starts one (dropping what was collected), ETX ends it,
// bytes outside a frame are dropped, and so is a frame longer than kMaxFrame bytes.
class FrameReader {
public:
    static constexpr size_t kMaxFrame = 1024;

    // Takes the bytes; every frame they complete is appended to `frames` as received.
    void feed(const uint8_t* data, size_t n, std::vector<Bytes>& frames);
    // Forgets a frame in progress (the line carried noise).
    void reset() { current_.clear(); }

private:
    Bytes current_; // empty when no frame is open
};

} // namespace scansim
