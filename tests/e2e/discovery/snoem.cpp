// Test plug-in libovksnoem.so.0: the device class 34900 at 0x4A that the test oracle selects.
#include "DiscoveryDevices.h"

namespace {
unsigned char addressesTestDevice[] = {0x4A};
} // namespace

ObjectSupport objectTestDevice(34900, discovery::_CreateTestDevice, addressesTestDevice, 1);
