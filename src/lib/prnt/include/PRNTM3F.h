// The fiscal M3 printer (RS-485 address 0x38, plug-in libovkpm3f): the M3's stations plus a
// fourth station of fiscal commands, return codes with a class each, fiscal data read back by
// the application, and fiscal status events. Commands are M3 commands (PRNTCMDM3); those for
// the printer's own stations travel wrapped in ESC "f" 0xE9 0x00, fiscal commands as they
// are. Every answer is at least 9 bytes: status bytes 0-2, the EC byte 3, the frame type in
// byte 6, byte 7 (bit 0x80: fiscal data from byte 9) and the return code in byte 8.
#pragma once

#include <cstdint>

#include "PRNTM3.h"

enum : int32_t { PRNTM3FP_TYPE_ID = 19500, PRNTM3FV_TYPE_ID = 19600 };

// Device state bits of the fiscal printer.
enum : uint32_t {
    M3F_STATUS_REQUESTED = 0x40000,
    M3F_LIMP = 0x200000,
    M3F_RESUME_DEFERRED = 0x400000,
    M3F_RETRY_DEFERRED = 0x800000,
    M3F_RETRY_MARKER = 0x1000000,
    M3F_IPL_PENDING = 0x2000000,
};

// Class flags of the fiscal model.
enum : unsigned short { M3F_CLASS_PRINT = 0x0002, M3F_CLASS_LOCAL = 0x0004, M3F_CLASS_FISCAL = 0x0800 };

// Return codes and their classes.
enum : unsigned char { M3F_RC_GOOD = 67, M3F_RC_WAIT = 87 };
enum { M3F_CLASS_GOOD = 0, M3F_CLASS_APPLICATION = 1, M3F_CLASS_DRIVER = 2, M3F_CLASS_HARDWARE = 3 };

// TellPhys and TellVirt requests of the fiscal model.
enum {
    M3F_TP_DISABLE_FISCAL = 2,
    M3F_TP_ENABLE_FISCAL = 3,
    M3F_TP_COUNTRY = 19,
    M3F_TP_VERSION = 20,
    M3F_TP_PLD = 21,
    M3F_TP_FISCAL_PRINTING = 22,
    M3F_TV_NOTIFY = 4,
    M3F_TV_DATA = 5,
};

class PRNTM3FP : public PRNTP {
public:
    struct ReturnCode {
        unsigned char code;
        unsigned char cls;
    };
    static const ReturnCode* sReturnCode(); // 256 rows, row n for return code n
    static int ClassOf(unsigned char rc) { return sReturnCode()[rc].cls; }

    explicit PRNTM3FP(const DeviceID& id);
    ~PRNTM3FP() override;

    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    int LastMsgLost(const unsigned char* data, int n) override;
    int NewMsgRcvd(const unsigned char* data, int n) override;
    int PowerOnResetInProgress() override;
    int SendAnyPendingMessage() override;
    int DiscardData() override;
    int CopyPrinterStatus(unsigned char* buffer) override;
    int ClearPORResetInProgress() override;
    int ResumePrinting(const unsigned char* text) override;
    int RetryPrinting(const unsigned char* text) override;
    int SystemCommand(unsigned short code) override;
    // Cover open, limp, or (for text work) receipt or journal paper out.
    bool HoldsWork() const override;

    // Own operations.
    virtual PRNTCMD* GetNextCommand();
    virtual int RespondToCommandComplete(unsigned char rc);
    virtual int RespondToECLevelComplete(unsigned char rc);
    virtual int ProcessIPLBringup(unsigned char rc);
    virtual int ProcessIPLComplete(unsigned char rc);
    virtual int ProcessFiscalGoodReturnCode(unsigned char rc);
    virtual int ProcessFiscalApplicationError(unsigned char rc);
    virtual int ProcessFiscalHardwareError(unsigned char rc);
    virtual int ProcessFiscalDeviceDriverError(unsigned char rc);
    virtual int PutIntoLimpState(unsigned char rc);
    virtual int DisableFiscalPrinting();
    virtual int EnableFiscalPrinting();

    const unsigned char* StatusBytes() const { return status9_; }
    unsigned char Country() const { return country_; }
    unsigned char FiscalVersion() const { return fiscalVersion_; }
    unsigned char PLD() const { return pld_; }
    unsigned short FiscalPrinting() const { return fiscalPrinting_; }
    unsigned short FiscalCapable() const { return fiscalCapable_; }
    bool Limp() const { return TestStatusBits(M3F_LIMP); }

private:
    void StatusUpdate(const unsigned char* m);
    bool CoverCheck(const unsigned char* m);
    void AskResume(uint32_t msg, uint32_t p1);
    void Settle(unsigned short station);
    void CompleteOutstanding();
    int SendCommand(PRNTCMD* command, bool system);
    int ResumeOrRetry(const unsigned char* text, bool retry);

    unsigned char resumeText_[M3_TEXT_AREA] = {};
    unsigned char retryText_[M3_TEXT_AREA] = {};
    unsigned short fiscalPrinting_ = 1;
    unsigned short fiscalCapable_ = 0;
    unsigned short idle_ = 0;
    unsigned char status9_[9] = {0x00, 0x60, 0x04, 0, 0, 0, 0, 0, 0};
    unsigned char fiscalVersion_ = 0;
    unsigned char lastRc_ = 0;
    unsigned char country_ = 0;
    unsigned char pld_ = 0;
    unsigned char ecByte_ = 0;
    unsigned short offlineMark_ = 1;
    // The command being worked on, as it was when chosen (the queue owns the command).
    struct Working {
        bool any = false;
        bool fiscal = false;
        unsigned short code = 0;
        unsigned short station = 0;
        unsigned short classFlags = 0;
        unsigned char frame1 = 0;
    } working_;
};

class PRNTM3FV : public PRNTM3V {
public:
    enum { kMaxFiscalWrite = 1024 };

    PRNTM3FV(const DeviceID& id, int handle, const unsigned char* name);
    ~PRNTM3FV() override;

    int Write(const void* buffer, unsigned int length, int& count) override;
    int Read(void* buffer, unsigned int length, int& count) override;
    int Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
             int count) override;
    int IOCtl(int request, PosArg* args, int count, int& out) override;
    int GetValues(PosArg* args, int count) override;
    int SetValues(PosArg* args, int count) override;
    int TellVirt(const PDEV* from, int message, unsigned char* data, int length) override;
    int AcquirePhysical() override;
    int ReleasePhysical() override;
    int validateMode(long value) override;
    int validateReadMode(long value) override;

    virtual int validateFiscalNotify(long value);
    virtual int DiscardFiscalData();
    virtual int StoreFiscalData(const unsigned char* data, unsigned short length);
    virtual int ReadFiscalData(void* buffer, unsigned long size, int& count);
    virtual int WriteFiscal(const unsigned char* data, unsigned long length, int& written);
    virtual int EnableFiscalPrinting();
    virtual int DisableFiscalPrinting();

    unsigned short FiscalNotify() const { return fiscalNotify_; }

private:
    unsigned short fiscalWish_ = 1;
    unsigned short fiscalNotify_ = 0;
    unsigned char* fiscalData_ = nullptr;
    unsigned short fiscalLength_ = 0;
};
