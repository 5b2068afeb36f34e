// The physical base of every touch controller on the link: 16 command slots sent one at a
// time by slot number, pending and re-arm masks, the life of the outstanding command, a
// busy watchdog that resets the controller, the reaction to the link's resets, and the
// hooks of the mouse emulation. What a controller answers is the model's (NewMsgRcvd).
#pragma once

#include <cstdint>

#include "SIODEVICE.h"
#include "TCHRES.h"
#include "tchdefs.h"

// Status-word bits of a touch controller: busy is the link's awaiting-reply bit (a
// command is outstanding or a reset sequence runs: nothing is sent); reset-sequence is set
// from a link reset until ResetComplete.
enum : uint32_t {
    TCHP_BUSY = SIODEV_AWAITING_REPLY,
    TCHP_RESET_SEQUENCE = 0x10000,
};

enum {
    TCHP_SLOTS = 16,
    TCHP_SLOT_RESET = 0,       // 00 40
    TCHP_SLOT_DEVICE_INFO = 2, // 00 00 01
};

// Commands the base knows (tchScheduleCmdMsg).
enum { TCHP_CMD_RESET = 0, TCHP_CMD_DEVICE_INFO = 2 };

// Life of the outstanding command.
enum { TCHP_CMD_SENT = 0, TCHP_CMD_ACKED = 1, TCHP_CMD_IDLE = 2 };

// Milliseconds a command may stay outstanding, and a reset sequence may run, before the
// controller is reset.
enum { TCHP_BUSY_LIMIT_MS = 10000, TCHP_RESET_BUSY_LIMIT_MS = 30000 };

class TCHP : public SIODEVICE {
public:
    TCHP(const DeviceID& id, const unsigned char* name);
    TCHP(const DeviceID& id, const char* name)
        : TCHP(id, reinterpret_cast<const unsigned char*>(name)) {}
    ~TCHP() override;

    // The link handlers (NewMsgRcvd stays the model's).
    int CommandResetInProgress() override;
    int LastAckLost(const unsigned char* data, int n) override;
    int LastMsgAcked() override;
    int LastMsgLost(const unsigned char* data, int n) override;
    int PowerOnResetInProgress() override;
    int ResetComplete() override;
    // Sends at most one command: the link's result, or -1 when nothing was sent.
    int SendAnyPendingMessage() override;
    int SequenceResetInProgress(const unsigned char* data, int n) override;

    // Added operations, in this order.
    // 0 when the answer completes the outstanding command of `slot`, else -1.
    virtual int tchCompleteCmd(int slot);
    virtual int tchEmulateMouseAllowed();
    virtual void tchEmulateData(unsigned long status, unsigned long point);
    virtual void tchEmulateOffline();
    virtual void tchEmulateOnline();
    virtual void tchResetSeqInit();
    virtual void tchScheduleCmdMsg(int command, TCHRES* settings);
    // 0 to send the pending slot now, else skipped.
    virtual int tchSkipThisCmdMsg(int slot);

    // State, for diagnosis and tests.
    uint32_t PendingMask() const { return pending_; }
    uint32_t RearmMask() const { return rearm_; }
    int32_t OutstandingSlot() const { return outstanding_; }
    int32_t CommandState() const { return commandState_; }
    bool Busy() const { return TestStatusBits(TCHP_BUSY); }
    bool InResetSequence() const { return TestStatusBits(TCHP_RESET_SEQUENCE); }

protected:
    struct CommandSlot {
        const unsigned char* bytes;
        int32_t length;
    };

    // Marks a slot pending and re-armed.
    void Schedule(int slot);
    // Forgets a slot: neither pending nor re-armed.
    void Unschedule(int slot);
    bool LinkUp() const { return TestStatusBits(PDEV_PRESENT); }
    bool IsConfirmed() const { return TestStatusBits(PDEV_ONLINE); }
    // The base's sender: the watchdog, then the first pending slot not skipped. Waits
    // sendPauseMs_ (chSleep) only before a command actually goes out.
    int SendPendingSlot();
    // The controller rejected what it was sent: the link's pacing hears of it when a command
    // awaited its answer, and of the end of the rejects when that command (or, once it is no
    // longer asked for, another beyond the restart's reset and device information) completes.
    void CommandRefused();

    unsigned char resetCommand_[2] = {0x00, 0x40};
    unsigned char infoCommand_[3] = {0x00, 0x00, 0x01};
    CommandSlot slots_[TCHP_SLOTS] = {};
    uint32_t pending_ = 0;
    uint32_t rearm_ = 0;
    int32_t outstanding_ = -1;
    int32_t commandState_ = TCHP_CMD_IDLE;
    int32_t busyStart_ = 0; // chTime() when the outstanding command or the reset began
    int16_t emulateAllowed_ = 0;
    int32_t sendPauseMs_ = 0; // a model's pause before each command it sends
    int32_t refusedSlot_ = -1; // the slot last rejected while it awaited its answer
};
