// The virtual printer base: what an application's open of a printer gets. It loads and
// validates the printer resources, keeps the application's print parameters, turns the
// printer I/O controls into TellPhys requests, queues chase, interleave and head-park
// markers, counts the chases each station still owes, and passes the physical printer's
// messages to the application's event queue (with its handle in the low 16 bits of p1).
//
// What a model supplies: Write and SendWritePending (its print data); it may change the
// default print and read modes, override the validation rules (a model's print modes),
// Open, Close, IOCtl (its own controls first, the rest to PRNTV::IOCtl) and TellVirt.
//
// Printer model classes derive from it, so the order of its virtual operations and its
// fields are a fixed interface.
#pragma once

#include <atomic>
#include <cstdint>

#include "PRNTP.h"
#include "VDEV.h"
#include "prntdefs.h"

class PRNTV : public VDEV {
public:
    enum { kStringMax = 86, kStringSize = 128, kRawStatusSize = 16, kResources = 15 };

    // The print parameters that validateResources checks.
    struct PrnParm {
        unsigned short printMode = PRN_MODE_NORMAL;
        unsigned short readMode = PRN_READ_MCT;
        unsigned short diWidth = 0;
        unsigned short feedDirection = 0;
        unsigned short interleaved = 0;
        unsigned short headParkedPosition = 0;
        unsigned short printStation = 1;
        unsigned short diPrinting = 0;
        unsigned short exclusiveDI = 1;
        uint32_t lineFeedCR = 4236;
        uint32_t lineFeedSJ = 3177;
        uint32_t lineFeedDI = 4236;
        char resumeString[kStringSize] = {};
        char retryString[kStringSize] = {};
    };

    PRNTV(const DeviceID& id, int handle, const unsigned char* name);
    PRNTV(const DeviceID& id, int handle, const char* name)
        : PRNTV(id, handle, reinterpret_cast<const unsigned char*>(name)) {}
    ~PRNTV() override;

    using VDEV::Close;
    // Over VDEV, in its slot order.
    int Close(int& remaining) override;
    int AcquirePhysical() override;
    int GetValues(PosArg* args, int count) override;
    int IOCtl(int request, PosArg* args, int count, int& out) override;
    int Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
             int count) override;
    int Read(void* buffer, unsigned int length, int& count) override;
    int ReleasePhysical() override;
    int SetValues(PosArg* args, int count) override;
    int TellVirt(const PDEV* from, int message, unsigned char* data, int length) override;
    int Write(const void* buffer, unsigned int length, int& count) override = 0;

    // Added operations, in this order.
    // Queues a chase command for each station bit (1 CR, 2 SJ, 4 DI); above 7: 4904.
    virtual int SetChase(unsigned short stations);
    virtual int SendUserAMessage(const PRNTMSG* message);
    virtual int DiscardData();
    virtual int validateResources(PrnParm* parm);
    virtual int validateDIWidth(long value);
    virtual int validateInterleaved(long value);
    virtual int validateHeadParkedPosition(long value);
    virtual int validateMode(long value);
    virtual int validatePrintStation(long value);
    virtual int validateLineFeedCR(long value);
    virtual int validateLineFeedSJ(long value);
    virtual int validateLineFeedDI(long value);
    virtual int validateFeedDirection(long value);
    virtual int validateReadMode(long value);
    virtual int validateResumeString(const unsigned char* text);
    virtual int validateRetryString(const unsigned char* text);
    virtual int ResumePrinting(PosArg* args, int count);
    virtual int RetryPrinting(PosArg* args, int count);
    virtual int ResetPrinter();
    virtual int GetRawPrinterStatus(unsigned char* buffer);
    // The model sends the print data it has buffered.
    virtual int SendWritePending() = 0;

    // Helpers.
    int GetPrinterStatus(uint32_t& status);
    int GetPrinterStatus2(uint32_t& status);
    int SetInterleaved();
    int SetHeadParkedPosition();
    void DecrementChase(unsigned short station);
    int EnableDIPrinting();
    int DisableDIPrinting();
    int EnableExclusiveDIPrinting();
    int DisableExclusiveDIPrinting();

    // The next chase number: 1..32767, then 1 again (process-wide).
    static uint32_t NextChaseNumber();
    static std::atomic<uint32_t> uChaseNumber;

    const PrnParm& GetParm() const { return parm_; }
    int32_t GetChaseCount(unsigned short station) const { return chaseCount_[station & 3]; }

protected:
    // TellPhys to the physical printer: its result, or 321 without one.
    int Tell(int request, void* data, int length);
    // 315 unless this virtual printer holds the physical printer.
    int RequireHolding() const { return IsHolding() ? 0 : 315; }
    // Copies at most kStringMax characters of text into out (kStringSize bytes), terminated.
    static void CopyString(char* out, const char* text);
    // A marker command (0x8004, 0x8005) with value, handed to the physical printer.
    int QueueMarker(unsigned short code, unsigned short value);
    void Log(uint32_t logId, uint32_t rc, uint32_t extra, const void* data = nullptr,
             int length = 0) const;

    unsigned short stationBits_[PRN_MAX_STATIONS] = {1, 2, 4, 8};
    unsigned short stations_ = 3;
    unsigned short defaultPrintMode_ = PRN_MODE_NORMAL;
    unsigned short defaultReadMode_ = PRN_READ_MCT;
    unsigned short diWidthFixed_ = 0;
    int32_t chaseCount_[PRN_MAX_STATIONS] = {};
    PrnParm parm_;
};
