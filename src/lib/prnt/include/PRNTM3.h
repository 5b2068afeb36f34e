// The M3 impact printer (receipt, journal and document stations, RS-485 address 0x34): its
// command object, physical device and virtual device (plug-in libovkp93m4). The fiscal M3
// printer builds its commands with PRNTCMDM3 and derives its virtual device from PRNTM3V.
//
// A standard frame is the two opcode bytes of the command's table row, three parameter bytes
// and the caller's data; wrapped rows put ESC "f" before the opcodes, raw rows send the data
// as given. The printer answers with at least 4 bytes: three status bytes, the EC level and
// the answer data of the outstanding command from byte 4.
#pragma once

#include <cstdint>

#include "PRNTCMD.h"
#include "PRNTP.h"
#include "PRNTV.h"
#include "ovknls.h"

enum : int32_t { PRNTM3P_TYPE_ID = 19300, PRNTM3V_TYPE_ID = 19400 };

// Rows of the command table (a command's code is its row).
enum : unsigned short {
    M3_RESET = 1,
    M3_GET_EC = 2,
    M3_PARK_CENTRE = 3,
    M3_FEED_CR = 4,
    M3_FEED_SJ = 5,
    M3_FEED_DI = 6,
    M3_FEED_DI_REVERSE = 7,
    M3_FONT_BLOCK = 8,
    M3_CUT = 9,
    M3_RELEASE_FORWARD = 10,
    M3_RELEASE_REVERSE = 11,
    M3_REGISTER_REVERSE = 12,
    M3_REGISTER_FORWARD = 13,
    M3_LINE_CR = 14,
    M3_LOGO_CR_EVEN = 20,
    M3_LOGO_CR_ODD = 21,
    M3_LINE_SJ = 22,
    M3_LINE_DI_07 = 30,
    M3_LINE_DI_04 = 38,
    M3_LINE_DI_06 = 46,
    M3_LINE_DI_03 = 54,
    M3_IDLE_STATUS = 62,
    M3_PARK_LEFT = 63,
    M3_JOURNAL_ERROR = 64,
    M3_MICR_READ = 65,
    M3_WRAPPED_DATA = 66,
    M3_READ_AMPERSAND = 70,
    M3_WRITE_SETTING = 71,
    M3_RAW_CR = 72,
    M3_READ_DOLLAR = 73,
    M3_READ_QUOTE = 74,
    M3_READ_OPEN = 75,
    M3_READ_CLOSE = 76,
    M3_RAW_SJ = 80,
    M3_RAW_DI = 81,
    M3_WRAPPED_COUNTED = 96,
    M3_ROWS = 105,
};

enum : unsigned short {
    M3_CLASS_QUERY = 0x0001,
    M3_CLASS_PRINT = 0x0002,
    M3_CLASS_LOGO = 0x0004,
    M3_CLASS_FEED = 0x0008,
    M3_CLASS_CONTROL = 0x0010,
    M3_CLASS_WRAPPED = 0x0800,
    M3_CLASS_RAW = 0x1000,
};

enum {
    M3_FONT_BYTES = 480,   // 40 glyphs of 12 bytes; slot s is printer code 216 + s
    M3_GLYPH_BYTES = 12,
    M3_FONT_BLOCK_BYTES = 96,
    M3_USER_GLYPHS = 20,
    M3_FIRST_USER_CODE = 216,
    M3_ANSWER_MAX = 2048,
    M3_SETTINGS = 50,
    M3_RESUME_LINE = 87,   // a replacement line: up to 86 characters and a blank
    M3_TEXT_AREA = 300,    // a kept resume or retry text
};

class PRNTCMDM3 : public PRNTCMD {
public:
    struct Row {
        unsigned short station;
        unsigned short classBits;
        unsigned char op0;
        unsigned char op1;
    };
    static const Row arCMDTABLE[M3_ROWS];

    // Set(code, owner, byte 3, byte 4, length, data, value, byte 2): 0, 305 no memory, 316 a
    // code beyond the table, 321 data that do not hold what the row takes.
    int Set(unsigned short code, void* owner, unsigned char byte3, unsigned char byte4,
            unsigned short length, const unsigned char* data, unsigned short value,
            unsigned char byte2) override;

    unsigned short value = 0;
    unsigned char inlineFrame[8] = {};
};

// The decoded answer: the first bytes of a printer message, zero-filled.
struct PRNTSTATUSM3 {
    unsigned char bytes[M3_ANSWER_MAX];
};

// Eleven 16-bit fields of TellPhys 30.
struct M3Configuration {
    uint16_t openFirst;    // setting "(" first byte
    uint16_t openSecond;   // setting "(" second byte
    uint16_t three;        // the constant 3
    uint16_t quoteFirst;   // setting "'" first byte
    uint16_t quoteSecond;  // setting "'" second byte
    uint16_t closeWord;    // setting ")"
    uint16_t ampBit6;      // bit 6 of setting "&"
    uint16_t dbcsMode;     // 1: the printer is in double-byte mode
    uint16_t model;        // 4 double-byte capable, else 2
    uint16_t micr;         // 1 with a MICR reader
    uint16_t codePage;
};
static_assert(sizeof(M3Configuration) == 22, "eleven 16-bit fields");

// TellPhys requests of the M3 printer beyond the base's.
enum {
    M3_TP_LOAD_FONT = 7,
    M3_TP_MICR = 24,
    M3_TP_CONFIGURATION = 30,
    M3_TP_DBCS_OFF = 31,
    M3_TP_DBCS_ON = 32,
    M3_TP_DBCS_MARK_OFF = 33,
    M3_TP_EC_LEVEL = 66,
    M3_TP_FIRMWARE_MODE = 76,
    M3_TP_DOCUMENT_FRONT = 77,
};
// TellVirt: MICR data for the holder.
enum { M3_TV_MICR_DATA = 3 };

class PRNTM3P : public PRNTP {
public:
    explicit PRNTM3P(const DeviceID& id);
    ~PRNTM3P() override;

    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    int NewMsgRcvd(const unsigned char* data, int n) override;
    int SendAnyPendingMessage() override;
    int CopyPrinterStatus(unsigned char* buffer) override;
    int ClearPORResetInProgress() override;
    int ResumePrinting(const unsigned char* text) override;
    int RetryPrinting(const unsigned char* text) override;
    int SystemCommand(unsigned short code) override;
    // Cover open, receipt or journal paper out, a journal or home error.
    bool HoldsWork() const override;

    // Own operations, in this order.
    virtual int LoadFont(const unsigned char* font);
    virtual PRNTCMD* GetNextCommand();
    virtual int SendStatusMessage(const PRNTSTATUSM3* status);
    virtual int RespondToJournalError();
    virtual int RespondToDIError(PRNTCMDM3* command);
    virtual int RespondToCommandReject();
    virtual int RespondToHomeError();
    virtual int RespondToEEPROMLoadError();
    virtual int RespondToECLevelComplete();
    virtual int RespondToLoadFontComplete();
    virtual int RespondToMicrRead(const unsigned char* data, unsigned short length);
    virtual int RespondToMicrReadError();
    virtual int StartK7eLoadFontsProgram();
    virtual int SystemCommandSet(unsigned short code);
    virtual int SetPrinterStatus(const PRNTSTATUSM3* status);

    const unsigned char* StatusCopy() const { return status6_; }
    unsigned char ECLevel() const { return ecLevel_; }
    int IdleCount() const { return idleCount_; }
    unsigned short CodePageSetting() const { return codePage_; }
    uint16_t Setting(int letter) const { return letter >= 0 && letter < M3_SETTINGS ? settings_[letter] : 0; }
    bool DoubleByteModel() const { return dbcsModel_; }
    int FontBlock() const { return fontBlock_; }

private:
    void AskResume(uint32_t p1);
    void Post(uint32_t msg, uint32_t p1, uint32_t p2);
    PRNTCMD* SendSystem(unsigned short code);
    PRNTCMD* DocumentRule(PRNTCMD* di);
    void CompleteUnsent(unsigned short station);
    int SendCommand(PRNTCMD* command, uint32_t failLog);
    int ResumeOrRetry(const unsigned char* text, int length, bool retry);
    int ReplaceLine(const unsigned char* text, int length, bool retry);
    void Settings(const PRNTCMD* command, const unsigned char* m, int n);

    unsigned char status6_[6] = {0x00, 0x60, 0x04, 0x00, 0x00, 0x00};
    unsigned char ecLevel_ = 0;
    int headPos_ = 1;
    unsigned short lastCode_ = 0;
    unsigned short lastStation_ = 0;
    unsigned short lastClass_ = 0;
    unsigned char lastFrame1_ = 0;
    int lastHeadPos_ = 1;
    int acks_ = 0;
    int idleCount_ = 0;
    int homeErrors_ = 0;
    int rejects_ = 0;
    int journalErrors_ = 0;
    int eepromErrors_ = 0;
    unsigned char* font_ = nullptr;
    int fontBlock_ = 0;
    int fontOffset_ = 0;
    bool verify_ = false;
    unsigned char check_[2] = {};
    bool micr_ = false;
    bool dbcsModel_ = false;
    uint16_t settings_[M3_SETTINGS] = {};
    unsigned short codePage_ = 858;
    uint16_t ampWord_ = 0;
    bool ampBit7_ = false;
    bool ampBit6_ = false;
    unsigned char quote_[2] = {};
    unsigned char open_[2] = {};
    uint16_t closeWord_ = 0;
    bool settingsRunning_ = false;
    bool firmwareMode_ = false;
    bool documentFront_ = false;
    bool headParkPending_ = false;
    bool resumeAfterReset_ = false;
    bool retryAfterReset_ = false;
    unsigned char texts_[2 * M3_TEXT_AREA] = {};
    int textLengths_[2] = {};
    int givenLength_ = -1; // the length of the text TellPhys hands over
    int32_t lastSendTime_ = 0;
};

class PRNTM3V : public PRNTV {
public:
    enum { kLine = 128, kWork = 570, kDbcsLine = 256, kMaxWrite = 1024 };
    enum { PRN_MODE_CHECK = 64, PRN_MODE_RAS = 128 };

    PRNTM3V(const DeviceID& id, int handle, const unsigned char* name);
    ~PRNTM3V() override;

    using PRNTV::Close;
    int Close(int& remaining) override;
    int AcquirePhysical() override;
    int IOCtl(int request, PosArg* args, int count, int& out) override;
    int Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
             int count) override;
    int Read(void* buffer, unsigned int length, int& count) override;
    int ReleasePhysical() override;
    int TellVirt(const PDEV* from, int message, unsigned char* data, int length) override;
    int Write(const void* buffer, unsigned int length, int& count) override;
    int validateMode(long value) override;
    int validateReadMode(long value) override;
    int ResumePrinting(PosArg* args, int count) override;
    int RetryPrinting(PosArg* args, int count) override;
    int GetRawPrinterStatus(unsigned char* buffer) override;
    int SendWritePending() override;

    // Own operations, in this order.
    virtual int AdvancePaperToTearBar();
    virtual int CutPaper();
    virtual int DiscardMicrData();
    virtual int ReleaseDocument(unsigned short direction);
    virtual int RegisterDocument(unsigned short direction);
    virtual int FeedPaper(unsigned short stations, unsigned long distance, unsigned short direction);
    virtual int MicrRead();
    virtual int PrnCmdWithFeed(unsigned short code, unsigned short stationIndex, unsigned long feed,
                               unsigned short length, const unsigned char* data,
                               unsigned short value, unsigned char byte2);
    virtual int ReadMicrData(void* buffer, unsigned long size, int& count);
    virtual int StoreMicrData(const unsigned char* data, unsigned short length);
    virtual int WriteLogo(const unsigned char* data, unsigned long length, int& written);
    virtual int WriteCheck(const unsigned char* data, unsigned long length, int& written);
    virtual int WriteRAS(const unsigned char* data, unsigned long length, int& written);
    virtual int SendDBCSWritePending();
    virtual int SendSBCSWritePending();
    virtual int SendCheckPending();
    virtual int WriteText(const unsigned char* data, unsigned long length, int& written);

    // The shared tables.
    static const int16_t arPRINT_INFO[4][16];
    static const int16_t arREVERSE_CMDS[20];

    const unsigned char* FontTable() const { return font_; }
    const M3Configuration& Configuration() const { return config_; }
    // This printer's character map (its own copy: user characters change only it).
    unsigned char MapOf(unsigned glyph) const { return glyph < NLS_GLYPH_COUNT ? map_[glyph] : 0; }
    bool DoubleByteFlag() const { return dbcsFlag_; }

    // Shared by all instances.
    static int DiLineCount;
    static int fRegisterDocument;

protected:
    // The printer's configuration record and the device's double-byte flag (set at acquire).
    M3Configuration config_{};
    bool dbcsFlag_ = false;

private:
    unsigned char Translate(unsigned char c) const;
    void BuiltInGlyphs();
    int Queue(unsigned short code, unsigned char byte3, unsigned char byte4, unsigned short length,
              const unsigned char* data, uint32_t noMemoryLog, uint32_t setLog);
    uint32_t LineFeed(unsigned short stationIndex) const;
    int CommandFor(unsigned short stationIndex, int& width, bool dbcs) const;
    int SendLine(bool retry, PosArg* args, int count);
    int LoadFontTable();
    bool AddOnSequence(const unsigned char* data, unsigned long length, int& written, int& rc);
    // Releases the physical device's lock for up to tries x 50 ms or until done() holds.
    template <class Done>
    bool WaitFor(int tries, Done done);
    void FlushPassThrough(int& rc);

    unsigned char* line_ = nullptr;
    int lineLength_ = 0;
    bool feedPending_ = false;
    int fontMode_ = 0;
    int emphasis_ = 0;
    int column_[3] = {};
    int usedTenths_[3] = {};
    bool escapePending_ = false;
    unsigned char* work_ = nullptr;
    unsigned char* check_ = nullptr;
    int checkLength_ = 0;
    int checkColumn_ = 0;
    bool checkFeedPending_ = false;
    unsigned char* dbcsLine_ = nullptr;
    int dbcsLineSize_ = 0;
    unsigned char ecLevel_ = 0;
    unsigned char* micr_ = nullptr;
    unsigned short micrLength_ = 0;
    bool versionInProgress_ = false;
    bool micrArrived_ = false;
    uint32_t lastStatusWord_ = 0;
    bool chaseComplete_ = false;
    bool documentFront_ = false;
    bool translate_ = true;
    struct UserChar {
        unsigned code;
        unsigned char previous;
    } user_[M3_USER_GLYPHS] = {};
    int userCount_ = 0;
    unsigned char font_[M3_FONT_BYTES] = {};
    unsigned char map_[NLS_GLYPH_COUNT];
};
