// A test printer on the printer base, for tests only: its commands are those of the
// simulated test printer (testprintermodel.h): a line per station, feed, cut, status and
// reset. It runs every path of the base on the bus before any real model does.
//
// Physical side: the queue has a window of 2; a frame goes out when none is with the link,
// the system commands first (and nothing else while one is outstanding), then stations CR,
// SJ (unless the journal is held) and DI; print commands wait
// while a resume is requested. Every answer carries the status byte: bits 0-2 paper out
// (CR, SJ, DI), bit 3 cover open, bit 4 document in, reported as the same bits of the status
// word with 16902 (p1 = the changed bits << 16). Byte 0 bit 0 completes the command, bit 7
// rejects it (16901 with 0x80000000 and a retry of the queue). The first answer brings the
// printer online.
//
// Virtual side: a write is one line on the first station of printStation.
#pragma once

#include <cstdint>
#include <vector>

#include "PRNTCMD.h"
#include "PRNTP.h"
#include "PRNTV.h"

namespace testprinter {

enum : unsigned short { kLine = 1, kFeed = 2, kCut = 3, kStatus = 4, kReset = 5 };
enum : uint32_t { kStatusBits = 0x1F, kRejectP1 = 0x80000000u };
constexpr int32_t kVdevType = 99300;

// A command of the test printer: Set(code, owner, station, count, length, text, 0, 0).
class TestCmd : public PRNTCMD {
public:
    int Set(unsigned short code, void* owner, unsigned char station, unsigned char count,
            unsigned short length, const unsigned char* data, unsigned short w,
            unsigned char b3) override;
};

class TestPrinterP : public PRNTP {
public:
    explicit TestPrinterP(const DeviceID& id);
    ~TestPrinterP() override;

    int NewMsgRcvd(const unsigned char* data, int n) override;
    int SendAnyPendingMessage() override;
    int ClearPORResetInProgress() override;
    int ResumePrinting(const unsigned char* resumeString) override;
    int RetryPrinting(const unsigned char* retryString) override;
    int SystemCommand(unsigned short code) override;
    int CopyPrinterStatus(unsigned char* buffer) override;

    // Frames handed to the link, and the last answer, for tests.
    int sentFrames = 0;
    std::vector<unsigned char> rawStatus;
    // A resume that cannot be carried out (as on a printer that is offline): 317, and the
    // resume stays requested.
    bool resumeRefused = false;
    // A condition that holds the station commands (as a cover open would), for tests.
    bool holding = false;
    bool HoldsWork() const override { return holding; }
};

class TestPrinterV : public PRNTV {
public:
    TestPrinterV(const DeviceID& id, int handle);
    int Write(const void* buffer, unsigned int length, int& count) override;
    int SendWritePending() override;

    int flushes = 0;
    int flushResult = 0; // what SendWritePending answers
};

} // namespace testprinter
