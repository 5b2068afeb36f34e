// The TRJ printer (two-station thermal printer, receipt and journal, RS-485 address 0x32):
// its outbound queue, command object, physical device and virtual device (plug-in
// libovkptrj).
//
// Every command frame but raw data is six header bytes from the command table (byte 5 the
// caller's value for feeds, prints and download blocks), the command id (the sequence
// number modulo 255) and the data. The printer answers with at least 8 status bytes; byte 3
// carries the id of the command answered, and the answer to the device-information request
// carries 10 more bytes. Byte 0: bit 7 complete, bit 6 error end, bit 5 unrecoverable, bit 1
// RAS status, bit 0 reject. Byte 1: bit 7 device information, bit 6 off line, bit 5 error
// status, bits 4 and 3 reported, bit 1 EC level, bit 0 hardware fault. Byte 4: bit 7 reject
// needs reset, bits 6-5 busy, bit 4 print buffer held. Byte 5: paper conditions (bits 7, 5,
// 4, 3). Byte 6: bit 0 user-defined characters, bit 1 logo, bit 3 cut ready, bits 4 and 6
// receipt, bits 5 and 7 journal not available. Byte 7: bit 7 ready, bit 2 and bit 1 reported.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "OMSGQUEUE.h"
#include "PRNTCMD.h"
#include "PRNTP.h"
#include "PRNTV.h"

enum : int32_t { PRNTTRJP_TYPE_ID = 20400, PRNTTRJV_TYPE_ID = 20500 };

// Rows of the command table (a command's code is its row).
enum : unsigned short {
    TRJ_RESET = 1,
    TRJ_GET_EC = 2,
    TRJ_DEVICE_INFO = 3,
    TRJ_SYSTEM_3 = 4,
    TRJ_FEED_CR = 5,
    TRJ_FEED_SJ = 6,
    TRJ_FEED = 7,
    TRJ_PRINT_CR = 8,
    TRJ_PRINT_SJ = 9,
    TRJ_PRINT = 10,
    TRJ_CUT_STAMP = 14,
    TRJ_CUT_PARTIAL = 15,
    TRJ_GET_STATUS = 16,
    TRJ_LOAD_UDC = 19,
    TRJ_LOAD_LOGO = 20,
    TRJ_SYSTEM_29 = 22,
    TRJ_SYSTEM_30 = 23,
    TRJ_RAW = 24,
    TRJ_ROWS = 25,
};

enum {
    TRJ_HEADER = 7,
    TRJ_STATUS_BYTES = 8,
    TRJ_DEVICE_INFO_BYTES = 10,
    TRJ_BLOCK = 1024,
    TRJ_UDC_BLOCKS = 5,
    TRJ_LOGO_BLOCKS = 8,
    TRJ_TEXT = 300,
    TRJ_MAX_FRAME = 1632,
};

// Class flags of the command table.
enum : unsigned short {
    TRJ_CLASS_QUERY = 0x001,
    TRJ_CLASS_PRINT = 0x002,
    TRJ_CLASS_FEED = 0x008,
    TRJ_CLASS_CONTROL = 0x010,
};

// The TRJ's own TellPhys requests.
enum {
    TRJ_TP_LINE_WIDTH = 28,   // unsigned short out
    TRJ_TP_34 = 34,
    TRJ_TP_SUBTYPE = 35,      // unsigned short out
    TRJ_TP_DEFINE_UDC = 37,   // the character blocks
    TRJ_TP_HOLD = 39,         // a PRNTCMD, stored as a system command
    TRJ_TP_RELEASE = 40,      // a PRNTCMD, stored as a system command
    TRJ_TP_RAW_SYSTEM = 41,   // a PRNTCMD, stored as a system command
    TRJ_TP_DEFINE_LOGO = 42,  // the logo blocks
    TRJ_TP_WAKE_UP = 44,
    TRJ_TP_RAS_OFF = 48,
    TRJ_TP_RAS_ON = 50,
};

class PRNTCMDTRJ : public PRNTCMD {
public:
    struct Row {
        unsigned short station;
        unsigned short classFlags;
        unsigned char header[6];
        unsigned char unused[2];
    };
    static const Row arCMDTABLE[TRJ_ROWS];

    using PRNTCMD::Set;
    // A command of the table: code, owner, byte 5 for the rows that take a value, the data.
    // A system code (bit 15) goes to the base.
    int Set(unsigned short code, void* owner, unsigned char value, unsigned short length,
            const unsigned char* data, unsigned short w = 0);
    // The id that the printer's answer carries for this command, or -1.
    int CommandID() const { return IdOf(this); }
    // 1 for raw data that print nothing (a download or a system sequence), else 0.
    int IsRawNonPrintCmd() const;
    // The id of any queued command (markers and raw data have none: -1).
    static int IdOf(const PRNTCMD* command);

    unsigned char inlineFrame[TRJ_HEADER] = {};
};

// The printer queue with the TRJ's bookkeeping: answers matched by command id, two sent and
// uncompleted at a time, and the last message handed out, put back alone when it is lost.
class OMSGQUEUETRJ : public OMSGQUEUE {
public:
    OMSGQUEUETRJ(const DeviceID& id, PRNTP* printer, unsigned short window, unsigned short stations);
    ~OMSGQUEUETRJ() override;

    PRNTCMD* GetPendingCommand(unsigned short station, int& rc) override;
    PRNTCMD* GetPendingSystemCommand(int& rc) override;
    int RespondToAck() override;

    // Own operations, in this order.
    virtual int RespondToCommandCompleteMessage(PRNTCMD* command);
    virtual int RespondToCommandSuccessMessage(PRNTCMD* command);
    virtual PRNTCMD* GetOutstandingPendingRequest(int id);
    virtual PRNTCMD* GetOutstandingSystemRequest(int id);
    virtual int RetryPendingRequest();
    virtual int RetryLastSentRequest();
    // Count, then the ids of the sent and uncompleted commands, then the outstanding
    // system command's; valid until the next call.
    virtual const uint32_t* GetNonCompCmdIDs();

    PRNTCMD* LastHandedOut() const { return last_; }
    // The first waiting system command with code moves to the head of the system list;
    // false when there is none.
    bool PromoteSystemCommand(unsigned short code);
    // Acknowledges and completes the sent command given (one that the printer's reset
    // finished), then retires what is finished.
    void SettleSent(PRNTCMD* command);

private:
    // Clears the remembered command when it is no longer in the queue's hands.
    void ForgetIfGone();

    PRNTCMD* last_ = nullptr;
    std::vector<uint32_t> ids_;
};

class PRNTTRJP : public PRNTP {
public:
    // The printer's answer: 8 status bytes, then the device information (answer to
    // command 3).
    struct PRNTSTATUSTRJ {
        unsigned char b[TRJ_STATUS_BYTES];
    };

    explicit PRNTTRJP(const DeviceID& id);
    ~PRNTTRJP() override;

    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    int LastMsgLost(const unsigned char* data, int n) override;
    int NewMsgRcvd(const unsigned char* data, int n) override;
    int SendAnyPendingMessage() override;
    int SequenceResetInProgress(const unsigned char* data, int n) override;
    int CopyPrinterStatus(unsigned char* buffer) override;
    int ClearPORResetInProgress() override;
    int ResumePrinting(const unsigned char* text) override;
    int RetryPrinting(const unsigned char* text) override;
    int SystemCommand(unsigned short code) override;
    // Cover open, paper out or a printer fault, or limp.
    bool HoldsWork() const override;

    // Own operations, in this order.
    virtual PRNTCMD* GetNextCommand();
    virtual int PutIntoLimpState(PRNTCMD* command, unsigned short code, unsigned short reason);
    virtual int RespondToCommandReject(PRNTCMD* command);
    virtual int RespondToCommandComplete(PRNTCMD* command, const unsigned char* message, int length);
    virtual int RespondToErrorEndResponse(PRNTCMD* command);
    virtual int RespondToUnrecoverableErrors(PRNTCMD* command);
    virtual int RespondToDevInfoComplete(PRNTCMD* command, const unsigned char* message, int length);
    virtual int RespondToECLevelComplete(PRNTCMD* command);
    virtual int RespondToLoadUDCComplete(PRNTCMD* command);
    virtual int RespondToLoadLogoComplete(PRNTCMD* command);
    virtual int SystemCommandSet(unsigned short code);
    virtual int SendStatusMessage(PRNTSTATUSTRJ* status);
    virtual int SetPrinterStatus(PRNTSTATUSTRJ* status);
    virtual int LoadUDC(unsigned short block);
    virtual int LoadLogo(unsigned short block);
    virtual int SendErrorMessage(PRNTSTATUSTRJ* status, PRNTCMD* command);

    OMSGQUEUETRJ* Queue() const { return static_cast<OMSGQUEUETRJ*>(queue_); }
    const unsigned char* StatusBytes() const { return status8_.b; }
    const unsigned char* DeviceInfo() const { return deviceInfo_; }
    unsigned short LineWidth() const { return lineWidth_; }
    unsigned char ECLevel() const { return ecLevel_; }
    bool Limp() const { return TestStatusBits(kLimp); }
    bool RasMode() const { return rasMode_; }
    unsigned short UdcBlocks() const { return udcCount_; }
    unsigned short LogoBlocks() const { return logoCount_; }
    unsigned char AddressWait() const { return addressWaitTime_; }
    unsigned char ByteWait() const { return byteWaitTime_; }
    int32_t AckWait() const { return ackWaitTime_; }

    // Marks in the device state word.
    static constexpr uint32_t kLimp = 0x200000;
    static constexpr uint32_t kResumeAfterReset = 0x400000;
    static constexpr uint32_t kRetryAfterReset = 0x800000;

private:
    // Logs with this unit's source tag and the printer as first data block.
    void Log(uint32_t logId, uint32_t rc, uint32_t extra, const void* data = nullptr, int length = 0) const;
    void AskResume(uint32_t p1);
    void PostStatus(uint32_t p1);
    void Keep(const PRNTCMD* command);
    // Completes and retires the command answered.
    void Finish(PRNTCMD* command);
    int StatusRequestNow(PRNTCMD*& out);
    // Whether an idle poll may ask the printer's status now: at most one such request a
    // second, so that a printer that stays blocked (cover open) is not asked without pause.
    bool IdleRequestDue();
    int SendSystem(PRNTCMD* command);
    int Idle(unsigned short limit);
    int DefineBlocks(bool logo, const unsigned char* data, int length);
    int LoadBlock(bool logo, unsigned short block);
    int StoreSystem(unsigned char* data, int length);
    int ResumeOrRetry(const unsigned char* text, bool retry);

    PRNTSTATUSTRJ status8_{};
    unsigned char deviceInfo_[TRJ_DEVICE_INFO_BYTES] = {};
    unsigned char ecInfo_[2] = {};
    unsigned short lineWidth_ = 0;
    unsigned short deviceValue_ = 0;
    unsigned short deviceFlags_ = 0;
    unsigned short rejects_ = 0;
    bool kept_ = false;
    unsigned short keptCode_ = 0;
    unsigned short keptStation_ = 0;
    unsigned short keptFlags_ = 0;
    unsigned short limpCode_ = 0;
    std::unique_ptr<PRNTCMDTRJ> statusRequest_;
    std::unique_ptr<unsigned char[]> udc_[TRJ_UDC_BLOCKS];
    std::unique_ptr<unsigned char[]> logo_[TRJ_LOGO_BLOCKS];
    unsigned short udcCount_ = 0;
    unsigned short udcNext_ = 0;
    unsigned short logoCount_ = 0;
    unsigned short logoNext_ = 0;
    unsigned short idleCount_ = 0;
    bool idleAsked_ = false;       // an idle poll has asked the status
    int32_t idleAskedAt_ = 0;      // when it last did
    bool rasMode_ = false;
    unsigned char resumeText_[TRJ_TEXT] = {};
    unsigned char retryText_[TRJ_TEXT] = {};
};

class PRNTTRJV : public PRNTV {
public:
    enum { kPart = 128, kMaxWrite = 8192, kDefinition = 74, kDefinitions = 64, kUdcArea = 4736, kLogoArea = 7632 };

    // One printed line: three parts (the first zero-filled, the others blank-filled).
    struct LineRecord {
        unsigned char part[3][kPart];
        unsigned short length[3] = {};
        unsigned short columns = 0;
        unsigned short characters = 0;
        bool twoPart = false;
        bool dbcs = false;
        bool third = false;
        unsigned short direction = 0;
        unsigned char font = 0;
    };

    PRNTTRJV(const DeviceID& id, int handle, const unsigned char* name);
    ~PRNTTRJV() override;

    using PRNTV::Close;
    int Close(int& remaining) override;
    int AcquirePhysical() override;
    int IOCtl(int request, PosArg* args, int count, int& out) override;
    int Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
             int count) override;
    int SetValues(PosArg* args, int count) override;
    int TellVirt(const PDEV* from, int message, unsigned char* data, int length) override;
    int Write(const void* buffer, unsigned int length, int& count) override;
    int SendWritePending() override;
    int validateMode(long value) override;

    // Own operations, in this order.
    virtual int ConfigPhysical();
    virtual int AddCharacterToLine(unsigned char c, unsigned short kind);
    virtual int AddTategakiMode();
    virtual int AddYokogakiMode();
    virtual int AdvancePaperToTearBar();
    virtual int CreateNewLine();
    virtual int CutPaperAndStamp();
    virtual int CutPaperPartial();
    virtual int DefineLogo(const unsigned char* data, unsigned long length, int& written);
    virtual bool FirstDbcs(unsigned char c);
    virtual int SendDataToPrinter();
    virtual int HoldPrintBuffer();
    virtual int ReleasePrintBuffer();
    virtual int FeedPaper(unsigned short stations, long lines);
    virtual int PrintPreDefinedBitmap(int n);
    virtual int PrnCmdWithFeed(unsigned short code, unsigned short stationIndex, unsigned long feed,
                               unsigned short length, const unsigned char* data, unsigned short value);
    virtual int WakeupPrinter();
    virtual int WriteLogo(const unsigned char* data, unsigned long length, int& written);
    virtual int WriteRas(const unsigned char* data, unsigned long length, int& written);
    virtual int WriteText(const unsigned char* data, unsigned long length, int& written);
    virtual int WriteDirect(const unsigned char* data, unsigned long length, int& written);

    static const uint32_t arPRINT_INFO[2];

    unsigned char Attribute() const { return attribute_; }
    unsigned short Direction() const { return direction_; }
    unsigned char Font(int station) const { return font_[station & 1]; }
    unsigned short Width(int station) const { return width_[station & 1]; }

private:
    int Queue(unsigned short code, unsigned char value, unsigned short length, const unsigned char* data,
              uint32_t noMemoryLog, uint32_t setLog, int request = PRN_TP_PUT_QUEUE);
    int SendFrame(unsigned short stationIndex, const unsigned char* frame, unsigned short length);
    int StartLine();
    bool Selected(unsigned short stationIndex) const { return (parm_.printStation & stationBits_[stationIndex]) != 0; }
    unsigned short FirstSelected() const { return Selected(0) ? 0 : 1; }
    // The filler flag of the current writing direction (fillerV_ is the other one).
    bool Filler(unsigned short) const { return fillerH_; }
    void Escape(const unsigned char* data, unsigned long length, unsigned long& i, int& rc);
    int AddFiller();
    void MoveToTwoPart(LineRecord& line);
    void FreeLines();
    int WriteTextStations(const unsigned char* data, unsigned long length, int& written);

    unsigned char attribute_ = 0;
    bool attributePending_ = false;
    unsigned short direction_ = 0;
    bool oneShotH_ = false;
    bool oneShotV_ = false;
    unsigned char kept01_ = 2;
    unsigned char kept23_ = 8;
    unsigned char kept45_ = 32;
    unsigned char font_[2] = {0, 0};
    unsigned short width_[2] = {32, 32};
    unsigned short currentWidth_ = 32;
    bool fillerH_ = false;
    bool fillerV_ = false;
    bool bit7_ = false;
    bool bit6_ = false;
    bool endLine_ = false;
    unsigned short maxFrame_ = TRJ_MAX_FRAME;
    std::vector<std::unique_ptr<LineRecord>> lines_;
    LineRecord* current_ = nullptr;
    unsigned short writeStation_ = 0; // the station index WriteText composes for
};
