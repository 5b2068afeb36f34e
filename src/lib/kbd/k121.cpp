// The extended keyboard with 121 key positions: the 117-key keyboard without double keys,
// with a four-position key lock and its own indicator layout.
//
// Its keymap-flag table is our own layout data: the typing keys 0x02-0x35 and the numpad
// 0x47-0x53.
#include <cstring>

#include "KBO117P.h"
#include "KbdVariants.h"
#include "ObjectSupport.h"

namespace {

struct Table {
    unsigned char t[192];
};

constexpr Table makeOb121Numpad1() {
    Table t{};
    for (int k = 0x02; k <= 0x35; ++k) t.t[k] = 1;
    for (int k = 0x47; k <= 0x53; ++k) t.t[k] = 1;
    return t;
}

constexpr Table ob121Numpad1 = makeOb121Numpad1();

PDEV* make(const DeviceID& id);
const unsigned char kAddresses[] = {0x1C, 0x1D};
ObjectSupport gKBO121P(KBO121P_TYPE_ID, make, kAddresses, 2);

} // namespace

extern "C" PDEV* _CreateKBO121P(const DeviceID& id) { return new KBO121P(id, "KBO121P"); }

namespace {
PDEV* make(const DeviceID& id) { return _CreateKBO121P(id); }
} // namespace


KBO121P::KBO121P(const DeviceID& id, const char* name) : KBO117P(id, name) {
    deviceSubtype_ = 4;
    SetKeyNumberMap(nullptr, 0);
    flagTables_[0] = flagTables_[1] = flags_ = ob121Numpad1.t;
}

KBO121P::~KBO121P() = default;

int KBO121P::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    if (request == KBD_REQ_SETTINGS && data && length >= static_cast<int>(sizeof(KbdSettingsRecord))) {
        auto* record = reinterpret_cast<KbdSettingsRecord*>(data);
        record->numpadLocation = 1;
        record->numpadZero = 1;
        std::memset(record->doubleKeys, 0, sizeof record->doubleKeys);
    }
    return KBO117P::TellPhys(sender, request, data, length);
}

int KBO121P::CheckKeyLockState(unsigned char bits) { return FourPositionKeyLock(bits, keyLockCodes_); }

void KBO121P::SetLEDBits(unsigned char* lightsByte, unsigned char lights) {
    *lightsByte = MapIndicatorBits(*lightsByte, lights);
}

int KBO121P::ValidateDoubleKey(unsigned char, unsigned char) { return 0; }

int KBO121P::ValidateNumpadLocation(int) { return 0; }
