// The model-6397 physical printer, start-up: the MCT answers and the query chain that runs
// after the first device information, the firmware check that may start the firmware
// loader, and the capability record for the virtual printer.
#include <atomic>
#include <cstring>
#include <string>
#include <unistd.h>

#include "PRNT63P.h"
#include "Prnt63Firmware.h"
#include "VDEV.h"
#include "ovkhost.h"
#include "systart.h"

namespace {

enum : uint32_t { kLogInvalidData = 20206, kLogMct158Changed = 20214 };

// Set by the first model-6397 printer that reaches the firmware check in this process.
std::atomic<bool> firmwareChecked{false};

void put16(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

void put32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

struct MatrixTrace {
    unsigned short row, next;
    const char* text;
};

// The matrix, option and set-up queries: traced only, then the next row.
constexpr MatrixTrace kTraced[] = {
    {108, 111, "Impact Matrix:  0x%x (%x.%x)\n"},
    {111, 112, "Thermal Matrix 1:  0x%x (%x.%x)\n"},
    {112, 109, "Thermal Matrix 2:  0x%x (%x.%x)\n"},
    {109, 110, "Impact Matrix 1:  0x%x (%x.%x)\n"},
    {110, 113, "Impact Matrix 2:  0x%x (%x.%x)\n"},
    {113, 114, "Thermal Matrix 3:  0x%x (%x.%x)\n"},
    {114, 120, "Thermal Matrix 4:  0x%x (%x.%x)\n"},
    {120, 121, "Printer Options:  0x%04x (%02x.%02x)\n"},
    {121, 122, "Printer Setup:  0x%04x (%02x.%02x)\n"},
    {122, 124, "Systems Management:  0x%04x (%02x.%02x)\n"},
};

const char* const kSectorTraces[] = {
    "Logo Sector Size: '%04x'\n",       "Messages Sector Size: '%04x'\n",
    "SBCS Impact Sector Size: '%04x'\n", "SBCS Thermal Sector Size: '%04x'\n",
    "Flash Sector Size: '%04x'\n",      "DBCS Thermal Sector Size: '%04x'\n",
    "DBCS Impact Sector Size: '%04x'\n", "Image Sector Size: '%04x'\n",
    "EJ Sector Size: '%04x'\n",
};

} // namespace

void PRNT63P::ResetFirmwareCheck() { firmwareChecked = false; }

void PRNT63P::QueriesFinished() {
    queriesDone_ = true;
    SetOnlineAndStartFirmwareUpdate(0);
}

void PRNT63P::ProcessMctResponse(const PRNTCMD* command, const unsigned char* bytes, int count) {
    if (!command) return;
    // Two answer bytes; a shorter answer leaves every value as it was.
    const bool have = bytes && count >= 2;
    if (!have) Log(kLogInvalidData, 320, command->code, bytes, bytes ? count : 0);
    const unsigned a = have ? bytes[0] : 0, b = have ? bytes[1] : 0;
    const uint16_t value = static_cast<uint16_t>(a << 8 | b);
    const bool mctFrame = command->frame && command->frameLength >= 3 && command->frame[0] == 0x1B &&
                          command->frame[1] == 0x53;
    if (have && mctFrame) mct_[command->frame[2]] = value;

    const unsigned short code = command->code;
    for (const MatrixTrace& t : kTraced) {
        if (t.row != code) continue;
        if (have) tprintf(t.text, value, a, b);
        QueueNext(t.next);
        return;
    }
    if (code >= 168 && code <= 176) {
        if (have) {
            sectorSizes_[code - 168] = value;
            tprintf(kSectorTraces[code - 168], value);
        }
        if (code < 176) QueueNext(static_cast<unsigned short>(code + 1));
        else QueriesFinished();
        return;
    }
    switch (code) {
    case 132:
        if (have) {
            udfSetup_[0] = static_cast<unsigned char>(a);
            udfSetup_[1] = static_cast<unsigned char>(b);
            tprintf("UDF Setup: %02x.%02x\n", a, b);
        }
        if (owner_) {
            QueriesFinished();
        } else if (deviceSubtype_ == 0) {
            deviceCounter_ = 0x19FFF;
            QueueNext(104);
        } else if (ecLevel_ > 26 || deviceSubtype_ > 6) {
            QueueNext(103);
        } else {
            deviceCounter_ = 0;
            QueriesFinished();
        }
        break;
    case 68:
    case 69:
    case 70:
        if (have) {
            dbcsVector_[(code - 68) * 2] = static_cast<unsigned char>(a);
            dbcsVector_[(code - 68) * 2 + 1] = static_cast<unsigned char>(b);
        }
        if (code == 70) {
            const unsigned char* v = dbcsVector_;
            tprintf("DbcsVector='%02x.%02x.%02x.%02x.%02x.%02x", v[0], v[1], v[2], v[3], v[4], v[5]);
            QueueNext(64);
        } else {
            QueueNext(static_cast<unsigned short>(code + 1));
        }
        break;
    case 64:
        if (have) {
            codePage_ = value;
            tprintf("Printer code page is %ld\n", static_cast<long>(codePage_));
        }
        QueueNext(72);
        break;
    case 72:
        if (have) {
            sbcsSpacing_ = value;
            tprintf("Sbcs spacing is %ld\n", static_cast<long>(value));
        }
        QueueNext(73);
        break;
    case 73:
        if (have) {
            dbcsSpacing_ = value;
            tprintf("Dbcs spacing is %ld\n", static_cast<long>(value));
        }
        QueueNext(74);
        break;
    case 74:
        if (have) {
            crCharSize_ = value;
            tprintf("SBCS CR char size is %04lx\n", static_cast<unsigned long>(value));
        }
        QueueNext(75);
        break;
    case 75:
        if (have) {
            diCharSize_ = value;
            tprintf("SBCS DI char size is %04lx\n", static_cast<unsigned long>(value));
        }
        QueueNext(95);
        break;
    case 95:
        if (have) {
            dbcsSetup_[0] = static_cast<unsigned char>(a);
            dbcsSetup_[1] = static_cast<unsigned char>(b);
            tprintf("DBCS printer setup:  %02x.%02x\n", a, b);
        }
        QueueNext(108);
        break;
    case 124:
    case 125:
    case 126:
    case 127:
        if (code == 124) std::memset(serial_, 0, sizeof serial_);
        if (have) {
            serial_[(code - 124) * 2] = static_cast<char>(a);
            serial_[(code - 124) * 2 + 1] = static_cast<char>(b);
        }
        if (code == 127) {
            tprintf("Printer Serial Number is '%s'\n", serial_);
            QueueNext(128);
        } else {
            QueueNext(static_cast<unsigned short>(code + 1));
        }
        break;
    case 128:
        if (have) {
            logoChecksum_ = value;
            tprintf("Printer Logo CheckSum is '%04x'\n", value);
        }
        QueueNext(186);
        break;
    case 186:
        if (have) {
            mctStatus_ = value;
            tprintf("MCT Status Request: '%04x'\n", value);
            if (static_cast<int16_t>(value) >= 0) tprintf("....MCT available after values\n");
            tprintf((value & 0x4000) ? "....Compatibility mode\n" : "....Native mode\n");
            if (!(value & 0x1000)) tprintf("....MICR Noise level available\n");
            if (!(value & 0x800)) tprintf("....MICR TOAD format\n");
            if (!(value & 0x400)) tprintf("....EJ Auto erase\n");
            if (!(value & 0x200)) tprintf("....Page mode image retained\n");
        }
        QueueNext(187);
        break;
    case 187:
        if (have) {
            ec2xR_ = value;
            tprintf("....2xR EC Level: %04x\n", value);
        }
        if (sectorQueries_) QueueNext(168);
        else QueriesFinished();
        break;
    case 97:
        if (have && owner_) {
            const uint32_t word = uint32_t(mctFrame ? command->frame[2] : 0) << 16 | value;
            TellOwner(PRN63_TV_MCT_VALUE, &word, sizeof word);
        }
        break;
    case 129:
        if (have) {
            logoChecksum_ = value;
            tprintf("Printer Load Logo CheckSum is '%04x'\n", value);
            TellOwner(PRN63_TV_LOGO_CHECKSUM, &value, sizeof value);
        }
        break;
    case 130:
        if (have) {
            tprintf("Next scanned image location is '%04x'\n", value);
            TellOwner(PRN63_TV_NEXT_IMAGE, &value, sizeof value);
        }
        break;
    case 131:
        if (have) {
            tprintf("First unread image location is '%04x'\n", value);
            TellOwner(PRN63_TV_FIRST_IMAGE, &value, sizeof value);
        }
        break;
    case 158:
        if (have) {
            if (last158_ != -1 && last158_ != value) Log(kLogMct158Changed, 306, value);
            last158_ = value;
        }
        break;
    default:
        break;
    }
}

void PRNT63P::SetOnlineAndStartFirmwareUpdate(int fromFirmwareMode) {
    NowConfirmed();
    status_.set(0x1000);
    if (!firmwareChecked.exchange(true)) {
        const std::string recover = ovkPath("/usr/share/pos/recover");
        std::string dir = fromFirmwareMode && ::access(recover.c_str(), R_OK) == 0 ? recover : ovkPath("/usr/share/pos/");
        while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
        const char* file = Prnt63FirmwareFile(deviceSubtype_, featureBit1_, featureBit5_);
        if (file) {
            std::string path = dir + "/" + file;
            tprintf("Firmware file='%s'\n", path.c_str());
            Prnt63FirmwareHeader header;
            const bool opened = Prnt63ReadFirmwareHeaderFile(path, deviceSubtype_, header) == 0;
            uint32_t printerLevel = ecLevel_;
            uint32_t fileLevel = header.ecLevel;
            if (extInfo_) {
                printerLevel = ec2xR_;
                fileLevel = header.ecLevel * 256 + header.revision;
            }
            if (opened && printerLevel < fileLevel) {
                if (fromFirmwareMode) firmwareStartedInFirmwareMode_ = true;
                firmwareDownload_ = true;
                chStart63Firmload(GetDeviceID().slot, GetDeviceID().port, path.data(), nullptr);
            }
        }
    }
    TellOwner(PRN63_TV_CHECKED, nullptr, 0);
}

void PRNT63P::FillCapabilities(unsigned char* r) const {
    put16(r + CAP63_DBCS, dbcs_);
    put16(r + CAP63_SUBTYPE, deviceSubtype_);
    put16(r + CAP63_STATION1, station_[0]);
    put16(r + CAP63_STATION2, station_[1]);
    r[CAP63_FEATURE] = feature_;
    r[CAP63_EC] = ecLevel_;
    put16(r + CAP63_FURTHER1, further_[0]);
    put16(r + CAP63_FURTHER2, further_[1]);
    r[CAP63_UDF_SETUP] = udfSetup_[0];
    r[CAP63_UDF_SETUP + 1] = udfSetup_[1];
    put16(r + CAP63_OTHER_TYPE, otherDevType_);
    put16(r + CAP63_FEATURE_BIT1, featureBit1_);
    put32(r + CAP63_DEVICE_COUNTER, deviceCounter_);
    put32(r + CAP63_COUNTER1, counters_[0]);
    put32(r + CAP63_COUNTER2, counters_[1]);
    put16(r + CAP63_RESERVED, 0);
    std::memset(r + CAP63_SERIAL, 0, kSerialSize);
    for (int i = 0, k = 0; i < kSerialSize && serial_[i]; ++i)
        if (serial_[i] != ' ') r[CAP63_SERIAL + k++] = static_cast<unsigned char>(serial_[i]);
    put16(r + CAP63_EXT_QUERY_SET, extQuerySet_);
    r[CAP63_REVISION] = revision_;
    for (int i = 0; i < 9; ++i) put16(r + CAP63_EXT_FLAGS + 2 * i, ext_[i]);
    put16(r + CAP63_IMAGE, image_);
    for (int i = 0; i < 6; ++i) put16(r + CAP63_FURTHER_EXT + 2 * i, i == 2 ? f2Zero_ : furtherExt_[i]);
    put16(r + CAP63_EXT_INFO, extInfo_);
    put16(r + CAP63_FEATURE_BIT5, featureBit5_);
    put32(r + CAP63_BITS1, capBits_[0]);
    put32(r + CAP63_BITS2, capBits_[1]);
    put16(r + CAP63_EC_2XR, ec2xR_);
}
