// The POS keyboard's kernel driver "/dev/ps2driver": its request records and codes, the
// process-wide descriptor, the status and MSR polling of the driver loop, and the encoding of
// the keyboard commands.
#pragma once

#include <asm/ioctl.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ps2 {

constexpr uint32_t kDone = 256;
constexpr int kNotOpen = -77;
constexpr size_t kDataSize = 1000;
constexpr size_t kCodeUpdateSize = 10240;
constexpr size_t kCodeUpdateMax = 4096;

#pragma pack(push, 1)
struct DataRecord {  // keyboard status, MSR data
    uint32_t completion;
    uint32_t length;
    uint8_t data[kDataSize];
};
struct CodeUpdateRecord {
    uint32_t completion;
    uint16_t length;
    uint8_t data[kCodeUpdateSize];
    uint16_t pad;
};
struct TracksRecord {
    uint32_t completion;
    uint16_t length;
    uint16_t track1, track2, track3, jis2, extendedData;
};
struct QueryRecord {
    uint32_t completion;
    uint16_t keyboardId;
    uint16_t keyboardSubtype;
    uint16_t msrType;
    uint8_t keyboardEc;
    uint8_t msrEc;
    uint8_t features;
    uint8_t featureByte1;
    uint8_t firmwareVersion;
    uint8_t firmwareRelease;
};
struct DoubleKeysRecord {
    uint32_t completion;
    uint16_t length;
    uint8_t data[kDataSize];
    uint16_t pad;
};
struct ByteRecord {  // click, POS lights, tone (value and duration)
    uint32_t completion;
    uint16_t length;
    uint8_t value;
    uint8_t extra;
};
struct WordRecord {  // enable, trap keys, typematic
    uint32_t completion;
    uint16_t length;
    uint16_t value;
};
#pragma pack(pop)

static_assert(sizeof(DataRecord) == 1008, "status and MSR record");
static_assert(sizeof(CodeUpdateRecord) == 10248, "code-update record");
static_assert(sizeof(TracksRecord) == 16 && sizeof(QueryRecord) == 16, "16-byte records");
static_assert(sizeof(DoubleKeysRecord) == 1008, "double-key record");
static_assert(sizeof(ByteRecord) == 8 && sizeof(WordRecord) == 8, "8-byte records");

constexpr unsigned long kPosLeds = _IOWR('k', 1, ByteRecord);
constexpr unsigned long kMsrData = _IOWR('k', 3, DataRecord);
constexpr unsigned long kStatus = _IOWR('k', 4, DataRecord);
constexpr unsigned long kTone = _IOWR('k', 5, ByteRecord);
constexpr unsigned long kClick = _IOWR('k', 6, ByteRecord);
constexpr unsigned long kTypematic = _IOWR('k', 7, WordRecord);
constexpr unsigned long kEnable = _IOWR('k', 8, WordRecord);
constexpr unsigned long kTracks = _IOWR('k', 9, TracksRecord);
constexpr unsigned long kTrapKeys = _IOWR('k', 11, WordRecord);
constexpr unsigned long kQuery = _IOWR('k', 12, QueryRecord);
constexpr unsigned long kDoubleKeys = _IOWR('k', 13, DoubleKeysRecord);
constexpr unsigned long kCodeUpdate = _IOWR('k', 14, CodeUpdateRecord);

static_assert(kCodeUpdate == 0xE8086B0E && kTracks == 0xC0106B09 && kQuery == 0xC0106B0C &&
                  kStatus == 0xC3F06B04 && kClick == 0xC0086B06 && kDoubleKeys == 0xC3F06B0D &&
                  kEnable == 0xC0086B08 && kPosLeds == 0xC0086B01 && kTone == 0xC0086B05 &&
                  kTrapKeys == 0xC0086B0B && kTypematic == 0xC0086B07,
              "driver request codes");

// Opens the driver (keyboard type 101) or notes that it is missing (100); true when open.
bool open();
void close();
bool isOpen();
int keyboardType();
// Sends one request: 0, minus the error number, or kNotOpen without a request.
int send(unsigned long code, void* record);

// One pass of the driver loop's polling, without the Java side.
class Poller {
public:
    struct Result {
        bool statusChanged = false;
        uint8_t status[4] = {};
        size_t msrLength = 0;  // bytes of msrData to hand on (at most 1000)
        const uint8_t* msrData = nullptr;
    };
    // Reads the status and MSR data once.
    Result poll();
    // Handles records as the driver returned them (also used by poll()).
    void takeStatus(const DataRecord& record, Result& result);
    void takeMsr(const DataRecord& record, Result& result);

private:
    uint8_t previous_[4] = {};
    DataRecord status_{};
    DataRecord msr_{};
};

// Command encodings.
uint8_t posLightBits(const bool lights[7]);  // lights 1 to 7
struct ToneConstants {
    int f875, f1300, f2000, low, high;
};
enum ToneResult { ToneOk = 0, ToneBadFrequency, ToneBadVolume };
// Fills the tone record's flags and duration.
ToneResult toneRecord(bool on, bool timed, int duration, int frequency, int volume,
                      const ToneConstants& c, ByteRecord& record);
struct TrapConstants {
    int ctrlAltDelete, ctrlEsc, altEsc, altTab, altShiftTab, altHome, numLock, capsLock,
        scrollLock, posSpecific, hotKeys, all;
};
uint16_t trapBits(int keys, const TrapConstants& c);

} // namespace ps2
