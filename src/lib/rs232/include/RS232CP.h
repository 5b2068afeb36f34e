// An RS-232 port behind the RS-485 bus (addresses 0x64 to 0x69; ports come in pairs on one
// interface: 0x64/0x68, 0x65/0x69, 0x66/0x67). Command slots: 0 status, 1 line setup,
// 4 break, 5 transmit. One transmit runs at a time, with a deadline; received data and line
// events go to the virtual device that holds the port.
#pragma once

#include <cstdint>

#include "SIODEVICE.h"
#include "rs232defs.h"
#include "rs232setup.h"

class VDEV;

class RS232CP : public SIODEVICE {
public:
    enum { kSlots = 16, kSlotStatus = 0, kSlotSetup = 1, kSlotBreak = 4, kSlotTransmit = 5, kNoSlot = 255 };

    explicit RS232CP(const DeviceID& id);
    ~RS232CP() override;

    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    int Acquire(VDEV* vdev) override;
    int Release(VDEV* vdev) override;

    int CommandResetInProgress() override;
    int LastAckLost(const unsigned char* data, int n) override;
    int LastMsgAcked() override;
    int LastMsgLost(const unsigned char* data, int n) override;
    int NewMsgRcvd(const unsigned char* data, int n) override;
    int PowerOnResetInProgress() override;
    int ResetComplete() override;
    int SendAnyPendingMessage() override;
    int SequenceResetInProgress(const unsigned char* data, int n) override;

    uint32_t GetPendingMask() const { return pending_; }
    const unsigned char* GetSetup() const { return setup_; }
    int32_t GetCharTime() const { return charTimeUs_; }
    bool Transmitting() const { return deadline_ != 0; }
    const DeviceID& GetPartner() const { return partner_; }

protected:
    bool Ready() const { return TestStatusBits(PDEV_PRESENT) && TestStatusBits(PDEV_ONLINE); }
    void SetPending(int slot) { pending_ |= 1u << slot; }
    void ClearPending(int slot) { pending_ &= ~(1u << slot); }
    bool IsPending(int slot) const { return (pending_ >> slot) & 1u; }
    // Asks the adapter for a send turn; `queued`: the request queued a message of its own,
    // which may go at once while the port's rejects are paced (a status read queues none).
    int RequestSendTurn(bool queued = true);
    // Builds the setup from settings: false (logged) when a value is outside its table.
    bool Build(const Rs232Settings& settings);
    // Setup pending when it differs from the one last sent.
    void SetupIfChanged();
    // Ends a running transmit and tells the holder it was aborted.
    void AbortTransmit();
    int Tell(int message, Rs232Record& record);
    void Log(uint32_t logId, uint32_t rc, uint32_t extra, const void* data, int n) const;

    uint32_t pending_ = 0;
    struct CommandSlot {
        const unsigned char* bytes;
        int32_t length;
    } slots_[kSlots] = {};
    int32_t lastSent_ = kNoSlot;
    unsigned char statusRequest_[2] = {0x00, 0x80};
    unsigned char setup_[7] = {};
    unsigned char setupSent_[7] = {};
    unsigned char breakCommand_[2] = {0x02, 0x08};
    unsigned char transmit_[1 + RS232_MAX_WRITE] = {0x08};
    unsigned char control_ = 0;
    unsigned char statusImage_ = 0;     // reply byte 0 bits 2 and 7
    unsigned char lineImage_ = 0;       // reply byte 1 bits 0, 1, 2 and 7
    int32_t charTimeUs_ = 0;
    int32_t deadline_ = 0;              // chTime() by which a transmit must be done; 0 none
    int32_t dataSent_ = 0;
    DeviceID partner_;
};
