// Test plug-in libovkso4a.so.0: the identifying class the device table names for a device not
// yet identified at 0x4A (type 13100), speaking to the simulator's test device.
#include "DiscoveryDevices.h"

namespace {
unsigned char addressesTestOracle[] = {0x4A};
} // namespace

ObjectSupport objectTestOracle(13100, discovery::_CreateTestOracle, addressesTestOracle, 1);
