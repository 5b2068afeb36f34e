// Arbitrary replies into the hand-held scanner models' reply handling and into the hand-held
// identifier. Each input is a run of records:
//   control byte: bits 0-1 the target (0 model 1, 1 model 2, 2 model 20, 3 the identifier),
//                 bits 2-5 the slot of the command taken as outstanding (for the identifier:
//                 bit 2 which probe, bit 3 probing or retrying), bit 6 auto-disable on,
//                 bit 7 the scanner enabled;
//   length byte, then that many payload bytes (fewer at the end of the input).
#include <cstddef>
#include <cstdint>

#include "../FuzzClock.h"
#include "../FuzzRoot.h"
#include "Oracle_4B.h"
#include "SCHH1P.h"
#include "SCHH20P.h"
#include "ovkhost.h"

namespace {

template <class P>
class Fuzzed : public P {
public:
    Fuzzed() : P(DeviceID(1, 0x11, 0x4B)) {}
    int Reply(const unsigned char* data, int n, int outstanding, bool autoDisable, bool enabled) {
        this->lastSent_ = outstanding;
        this->autoDisable_ = autoDisable;
        this->enabled_ = enabled;
        this->SetStatusBits(SIODEV_AWAITING_REPLY);
        return this->NewMsgRcvd(data, n);
    }
};

class FuzzedOracle : public Oracle_4B {
public:
    FuzzedOracle() : Oracle_4B(DeviceID(1, 0x11, 0x4B)) {}
    int Reply(const unsigned char* data, int n, bool model2Probe, bool retrying) {
        // Once identified, each reply would replace it: start over instead.
        if (state_ != PROBING && state_ != RETRYING) state_ = PROBING;
        if (retrying) state_ = RETRYING;
        lastSent_ = model2Probe ? kModel2Probe : kModel20Probe;
        return NewMsgRcvd(data, n);
    }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzroot::usePrivateRoot();
    // The pause after an auto-disabled label runs on the settable clock, not in real time.
    fuzzclock::useManual();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzclock::restart();
    Fuzzed<SCHH1P> m1;
    Fuzzed<SCHH2P> m2;
    Fuzzed<SCHH20P> m20;
    FuzzedOracle oracle;
    size_t at = 0;
    while (at + 2 <= size) {
        const uint8_t control = data[at];
        size_t n = data[at + 1];
        at += 2;
        if (n > size - at) n = size - at;
        const unsigned char* payload = data + at;
        at += n;
        const int len = static_cast<int>(n);
        const int slot = (control >> 2) & 15;
        const bool autoDisable = (control & 0x40) != 0;
        const bool enabled = (control & 0x80) != 0;
        switch (control & 3) {
        case 0: m1.Reply(payload, len, slot, autoDisable, enabled); break;
        case 1: m2.Reply(payload, len, slot, autoDisable, enabled); break;
        case 2: m20.Reply(payload, len, slot, autoDisable, enabled); break;
        default: oracle.Reply(payload, len, (slot & 1) != 0, (slot & 2) != 0); break;
        }
    }
    return 0;
}
