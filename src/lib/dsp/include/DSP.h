// The physical display base: one per display on the RS-485 link. It keeps a table of
// numbered command slots; a pending bit per slot marks what waits to be sent, the slot
// number is the send priority, and at most one command is outstanding. Slot 0 is the
// status request (00 80), whose answer brings the display online.
//
// Display model classes derive from it, so the order of its virtual operations and its
// fields are a fixed interface.
#pragma once

#include <cstdint>

#include "DspRowInFlight.h"
#include "SIODEVICE.h"

class VDEV;

// Device type of every display, reported with online and offline events.
enum : unsigned char { DSP_DEVICE_TYPE = 2 };

// Requests of a display's virtual device to its physical device (TellPhys).
enum {
    DSP_REQ_UPDATE_TEXT = 1, // a DspTextRecord
    DSP_REQ_CONFIGURATION = 5,
    DSP_REQ_TYPE = 6,
    DSP_REQ_CODE_PAGE = 7,   // a DspTextRecord (the selection byte in codePage)
    DSP_REQ_PATTERNS = 8,    // user-defined character patterns
};

// Error codes of the display family.
enum {
    POSERR_DSP_INVALID_CURSOR = 4401,
    POSERR_DSP_INVALID_MODE = 4402,
    POSERR_DSP_INVALID_SIZE = 4403,
    POSERR_DSP_UNSUPPORTED_BITMAP = 4404,
    POSERR_DSP_BAD_BITMAP = 4405,
    POSERR_DSP_INVALID_CODE_PAGE = 4406,
};

// I/O-control requests of the display family.
enum {
    POS_DSP_CLEAR_SCREEN = 4401,
    POS_DSP_DEFINE_CHARACTERS = 4402,
};

// The record of DSP_REQ_UPDATE_TEXT: fifteen fields, the pointers pointer-sized.
struct DspTextRecord {
    int32_t first = 0;                     // 0: first cell index
    const uint16_t* cells = nullptr;       // 1: the virtual device's cell array (element 0)
    int32_t count = 0;                     // 2: cells written
    int32_t taken = 0;                     // 3: set by the physical device: cells taken
    int32_t textUpdate = 0;                // 4: the text buffer changed
    int32_t textUpdate2 = 0;               // 5: the text buffer changed
    int32_t lightsUpdate = 0;              // 6: the lights changed
    int32_t clear = 0;                     // 7: blank the display
    const unsigned char* text = nullptr;   // 8: text buffer of device bytes
    int32_t lights = 0;                    // 9: lights value
    int32_t reserved[4] = {};              // 10-13
    int32_t codePage = 0;                  // 14: code-page selection byte (low byte)
};

// One past the last cell of a record's range, bounded by cells (never below first).
inline int DspTextEnd(const DspTextRecord& record, int cells) {
    const long long end = static_cast<long long>(record.first) + (record.count > 0 ? record.count : 0);
    return static_cast<int>(end < cells ? (end < 0 ? 0 : end) : cells);
}

class DSP : public SIODEVICE {
public:
    enum { kMaxSlots = 32 };

    struct CommandSlot {
        const unsigned char* bytes;
        int32_t length;
        int32_t keep; // stays pending after sending, until the display answers
    };

    DSP(const DeviceID& id, const unsigned char* name);
    DSP(const DeviceID& id, const char* name)
        : DSP(id, reinterpret_cast<const unsigned char*>(name)) {}
    ~DSP() override;

    // The link notifications.
    int CommandResetInProgress() override;
    int LastAckLost(const unsigned char* data, int n) override;
    int LastMsgAcked() override;
    int LastMsgLost(const unsigned char* data, int n) override;
    int NewMsgRcvd(const unsigned char* data, int n) override;
    int PowerOnResetInProgress() override;
    int ResetComplete() override;
    int SendAnyPendingMessage() override;
    int SequenceResetInProgress(const unsigned char* data, int n) override;

    // For the models and tests.
    uint32_t GetPendingMask() const { return pending_; }
    bool IsPending(int slot) const { return slot >= 0 && slot < kMaxSlots && (pending_ >> slot) & 1u; }
    int GetLastSent() const { return lastSent_; }
    int GetSlotCount() const { return slotCount_; }
    const CommandSlot& GetCommandSlot(int slot) const { return slots_[slot & (kMaxSlots - 1)]; }
    bool AwaitingReply() const { return TestStatusBits(SIODEV_AWAITING_REPLY); }
    // Link up and confirmed: client updates may ask for a send turn.
    bool Ready() const { return TestStatusBits(PDEV_PRESENT) && TestStatusBits(PDEV_ONLINE); }

protected:
    void SetPending(int slot);
    void ClearPending(int slot);
    void SetSlot(int slot, const unsigned char* bytes, int length, bool keep = false);
    // The two row slots of a two-row display: when both are pending they go alternately.
    void SetRowSlots(int first, int second);
    // 315 unless sender holds the device acquired.
    int CheckHolder(const VDEV* sender) const;
    // 317 unless Ready(); else the adapter's answer to a send-turn request.
    int RequestSendTurn();
    // Logs a reply (or request) problem with the device and the offending bytes.
    void LogWith(uint32_t logId, uint32_t rc, uint32_t extra, const char* tag,
                 const void* data, int n) const;
    // Sends slot i; on success updates pending, awaiting-reply and the last sent slot.
    int SendSlot(int slot);
    // SendAnyPendingMessage of the two-row models that keep their row in flight: a lost
    // row goes again from its copy before any pending slot; a row slot that goes out
    // becomes the row in flight.
    int SendKeepingRowInFlight(DspRowInFlight& inFlight);
    // LastMsgLost of those models (after their log): the row in flight is due again from
    // its copy, any other command from its slot.
    int LostKeepingRowInFlight(DspRowInFlight& inFlight);
    // A message with the reject bit: when it answers the command sent last, that command is
    // due again (a command that left the pending set when it went out is made pending) and
    // the link paces the resends of a display that keeps rejecting; true then. A reject bit
    // that answers nothing sends nothing again: false.
    bool RetryRejected();
    // A message without the reject bit: when it answers the command sent last, the display's
    // rejects in a row are over.
    void AnswerAccepted();
    // The link acknowledged the command sent last; LastMsgAcked of every model calls it.
    void NoteAcked() { acked_ = true; }

    uint32_t pending_ = 0;
    CommandSlot slots_[kMaxSlots] = {};
    int32_t lastSent_ = 0;
    int32_t toggle_ = -1; // the row slot sent last, -1 at start
    int32_t slotCount_ = 1;
    unsigned char statusRequest_[2] = {0x00, 0x80};
    int32_t rowSlots_[2] = {-1, -1};
    // The command sent last awaits its verdict: a reject, the answer of a command that stays
    // pending, or the acknowledgement of one that does not.
    bool answerDue_ = false;
    bool acked_ = false;

private:
    // A command the link acknowledged without a reject in the same message, and that awaits no
    // answer, was accepted.
    void SettleAcked();
};
