// Frame records of the RS-485 link as the adapter manager and a link device pass them: the
// received record a device is given (length L, port, address, control, data, two check
// bytes) and the outgoing record a device hands to its adapter (length, port, address
// wait, byte wait, address, control, data, two check bytes), taken apart again.
#pragma once

#include <cstdint>
#include <vector>

#include "sycrc.h"

namespace linkrec {

using Bytes = std::vector<uint8_t>;

// A received frame record with its check bytes over address, control and data.
inline Bytes received(uint8_t port, uint8_t address, uint8_t control, const Bytes& data = {}) {
    const int length = static_cast<int>(data.size()) + 4;
    Bytes rec(data.size() + 7);
    rec[0] = static_cast<uint8_t>(length & 0xFF);
    rec[1] = static_cast<uint8_t>(length >> 8);
    rec[2] = port;
    rec[3] = address;
    rec[4] = control;
    for (size_t i = 0; i < data.size(); ++i) rec[5 + i] = data[i];
    const unsigned short crc = CalculateCRC(rec.data() + 3, length - 2);
    rec[rec.size() - 2] = static_cast<uint8_t>(crc & 0xFF);
    rec[rec.size() - 1] = static_cast<uint8_t>(crc >> 8);
    return rec;
}

// An outgoing frame record taken apart. wellFormed: at least the 9 bytes of a frame
// without data, and as long as its length field says; checkOk: the check bytes are the
// CRC of address, control and data.
struct Sent {
    bool wellFormed = false;
    bool checkOk = false;
    uint8_t port = 0, addressWait = 0, byteWait = 0, address = 0, control = 0;
    Bytes data;
    bool info() const { return (control & 0x11) == 0; }
};

inline Sent decodeSent(const Bytes& rec) {
    Sent s;
    if (rec.size() < 9 || rec.size() != static_cast<size_t>(rec[0] | rec[1] << 8) + 5) return s;
    s.wellFormed = true;
    s.port = rec[2];
    s.addressWait = rec[3];
    s.byteWait = rec[4];
    s.address = rec[5];
    s.control = rec[6];
    s.data.assign(rec.begin() + 7, rec.end() - 2);
    const unsigned short crc = CalculateCRC(rec.data() + 5, static_cast<int>(rec.size()) - 7);
    s.checkOk = rec[rec.size() - 2] == (crc & 0xFF) && rec[rec.size() - 1] == (crc >> 8);
    return s;
}

} // namespace linkrec
