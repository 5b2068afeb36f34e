// The physical model-6397 printer (plug-in libovkp63, RS-485 address 0x35): what it does with
// every frame the printer sends (status block, device information, completions, errors,
// events, raw mode) and how commands reach the printer (the choice of the next command,
// control commands, the requests of its virtual printer, the start-up queries, the firmware
// check, power-on reset, resume and retry).
//
// Every answer begins with the status block: 8 bytes, or 16 once the printer reports its
// extended status. Commands are rows of the command table (PRNTCMD63); rows with class bit
// 0x0001 go through the queue's system-command path.
//
// The hold-for-buffer-full, buffer-empty-seen and home-error flags are kept per printer, so
// one printer's buffer-full hold never turns another's reject into a retry. The firmware
// check runs once per process.
#pragma once

#include <cstdint>

#include "PRNTCMD63.h"
#include "PRNTP.h"

enum : int32_t { PRNT63P_TYPE_ID = 20200, PRNT63V_TYPE_ID = 20300 };

// Requests of the virtual printer beyond the base's (TellPhys).
enum {
    PRN63_TP_CAPABILITIES = 30,  // the 116-byte capability record
    PRN63_TP_HOLD = 38,
    PRN63_TP_PAUSE = 39,
    PRN63_TP_RELEASE = 40,
    PRN63_TP_PUT_CONTROL = 41,   // a PRNTCMD for the system-command path
    PRN63_TP_MODE_NORMAL = 48,
    PRN63_TP_MODE_RAW = 49,
    PRN63_TP_MODE_SERVICE = 50,
    PRN63_TP_DBCS_VECTOR = 51,
    PRN63_TP_CODE_PAGE = 52,     // 52-56: 32-bit values
    PRN63_TP_DI_CHAR_SIZE = 56,
    PRN63_TP_FIRMWARE_ON = 58,
    PRN63_TP_FIRMWARE_OFF = 59,
    PRN63_TP_DBCS_SETUP = 64,
    PRN63_TP_MCT_QUERY = 65,     // the length argument is the MCT index
    PRN63_TP_QUEUED_COUNT = 68,
    PRN63_TP_SENSOR_ON = 69,
    PRN63_TP_SENSOR_OFF = 70,
    PRN63_TP_SENSOR_SENSE0 = 71,
    PRN63_TP_SENSOR_SENSE1 = 72,
    PRN63_TP_ERASE_COUNTERS = 73,
    PRN63_TP_SET_COUNTERS = 74,  // from a capability record
    PRN63_TP_MCT_VALUES = 75,    // 512 bytes
    PRN63_TP_SERIAL = 78,
    PRN63_TP_LOGO_CHECKSUM = 79,
    PRN63_TP_EXT_ERROR = 81,
    PRN63_TP_RESERVED = 82,
    PRN63_TP_MICR_STATUS = 83,
    PRN63_TP_NOISE_LEVEL = 84,
};

// Requests of the physical printer to its virtual printer beyond the base's (TellVirt).
enum {
    PRN63_TV_RAW_DATA = 3,
    PRN63_TV_CHECKED = 6,        // after a discard or the firmware check
    PRN63_TV_MCT_VALUE = 9,      // index << 16 | value
    PRN63_TV_QUEUE_EMPTY = 10,
    PRN63_TV_READ_DATA = 11,     // at most 255 bytes
    PRN63_TV_IMAGE1 = 12,
    PRN63_TV_IMAGE2 = 13,
    PRN63_TV_LOGO_CHECKSUM = 14,
    PRN63_TV_NEXT_IMAGE = 15,
    PRN63_TV_FIRST_IMAGE = 16,
    PRN63_TV_MICR_DATA = 17,
};

// Offsets of the capability record (116 bytes, little-endian) that the physical printer fills.
enum : int {
    CAP63_SIZE = 116,
    CAP63_DBCS = 0x0e,
    CAP63_SUBTYPE = 0x10,
    CAP63_STATION1 = 0x12,
    CAP63_STATION2 = 0x14,
    CAP63_FEATURE = 0x1a,
    CAP63_EC = 0x1b,
    CAP63_FURTHER1 = 0x1c,
    CAP63_FURTHER2 = 0x1e,
    CAP63_UDF_SETUP = 0x22,
    CAP63_OTHER_TYPE = 0x24,
    CAP63_FEATURE_BIT1 = 0x26,
    CAP63_DEVICE_COUNTER = 0x28,
    CAP63_COUNTER1 = 0x2c,
    CAP63_COUNTER2 = 0x30,
    CAP63_RESERVED = 0x34,
    CAP63_SERIAL = 0x36,
    CAP63_EXT_QUERY_SET = 0x40,
    CAP63_REVISION = 0x42,
    CAP63_EXT_FLAGS = 0x44,      // nine 16-bit flags
    CAP63_IMAGE = 0x56,
    CAP63_FURTHER_EXT = 0x58,    // six 16-bit flags
    CAP63_EXT_INFO = 0x64,
    CAP63_FEATURE_BIT5 = 0x66,
    CAP63_BITS1 = 0x68,
    CAP63_BITS2 = 0x6c,
    CAP63_EC_2XR = 0x70,
};

class PRNT63P : public PRNTP {
public:
    enum Mode : unsigned short { kNormal = 0, kService = 1, kRaw = 2 };
    enum { kConfigSize = 1024, kSerialSize = 10 };

    explicit PRNT63P(const DeviceID& id);
    ~PRNT63P() override;

    // Over PRNTP.
    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    int LastMsgLost(const unsigned char* data, int n) override;
    int NewMsgRcvd(const unsigned char* data, int n) override;
    int PowerOnResetInProgress() override;
    int SendAnyPendingMessage() override;
    int DisableDIPrinting() override;
    int DiscardData() override;
    int EnableDIPrinting() override;
    int CopyPrinterStatus(unsigned char* buffer) override;
    int ClearPORResetInProgress() override;
    int ResumePrinting(const unsigned char* resumeString) override;
    int RetryPrinting(const unsigned char* retryString) override;
    int SystemCommand(unsigned short code) override;
    // The cover open (receipt work waits for it).
    bool HoldsWork() const override;
    // The chase-complete event (the command is not looked at: the station follows the
    // document-insert station's use).
    int RespondToChase(const PRNTCMD* command) override;

    // Own operations, in this order.
    virtual void CompleteCommand();
    virtual PRNTCMD* GetNextCommand();
    // Builds a command of the row and queues it (class 0x0001: system-command path).
    virtual int InsertCmd(unsigned short code, unsigned short station, unsigned short length,
                          const unsigned char* data);
    virtual void ProcessMsgRaw(const unsigned char* data, int n);
    virtual void ProcessMsgNormal(const unsigned char* data, int n);
    // next: the new status block (16 bytes, zero past what the frame held).
    virtual void SendStatusMessage(const unsigned char* next);
    virtual void SendExtendedStatusMessage(const unsigned char* next);
    virtual void RespondToError(uint32_t code);
    virtual void RespondToDeviceInfo(const unsigned char* info, int n);
    virtual void SetOnlineAndStartFirmwareUpdate(int fromFirmwareMode);
    virtual void SendStatusChangeMessage(uint32_t p1, uint32_t p2);
    virtual void SendPrinterErrorMessage(uint32_t p1, uint32_t p2);
    virtual void SetPrinterStatus(const unsigned char* next, int length);
    virtual void SetExtendedPrinterStatus(const unsigned char* next);
    // One MCT answer: bytes after the status (count of them); fewer than two leave the value.
    virtual void ProcessMctResponse(const PRNTCMD* command, const unsigned char* bytes, int count);
    virtual void SetCapabilities(int derive);

    // The firmware check runs once per process; tests start it afresh.
    static void ResetFirmwareCheck();

    // For tests.
    const unsigned char* StatusBlock() const { return block_; }
    int StatusLength() const { return statusLength_; }
    unsigned short GetMode() const { return mode_; }
    bool CommandOutstanding() const { return commandOutstanding_; }
    bool QueriesDone() const { return queriesDone_; }
    bool DIInUse() const { return diInUse_; }
    uint16_t Mct(unsigned char index) const { return mct_[index]; }
    uint32_t DeviceCounter() const { return deviceCounter_; }
    uint32_t Counter(int i) const { return counters_[i & 1]; }
    uint32_t QueuedBytes() const { return queuedBytes_; }
    uint16_t CodePage() const { return static_cast<uint16_t>(codePage_); }
    const char* Serial() const { return serial_; }
    bool FirmwareDownload() const { return firmwareDownload_; }
    bool HoldForBufferFull() const { return holdForBufferFull_; }
    bool OfflineMode() const { return offlineMode_; }
    int SavedConfigLength() const { return configLength_; }
    uint32_t CapabilityBits(int i) const { return capBits_[i & 1]; }

protected:
    void Log(uint32_t logId, uint32_t rc, uint32_t extra, const void* data = nullptr,
             int length = 0) const;
    bool HasOwner() const { return owner_ != nullptr; }
    int TellOwner(int code, const void* data, int length);
    bool BufferEmpty() const { return block_[1] & 0x40; }
    // Byte 1 bit 4 set, byte 0 bits 5 and 6, byte 10 bit 3 and byte 11 bit 3 clear.
    bool MayRelease() const;
    // Takes the next command of station off the queue and finishes it without sending it.
    void CompleteUnsent(PRNTCMD* command);
    void FillCapabilities(unsigned char* record) const;
    void QueueNext(unsigned short row);
    void QueriesFinished();
    void ReadAnswerData(const unsigned char* data, int n, PRNTCMD* outstanding);
    void ReplyData(const unsigned char* data, int n, PRNTCMD* outstanding);

    // Status block.
    unsigned char block_[16] = {};
    int statusLength_ = 8;
    bool status16_ = false;
    unsigned short mode_ = kNormal;

    // Capabilities from the device information.
    unsigned char devType_ = 0;
    unsigned char option_ = 0;
    unsigned char feature_ = 0;
    unsigned char revision_ = 0;
    unsigned char f_[5] = {};       // F1-F5 of an extended report
    bool station_[2] = {};
    bool further_[2] = {};
    bool otherDevType_ = false;
    bool featureBit1_ = false;
    bool featureBit5_ = false;
    bool dbcs_ = false;
    bool extInfo_ = false;
    bool extQuerySet_ = false;
    bool image_ = false;
    bool f2Zero_ = false;
    bool sectorQueries_ = false;
    bool ext_[9] = {};
    bool furtherExt_[6] = {};
    uint32_t capBits_[2] = {};
    uint16_t ec2xR_ = 0;

    // Values of the query chain.
    uint32_t codePage_ = 0, sbcsSpacing_ = 0, dbcsSpacing_ = 0, crCharSize_ = 0, diCharSize_ = 0;
    unsigned char dbcsVector_[6] = {};
    unsigned char dbcsSetup_[2] = {};
    unsigned char udfSetup_[2] = {};
    char serial_[kSerialSize + 1] = {};
    uint16_t logoChecksum_ = 0;
    uint16_t mctStatus_ = 0xFFFF;
    uint16_t sectorSizes_[9] = {};
    uint16_t mct_[256];
    int32_t last158_ = -1;
    uint32_t deviceCounter_ = 0;
    uint32_t counters_[2] = {};
    unsigned char micrStatus_ = 0;
    unsigned char noiseLevel_ = 0;
    unsigned char extErrorByte_ = 0;

    // Flags.
    bool queriesDone_ = true;
    bool firmwareDownload_ = false;
    bool firmwareStartedInFirmwareMode_ = false;
    bool sensorReport_ = false;
    bool sensorSense_ = false;
    bool chaseReport_ = true;
    bool sendConfigAfterReset_ = false;
    bool commandOutstanding_ = false;
    bool resetInProgress_ = true;
    bool offlineMode_ = false;
    bool firmwareHold_ = false;
    bool diInUse_ = false;
    // Per printer (see above).
    bool holdForBufferFull_ = false;
    bool bufferEmptySeen_ = true;
    bool homeErrorSeen_ = false;
    bool homeGrace_ = false;
    int32_t homeGraceStart_ = 0;

    unsigned char config_[kConfigSize] = {};
    int configLength_ = 0;
    uint32_t queuedBytes_ = 0;
    int32_t lastSendTime_ = 0;
    unsigned char receiptByteWait_ = 16;
};

PDEV* _CreatePRNT63P(const DeviceID& id);
