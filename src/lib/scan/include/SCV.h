// The virtual side of every scanner: what one client open gets. It keeps the scans the
// physical device hands over, posts the scan-data event, answers reads with label records,
// and pushes its state (enable, beep, queueing, auto-disable, the model's configure
// command) to the physical device.
//
// Scanner models derive from it, so the order of its virtual operations and its fields
// are a fixed interface.
#pragma once

#include <cstdint>

#include "ScannerLabel.h"
#include "VDEV.h"
#include "scandefs.h"

class SCV : public VDEV {
public:
    enum { kMaxConfigure = 12 };

    SCV(const DeviceID& id, int handle, const char* name);
    // Frees every queued scan.
    ~SCV() override;

    // Over DEVICE and VDEV.
    int Close(int& remaining) override;
    int AcquirePhysical() override;
    int GetValues(PosArg* args, int count) override;
    int IOCtl(int request, PosArg* args, int count, int& out) override;
    int LockPhysical() override;
    int Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
             int count) override;
    int Read(void* buffer, unsigned int length, int& count) override;
    int ReleasePhysical() override;
    int SetValues(PosArg* args, int count) override;
    int TellVirt(const PDEV* from, int message, unsigned char* data, int length) override;
    int UnlockPhysical() override;

    // Added operations, in this order.
    // Writes the model's configure command into the (zeroed) configure buffer.
    virtual void UpdateConfigData() = 0;
    // Pushes the whole state to the physical device; stops at the first error (12102).
    virtual int UpdatePDEVState();
    virtual int ValidateBeepState(intptr_t value);
    virtual int ValidateQueueAllLabels(intptr_t value);
    virtual int ValidateAutoDisable(intptr_t value);

    // Frees every queued scan: 320 when one was dropped and quiet is 0, else 0.
    int FlushLabels(int quiet);

    int32_t BeepState() const { return beepState_; }
    int32_t QueueAll() const { return queueAllLabels_; }
    int32_t AutoDisableState() const { return autoDisable_; }
    bool Disabled() const { return disabled_ != 0; }
    int QueuedScans() const { return labels_.count; }
    const unsigned char* ConfigureBuffer() const { return configure_; }
    int32_t ConfigureLength() const { return configureLength_; }

protected:
    // A request to the physical device: its answer, or 321 when there is none.
    int Tell(int request, unsigned char* data = nullptr, int length = 0);
    static bool Named(const PosArg& arg, const char* name);

    int32_t beepState_ = 1;
    int32_t queueAllLabels_ = 1;
    int32_t autoDisable_ = 0;
    int32_t disabled_ = 1;
    int32_t configureLength_ = 0;
    unsigned char configure_[kMaxConfigure] = {};
    GDList_ScannerLabel labels_;
};
