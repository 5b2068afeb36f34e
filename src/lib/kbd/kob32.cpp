// The extended POS keyboard with 32 key positions.
#include "KBO32P.h"

#include "ObjectSupport.h"

const unsigned char dkOB32Lookup[50] = {
    255, 75,  59,  107, 255, 76,  60,  108, 255, 79,  63,  111, 143, 78,  62,  110, 142,
    77,  61,  109, 141, 255, 255, 255, 255, 255, 255, 255, 159, 255, 255, 255, 158, 255,
    255, 255, 157, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
};

namespace {

PDEV* make(const DeviceID& id);
const unsigned char kAddresses[] = {0x10, 0x11};
ObjectSupport gKBO32P(KBO32P_TYPE_ID, make, kAddresses, 2);

// Information byte 6 of the second variant.
constexpr unsigned char kSecondVariant = 12;

} // namespace

extern "C" PDEV* _CreateKBO32P(const DeviceID& id) { return new KBO32P(id, "KBO32P"); }

namespace {
PDEV* make(const DeviceID& id) { return _CreateKBO32P(id); }
} // namespace

KBO32P::KBO32P(const DeviceID& id, const char* name) : KBO50P(id, name) {
    deviceSubtype_ = 12;
    SetKeyNumberMap(dkOB32Lookup, sizeof dkOB32Lookup);
    logKeyboardError_ = 17501;
    logCommandRejected_ = 17502;
}

KBO32P::~KBO32P() = default;

int KBO32P::NewMsgRcvd(const unsigned char* data, int n) {
    // The information comes before the keyboard goes online: the subtype is set in time.
    const bool information = data && n >= 9 && (data[1] & 0x04);
    if (information && data[6] == kSecondVariant) deviceSubtype_ = 13;
    return KBO50P::NewMsgRcvd(data, n);
}
