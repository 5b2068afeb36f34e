// The extended RS-485 keyboard: what it reports over the link (status, information and EC
// level, key lock, scan codes) turned into key and key-lock events for the owner; double
// keys and fat-finger presses resolved by a small state machine; the configure command
// (typematic, click, fat-finger time-out); and the microcode download from a data file each
// time the keyboard reports its information.
//
// Model classes of other plug-ins derive from it, so the order of its virtual operations is
// a fixed interface.
#pragma once

#include <cstdint>

#include "KBP.h"

// Set while a fat-finger sequence is being processed; shared by every extended keyboard of
// the process.
extern "C" int32_t fProcessingFatFinger;

class KBOBP : public KBP {
public:
    KBOBP(const DeviceID& id, const unsigned char* name);
    KBOBP(const DeviceID& id, const char* name)
        : KBOBP(id, reinterpret_cast<const unsigned char*>(name)) {}
    ~KBOBP() override;

    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    int NewMsgRcvd(const unsigned char* data, int n) override;
    int PowerOnResetInProgress() override;

    // Added operations, in this order.
    // The key-lock position of the key-lock bits (byte 2): 1 with bit 4, else 2.
    virtual int CheckKeyLockState(unsigned char bits);
    // Turns the last `count` bytes of the message into key events.
    virtual void InterpretScanCode(const unsigned char* msg, int length, int count);
    // Queues the next microcode block, or the end block.
    virtual void UpdateMicrocode();

    // 1: the key is emitted, 0: suppressed.
    int ProcessDoubleKey(unsigned char code);
    // The contents of a microcode file (its length in `length`), or null. The caller owns
    // the buffer (delete[]).
    unsigned char* ReadCodeUpdateFile(const unsigned char* path, uint16_t& length);

    // State, for diagnosis and tests.
    const unsigned char* ConfigureCommand() const { return configure_; }
    const unsigned char* Information() const { return information_; }
    int32_t DoubleKeyState() const { return doubleKeyState_; }
    uint16_t Modifiers() const { return kbdata_.Modifiers(); }
    bool MicrocodeDone() const { return microcodeDone_ != 0; }

protected:
    // The microcode file's path for the current EC level.
    void MicrocodePath(char* out, size_t size) const;
    // Queues the end block 22 00 and marks the download done.
    void QueueEndBlock();
    // Posts an event to the owner, if any.
    void Post(uint32_t msg, uint32_t p1, uint32_t p2);

    unsigned char configure_[4] = {0x21, 0x01, 0x00, 0x00};
    unsigned char informationRequest_[3] = {0x00, 0x00, 0x01};
    int32_t microcodePosition_ = 0;
    uint16_t microcodeLength_ = 0;
    unsigned char* microcode_ = nullptr;
    int32_t microcodeDone_ = 0;
    unsigned char block_[257] = {0x22};
    int32_t numpadLocation_ = 1;
    const unsigned char* numpadTable1_ = nullptr;
    int32_t numpadHighest_ = 0;
    const unsigned char* numpadTable2_ = nullptr;
    unsigned char information_[4] = {};
    int32_t breakPrefix_ = 0;
    KBDATA kbdata_;
    int32_t doubleKeyState_ = 0;
    unsigned char doubleKeyFirst_ = 0;
    unsigned char numpadZeroPair_[2] = {0, 0};
    unsigned char shiftToggle_ = 0x50;
    // Log ids of the keyboard error and command-rejected bits (models use their own band).
    uint32_t logKeyboardError_ = 15701;
    uint32_t logCommandRejected_ = 15702;
};
