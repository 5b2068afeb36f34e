// The SRJ printer (receipt, journal and document stations, RS-485 address 0x37): its command
// object, physical device and virtual device (plug-in libovkpsrj).
//
// Every command frame is 7 bytes (five bytes of its table row, a parameter byte and the
// sequence number modulo 255) followed by the caller's data. The printer answers with 8
// status bytes: byte 0 bit 7 complete, bit 6 error end, bit 5 unrecoverable, bit 4 document
// or limp, bit 0 rejected; byte 1 bit 6 cover open, bit 4 and 3 reported changes, bit 1 EC
// level valid (in byte 2), bit 0 limp; byte 4 bit 7 reject, bit 5 busy, bit 1 unrecoverable;
// byte 5 bits 4, 2, 1, 0 faults; byte 6 bits 7-6 document sensors, bits 4, 3, 2 document
// states, bits 1-0 paper; byte 7 bit 7 ready, bit 6 document registered, bit 4 model 2,
// bit 1 busy, bit 0 wide.
#pragma once

#include <cstdint>
#include <memory>

#include "PRNTCMD.h"
#include "PRNTP.h"
#include "PRNTV.h"

enum : int32_t { PRNTSRJP_TYPE_ID = 20000, PRNTSRJV_TYPE_ID = 20100 };

// Rows of the command table (a command's code is its row).
enum : unsigned short {
    SRJ_RESET = 1,
    SRJ_GET_EC = 2,
    SRJ_SYSTEM_3 = 3,
    SRJ_FEED_CR = 4,
    SRJ_FEED_SJ = 5,
    SRJ_FEED_DI = 6,
    SRJ_FEED_CR_SJ = 7,
    SRJ_PRINT_CR = 8,
    SRJ_PRINT_SJ = 9,
    SRJ_PRINT_DI = 10,
    SRJ_PRINT_CR_SJ = 11,
    SRJ_RELEASE_DOC = 14,
    SRJ_CUT = 16,
    SRJ_REGISTER_DOC = 17,
    SRJ_SYSTEM_11 = 18,
    SRJ_GET_STATUS = 19,
    SRJ_LOAD_UDC = 20,
    SRJ_SYSTEM_29 = 26,
    SRJ_SYSTEM_30 = 27,
    SRJ_ROWS = 33,
};

enum { SRJ_HEADER = 7, SRJ_STATUS_BYTES = 8, SRJ_UDC_BLOCK = 1024, SRJ_UDC_BLOCKS = 15, SRJ_TEXT = 300 };

// The SRJ's own TellPhys requests.
enum {
    SRJ_TP_CRSJ_WIDTH = 28,   // unsigned short out
    SRJ_TP_DI_WIDTH = 34,     // unsigned short out
    SRJ_TP_MODEL = 35,        // unsigned short out: 1 or 2
    SRJ_TP_PATTERN = 36,      // unsigned short out: 1 short patterns (wide model 1), else 2
    SRJ_TP_DEFINE_UDC = 37,   // the character definitions
};

class PRNTCMDSRJ : public PRNTCMD {
public:
    struct Row {
        unsigned short station;
        unsigned short classFlags;
        unsigned char bytes[5];
        unsigned char parameter;
        unsigned char unused[2];
    };
    static const Row arCMDTABLE[SRJ_ROWS];

    // Set(code, owner, parameter, -, length, data, -, -).
    int Set(unsigned short code, void* owner, unsigned char parameter, unsigned char b2,
            unsigned short length, const unsigned char* data, unsigned short w,
            unsigned char b3) override;

    unsigned char inlineFrame[SRJ_HEADER] = {};
};

class PRNTSRJP : public PRNTP {
public:
    explicit PRNTSRJP(const DeviceID& id);
    ~PRNTSRJP() override;

    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    int NewMsgRcvd(const unsigned char* data, int n) override;
    int SendAnyPendingMessage() override;
    int CopyPrinterStatus(unsigned char* buffer) override;
    int ClearPORResetInProgress() override;
    int ResumePrinting(const unsigned char* text) override;
    int RetryPrinting(const unsigned char* text) override;
    int SystemCommand(unsigned short code) override;
    // An error condition (cover open, paper out) or limp.
    bool HoldsWork() const override;

    // Own operations, in this order.
    virtual PRNTCMD* GetNextCommand();
    virtual int PutIntoLimpState();
    virtual int RespondToCommandReject();
    virtual int RespondToCommandComplete();
    virtual int RespondToErrorEndResponse();
    virtual int RespondToUnrecoverableErrors();
    virtual int RespondToECLevelComplete();
    virtual int RespondToLoadUDCComplete();
    virtual int SystemCommandSet(unsigned short code);
    virtual int SendStatusMessage(const unsigned char* next);
    virtual int SetPrinterStatus(const unsigned char* next);
    virtual int LoadUDC(unsigned short block);
    virtual int FeedPaper();

    const unsigned char* StatusBytes() const { return status8_; }
    unsigned short CrSjWidth() const { return crsjWidth_; }
    unsigned short DiWidth() const { return diWidth_; }
    unsigned short DocumentState() const { return documentState_; }
    unsigned short BlocksStored() const { return blocksStored_; }
    unsigned short BlocksSent() const { return blocksSent_; }
    const unsigned char* UdcBlock(int i) const { return i >= 0 && i < SRJ_UDC_BLOCKS ? udc_[i].get() : nullptr; }
    bool Limp() const { return TestStatusBits(kLimp); }
    unsigned char ECLevel() const { return ecLevel_[0]; }

    // Marks in the device state word.
    static constexpr uint32_t kSystem3Queued = 0x40000;
    static constexpr uint32_t kLimp = 0x200000;
    static constexpr uint32_t kResumeDeferred = 0x400000;
    static constexpr uint32_t kRetryDeferred = 0x800000;

private:
    // Logs with this unit's source tag and the printer as first data block.
    void Log(uint32_t logId, uint32_t rc, uint32_t extra, const void* data = nullptr, int length = 0) const;
    bool ErrorCondition(const unsigned char* s) const;
    bool DocumentPresent(const unsigned char* s) const { return (s[6] & 0xC0) == 0xC0; }
    void AskResume(uint32_t p1);
    void PostStatus(uint32_t p1);
    // Takes the command at the head of station's list and finishes it without sending.
    void Settle(unsigned short station);
    PRNTCMD* Take(PRNTCMD* command);
    PRNTCMD* DocumentRule(PRNTCMD* di, bool& again);
    int DefineCharacters(const unsigned char* data, int length);
    int ResumeOrRetry(const unsigned char* text, bool retry);
    int CarryOut(const unsigned char* text, bool retry);
    int WaitIdle(int limit);

    unsigned char resumeText_[SRJ_TEXT] = {};
    unsigned char retryText_[SRJ_TEXT] = {};
    unsigned short idleCount_ = 0;
    unsigned char ecLevel_[2] = {};
    unsigned short crsjWidth_ = 25;
    unsigned short diWidth_ = 58;
    unsigned char status8_[SRJ_STATUS_BYTES] = {};
    unsigned short word2_ = 0;
    unsigned short rejects_ = 0;
    std::unique_ptr<unsigned char[]> udc_[SRJ_UDC_BLOCKS];
    unsigned short blocksSent_ = 0;
    unsigned short blocksStored_ = 0;
    unsigned short documentState_ = 0;
    uint32_t reported_ = 0;
    // The code of the command being worked on, kept past its retirement for a resume.
    unsigned short workingCode_ = 0;
};

class PRNTSRJV : public PRNTV {
public:
    enum { kLineBytes = 128, kMaxWrite = 1024, kMaxRecords = 128 };

    PRNTSRJV(const DeviceID& id, int handle, const unsigned char* name);
    ~PRNTSRJV() override;

    using PRNTV::Close;
    int Close(int& remaining) override;
    int IOCtl(int request, PosArg* args, int count, int& out) override;
    int Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
             int count) override;
    int Write(const void* buffer, unsigned int length, int& count) override;
    int SendWritePending() override;
    int validateMode(long value) override;

    // Own operations, in this order.
    virtual int AdvancePaperToTearBar();
    virtual int CutPaper();
    virtual int ReleaseDocument();
    virtual int RegisterDocument();
    virtual int FeedPaper(unsigned short stations, long lines);
    virtual int PrnCmdWithFeed(unsigned short code, unsigned short station, unsigned long feed,
                               unsigned short length, const unsigned char* data, unsigned short w);
    virtual int WriteText(const unsigned char* data, unsigned int length, int& written);

    unsigned short Model() const { return model_; }
    unsigned short PatternLength() const { return patternLength_; }
    unsigned short RecordLength() const { return recordLength_; }
    unsigned short CrSjWidth() const { return crsjWidth_; }
    unsigned short DiWidth() const { return diWidth_; }

    static const unsigned short arPRINT_INFO[3];

private:
    int Queue(unsigned short code, unsigned char parameter, unsigned short length,
              const unsigned char* data, uint32_t noMemoryLog, uint32_t setLog);
    int Flush();
    // Lays the line into blank lines of width from column: each line as one print command.
    int PrintStation(unsigned short station, bool both);

    unsigned char line_[kLineBytes];
    unsigned short lineLength_ = 0;
    bool lineComplete_ = false;
    unsigned short column_[4] = {};
    unsigned short model_ = 2;
    unsigned short patternLength_ = 42;
    unsigned short recordLength_ = 48;
    unsigned short diWidth_ = 58;
    unsigned short crsjWidth_ = 25;
    bool escape_ = false;
};
