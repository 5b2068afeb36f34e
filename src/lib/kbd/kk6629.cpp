// KB6629P: the PLU keyboard at 0x1C and 0x1D with a three-bit key lock.
#include "KBOPLUModels.h"

#include "ObjectSupport.h"

namespace {

PDEV* make(const DeviceID& id);
const unsigned char kAddresses[] = {0x1C, 0x1D};
ObjectSupport gRegistration(KB6629P_TYPE_ID, make, kAddresses, 2);

} // namespace

extern "C" PDEV* _CreateKB6629P(const DeviceID& id) { return new KB6629P(id, "KB6629P"); }

namespace {
PDEV* make(const DeviceID& id) { return _CreateKB6629P(id); }
} // namespace

KB6629P::KB6629P(const DeviceID& id, const char* name) : KBOPLUP(id, name) { deviceSubtype_ = 8; }

int KB6629P::CheckKeyLockState(unsigned char bits) { return ThreeBitKeyLock(bits); }
