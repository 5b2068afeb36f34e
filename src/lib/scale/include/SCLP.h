// The physical side of every scale on the link. A scale answers only when asked: a client's
// read queues a weight command and waits, with the device unlocked, until the model's reply
// handling has stored the reading and posted the weight semaphore, the scale goes offline
// other than by restarting itself (317), or 15 s have passed. It also keeps 16 command slots with
// a pending mask, at most one command outstanding, and the reset and time-out policy. Models
// derive from it and parse their own replies.
#pragma once

#include <cstdint>

#include "SIODEVICE.h"
#include "scaledefs.h"

class SCLP : public SIODEVICE {
public:
    SCLP(const DeviceID& id, const char* name);
    ~SCLP() override;

    // Over PDEV: one user more or less. The weight semaphore is opened with the first user
    // and closed when the last one goes.
    int Open(const VDEV* vdev) override;
    int Close(const VDEV* vdev, int& remaining) override;
    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    // Offline; unless the scale restarts by itself, a waiting client is woken and its command
    // dropped: no answer will come.
    void NowNotConfirmed() override;

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
    // Queues the request's command, then waits with the device unlocked: 0, 317 (the scale
    // went offline), 329, 332 or 301.
    virtual int ScaleWait(int request, int timeoutMs);
    // Whether the outstanding command has waited too long (2 s, 30 s during a reset).
    virtual bool TimeToResetScale();
    // Wakes the waiting reader with the reply (the models call it once a reply was parsed).
    void ScalePost();

    // State, for diagnosis and tests.
    uint32_t PendingMask() const { return pending_; }
    int32_t LastSentSlot() const { return lastSent_; }
    const ScaleReading& Reading() const { return reading_; }
    bool Outstanding() const { return TestStatusBits(SIODEV_AWAITING_REPLY); }
    int Users() const { return users_; }

protected:
    struct CommandSlot {
        const unsigned char* bytes;
        int32_t length;
    };
    static constexpr uint32_t Bit(int slot) { return 1u << slot; }
    bool LinkUpAndConfirmed() const { return TestStatusBits(PDEV_PRESENT) && TestStatusBits(PDEV_ONLINE); }
    int RequestSendTurn();
    // The weight of `digits` digit bytes (0-9, most significant first) at `at`: 0, or 6210
    // when the reply holds fewer or a byte is no digit (nothing is read past the reply).
    static int TakeWeight(const unsigned char* data, int n, int at, int digits, int32_t& weight);
    // Waits on the weight semaphore with the device unlocked for the answer to the command in
    // `slot`; failures logged under the ids. 317 when the scale went offline meanwhile.
    int WaitForReply(int slot, int timeoutMs, uint32_t resetLogId, uint32_t waitLogId);
    void Log(uint32_t id, uint32_t rc, uint32_t extra, const unsigned char* data = nullptr, int n = 0) const;

    uint32_t pending_;
    CommandSlot slots_[SCLP_SLOTS] = {};
    int32_t lastSent_ = -1;
    int32_t sendTime_ = 0;
    bool sendTimeSet_ = false;
    ScaleReading reading_{0, 0, 0};
    // A reply the reading could not be taken from: the reader gets this error (0: none).
    int32_t readingError_ = 0;
    eventSem weightSem_;
    int32_t users_ = 0;
    bool waiting_ = false;     // a client waits on the weight semaphore
    int32_t awaitedSlot_ = -1; // for the answer to this command
    bool abandoned_ = false;   // the scale went offline while the client waited
    bool replied_ = false;     // a reply was parsed for the waiting client
};
