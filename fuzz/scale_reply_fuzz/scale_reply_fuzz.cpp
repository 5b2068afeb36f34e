// Arbitrary scale replies into each scale model's reply handling and into the scale
// identifier. Each input is a run of records:
//   control byte: bits 0-1 the receiver (model 96, model 87, the identifier; 3 counts as 0),
//                 bits 2-5 the slot of the command taken as outstanding (for the identifier:
//                 bit 2 picks the probe taken as sent, bit 3 the probe state);
//   length byte, then that many payload bytes (fewer at the end of the input).
#include <cstddef>
#include <cstdint>

#include "../FuzzRoot.h"
#include "Oracle_6E.h"
#include "SCL87.h"
#include "SCL96.h"

namespace {

template <class P>
class Fuzzed : public P {
public:
    Fuzzed() : P(DeviceID(1, 0x11, 0x6E)) {}
    int Reply(const unsigned char* data, int n, int outstanding) {
        this->lastSent_ = outstanding;
        this->SetStatusBits(SIODEV_AWAITING_REPLY);
        return this->NewMsgRcvd(data, n);
    }
};

const unsigned char kExtendedStatus[] = {0x04};

class FuzzedOracle : public Oracle_6E {
public:
    FuzzedOracle() : Oracle_6E(DeviceID(1, 0x11, 0x6E)) {}
    int Reply(const unsigned char* data, int n, int control) {
        if (state_ != MODEL_87 && state_ != MODEL_96) state_ = (control & 8) ? PROBING : EXTENDED_SENT;
        // The extended status, or a probe the identifier made itself.
        if (control & 4) {
            lastSent_ = kExtendedStatus;
            lastSentLength_ = 1;
        }
        SetStatusBits(SIODEV_AWAITING_REPLY);
        return NewMsgRcvd(data, n);
    }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzroot::usePrivateRoot();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Fuzzed<SCL96P> m96;
    Fuzzed<SCL87P> m87;
    FuzzedOracle oracle;
    size_t at = 0;
    while (at + 2 <= size) {
        const uint8_t control = data[at];
        size_t n = data[at + 1];
        at += 2;
        if (n > size - at) n = size - at;
        const unsigned char* payload = data + at;
        at += n;
        const int slot = (control >> 2) & 15;
        const int len = static_cast<int>(n);
        switch (control & 3) {
        case 1: m87.Reply(payload, len, slot); break;
        case 2: oracle.Reply(payload, len, control >> 2); break;
        default: m96.Reply(payload, len, slot); break;
        }
    }
    return 0;
}
