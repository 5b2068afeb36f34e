// A device plug-in for the loader tests: a physical class at two bus addresses and a class
// that stands in for its virtual device. It resolves the core's symbols from the process.
#include "DEVICE.h"
#include "ObjectSupport.h"
#include "PDEV.h"

namespace {

class TESTP : public PDEV {
public:
    explicit TESTP(const DeviceID& id) : PDEV(id, "TESTP") {
        deviceType_ = 4;
        vdevType_ = 60300;
    }
};

// The virtual side: the factory hands it out as a VDEV pointer; the tests turn it back.
class TESTV : public DEVICE {
public:
    TESTV(const DeviceID& id, int handle) : DEVICE(id, "TESTV"), handle_(handle) {}
    int handle_;
};

PDEV* _CreateTESTP(const DeviceID& id) { return new TESTP(id); }
VDEV* _CreateTESTV(const DeviceID& id, int handle) {
    return reinterpret_cast<VDEV*>(new TESTV(id, handle));
}
// Registered first by the test program: this registration must not replace it.
PDEV* _CreateSECOND(const DeviceID& id) { return new TESTP(id); }

unsigned char addressesTESTP[] = {0x4A, 0x4B};
ObjectSupport objectTESTP(60200, _CreateTESTP, addressesTESTP, 2);
ObjectSupport objectTESTV(60300, _CreateTESTV);
unsigned char addressesSECOND[] = {0x6A};
ObjectSupport objectSECOND(60400, _CreateSECOND, addressesSECOND, 1);

} // namespace

// A data symbol for the symbol look-up test.
extern "C" int ovkTestPluginInits;
int ovkTestPluginInits = 60200;
