// The adapter manager of the test programs' slot 1 (the adapter table's type 5, id 3800),
// registered by the program since no adapter plug-in is loaded.
#include "TouchBus.h"

namespace {
ADAPTER* _CreateBusAdapter(int slot, unsigned short type) {
    return new touchbus::BusAdapter(slot, static_cast<short>(type));
}
ObjectSupport objectBusAdapter(3800, _CreateBusAdapter);
} // namespace
