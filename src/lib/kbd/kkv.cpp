// KBOKBVP: the PLU keyboard at 0x1C and 0x1D with a four-position key lock.
#include "KBOPLUModels.h"

#include "ObjectSupport.h"

namespace {

PDEV* make(const DeviceID& id);
const unsigned char kAddresses[] = {0x1C, 0x1D};
ObjectSupport gRegistration(KBOKBVP_TYPE_ID, make, kAddresses, 2);

} // namespace

extern "C" PDEV* _CreateKBOKBVP(const DeviceID& id) { return new KBOKBVP(id, "KBOKBVP"); }

namespace {
PDEV* make(const DeviceID& id) { return _CreateKBOKBVP(id); }
} // namespace

KBOKBVP::KBOKBVP(const DeviceID& id, const char* name) : KBOPLUP(id, name) { deviceSubtype_ = 5; }

int KBOKBVP::CheckKeyLockState(unsigned char bits) { return FourPositionKeyLock(bits); }
