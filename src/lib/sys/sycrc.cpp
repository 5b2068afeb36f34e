// CRC-16/X.25 with a 256-entry table.
#include "sycrc.h"

#include <array>
#include <cstdint>

namespace {

constexpr uint16_t kReflectedPoly = 0x8408; // 0x1021 bit-reversed

constexpr std::array<uint16_t, 256> makeTable() {
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t v = static_cast<uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit)
            v = (v & 1) ? static_cast<uint16_t>((v >> 1) ^ kReflectedPoly) : static_cast<uint16_t>(v >> 1);
        table[i] = v;
    }
    return table;
}

constexpr std::array<uint16_t, 256> kTable = makeTable();

} // namespace

unsigned short CalculateCRC(const unsigned char* data, int n) {
    uint16_t crc = 0xFFFF;
    if (data) {
        for (int i = 0; i < n; ++i)
            crc = static_cast<uint16_t>((crc >> 8) ^ kTable[(crc ^ data[i]) & 0xFF]);
    }
    return static_cast<unsigned short>(~crc & 0xFFFF);
}
