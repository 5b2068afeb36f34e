// The adapter of the system board (slot 0). It has no driver exchange: each cycle it runs
// the output step of the slot's devices. Its first cycle asks the planar sniffer to make the
// on-board devices.
#pragma once

#include "ADAPTER.h"

class Planar : public ADAPTER {
public:
    Planar(int slot, unsigned short adapterType, const unsigned char* name);
    Planar(int slot, unsigned short adapterType, const char* name)
        : Planar(slot, adapterType, reinterpret_cast<const unsigned char*>(name)) {}
    ~Planar() override;

    int CloseDD() override;
    int OpenDD() override;
    // First call: the planar sniffer (the last device of the slot) makes the devices; then,
    // each call, the devices' output step. Returns the first call's result, else 0.
    int Run(int slot, int arg) override;
    int RequestBuffer() override;
    int SendFrame(const unsigned char* record, int length) override;
    int Suspend() override;
    int Resume() override;

    // Each device's ProcessOutput(0) in list order, under the slot lock; then the devices
    // queued for deletion are deleted when the list changed.
    void ProcessOutput();
};

// Factory registered for adapter type id 1400: builds Planar(slot, type, "PLANAR").
ADAPTER* _CreatePlanar(int slot, unsigned short adapterType);
