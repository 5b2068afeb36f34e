// The cash-drawer unit at bus address 0x54: two drawers and an alarm behind one link. It
// serves three logical devices (drawer 1 at 0x54, drawer 2 at 0x83, the alarm at 0x84),
// each with its own online state; drawer 2 and the alarm share one holder.
#pragma once

#include <atomic>
#include <cstdint>

#include "SIODEVICE.h"
#include "tilldefs.h"

class VDEV;

// Bits of the unit status word. Bits 0-6 mirror the unit's status byte; 8 and 9 are the
// online states of the logical devices.
enum : uint32_t {
    CDP_ALARM_SOUNDING = 0x0001,
    CDP_DRAWER2_NOT_CONNECTED = 0x0008, // also the alarm
    CDP_DRAWER1_NOT_CONNECTED = 0x0010,
    CDP_DRAWER2_OPEN = 0x0020,
    CDP_DRAWER1_OPEN = 0x0040,
    CDP_DRAWER1_ONLINE = 0x0100,
    CDP_DRAWER2_ONLINE = 0x0200, // also the alarm
    CDP_UNIT_BITS = CDP_ALARM_SOUNDING | CDP_DRAWER2_NOT_CONNECTED | CDP_DRAWER1_NOT_CONNECTED |
                    CDP_DRAWER2_OPEN | CDP_DRAWER1_OPEN,
};

// Command slots, in send priority.
enum {
    CDP_SLOT_STATUS = 0,       // 00 80
    CDP_SLOT_PULSE_TIMES = 1,  // 80 t1 t1 t1 t2 t2 t2
    CDP_SLOT_OPEN_DRAWER1 = 2, // 01
    CDP_SLOT_OPEN_DRAWER2 = 3, // 02
    CDP_SLOT_SOUND_ALARM = 4,  // 06
    CDP_SLOT_SILENCE_ALARM = 5, // 08
    CDP_SLOTS = 16,
};

class CDP : public SIODEVICE {
public:
    explicit CDP(const DeviceID& id);
    // Logs 7001 when a holder is still set.
    ~CDP() override;

    // Over PDEV.
    bool Confirmed(unsigned char address) const override;
    int GetVdevInfo(unsigned char address, unsigned char& deviceType,
                    long& vdevType) const override;
    void NowConfirmed() override;
    void NowNotConfirmed() override;
    void TellQueueWhosOnline(const MsgQueueInfo* queue) override;
    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    int Acquire(VDEV* vdev) override;
    int Release(VDEV* vdev) override;
    // The alarm sounds, or a sound command is queued or on its way to the unit.
    bool AlarmSoundingOrOnItsWay() const;

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

    // State, for diagnosis and tests.
    uint32_t PendingMask() const { return pending_; }
    uint32_t UnitStatus() const { return unitStatus_; }
    int32_t LastSentSlot() const { return lastSent_; }
    // Pulse time of drawer 1 or 2 in microseconds.
    int32_t PulseTime(int drawer) const;
    int32_t RejectCount() const { return rejects_; }
    VDEV* Drawer1Holder() const { return drawer1Holder_; }
    VDEV* SharedHolder() const { return sharedHolder_; }

protected:
    struct CommandSlot {
        const unsigned char* bytes;
        int32_t length;
    };

    // The holder slot for a device number: drawer 1's own, else the shared one.
    VDEV*& HolderFor(unsigned char address);
    // Stores a pulse time (microseconds, 24 bits) and rebuilds the pulse-time command.
    void SetPulseTime(int drawer, int32_t microseconds);
    // Asks the adapter for a send turn when the link is up and the unit confirmed.
    int RequestSendTurn();
    bool LinkUp() const { return TestStatusBits(PDEV_PRESENT); }
    bool UnitConfirmed() const { return TestStatusBits(PDEV_ONLINE); }
    // Online or offline line and event for one logical device.
    void Announce(bool online, unsigned char address, unsigned char deviceClass);
    // Drops queued commands of the slots: they never go out.
    void DropQueued(uint32_t slots);

    uint32_t pending_ = 0;
    CommandSlot slots_[CDP_SLOTS] = {};
    int32_t lastSent_ = 0;
    VDEV* drawer1Holder_ = nullptr;
    VDEV* sharedHolder_ = nullptr; // drawer 2 and the alarm
    // Written by the link's thread, read by the clients' request threads.
    std::atomic<uint32_t> unitStatus_{CDP_DRAWER1_NOT_CONNECTED | CDP_DRAWER2_NOT_CONNECTED};
    unsigned char pulseTimes_[6] = {0x01, 0x38, 0x80, 0x01, 0x38, 0x80}; // 80000 us each
    unsigned char pulseCommand_[7] = {};
    unsigned char pulseSent_[7] = {};    // the pulse-time command last sent to the unit
    // Open slots asked while a command was on its way: the unit's answer to that command may
    // show the drawer as it was before it closed again, so it does not count as the open.
    uint32_t askedOnTheWay_ = 0;
    int32_t rejects_ = 0;
    int32_t rejectTime_ = 0;   // chTime() of the last logged reject
    int32_t rejectLogged_ = 0; // a reject was logged within the last 30 minutes
    int32_t reevaluate_ = 0;   // NowConfirmed / NowNotConfirmed judge by the unit status
};
