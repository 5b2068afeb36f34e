// The extended keyboard with 133 key positions.
//
// The key numbers beyond the few that are known (1 gives 180, 7 gives 20, 8 gives 4) and the
// numpads at locations 2 and 3 are our own layout data.
#include "KBO133P.h"

#include "ObjectSupport.h"

const unsigned char dkOB133Lookup[140] = {
    255, 180,   1,   2,   3,   5,   6,  20,   4,   7,   8,   9,  10,  11,  12,  13,  14,
     15,  16,  17,  18,  19,  21,  22,  23,  24,  25,  26,  27,  28,  29,  30,  31,  33,
     34,  35,  36,  37,  38,  39,  40,  41,  42,  43,  44,  45,  46,  47,  48,  49,  50,
     51,  52,  53,  54,  55,  56,  57,  58,  59,  60,  61,  62,  63,  64,  65,  66,  67,
     68,  69,  70,  71,  72,  73,  74,  75,  76,  77,  78,  79,  80,  81,  82,  83,  84,
     85,  86,  87,  88,  89,  90,  91,  92,  93,  94,  95,  96,  97,  98,  99, 100, 101,
    102, 103, 104, 105, 106, 107, 108, 109, 110, 111, 112, 113, 114, 115, 116, 117, 118,
    119, 120, 121, 122, 123, 124, 125, 126, 127, 128, 129, 130, 255, 255, 255, 255, 255,
    255, 255, 255, 255,
};

namespace {

constexpr int kHalf = 160;

struct NumpadTable {
    unsigned char t[2 * kHalf];
};

// keys: the key codes of "1" to "9", "0" and "/"; the two halves trade the rows 1-2-3 and
// 7-8-9.
constexpr NumpadTable makeNumpad(const unsigned char (&keys)[11]) {
    NumpadTable n{};
    const char touchTone[] = "1234567890/";
    const char calculator[] = "7894561230/";
    for (int i = 0; i < 11; ++i) {
        n.t[keys[i]] = static_cast<unsigned char>(touchTone[i]);
        n.t[kHalf + keys[i]] = static_cast<unsigned char>(calculator[i]);
    }
    return n;
}

constexpr unsigned char kKeys1[11] = {26, 138, 154, 25, 137, 153, 28, 140, 156, 29, 157};
constexpr unsigned char kKeys2[11] = {97, 81, 65, 96, 80, 64, 99, 83, 67, 98, 84};
constexpr unsigned char kKeys3[11] = {65, 145, 129, 64, 144, 128, 67, 147, 131, 66, 130};
constexpr NumpadTable ob133Numpad1 = makeNumpad(kKeys1);
constexpr NumpadTable ob133Numpad2 = makeNumpad(kKeys2);
constexpr NumpadTable ob133Numpad3 = makeNumpad(kKeys3);

struct Location {
    const NumpadTable* numpad;
    unsigned char zero[2];
};
const Location kLocations[3] = {
    {&ob133Numpad1, {29, 141}},
    {&ob133Numpad2, {98, 82}},
    {&ob133Numpad3, {66, 146}},
};

PDEV* make(const DeviceID& id);
const unsigned char kAddresses[] = {0x1C, 0x1D};
ObjectSupport gKBO133P(KBO133P_TYPE_ID, make, kAddresses, 2);

} // namespace

extern "C" PDEV* _CreateKBO133P(const DeviceID& id) { return new KBO133P(id, "KBO133P"); }

namespace {
PDEV* make(const DeviceID& id) { return _CreateKBO133P(id); }
} // namespace

KBO133P::KBO133P(const DeviceID& id, const char* name) : KBOBP(id, name) {
    vdevType_ = KBOBV_TYPE_ID;
    deviceSubtype_ = 2;
    SetKeyNumberMap(dkOB133Lookup, sizeof dkOB133Lookup);
    numpadTable1_ = ob133Numpad1.t;
    numpadTable2_ = ob133Numpad1.t + kHalf;
    numpadHighest_ = kHalf - 1;
    numpadZeroPair_[0] = 29;
    numpadZeroPair_[1] = 141;
    shiftToggle_ = 0x20;
}

KBO133P::~KBO133P() = default;

int KBO133P::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    if (request == KBD_REQ_SETTINGS && data && length >= static_cast<int>(sizeof(KbdSettingsRecord))) {
        const auto* record = reinterpret_cast<const KbdSettingsRecord*>(data);
        numpadLocation_ = record->numpadLocation;
        if (numpadLocation_ >= 1 && numpadLocation_ <= 3) {
            const Location& at = kLocations[numpadLocation_ - 1];
            numpadTable1_ = at.numpad->t;
            numpadTable2_ = at.numpad->t + kHalf;
            if (record->numpadZero == 2) {
                numpadZeroPair_[0] = at.zero[0];
                numpadZeroPair_[1] = at.zero[1];
            }
        }
    }
    return KBOBP::TellPhys(sender, request, data, length);
}

int KBO133P::ValidateNumpadLocation(int location) {
    return location >= 1 && location <= 3 ? 0 : POSERR_KBD_INVALID_NUMPAD_LOCATION;
}

int KBO133P::ValidateNumpadStyle(int style) {
    return style == 0 || style == 1 ? 0 : POSERR_KBD_INVALID_NUMPAD_STYLE;
}
