// The base of every keyboard on the RS-485 link: 32 command slots with a pending mask and
// the send discipline, the requests of the virtual keyboards (settings, lights, tone, lock,
// key lock), the lights and tone commands, the key maps used for double keys, the keyboard
// driver node shared by every keyboard of the process, and the console keymap lookup that
// models use to turn a key into a character. What a keyboard reports is the model's
// (NewMsgRcvd stays pure).
//
// Keyboard classes of other plug-ins derive from it, so the order of its virtual operations
// is a fixed interface.
#pragma once

#include <cstdint>

#include "RejectRetries.h"
#include "SIODEVICE.h"
#include "kbddefs.h"

class VDEV;

// Status-word bits of a keyboard (bits 16-31 are the plug-ins').
enum : uint32_t {
    KBP_LOCKED = 0x10000,  // the application locked the keyboard: keys are not reported
    KBP_TONE_ON = 0x20000, // a continuous tone sounds
};

// Command slots of the keyboards, in send priority.
enum {
    KBP_SLOT_EC_LEVEL = 0,   // 00 80; pending until answered
    KBP_SLOT_INFORMATION = 1,
    KBP_SLOT_MICROCODE = 2,
    KBP_SLOT_1D = 4,
    KBP_SLOT_LIGHTS = 6,     // 1C ll
    KBP_SLOT_TONE = 8,       // 13 ff [dd] or 13 40
    KBP_SLOT_CONFIGURE = 9,
    KBP_SLOTS = 32,
};

class KBP : public SIODEVICE {
public:
    KBP(const DeviceID& id, const unsigned char* name);
    KBP(const DeviceID& id, const char* name)
        : KBP(id, reinterpret_cast<const unsigned char*>(name)) {}
    ~KBP() override;

    using PDEV::Close;
    using PDEV::Open;

    // Releases this keyboard's use of the driver node (closed with its last user).
    int Close(const VDEV* vdev, int& remaining) override;
    // Opens the driver node unless it is open (then reads the EC level from it); 0 always
    // but for PDEV::Open's error.
    int Open(const VDEV* vdev) override;
    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;

    int CommandResetInProgress() override;
    int LastAckLost(const unsigned char* data, int n) override;
    int LastMsgAcked() override;
    int LastMsgLost(const unsigned char* data, int n) override;
    int PowerOnResetInProgress() override;
    int ResetComplete() override;
    int SendAnyPendingMessage() override;
    int SequenceResetInProgress(const unsigned char* data, int n) override;

    // Added operations, in this order.
    // 4705 when a key number is unknown to the key-number map.
    virtual int ValidateDoubleKey(unsigned char first, unsigned char second);
    virtual int ValidateNumpadLocation(int location);
    // 0 for styles 0 to 3, else 4709.
    virtual int ValidateNumpadStyle(int style);
    // The console keymap's character for a scan code: 0, or 1 (character unchanged).
    virtual int KbdHandler(KBDATA* state, unsigned char scanCode, unsigned char& character);
    // Low four bits of lights into the low nibble of the lights byte.
    virtual void SetLEDBits(unsigned char* lightsByte, unsigned char lights);

    // State, for diagnosis and tests.
    uint32_t PendingMask() const { return pending_; }
    int32_t OutstandingSlot() const { return outstanding_; }
    int32_t KeyLockPosition() const { return keyLock_; }
    int32_t NumpadStyle() const { return numpadStyle_; }
    unsigned char LightsByte() const { return lights_[lightsAt_]; }
    const unsigned char* DoubleKeyMap() const { return doubleKeyMap_; }
    bool Locked() const { return TestStatusBits(KBP_LOCKED); }
    bool ToneOn() const { return TestStatusBits(KBP_TONE_ON); }

    // The keyboard driver node shared by the process's keyboards (-1: not open) and the
    // number of keyboard opens that use it.
    static int NodeHandle();
    static int NodeUsers();

protected:
    struct CommandSlot {
        const unsigned char* bytes;
        int32_t length;
    };

    void SetPending(int slot);
    void ClearPending(int slot);
    bool IsPending(int slot) const;
    // Asks the adapter for a send turn when the link is up and the keyboard online, else 317.
    int RequestSendTurn();
    bool LinkUpAndConfirmed() const;
    // Error log with this object and the data as blocks; tag: the calling module's (null:
    // this one's).
    void Log(uint32_t logId, uint32_t rc, uint32_t extra, const void* data, int n,
             const char* tag = nullptr) const;
    // Copies a key-number table of `count` entries into the key-number map.
    void SetKeyNumberMap(const unsigned char* table, int count);
    // The keyboard rejected the outstanding command: it goes again under the device's reject
    // pacing rule (RejectPacer.h, kept by SIODEVICE), so that a keyboard that rejects
    // everything is not flooded. The EC-level request stays pending until answered anyway.
    // True when it is due again.
    bool RetryRejected();

    int32_t keyLock_ = 0;
    uint32_t pending_ = 0;
    CommandSlot slots_[KBP_SLOTS] = {};
    int32_t outstanding_ = 0;
    int32_t numpadStyle_ = 1;
    unsigned char ecRequest_[2] = {0x00, 0x80};
    unsigned char byte1D_[1] = {0x1D};
    unsigned char lights_[3] = {0x1C, 0x00, 0x00};
    unsigned char toneOff_[2] = {0x13, 0x40};
    unsigned char tone_[3] = {0x13, 0x00, 0x02};
    // Where the lights byte and the tone flags sit in their commands (models with a command
    // set of their own move them).
    int32_t lightsAt_ = 1;
    int32_t toneFlagsAt_ = 1;
    unsigned char doubleKeyMap_[256];
    unsigned char keyNumberMap_[256];
    unsigned char lastMake_ = 0;
    int32_t keyLockCodes_[4] = {4, 3, 2, 1};
    RejectRetries rejectRetries_;

private:
    int32_t nodeUses_ = 0; // this keyboard's opens that hold a use of the driver node
};
