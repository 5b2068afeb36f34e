// The extended POS keyboard with 50 key positions.
#include "KBO50P.h"

#include "ObjectSupport.h"

const unsigned char dkOB50Lookup[50] = {
    255, 75,  59,  107, 76,  60,  108, 79,  63,  111, 78,  62,  110, 77,  61,  109, 123,
    27,  255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 139, 255, 255, 187,
    140, 156, 172, 188, 143, 159, 155, 171, 142, 158, 174, 190, 141, 157, 173, 189,
};

namespace {

// The numpad's characters by key code: touch-tone style in 0-127, calculator style in
// 128-255. The digit rows 1-2-3 and 7-8-9 trade places between the two.
struct NumpadTable {
    unsigned char t[256];
};

constexpr NumpadTable makeOb50Numpad() {
    NumpadTable n{};
    const unsigned char keys[] = {124, 12, 28, 127, 15, 31, 126, 14, 30, 125, 29};
    const char touchTone[] = "1234567890/";
    const char calculator[] = "7894561230/";
    for (int i = 0; i < 11; ++i) {
        n.t[keys[i]] = static_cast<unsigned char>(touchTone[i]);
        n.t[128 + keys[i]] = static_cast<unsigned char>(calculator[i]);
    }
    return n;
}

constexpr NumpadTable ob50Numpad = makeOb50Numpad();

PDEV* makeKBO50P(const DeviceID& id) { return _CreateKBO50P(id); }
const unsigned char kAddresses[] = {0x10, 0x11};
ObjectSupport gKBO50P(KBO50P_TYPE_ID, makeKBO50P, kAddresses, 2);

} // namespace

extern "C" PDEV* _CreateKBO50P(const DeviceID& id) { return new KBO50P(id, "KBO50P"); }

KBO50P::KBO50P(const DeviceID& id, const char* name) : KBOBP(id, name) {
    vdevType_ = KBOBV_TYPE_ID;
    deviceSubtype_ = 1;
    SetKeyNumberMap(dkOB50Lookup, sizeof dkOB50Lookup);
    numpadTable1_ = ob50Numpad.t;
    numpadTable2_ = ob50Numpad.t + 128;
    numpadHighest_ = 127;
    numpadZeroPair_[0] = 125;
    numpadZeroPair_[1] = 13;
    shiftToggle_ = 0x50;
}

KBO50P::~KBO50P() = default;

int KBO50P::ValidateNumpadStyle(int style) {
    return style == 0 || style == 1 ? 0 : POSERR_KBD_INVALID_NUMPAD_STYLE;
}
