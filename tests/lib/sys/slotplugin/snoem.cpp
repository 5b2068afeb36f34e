// A physical-device class for the slot tests, registered under type 34900 at 0x4A and 0x4B.
#include "ObjectSupport.h"
#include "PDEV.h"

namespace {

class TestScannerOem : public PDEV {
public:
    explicit TestScannerOem(const DeviceID& id) : PDEV(id, "SNOEMTST") { deviceType_ = 4; }
};

PDEV* _CreateTestScannerOem(const DeviceID& id) { return new TestScannerOem(id); }

const unsigned char kAddresses[] = {0x4A, 0x4B};
ObjectSupport objectTestScannerOem(34900, _CreateTestScannerOem, kAddresses, 2);

} // namespace
