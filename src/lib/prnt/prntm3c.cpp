// The M3 command object: a frame from the command table's row (standard, wrapped or raw)
// and the caller's data.
#include <cstring>

#include "PRNTM3.h"
#include "ovkhost.h"

namespace {

const char kTag[] = "@(#)prntm3c.cpp 1.1";

enum : uint32_t { kLogCountedData = 19356 };

constexpr unsigned short S = 0x102; // print line
constexpr unsigned short L = 0x004; // logo

} // namespace

// station, class flags, opcode 0, opcode 1.
const PRNTCMDM3::Row PRNTCMDM3::arCMDTABLE[M3_ROWS] = {
    {0, 0x000, 0x00, 0x00},  // 0 no command
    {0, 0x001, 0x00, 0x40},  // 1 reset
    {0, 0x001, 0x00, 0x80},  // 2 EC level and status
    {0, 0x010, 0x01, 0x0B},  // 3 park head at centre
    {0, 0x008, 0x01, 0x09},  // 4 CR feed, tear bar
    {1, 0x008, 0x01, 0x0A},  // 5 SJ feed
    {2, 0x008, 0x01, 0x0C},  // 6 DI feed forward
    {2, 0x008, 0x01, 0x0D},  // 7 DI feed reverse
    {0, 0x001, 0x09, 0x00},  // 8 font block
    {0, 0x010, 0x01, 0x12},  // 9 cut
    {2, 0x010, 0x01, 0x13},  // 10 release document forward
    {2, 0x010, 0x01, 0x14},  // 11 release document reverse
    {2, 0x010, 0x01, 0x0E},  // 12 register document reverse
    {2, 0x010, 0x01, 0x0F},  // 13 register document forward
    {0, S, 0x01, 0x01}, {0, S, 0x02, 0x01}, {0, S, 0x04, 0x01}, // 14-16 CR lines
    {0, S, 0x11, 0x01}, {0, S, 0x12, 0x01}, {0, S, 0x14, 0x01}, // 17-19 CR lines, emphasis
    {0, L, 0x07, 0x01}, {0, L, 0x06, 0x01},                     // 20, 21 CR logo
    {1, S, 0x01, 0x02}, {1, S, 0x02, 0x02}, {1, S, 0x04, 0x02}, // 22-24 SJ lines
    {1, S, 0x11, 0x02}, {1, S, 0x12, 0x02}, {1, S, 0x14, 0x02}, // 25-27
    {1, L, 0x07, 0x02}, {1, L, 0x06, 0x02},                     // 28, 29 SJ logo
    {2, S, 0x01, 0x07}, {2, S, 0x02, 0x07}, {2, S, 0x04, 0x07}, // 30-32 DI sub-mode 07
    {2, S, 0x11, 0x07}, {2, S, 0x12, 0x07}, {2, S, 0x14, 0x07}, // 33-35
    {2, L, 0x07, 0x07}, {2, L, 0x06, 0x07},                     // 36, 37
    {2, S, 0x01, 0x04}, {2, S, 0x02, 0x04}, {2, S, 0x04, 0x04}, // 38-40 DI sub-mode 04
    {2, S, 0x11, 0x04}, {2, S, 0x12, 0x04}, {2, S, 0x14, 0x04}, // 41-43
    {2, L, 0x07, 0x04}, {2, L, 0x06, 0x04},                     // 44, 45
    {2, S, 0x01, 0x06}, {2, S, 0x02, 0x06}, {2, S, 0x04, 0x06}, // 46-48 DI sub-mode 06
    {2, S, 0x11, 0x06}, {2, S, 0x12, 0x06}, {2, S, 0x14, 0x06}, // 49-51
    {2, L, 0x07, 0x06}, {2, L, 0x06, 0x06},                     // 52, 53
    {2, S, 0x01, 0x03}, {2, S, 0x02, 0x03}, {2, S, 0x04, 0x03}, // 54-56 DI sub-mode 03
    {2, S, 0x11, 0x03}, {2, S, 0x12, 0x03}, {2, S, 0x14, 0x03}, // 57-59
    {2, L, 0x07, 0x03}, {2, L, 0x06, 0x03},                     // 60, 61
    {0, 0x101, 0x00, 0x20},  // 62 idle status request
    {0, 0x010, 0x01, 0x08},  // 63 park head at left
    {0, 0x010, 0x01, 0x11},  // 64 journal error
    {2, 0x010, 0x01, 0x17},  // 65 MICR read
    {3, 0x800, 0xE9, 0x00},  // 66 wrapped, data as given
    {3, 0x801, 0xFC, 0x00}, {3, 0x801, 0xF1, 0x00}, {3, 0x801, 0xFA, 0x00}, // 67-69
    {0, 0x001, 0x0B, 0x26},  // 70 read setting "&"
    {0, 0x1001, 0x00, 0x00}, // 71 raw: write setting
    {0, 0x1001, 0x00, 0x00}, // 72 raw CR data
    {0, 0x001, 0x0B, 0x24}, {0, 0x001, 0x0B, 0x27}, {0, 0x001, 0x0B, 0x28}, {0, 0x001, 0x0B, 0x29}, // 73-76
    {0, 0x001, 0x00, 0x10}, {0, 0x001, 0x00, 0x20}, {0, 0x001, 0x00, 0x40}, // 77-79
    {1, 0x1001, 0x00, 0x00}, {2, 0x1001, 0x00, 0x00},                       // 80, 81 raw SJ, DI
    {0, S, 0x0D, 0x01}, {0, S, 0x1D, 0x01}, {1, S, 0x0D, 0x02}, {1, S, 0x1D, 0x02}, // 82-85 font mode 4
    {2, S, 0x0D, 0x07}, {2, S, 0x1D, 0x07}, {2, S, 0x0D, 0x04}, {2, S, 0x1D, 0x04}, // 86-89
    {2, S, 0x0D, 0x06}, {2, S, 0x1D, 0x06}, {2, S, 0x0D, 0x03}, {2, S, 0x1D, 0x03}, // 90-93
    {3, 0x801, 0xFA, 0x02}, {3, 0x801, 0xF8, 0x02}, {3, 0x801, 0x1A, 0x01},         // 94-96 wrapped
    {0, S, 0x05, 0x01}, {0, S, 0x15, 0x01}, {1, S, 0x05, 0x02}, {1, S, 0x15, 0x02}, // 97-100 font mode 3
    {2, S, 0x05, 0x07}, {2, S, 0x15, 0x07}, {2, S, 0x05, 0x06}, {2, S, 0x15, 0x06}, // 101-104
};

int PRNTCMDM3::Set(unsigned short code_, void* owner_, unsigned char byte3, unsigned char byte4,
                   unsigned short length, const unsigned char* data, unsigned short value_,
                   unsigned char byte2) {
    value = value_;
    if (code_ & PRNTCMD_SYSTEM) return PRNTCMD::Set(code_, owner_, 0, 0, 0, nullptr, 0, 0);
    if (code_ >= M3_ROWS) return 316;
    if (!data) length = 0;
    const Row& row = arCMDTABLE[code_];
    const bool wrapped = row.station == 3 && (row.classBits & M3_CLASS_WRAPPED);
    const bool counted = wrapped && row.op0 == 0x1A && row.op1 == 0x01;
    // The counted wrapped row takes data[0] x 4 + 1 bytes of the data: they must be there.
    unsigned short counting = 0;
    if (counted) {
        if (length == 0 || data[0] * 4u + 1u > length) {
            clErrorLog(kLogCountedData, 321, length, kTag, this, sizeof(PRNTCMDM3), data,
                       static_cast<uint16_t>(length > 64 ? 64 : length));
            return 321;
        }
        counting = static_cast<unsigned short>(data[0] * 4 + 1);
    }
    SetSequenceNumber();
    unsigned char* f = nullptr;
    if (length > 0) {
        f = SetPbCmd(static_cast<unsigned short>(length + 7));
    } else {
        if (ownsFrame && frame) delete[] frame;
        std::memset(inlineFrame, 0, sizeof inlineFrame);
        frame = f = inlineFrame;
        ownsFrame = 0;
    }
    if (!f) return 305;
    code = code_;
    owner = owner_;
    station = row.station;
    classFlags = row.classBits;
    if (wrapped && (row.classBits & M3_CLASS_QUERY)) {
        f[0] = 0x1B;
        f[1] = 'f';
        f[2] = row.op0;
        f[3] = row.op1;
        if (counting) std::memcpy(f + 4, data, counting);
        frameLength = static_cast<unsigned short>(4 + counting);
    } else if (wrapped || (row.classBits & M3_CLASS_RAW)) {
        if (length) std::memcpy(f, data, length);
        frameLength = length;
    } else {
        f[0] = row.op0;
        f[1] = row.op1;
        f[2] = byte2;
        f[3] = byte3;
        f[4] = byte4;
        if (length) std::memcpy(f + 5, data, length);
        frameLength = static_cast<unsigned short>(length + 5);
    }
    return 0;
}
