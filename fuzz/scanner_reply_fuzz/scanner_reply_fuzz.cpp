// Arbitrary scanner replies into each scanner model's reply handling, and arbitrary label
// blocks into the base's parser and joiner. Each input is a run of records:
//   control byte: bits 0-2 the model (96, 97, 98, 87, 8612; 5 to 7 count from 0 again),
//                 bits 3-6 the slot of the command taken as outstanding, bit 7 a label block
//                 for the joiner instead of a reply (its last-block flag: bit 3);
//   length byte, then that many payload bytes (fewer at the end of the input).
#include <cstddef>
#include <cstdint>
#include <memory>

#include "../FuzzRoot.h"
#include "SCF8612P.h"
#include "SCFB87.h"
#include "SCFB96P.h"
#include "SCFB97P.h"
#include "SCFB98P.h"

namespace {

template <class P>
class Fuzzed : public P {
public:
    Fuzzed() : P(DeviceID(1, 0x11, 0x4A)) {}
    int Reply(const unsigned char* data, int n, int outstanding) {
        this->lastSent_ = outstanding;
        this->SetStatusBits(SIODEV_AWAITING_REPLY);
        return this->NewMsgRcvd(data, n);
    }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzroot::usePrivateRoot();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Fuzzed<SCFB96P> m96;
    Fuzzed<SCFB97P> m97;
    Fuzzed<SCFB98P> m98;
    Fuzzed<SCFB87P> m87;
    Fuzzed<SCF8612P> m8612;
    size_t at = 0;
    while (at + 2 <= size) {
        const uint8_t control = data[at];
        size_t n = data[at + 1];
        at += 2;
        if (n > size - at) n = size - at;
        const unsigned char* payload = data + at;
        at += n;
        const int slot = (control >> 3) & 15;
        const int len = static_cast<int>(n);
        const int model = (control & 7) % 5;
        SCP* target = nullptr;
        switch (model) {
        case 0: target = &m96; break;
        case 1: target = &m97; break;
        case 2: target = &m98; break;
        case 3: target = &m87; break;
        default: target = &m8612; break;
        }
        if (control & 0x80) {
            target->LabelDataRcvd(payload, len, slot & 1);
            continue;
        }
        switch (model) {
        case 0: m96.Reply(payload, len, slot); break;
        case 1: m97.Reply(payload, len, slot); break;
        case 2: m98.Reply(payload, len, slot); break;
        case 3: m87.Reply(payload, len, slot); break;
        default: m8612.Reply(payload, len, slot); break;
        }
    }
    return 0;
}
