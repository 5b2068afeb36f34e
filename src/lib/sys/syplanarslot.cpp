// The slot of the system board: the built-in planar adapter and the planar sniffer.
#include "PlanarSlot.h"

#include "ADAPTER.h"

namespace {
constexpr unsigned short kPlanarSnifferType = 1800;
} // namespace

PlanarSlot::PlanarSlot(unsigned short /*adapterType*/, unsigned short slotNumber,
                       const unsigned char* name)
    : Slot(0, slotNumber, name) {}

PlanarSlot::~PlanarSlot() = default;

int PlanarSlot::Init() {
    Slot::Init();
    if (!adapter_) return 321;
    int rc = MakeInitSniffer();
    if (rc == 0) {
        rc = OpenPhysicalDevices();
        if (rc == 0) return 0;
    }
    ClosePhysicalDevices();
    TermSniffer();
    return rc;
}

int PlanarSlot::MakeInitSniffer() { return MakeSniffer(kPlanarSnifferType); }

int PlanarSlot::Term() {
    ClosePhysicalDevices();
    int sniffer = TermSniffer();
    int slot = Slot::Term();
    return slot != 0 ? slot : sniffer;
}
