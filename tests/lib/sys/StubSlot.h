// A slot whose every operation does nothing and succeeds, with no adapter, no devices and
// no sniffer: the base of the test slots, which override only what their tests watch.
#pragma once

#include "Slot.h"

class StubSlot : public Slot {
public:
    using Slot::Slot;

    int MakeSniffer(unsigned short) override { return 0; }
    int ClosePhysicalDevices() override { return 0; }
    int FindAdapter(ADAPTER*& a) override {
        a = nullptr;
        return 327;
    }
    int FindPhysical(const DeviceID&, PDEV*& d) override {
        d = nullptr;
        return 0;
    }
    void DisplayDeviceStatus() override {}
    int GetValidPollAddrs(BitVec256&) const override { return 0; }
    int Init() override { return 0; }
    int LinkinAdapter() override { return 0; }
    int LinkinPhysical(const PDEV*) override { return 0; }
    int LinkoutAdapter() override { return 0; }
    int LinkoutPhysical(const PDEV*) override { return 0; }
    int LockSlot() override { return 0; }
    int MapApplAddrToSIO(DeviceID&) override { return 0; }
    int MakeAdapter(ADAPTER*& a) override {
        a = nullptr;
        return 321;
    }
    int MakeInitSniffer() override { return 0; }
    int MakePhysical(const DeviceID&, long, PDEV*& d) override {
        d = nullptr;
        return 321;
    }
    int NotifySniffers(int, void*, int) override { return 0; }
    int OpenPhysicalDevices() override { return 0; }
    int ServiceAdapter(int) override { return 0; }
    int SetValidPollAddrs(const BitVec256&) override { return 0; }
    int StopAdapter() override { return 0; }
    int Term() override { return 0; }
    int TermSniffer() override { return 0; }
    int UnlockSlot() override { return 0; }
    int WhoIsOnline(const MsgQueueInfo&) override { return 0; }
    int Resume() override { return 0; }
    int Suspend() override { return 0; }
};
