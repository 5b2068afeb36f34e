// The slot classes the system object builds from the slot types the driver node reports.
#include "PlanarSlot.h"
#include "SioSlot.h"

namespace {

Slot* buildSlot(unsigned short slotType, unsigned short adapterType, int slotNumber) {
    if (slotNumber < 0 || slotNumber > 8) return nullptr;
    if (slotType == SLOT_TYPE_RS485)
        return new SioSlot(adapterType, static_cast<unsigned short>(slotNumber), "SioSlot");
    if (slotType == SLOT_TYPE_PLANAR)
        return new PlanarSlot(adapterType, static_cast<unsigned short>(slotNumber), "PlnrSlot");
    return nullptr;
}

// Installed when the core is loaded, before the daemon builds the system object.
struct BuilderInstaller {
    BuilderInstaller() { SetSlotBuilder(buildSlot); }
} builderInstaller;

} // namespace
