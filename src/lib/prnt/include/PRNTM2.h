// The M2 impact printer (receipt, journal and document stations, RS-485 address 0x30):
// its command object, physical device and virtual device (plug-in libovkp83m2).
//
// Every command frame is a 7-byte header (five bytes of its table row, then two parameter
// bytes) followed by the caller's data. The printer answers with up to 4 status bytes:
// byte 0 bit 0 answered, bit 1 succeeded, bits 2-5 home errors, bit 6 document error,
// bit 7 rejected; byte 1 bit 1 journal error, bit 3 EC level valid, bit 4 cover open,
// bits 5 and 6 the document throat, bit 7 receipt paper error; byte 2 the EC level.
#pragma once

#include <cstdint>

#include "PRNTCMD.h"
#include "PRNTP.h"
#include "PRNTV.h"

enum : int32_t { PRNTM2P_TYPE_ID = 19700, PRNTM2V_TYPE_ID = 19800 };

// Rows of the command table (a command's code is its row).
enum : unsigned short {
    M2_RESET = 1,
    M2_GET_EC = 2,
    M2_GET_STATUS = 3,
    M2_HOME = 4,
    M2_FEED_CR = 6,
    M2_FEED_SJ = 7,
    M2_FEED_DI = 9,
    M2_CUT = 10,
    M2_RELEASE_DOC = 11,
    M2_REGISTER_DOC = 12,
    M2_LINE_CR = 13,
    M2_LINE_SJ = 14,
    M2_LINE_DI = 15,
    M2_LOGO_CR = 16,
    M2_LOGO_SJ = 17,
    M2_LOGO_DI = 18,
    M2_OPEN_THROAT = 21,
    M2_CLOSE_THROAT = 22,
    M2_ROWS = 23,
};

enum : unsigned short {
    M2_CLASS_SYSTEM = 0x0001,
    M2_CLASS_PRINT = 0x0002,
    M2_CLASS_LOGO = 0x0004,
    M2_CLASS_FEED = 0x0008,
    M2_CLASS_MOTION = 0x0010,
    M2_CLASS_LAST_IN_BYTE3 = 0x0080,
};

enum { M2_HEADER = 7, M2_BLOCK_CHARS = 38, M2_GLYPH_BYTES = 7, M2_LINE_BYTES = 266 };

class PRNTCMDM2 : public PRNTCMD {
public:
    struct Row {
        unsigned short station;
        unsigned short classBits;
        unsigned char bytes[5];
        unsigned char zero;
    };
    static const Row arCMDTABLE[M2_ROWS];

    // Set(code, owner, first parameter, second parameter, length, data, value, last byte).
    int Set(unsigned short code, void* owner, unsigned char p1, unsigned char p2,
            unsigned short length, const unsigned char* data, unsigned short w,
            unsigned char b3) override;

    unsigned short value = 0;
    unsigned char inlineFrame[8] = {};
};

class PRNTM2P : public PRNTP {
public:
    explicit PRNTM2P(const DeviceID& id);
    ~PRNTM2P() override;

    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    int NewMsgRcvd(const unsigned char* data, int n) override;
    int SendAnyPendingMessage() override;
    int CopyPrinterStatus(unsigned char* buffer) override;
    int ClearPORResetInProgress() override;
    int ResumePrinting(const unsigned char* text) override;
    int RetryPrinting(const unsigned char* text) override;
    int SystemCommand(unsigned short code) override;
    // Cover open, receipt paper or journal error, a home error, or not confirmed online.
    bool HoldsWork() const override;

    // The link's retries leave no command outstanding at the printer.
    int CommandResetInProgress() override;
    int LastMsgLost(const unsigned char* data, int n) override;
    int PowerOnResetInProgress() override;
    int SequenceResetInProgress(const unsigned char* data, int n) override;

    // Own operations, in this order.
    virtual PRNTCMD* GetNextCommand();
    virtual int RespondToCashReceiptPaperError();
    virtual int RespondToCommandReject();
    virtual int RespondToDIError();
    virtual int RespondToECLevelComplete();
    virtual int RespondToHomeError();
    virtual int RespondToJournalError();
    virtual int SendStatusMessage(const unsigned char* next);
    virtual int SetPrinterStatus(const unsigned char* block);

    const unsigned char* StatusBlock() const { return statusBlock_; }
    unsigned char ECLevel() const { return ecLevel_; }
    bool OnlineConfirmed() const { return onlineConfirmed_; }
    bool CommandOutstanding() const { return commandOutstanding_; }
    int IdleCount() const { return idleCount_; }

private:
    int ResumeOrRetry(const unsigned char* text, bool retry);
    int CarryOutResume(const unsigned char* text, bool retry);
    // Asks the application to resume: first-word bit 0x100, then 16901 with p1.
    void AskResume(uint32_t p1);
    void Unconfirm();
    // The condition that took the printer offline is gone: bring it back.
    void ConditionGone();
    void RetryQueue();
    PRNTCMD* Hold(uint32_t p1);
    void CompleteUnsent(unsigned short station);
    PRNTCMD* ChooseDocument(PRNTCMD* doc, bool& again);

    unsigned char statusBlock_[4] = {0, 0x60, 0, 0};
    int receiptPaperErrors_ = 0;
    int commandRejects_ = 0;
    int idleCount_ = 0;
    unsigned short lastStation_ = 0;
    unsigned short lastCode_ = 0;
    unsigned short lastClass_ = 0;
    bool lastCompleted_ = true;
    unsigned char ecLevel_ = 0;
    bool onlineConfirmed_ = false;
    bool commandOutstanding_ = false;
    bool resetInProgress_ = true;
    bool ecPending_ = false;
    bool throat_ = false;
    bool homePending_ = false;
    bool resumeDue_ = false;
    bool retryDue_ = false;
    unsigned char resumeText_[M2_LINE_BYTES] = {};
    unsigned char retryText_[M2_LINE_BYTES] = {};
    static int32_t lastSendTime_;
};

class PRNTM2V : public PRNTV {
public:
    enum { kLineChars = 128, kLogoPass = 300, kUserGlyphs = 30, kMaxWrite = 1024 };
    enum { PRN_MODE_CHECK = 64 };

    PRNTM2V(const DeviceID& id, int handle, const unsigned char* name);
    ~PRNTM2V() override;

    using PRNTV::Close;
    int Close(int& remaining) override;
    int IOCtl(int request, PosArg* args, int count, int& out) override;
    int Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
             int count) override;
    int Write(const void* buffer, unsigned int length, int& count) override;
    int validateMode(long value) override;
    int ResumePrinting(PosArg* args, int count) override;
    int RetryPrinting(PosArg* args, int count) override;
    int SendWritePending() override;

    // Own operations, in this order.
    virtual int AdvancePaperToTearBar();
    virtual int CutPaper();
    virtual int ReleaseDocument();
    virtual int RegisterDocument();
    virtual int FeedPaper(unsigned short stations, uint32_t distance, unsigned short direction);
    virtual int PrnCmdWithFeed(unsigned short row, unsigned short station, uint32_t feed,
                               unsigned short length, const unsigned char* data,
                               unsigned short w, unsigned char last);
    virtual int WriteLogo(const unsigned char* data, unsigned int length, int& count);
    virtual int WriteCheck(const unsigned char* data, unsigned int length, int& count);
    virtual int SendCheckPending();
    virtual int WriteText(const unsigned char* data, unsigned int length, int& count);

private:
    // The 7-byte glyph of character c (a user glyph first).
    const unsigned char* Glyph(unsigned char c) const;
    int Queue(unsigned short row, unsigned char p1, unsigned char p2, unsigned short length,
              const unsigned char* data, uint32_t noMemoryLog, uint32_t setLog);
    int SendLine(bool resume, PosArg* args, int count);
    uint32_t LineFeed(unsigned short station) const;
    void ClearUserGlyphs();

    char line_[kLineChars];
    int lineLength_ = 0;
    bool emphasis_ = false;
    bool escapePending_ = false;
    bool lineFeedPending_ = false;
    int column_[3] = {};
    char check_[kLineChars];
    int checkLength_ = 0;
    bool checkFeedPending_ = false;
    int checkColumn_ = 0;
    unsigned char userMap_[256] = {};
    unsigned char userGlyphs_[kUserGlyphs][M2_GLYPH_BYTES] = {};
};
