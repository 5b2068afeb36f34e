// KBOKBEP: the PLU keyboard at 0x1C and 0x1D with a three-bit key lock.
#include "KBOPLUModels.h"

#include "ObjectSupport.h"

namespace {

PDEV* make(const DeviceID& id);
const unsigned char kAddresses[] = {0x1C, 0x1D};
ObjectSupport gRegistration(KBOKBEP_TYPE_ID, make, kAddresses, 2);

} // namespace

extern "C" PDEV* _CreateKBOKBEP(const DeviceID& id) { return new KBOKBEP(id, "KBOKBEP"); }

namespace {
PDEV* make(const DeviceID& id) { return _CreateKBOKBEP(id); }
} // namespace

KBOKBEP::KBOKBEP(const DeviceID& id, const char* name) : KBOPLUP(id, name) { deviceSubtype_ = 11; }

int KBOKBEP::CheckKeyLockState(unsigned char bits) { return ThreeBitKeyLock(bits); }
