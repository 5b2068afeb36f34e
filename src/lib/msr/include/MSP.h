// The base of every magnetic stripe reader on the RS-485 link: six command slots with a
// pending mask and the send discipline, the link notifications, the stop flag that the
// virtual reader sets and clears, and Extract, which copies one length-prefixed track block
// of a reader's message into a track slot of the owning virtual reader. What a reader
// reports is the model's (NewMsgRcvd stays pure).
//
// Reader classes of other plug-ins derive from it, so the order of its virtual operations
// is a fixed interface.
#pragma once

#include <cstdint>

#include "SIODEVICE.h"
#include "msrdefs.h"

class MSV;
class VDEV;

// Command slots, in send priority.
enum {
    MSP_SLOT_EC_LEVEL = 0, // 00 80
    MSP_SLOT_1 = 1,        // the models'
    MSP_SLOT_2 = 2,        // 05, or the models'
    MSP_SLOT_3 = 3,        // 0A, or the models'
    MSP_SLOT_ENCODE_TIMEOUT = 4, // 01 80 tt
    MSP_SLOT_ENCODE_DATA = 5,    // 10 00 ll data
    MSP_SLOTS = 6,
};

enum { MSP_ENCODE_DATA_MAX = 497 };

class MSP : public SIODEVICE {
public:
    MSP(const DeviceID& id, const unsigned char* name);
    MSP(const DeviceID& id, const char* name)
        : MSP(id, reinterpret_cast<const unsigned char*>(name)) {}
    ~MSP() override;

    // 0 unlock: the stop flag is cleared; 1 lock: it is set; the link timing requests as
    // every physical device; any other request 0.
    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    // Offline: card data still queued for the encoder is dropped, so that it is never written
    // onto a card once the reader is back; the writer was told by the offline event.
    void NowNotConfirmed() override;

    int CommandResetInProgress() override;
    int LastAckLost(const unsigned char* data, int n) override;
    int LastMsgAcked() override;
    int LastMsgLost(const unsigned char* data, int n) override;
    int PowerOnResetInProgress() override;
    int ResetComplete() override;
    int SendAnyPendingMessage() override;
    int SequenceResetInProgress(const unsigned char* data, int n) override;

    // Added operation: one track block {L, L bytes} at the cursor into track slot `slot`
    // of the owning reader; the cursor moves past it. A block that runs past the end of
    // the message (see BeginExtract) marks the track unreadable and ends the extraction:
    // 318 then, else 0.
    virtual int Extract(const unsigned char*& cursor, int slot);

    // State, for diagnosis and tests.
    uint32_t PendingMask() const { return pending_; }
    int32_t OutstandingSlot() const { return outstanding_; }
    bool Stopped() const { return stop_ != 0; }
    int32_t MaxTrackLength(int slot) const { return slot >= 0 && slot < MSR_TRACKS ? maxTrack_[slot] : 0; }
    const unsigned char* SlotBytes(int slot) const { return slot >= 0 && slot < MSP_SLOTS ? slots_[slot].bytes : nullptr; }
    int32_t SlotLength(int slot) const { return slot >= 0 && slot < MSP_SLOTS ? slots_[slot].length : 0; }

protected:
    struct CommandSlot {
        const unsigned char* bytes;
        int32_t length;
    };

    void SetPending(int slot);
    void ClearPending(int slot);
    bool IsPending(int slot) const;
    bool LinkUpAndConfirmed() const;
    // The owning virtual reader when it takes a swipe now: owned by a reader, the stop
    // flag clear and the reader not locked. Null otherwise.
    MSV* SwipeTaker() const;
    // The message whose blocks the next Extract calls read: they stop at its end.
    void BeginExtract(const unsigned char* msg, int length);
    // The track slot `slot` of the owner (null without one or for a bad slot).
    MsrTrackSlot* TrackSlot(int slot) const;
    // Tells the owner that a swipe is in its slots.
    void TellSwipe();
    // Ends NewMsgRcvd on the link: busy cleared, the next pending command sent (its
    // result + 1) or else an acknowledgement.
    int SendNextOrAck();
    // Tells the link's pacing how the reader answered the command on its way, before
    // SendNextOrAck: taken (no longer pending), or left pending with the reader's error bit
    // (`error`), a refusal after which it goes again.
    void ReportAnswer(bool error);
    // Error log with this object and the data as blocks; tag: the calling module's.
    void Log(uint32_t logId, uint32_t rc, uint32_t extra, const void* data, int n,
             const char* tag) const;

    uint32_t pending_ = 0;
    CommandSlot slots_[MSP_SLOTS] = {};
    int32_t outstanding_ = 0;
    unsigned char ecRequest_[2] = {0x00, 0x80};
    unsigned char slot2Bytes_[2] = {0x05, 0x00};
    unsigned char slot3Bytes_[2] = {0x0A, 0x00};
    unsigned char encodeTimeout_[3] = {0x01, 0x80, 0x00};
    unsigned char encodeData_[3 + MSP_ENCODE_DATA_MAX] = {0x10, 0x00, 0x00};
    int32_t maxTrack_[MSR_TRACKS] = {98, 46, 139, 88};
    int32_t stop_ = 1;
    const unsigned char* extractEnd_ = nullptr; // end of the message being extracted
};
