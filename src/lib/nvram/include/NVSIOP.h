// The physical base of the NVRAM devices on the RS-485 bus. It keeps 32 numbered command
// slots sent in slot order, one outstanding at a time. Unlike the displays, a sent slot
// stays pending until the model's reply handling clears it, so that a command whose
// answer never came goes again. A client thread that needs the device's answer waits on
// the device's event semaphore with the device lock released (NvramWait); the reply
// handling wakes it (NvramPost), and so does the device going offline other than by
// restarting itself, which ends the wait with 317.
#pragma once

#include <cstdint>

#include "SIODEVICE.h"
#include "nvramdefs.h"

class VDEV;

class NVSIOP : public SIODEVICE {
public:
    enum { kMaxSlots = 32, kSlotStatus = 0 };

    struct CommandSlot {
        const unsigned char* bytes;
        int32_t length;
    };

    NVSIOP(const DeviceID& id, const char* name);
    ~NVSIOP() override;

    // Over PDEV: the semaphore lives while the device is open.
    int Open(const VDEV* vdev) override;
    int Close(const VDEV* vdev, int& remaining) override;
    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    // Offline; unless the device restarts by itself, a client waiting for its answer is
    // woken: none will come.
    void NowNotConfirmed() override;

    // The link handlers.
    int CommandResetInProgress() override;
    int LastAckLost(const unsigned char* data, int n) override;
    int LastMsgAcked() override;
    int LastMsgLost(const unsigned char* data, int n) override;
    int NewMsgRcvd(const unsigned char* data, int n) override;
    int PowerOnResetInProgress() override;
    int ResetComplete() override;
    int SendAnyPendingMessage() override;
    int SequenceResetInProgress(const unsigned char* data, int n) override;

    // Added operations.
    // Kind 1 (write) or 2 (read): sets the slot pending, asks for a send turn, then waits
    // up to timeoutMs for NvramPost with the device lock released. 0, 329 or 332 as the
    // wait gave them; 301 when the semaphore failed; 321 for another kind.
    virtual int NvramWait(int kind, int slot, int timeoutMs);
    // Wakes the waiting client.
    virtual void NvramPost();

    // State, for the models and tests.
    uint32_t GetPendingMask() const { return pending_; }
    bool IsPending(int slot) const { return slot >= 0 && slot < kMaxSlots && ((pending_ >> slot) & 1u); }
    int GetLastSent() const { return lastSent_; }
    const CommandSlot& GetCommandSlot(int slot) const { return slots_[slot & (kMaxSlots - 1)]; }
    bool AwaitingReply() const { return TestStatusBits(SIODEV_AWAITING_REPLY); }
    bool Ready() const { return TestStatusBits(PDEV_PRESENT) && TestStatusBits(PDEV_ONLINE); }

protected:
    void SetPending(int slot);
    void ClearPending(int slot);
    void SetSlot(int slot, const unsigned char* bytes, int length);
    // A send turn when the link is up and the device confirmed; else 0 (the slot waits).
    int RequestSendTurn();
    // Logs with the device and the offending bytes.
    void LogWith(uint32_t logId, uint32_t rc, uint32_t extra, const char* tag, const void* data,
                 int n) const;
    // After the model's reply handling: ends the awaiting-reply mark and sends the next
    // pending command, or acknowledges.
    int FinishReply();
    // NvramWait for one command of the models, with the outcome the reply handling gave
    // it: 0 when the device answered that command, 322 when it answered with an error,
    // 317 when the device went offline first, 329 when no answer came in time (also for a
    // wake-up that was not that answer).
    int Await(int kind, int slot, int timeoutMs);
    // The reply handling's outcome for the command in `slot`: wakes the client waiting for
    // it (and nobody else).
    void Complete(int slot, bool failed);
    // Data of a read reply for the waiting client, at most `wanted` bytes (kept here, so
    // that a reply after the client gave up never writes into the client's buffer).
    void KeepReadData(const unsigned char* data, int n);

    uint32_t pending_ = 0;
    CommandSlot slots_[kMaxSlots] = {};
    int32_t lastSent_ = 0;
    eventSem answered_;
    int32_t semOpen_ = 0;
    int32_t clients_ = 0; // virtual devices that opened this device
    unsigned char statusRequest_[2] = {0x00, 0x80};
    int32_t awaitedSlot_ = -1; // the command a client waits for
    int32_t done_ = 0;
    int32_t failed_ = 0;
    int32_t abandoned_ = 0;    // the device went offline while the client waited
    int32_t wanted_ = 0;       // bytes the waiting read asked for
    int32_t readLength_ = 0;   // bytes kept in readData_
    unsigned char readData_[2048] = {};
};
