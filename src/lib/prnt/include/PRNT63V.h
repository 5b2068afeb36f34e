// The model-6397 virtual printer (plug-in libovkp63): what an application's open of a 6397
// printer gets. Over the virtual printer base it keeps 44 printer resources, reads the
// printer's capabilities, collects printer commands in four station write buffers (receipt,
// journal, document portrait and landscape), translates text and its escape sequences,
// and runs transaction mode, RAS and raw mode, tones and the attached cash drawer. It
// reaches its physical printer PRNT63P only through TellPhys requests.
//
// Logos, flash records, check images and the read path are separate units that fill the
// hooks marked below; until then those hooks do nothing.
#pragma once

#include <cstdint>
#include <vector>

#include "PRNT63P.h"
#include "PRNTCMD63.h"
#include "PRNTV.h"
#include "Prnt63TabStops.h"
#include "ToneFreq.h"
#include "ovkhost.h"

// One station's write buffer.
struct sWriteBuffer {
    enum { kSize = 1016, kInitialCapacity = 248 };
    unsigned char data[kSize];
    uint16_t length;
    uint16_t capacity;
    uint16_t commandCode;       // row the buffer is sent under (0: plain data)
    uint8_t printMode;          // bits 0-1 font, 0x08 emphasised, 0x80, 0x04, 0x40
    uint8_t printModeSent;      // 255: not sent yet
    uint8_t rotate;
    uint8_t pitch;              // 12, 15, 17 or 20
    uint8_t pitchSent;
    uint8_t cplSpacing;
    uint8_t cplSpacing2;
    uint8_t spacing12;
    uint8_t spacing15;
    uint8_t spacing17;
    uint8_t spacing20;
    uint8_t doubleWide;
    uint8_t doubleWideSent;
    uint8_t doubleHigh;
    uint8_t doubleHighSent;
    uint8_t color;
    uint8_t fixFontMatrix;
    uint32_t lineWidth;         // dots
    uint16_t udf;               // 255: no user-defined font
    uint16_t udfSent;
    uint16_t margin[2];
    int32_t tabStops[PRN63_TAB_STOPS];

    uint16_t Free() const { return length < capacity ? static_cast<uint16_t>(capacity - length) : 0; }
};

// Stations as the application numbers them.
enum : unsigned short { PRN63_CR = 1, PRN63_SJ = 2, PRN63_CRSJ = 3, PRN63_DI = 4 };

// Print modes.
enum : unsigned short {
    PRN63_MODE_TEXT = 1,
    PRN63_MODE_LOGO = 2,
    PRN63_MODE_FLASH = 8,
    PRN63_MODE_LOAD_LOGO = 16,
    PRN63_MODE_RAS = 128,
    PRN63_MODE_RAW = 159,
};

class PRNT63V : public PRNTV {
public:
    enum { kResources = 44, kWriteMax = 16384, kRetryConverted = 150, kCapSize = CAP63_SIZE };
    enum { kWindowInitial = 2048, kWindowKnown = 0x3800, kFlashStageSize = 1016 };

    // The settings of the resource table that SetValues keeps (the base keeps its own).
    struct Settings {
        uint32_t leftMarginCR = 0x80000000u;
        unsigned short alignment = 0;
        unsigned short diOrientation = 0;
        unsigned short upsideDown = 0;
        unsigned short quality = 0;
        unsigned short colorMode = 0;
        uint32_t toneFrequency = ToneFreq::kDefaultFrequency;
        unsigned short toneOctave = 3;
        unsigned short toneNote = 0;
        unsigned short toneVolume = 1;
        unsigned short toneDuration = 3;
        unsigned short pulseWidth = 40;
        unsigned short statusLevel = 2;
        unsigned short recordLength = 0;
        unsigned short transactionMode = 0;
        char tabStops[100] = "100,200,300";
        uint32_t sectors[9] = {};
    };

    PRNT63V(const DeviceID& id, int handle, const unsigned char* name);
    ~PRNT63V() override;

    // Over the base.
    using PRNTV::Close;
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
    int Write(const void* buffer, unsigned int length, int& count) override;
    int SetChase(unsigned short station) override;
    int validateMode(long value) override;
    int validatePrintStation(long value) override;
    int validateLineFeedCR(long value) override;
    int validateLineFeedSJ(long value) override;
    int validateLineFeedDI(long value) override;
    int validateReadMode(long value) override;
    int ResumePrinting(PosArg* args, int count) override;
    int RetryPrinting(PosArg* args, int count) override;
    int GetRawPrinterStatus(unsigned char* buffer) override;
    int SendWritePending() override;

    // Own operations, in this order.
    virtual void InitializeWriteBuffer(sWriteBuffer& buffer, int index);
    virtual int AddToReadList(int type, const unsigned char* data, int length);
    virtual int DiscardMicrData(int type);
    virtual int ReadMicrData(void* buffer, unsigned int length, int& count);
    virtual int ReadScanData(void* buffer, unsigned int length, int& count);
    virtual int ReadScanComp(void* buffer, unsigned int length, int& count);
    virtual int StoreMicrData(const unsigned char* data, int length);
    virtual int StoreScanData(const unsigned char* data, int length);
    virtual int StoreScanComplete(const unsigned char* data, int length);
    virtual int ReadFlashData(void* buffer, unsigned int length, int& count);
    virtual int ReadMctData(void* buffer, unsigned int length, int& count);
    virtual int StoreFlashData(const unsigned char* data, int length);
    virtual int AddCmdToWriteBuffer(unsigned short code);
    virtual int AddCmdToWriteFlashBuf(unsigned short code);
    virtual int QueueCmd(unsigned short code, unsigned short length = 0, const unsigned char* data = nullptr);
    virtual int WriteLoadLogo(const unsigned char* data, unsigned int length, int& written);
    virtual int WriteOther(const unsigned char* data, unsigned int length, int& written, unsigned short type,
                           unsigned short startCmd, unsigned short endCmd);
    virtual int WriteRas(const unsigned char* data, unsigned int length);
    virtual int WriteText(const unsigned char* data, unsigned int length, int& written);
    virtual int ConfigPhysical();
    virtual int ConfigFont();
    virtual int ReadLock();
    virtual int ReadUnlock();
    virtual int SetPrintStationChanged(int station, int orientation);
    virtual int validateprintColorMode(long value);
    virtual int validateprintQualityMode(long value);
    virtual int validatePrintTabStops(const char* text);
    virtual int validatePrintToneFreq(long value);
    virtual int validatePrintToneVolume(long value);
    virtual int validatePrintToneDuration(long value);
    virtual int validatePrintToneOctave(long value);
    virtual int validatePrintToneNote(long value);
    virtual int validatePrintUpsideDown(long value);
    virtual int validatediOrientation(long value);
    virtual int validateleftMarginCR(long value);
    virtual int validateprintAlignment(long value);
    virtual int validatePrintCDPulseWidth(long value);
    virtual int validatePrintCDStatusLevel(long value);
    virtual int validatePrintRecordLength(long value);
    virtual int GetResourceValue(PosArg& wanted, const PosArg* args, int count);
    virtual int GetTabStops(char* text, size_t size);
    virtual int SetTabStops(const char* text);
    virtual int SendTabStops();
    virtual int UpdateFeatures();
    virtual int SoundTone();
    virtual int SilenceTone();

    // Hooks of the logo, flash, image and read units (they do nothing here; 0).
    virtual int GetLogoManagerInformation();
    virtual int UpdateRecordLength();
    virtual int SetRecordLength();
    // Escape handlers of those units. -1: not handled here, the escape is dropped as an
    // unknown one; otherwise the argument bytes consumed.
    virtual int EscapeBitmapLoad(const unsigned char* p, int count, int& error);
    virtual int EscapeWriteFlash(const unsigned char* p, int count, int& error);
    virtual int EscapeReadFlash(const unsigned char* p, int count, int& error);
    virtual int EscapeImage(const unsigned char* p, int count, int& error);

    // Helpers that the other units use.
    int validateTransactionMode(long value);
    int TransactionMode(int mode);
    int SetPrintMode(unsigned short mode);
    int SetPrintStation();
    int SetCodePage(unsigned short codePage);
    int SetPrinterCodePage();
    int SetupDbcsPrinter();
    int SetLineSpacing(int station);
    int SetLeftMargin(int station);
    int OpenCashDrawer(unsigned char n);
    int ValidateLogoCommand(const unsigned char* data, unsigned int length);
    int CheckFontChange();
    int SetTextPrintMode();
    int SetInterCharacterSpacing();
    int SetCharacterSet();
    int EscapeCPL(unsigned char n);
    int AddCharToWriteBuffer(unsigned char c);
    // The row's template with n parameter bytes patched in at offset (under the table's
    // lock), appended to the current buffer.
    int AddPatchedCmd(unsigned short code, unsigned short offset, const unsigned char* bytes, unsigned short n);
    // Raw bytes into the current buffer (flushing first when they do not fit).
    int AddBytes(const unsigned char* bytes, unsigned int n);
    // Flushes the current buffer when fewer than n bytes are free.
    int MakeFree(unsigned int n);
    unsigned char Translate(unsigned char c) const;

    // State, for tests and the other units.
    uint32_t GetPrintFeatures() const { return printFeatures_; }
    const Settings& GetSettings() const { return settings_; }
    const sWriteBuffer& Buffer(int i) const { return buffers_[i & 3]; }
    int CurrentBufferIndex() const { return static_cast<int>(current_ - buffers_); }
    bool TransactionActive() const { return transactionActive_; }
    uint32_t TransactionWindow() const { return transactionWindow_; }
    size_t HeldTransactionBuffers() const { return transactions_.size(); }
    int DeviceMode() const { return deviceMode_; }
    bool DbcsActive() const { return dbcsActive_; }
    const unsigned char* LeadByteRanges() const { return leadRanges_; }
    unsigned short ModelId() const { return modelId_; }
    unsigned char EcLevel() const { return ecLevel_; }
    bool Thermal() const { return thermal_; }
    bool ReceiptOnly() const { return receiptOnly_; }
    bool Journal() const { return journal_; }
    bool Imaging() const { return imaging_; }
    bool DbcsPrinter() const { return dbcsPrinter_; }
    bool PageModeActive() const { return pageModeActive_; }
    const ToneFreq& Tone() const { return tone_; }

    // The process-wide chase counter (wraps from 255 to 0).
    static unsigned char chaseCounter_;

protected:
    struct Held {
        unsigned short code;
        std::vector<unsigned char> data;
    };

    void Log(uint32_t logId, uint32_t rc, uint32_t extra) const;
    int Cap16(int offset) const;
    uint32_t Cap32(int offset) const;
    void UpdatePrinterCapabilities();
    int AddToTransactionList(unsigned short code, unsigned short length, const unsigned char* data);
    int SendTransactionData();
    int DiscardTransactionData();
    int SelectDeviceMode(unsigned short deviceMode, unsigned short mode);
    int SetPrintedLineStatusChanged();
    int SetRotateMode();
    int SetFixFontMatrix();
    int SetColorPrint();
    int UpdateCdStatusLevel();
    int SendLine(bool retry, PosArg* args, int count);
    bool OnDI() const { return parm_.printStation == PRN63_DI; }
    bool OnReceipt() const { return parm_.printStation == PRN63_CR || parm_.printStation == PRN63_CRSJ; }
    unsigned short StationCommand() const;
    sWriteBuffer& Cur() { return *current_; }
    int SetValuesInner(PosArg* args, int count, bool trace);
    int ApplyOrdered(const Settings& was, const PrnParm& before, unsigned short modeBefore,
                     const bool* given);

    // The escape handlers: p at the selector, count bytes from it to the end of the write;
    // the result is the argument bytes consumed.
    int Escape(const unsigned char* p, int count, int& error);
    int EscapeBang(const unsigned char* p, int count);
    int EscapeSelectColor(const unsigned char* p, int count);
    int EscapeSelectUDF(const unsigned char* p, int count);
    int EscapePrintAlignment(unsigned char value);
    int EscapeBitmap(const unsigned char* p, int count);
    int EscapePassThrough(const unsigned char* p, int count);
    int EscapeInterCharacterSpacing(const unsigned char* p, int count);
    int EscapePrintBarcode(const unsigned char* p, int count);
    int EscapePrintPDF417(const unsigned char* p, int count);
    int EscapeInlineLogo(const unsigned char* p, int count);
    int EscapePageMode(const unsigned char* p, int count);
    int EscapeSetLineFeedDistance(uint32_t value);

    // Members.
    uint32_t printFeatures_ = 0;
    Settings settings_;
    bool dbcsPrinter_ = false;
    bool crWidth_ = false;
    uint32_t crWidthValue_ = 0;
    ToneFreq tone_;
    uint32_t crCharSet_[4] = {};
    uint32_t diCharSet_[2] = {};
    bool drawerAttached_ = false;
    unsigned short recordLength_ = 0;
    uint32_t maxRecords_ = 0;
    uint32_t flashAvailable_ = 0;

    sWriteBuffer buffers_[4];
    sWriteBuffer* current_ = &buffers_[0];
    unsigned short stationSelect_ = 20;

    unsigned char flashStage_[kFlashStageSize] = {};
    uint16_t flashFill_ = 0;
    uint16_t flashCapacity_ = 207;
    uint16_t flashCommand_ = 0;   // 0 none, 101 write, 102 read

    mutexSem readLock_;
    unsigned char cap_[kCapSize] = {};
    unsigned short modelId_ = 0;
    unsigned char ecLevel_ = 0;
    bool thermal_ = false, receiptOnly_ = false, journal_ = false, imaging_ = false;
    bool pageModeSupported_ = false, pageModeActive_ = false;
    char serial_[11] = {};
    bool transactionActive_ = false;
    uint32_t transactionSize_ = 0;
    bool endQueued_ = false;
    bool qualitySent_ = false;
    uint32_t transactionWindow_ = kWindowInitial;
    unsigned char sectorTable_[24] = {};
    unsigned char micrStatus_[2] = {};
    unsigned short pdfRows_ = 0, pdfColumns_ = 15, pdfSecurity_ = 1, pdfRatio_ = 2, pdfTruncate_ = 0;
    bool chaseOnPaperLoaded_ = false;
    std::vector<Held> transactions_;
    bool dbcsActive_ = false;
    unsigned char leadRanges_[8] = {};

    // Printer side.
    int deviceMode_ = -1;         // the mode last selected on this printer (-1 none yet)
    bool rasDownload_ = false;
    bool stationAfterWrite_ = false;  // ESC M: the station select follows the write
    bool openPhase_ = false;          // inside the base's open: SetValues waits
    bool quiet_ = false;              // SetValues without its per-argument trace
};

VDEV* _CreatePRNT63V(const DeviceID& id, int handle);
