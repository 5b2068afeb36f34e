// The journalled NVRAM on the bus: 16384 bytes at device address 0xC00, records of at
// most 1024 bytes, and the terminal's power control (device number 0x86).
//
// A write goes through a journal at 0x4C00: the header (state 01, address, length) and
// the data staged at 0x4C10, then the state 02 (data staged), then a copy of the staged
// data to its place. The client is told the write is done only when the device answered
// the copy. At start-up a journal in state 02 is played again (read the staged data, write
// it to its place), so that a write cut short by a power loss is either not there at all
// (state 01) or there in full.
#pragma once

#include "NVSIOP.h"

class NVOCRP : public NVSIOP {
public:
    enum {
        kSize = 16384,
        kMaxRecord = 1024,
        kBase = 0xC00,          // device address of NVRAM offset 0
        kJournal = 0x4C00,      // journal header, 16 bytes
        kStaged = 0x4C10,       // staged data
        kSlotJournalRead = 1,   // 02 00 4C 10 00
        kSlotStagedRead = 2,    // 02 10 4C len
        kSlotReplay = 3,        // 03 addr len data
        kSlotHeader = 4,        // 03 00 4C 10 00 header
        kSlotStage = 5,         // 03 10 4C len data
        kSlotStaged = 6,        // 03 00 4C 01 00 02
        kSlotCopy = 7,          // 40 addr len 10 4C
        kSlotRead = 8,          // 02 addr len
        kSlotPowerOff = 9,      // 80 00 00
        kSlotPowerOn = 10,      // 81 00 00
        kBadRepliesAllowed = 4,
    };

    explicit NVOCRP(const DeviceID& id);
    // Logs 8301 while the power device is held.
    ~NVOCRP() override;

    // Over PDEV.
    using PDEV::Init;
    int Init() override;
    bool Confirmed(unsigned char address) const override;
    int GetVdevInfo(unsigned char address, unsigned char& deviceType, long& vdevType) const override;
    void NowConfirmed() override;
    void NowNotConfirmed() override;
    void TellQueueWhosOnline(const MsgQueueInfo* queue) override;
    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    int Acquire(VDEV* vdev) override;
    int Release(VDEV* vdev) override;

    int NewMsgRcvd(const unsigned char* data, int n) override;

    int GetBadReplies() const { return badReplies_; }
    VDEV* GetPowerHolder() const { return powerHolder_; }

protected:
    int Write(const NvramRequest& rq);
    int Read(NvramRequest& rq);
    bool Inside(const NvramRequest& rq) const;
    // The journal header read at start-up: when it holds staged data (state 02, a length
    // of 1 to 1024, a place inside the NVRAM), the staged data are read back (slot 2).
    void JournalRead(const unsigned char* journal, int n);
    // The staged data read back: written to their place (slot 3).
    void StagedRead(const unsigned char* staged, int n);
    void AnnouncePower(bool online, const MsgQueueInfo* queue);

    int32_t badReplies_ = 0;
    VDEV* powerHolder_ = nullptr;
    int32_t powerOnline_ = 0;
    uint32_t replayAddress_ = 0;
    uint32_t replayLength_ = 0;
    unsigned char journalRead_[5] = {0x02, 0x00, 0x4C, 0x10, 0x00};
    unsigned char stagedRead_[5] = {0x02, 0x10, 0x4C, 0x00, 0x00};
    unsigned char replay_[5 + kMaxRecord] = {};
    unsigned char header_[5 + 16] = {};
    unsigned char stage_[5 + kMaxRecord] = {};
    unsigned char staged_[6] = {0x03, 0x00, 0x4C, 0x01, 0x00, 0x02};
    unsigned char copy_[7] = {};
    unsigned char read_[5] = {};
    unsigned char powerOff_[3] = {0x80, 0x00, 0x00};
    unsigned char powerOn_[3] = {0x81, 0x00, 0x00};
};
