// The bus a fuzzed device sits on, in process: one RS-485 slot whose adapter sends nothing, the
// system object and the manual clock, all set up once for the run.
#pragma once

#include "FuzzClock.h"
#include "FuzzRoot.h"
#include "ADAPTER.h"
#include "COMD.h"
#include "Slot.h"
#include "SlotInfoNode.h"
#include "ovkhost.h"
#include "sydevnode.h"

namespace fuzzbus {

constexpr unsigned char kSlot = 1;

// An adapter that takes every frame and sends nothing.
class NullAdapter : public ADAPTER {
public:
    NullAdapter() : ADAPTER(kSlot, 5, reinterpret_cast<const unsigned char*>("FuzzAdap")) {}
    int CloseDD() override { return 0; }
    int OpenDD() override { return 0; }
    int Run(int, int) override { return 0; }
    int RequestBuffer() override { return 0; }
    int SendFrame(const unsigned char*, int) override { return 0; }
    int Suspend() override { return 0; }
    int Resume() override { return 0; }
};

class FuzzSlot : public Slot {
public:
    FuzzSlot(unsigned short adapterType, unsigned short slot) : Slot(adapterType, slot, "SioSlot") {}
    int Init() override { return 0; }
    int Term() override { return 0; }
};

inline Slot* buildSlot(unsigned short slotType, unsigned short adapterType, int slot) {
    if (slot != kSlot || slotType != SLOT_TYPE_RS485) return nullptr;
    return new FuzzSlot(adapterType, static_cast<unsigned short>(slot));
}

inline NullAdapter*& adapter() {
    static NullAdapter* a = nullptr;
    return a;
}

// Call once, from LLVMFuzzerInitialize: a private OVK_ROOT, the manual clock, the RS-485 slot,
// the system object (pcomd) and the null adapter, all living for the run.
inline void setUp() {
    fuzzroot::usePrivateRoot();
    fuzzclock::useManual();
    chSetDevNodeBackend(new SlotInfoNode(5, kSlot));
    SetSlotBuilder(buildSlot);
    new COMD();
    adapter() = new NullAdapter();
}

} // namespace fuzzbus
