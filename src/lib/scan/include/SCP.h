// The physical side of every bar-code scanner on the link: 16 command slots with a pending
// mask and at most one command outstanding, the reset and time-out policy, parsing of
// label data, joining of labels that come in several blocks, and hand-over of finished
// scans to the owning virtual device (or keeping them while there is none).
//
// Scanner models derive from it and parse their own replies (NewMsgRcvd), so the order of
// its virtual operations and its fields are a fixed interface.
#pragma once

#include <cstdint>

#include "SIODEVICE.h"
#include "ScannerLabel.h"
#include "scandefs.h"

// Command slots filled by the base, in send priority.
enum {
    SCP_SLOT_RESET = 0,        // 00 40
    SCP_SLOT_EC_LEVEL = 2,     // 00 80
    SCP_SLOT_DISABLE = 5,      // 12
    SCP_SLOT_CONFIGURE = 7,    // the model's configure command
    SCP_SLOT_READ_CONFIG = 8,  // models: 21
    SCP_SLOT_FLAG_CONFIG = 9,  // models: two-label flag configuration
    SCP_SLOT_ENABLE = 10,      // 11
    SCP_SLOT_READ_FLAGS = 11,  // models: 34
    SCP_SLOT_BEEP_OFF = 13,    // 18
    SCP_SLOT_BEEP_ON = 14,     // 14
    SCP_SLOTS = 16,
};

class SCP : public SIODEVICE {
public:
    SCP(const DeviceID& id, const char* name);
    // Queues a partial scan (as a reset would), then frees every kept scan.
    ~SCP() override;

    // Over PDEV.
    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    int Acquire(VDEV* vdev) override;

    // The link handlers (NewMsgRcvd is the model's).
    int CommandResetInProgress() override;
    int LastAckLost(const unsigned char* data, int n) override;
    int LastMsgAcked() override;
    int LastMsgLost(const unsigned char* data, int n) override;
    int PowerOnResetInProgress() override;
    int ResetComplete() override;
    int SendAnyPendingMessage() override;
    int SequenceResetInProgress(const unsigned char* data, int n) override;

    // Added operations, in this order.
    // One label from n bytes: 0 with the label and whether it ends its scan; 5722 too short,
    // 305 no memory (each logged as 12003).
    virtual int ParseLabelData(const unsigned char* data, int n, ScannerLabel*& out, int& complete);
    // Whether the reset under way has settled (the base: at once).
    virtual bool ScannerResetComplete();
    // Data bytes 0 to 9 become the ASCII digits.
    virtual void StandardizeLabel(ScannerLabel* label);
    // Whether the outstanding command has waited too long (2 s, 30 s during a reset).
    virtual bool TimeToResetScanner();

    // For the models.
    // One block of label data: parsed, joined to the scan being assembled, and queued when
    // the scan is complete.
    int LabelDataRcvd(const unsigned char* data, int n, int lastBlock);
    // Hands a scan to the owner, or keeps it while there is none. chain is cleared.
    int QueueLabel(ScannerLabel*& chain);
    // Queues the scan being assembled, marked partial.
    int QueuePartialLabels();
    void DiscardPartialLabel();

    // State, for diagnosis and tests.
    uint32_t PendingMask() const { return pending_; }
    int32_t LastSentSlot() const { return lastSent_; }
    bool Enabled() const { return enabled_ != 0; }
    bool BeepOn() const { return beep_ != 0; }
    bool QueueAllLabels() const { return queueAll_ != 0; }
    bool AutoDisable() const { return autoDisable_ != 0; }
    int StoredScans() const { return stored_.count; }
    const ScannerLabel* PartialChain() const { return partial_; }
    bool Outstanding() const { return TestStatusBits(SIODEV_AWAITING_REPLY); }
    bool ResetWait() const { return TestStatusBits(SCP_RESET_WAIT); }

protected:
    struct CommandSlot {
        const unsigned char* bytes;
        int32_t length;
    };

    // Asks for a send turn after a pending bit was set: the adapter's answer while the
    // link is up and the device confirmed, else 317 (the bit stays pending).
    int RequestSendTurn();
    // The models' configure request: the new command is stored; unless it differs from the
    // old one in byte 4 bit 0 alone (the beep state, which the beep commands carry), slot 7
    // is set pending and a send turn asked for, whether the device is online or not.
    int TellConfigure(const VDEV* sender, const unsigned char* data, int length);
    void StartSendClock();
    void StopClocks();
    // Milliseconds since the stamp.
    static int32_t Since(int32_t stamp);
    static constexpr uint32_t Bit(int slot) { return 1u << slot; }
    // Whether a clean answer ends a run of rejected configurations: not the answer of the
    // reset or of its EC-level request, nor of a start-up command that goes before a
    // configure still pending (a scanner rejecting its configure is reset, and the clean
    // answers of the start-up commands would otherwise restart the count on every round).
    bool CleanAnswerEndsRejects() const {
        if (lastSent_ == SCP_SLOT_RESET || lastSent_ == SCP_SLOT_EC_LEVEL) return false;
        return lastSent_ == SCP_SLOT_CONFIGURE || !(pending_ & Bit(SCP_SLOT_CONFIGURE));
    }
    // A log entry with this device and, when given, the offending bytes.
    void Log(uint32_t id, uint32_t rc, uint32_t extra, const unsigned char* data = nullptr,
             int n = 0) const;

    GDList_ScannerLabel stored_;
    int32_t previousComplete_ = 1;
    ScannerLabel* partial_ = nullptr;
    uint32_t pending_;
    CommandSlot slots_[SCP_SLOTS] = {};
    int32_t lastSent_ = -1;
    int32_t beep_ = 1;
    int32_t enabled_ = 0;
    int32_t queueAll_ = 1;
    int32_t autoDisable_ = 0;
    // Clock stamps (chTime, milliseconds), each with whether it is set.
    int32_t sendTime_ = 0;
    int32_t resetTime_ = 0;
    bool sendTimeSet_ = false;
    bool resetTimeSet_ = false;
};
