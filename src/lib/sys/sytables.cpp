// The adapter table and the device table.
#include "sytables.h"

namespace {

// Rows as they stand at start-up: built-in rows loaded, plug-in rows not.
constexpr AdapterInfoTable kAdapterRows = {{
    {0, 1400, "", 1},
    {1, 3500, "ovka6842", 0},
    {6, 3500, "ovka6842", 0},
    {-4149, 3600, "ovka64m1", 0}, // 0xEFCB
    {2, 3700, "ovka64m2", 0},
    {5, 3800, "ovka6751", 0},
    {-28291, 3800, "ovka6751", 0}, // 0x917D
    {661, 37000, "ovkatvrn", 0},
}};

#define ROW(address, requested, factory, lib, lib2) {address, requested, factory, lib, lib2, 0}

constexpr PhysicalInfoTable kPhysicalRows = {{
    // Sniffer, planar sniffer and the third built-in class at the sniffer address.
    {0xFE, 1600, 1600, "", "", 1},
    {0xFE, 1800, 1800, "", "", 1},
    {0xFE, 1930, 1930, "", "", 1},
    // Touch screens.
    ROW(0x5C, 1700, 29500, "ovktor5c", ""),
    ROW(0x5C, 29200, 29200, "ovkt95m1", ""),
    ROW(0x5C, 29400, 29400, "ovktelo1", "ovkt95m1"),
    ROW(0x5D, 1700, 29500, "ovktor5c", ""),
    ROW(0x5D, 29200, 29200, "ovkt95m1", ""),
    ROW(0x5D, 29400, 29400, "ovktelo1", "ovkt95m1"),
    // Keyboards.
    ROW(0x10, 1700, 15900, "ovkk50", "ovkkbd"),
    ROW(0x11, 1700, 15900, "ovkk50", "ovkkbd"),
    ROW(0x12, 1700, 17100, "ovkktxt", "ovkkbd"),
    ROW(0x13, 1700, 17100, "ovkktxt", "ovkkbd"),
    ROW(0x16, 1700, 15900, "ovkk50", "ovkkbd"),
    ROW(0x17, 1700, 15900, "ovkk50", "ovkkbd"),
    ROW(0x1A, 1700, 15600, "ovkk83an", "ovkk83an"),
    ROW(0x1B, 1700, 15600, "ovkk83an", "ovkk83an"),
    ROW(0x1C, 1700, 16000, "ovkkor1c", ""),
    ROW(0x1C, 16100, 16100, "ovkkob50", "ovkkbdob"),
    ROW(0x1C, 18400, 18400, "ovkkob50", "ovkkbdob"),
    ROW(0x1C, 17500, 17500, "ovkkob32", "ovkkbdob"),
    ROW(0x1C, 21100, 21100, "ovkkob32", "ovkkbdob"),
    ROW(0x1C, 16300, 16300, "ovkk117", "ovkk83an"),
    ROW(0x1C, 18500, 18500, "ovkk117", "ovkk83an"),
    ROW(0x1C, 16400, 16400, "ovkk121", "ovkk83an"),
    ROW(0x1C, 18600, 18600, "ovkk121", "ovkk83an"),
    ROW(0x1C, 16200, 16200, "ovkk133", "ovkkbdob"),
    ROW(0x1C, 18800, 18800, "ovkk133", "ovkkbdob"),
    ROW(0x1C, 16800, 16800, "ovkkv", "ovkkbdob"),
    ROW(0x1C, 20900, 20900, "ovkkv", "ovkkbdob"),
    ROW(0x1C, 16700, 16700, "ovkkvi", "ovkk83an"),
    ROW(0x1C, 20800, 20800, "ovkkvi", "ovkk83an"),
    ROW(0x1C, 17300, 17300, "ovkk6629", "ovkkbdob"),
    ROW(0x1C, 21600, 21600, "ovkk6629", "ovkkbdob"),
    ROW(0x1C, 17400, 17400, "ovkke", "ovkkbdob"),
    ROW(0x1C, 16600, 16600, "ovkkbdsp", "ovkk83an"),
    ROW(0x1C, 18700, 18700, "ovkkbdsp", "ovkk83an"),
    ROW(0x1D, 1700, 16000, "ovkkor1c", ""),
    ROW(0x1D, 16100, 16100, "ovkkob50", "ovkkbdob"),
    ROW(0x1D, 18400, 18400, "ovkkob50", "ovkk83an"),
    ROW(0x1D, 17500, 17500, "ovkkob32", "ovkkbdob"),
    ROW(0x1D, 21100, 21100, "ovkkob32", "ovkkbdob"),
    ROW(0x1D, 16300, 16300, "ovkk117", "ovkk83an"),
    ROW(0x1D, 18500, 18500, "ovkk117", "ovkk83an"),
    ROW(0x1D, 16400, 16400, "ovkk121", "ovkk83an"),
    ROW(0x1D, 18600, 18600, "ovkk121", "ovkk83an"),
    ROW(0x1D, 16200, 16200, "ovkk133", "ovkkbdob"),
    ROW(0x1D, 18800, 18800, "ovkk133", "ovkkbdob"),
    ROW(0x1D, 16800, 16800, "ovkkv", "ovkkbdob"),
    ROW(0x1D, 20900, 20900, "ovkkv", "ovkkbdob"),
    ROW(0x1D, 16700, 16700, "ovkkvi", "ovkk83an"),
    ROW(0x1D, 20800, 20800, "ovkkvi", "ovkk83an"),
    ROW(0x1D, 17300, 17300, "ovkk6629", "ovkkbdob"),
    ROW(0x1D, 21600, 21600, "ovkk6629", "ovkkbdob"),
    ROW(0x1D, 17400, 17400, "ovkke", "ovkkbdob"),
    ROW(0x1D, 16600, 16600, "ovkkbdsp", "ovkk83an"),
    ROW(0x1D, 18700, 18700, "ovkkbdsp", "ovkk83an"),
    ROW(0x19, 1700, 16900, "ovkkplu", "ovkkbdob"),
    ROW(0x19, 21000, 21000, "ovkkplu", "ovkkbdob"),
    // Displays.
    ROW(0x20, 1700, 4000, "ovkdanum", ""),
    ROW(0x21, 1700, 4000, "ovkdanum", ""),
    ROW(0x24, 5700, 5700, "ovkdoper", ""),
    ROW(0x25, 5700, 5700, "ovkdoper", ""),
    ROW(0x22, 1700, 4200, "ovkdoper", ""),
    ROW(0x22, 5700, 5700, "ovkdoper", ""),
    ROW(0x23, 1700, 4200, "ovkdoper", ""),
    ROW(0x23, 5700, 5700, "ovkdoper", ""),
    ROW(0x2A, 1700, 4800, "ovkdapa2", ""),
    ROW(0x2B, 1700, 4800, "ovkdapa2", ""),
    ROW(0x2C, 1700, 4800, "ovkdapa2", ""),
    ROW(0x2D, 1700, 4800, "ovkdapa2", ""),
    ROW(0x2A, 5800, 5800, "ovkdapa2", ""),
    ROW(0x2B, 5800, 5800, "ovkdapa2", ""),
    ROW(0x2C, 5800, 5800, "ovkdapa2", ""),
    ROW(0x2D, 5800, 5800, "ovkdapa2", ""),
    ROW(0x26, 1700, 4500, "ovkdshop", ""),
    ROW(0x27, 1700, 4500, "ovkdshop", ""),
    ROW(0x24, 1700, 5200, "ovkdanop", ""),
    ROW(0x25, 1700, 5200, "ovkdanop", ""),
    ROW(0x24, 5600, 5600, "ovkdanop", ""),
    ROW(0x25, 5600, 5600, "ovkdanop", ""),
    // Printers.
    ROW(0x30, 1700, 19700, "ovkp83m2", ""),
    ROW(0x34, 1700, 19300, "ovkp93m4", ""),
    ROW(0x34, 25000, 25000, "ovkp93m4", ""),
    ROW(0x38, 1700, 19500, "ovkpm3f", ""),
    ROW(0x38, 21400, 21400, "ovkpm3f", ""),
    ROW(0x37, 1700, 20000, "ovkpsrj", ""),
    ROW(0x35, 1700, 20200, "ovkp63", ""),
    ROW(0x35, 20700, 20700, "ovkp63", ""),
    ROW(0x32, 1700, 20400, "ovkptrj", ""),
    ROW(0x32, 21200, 21200, "ovkptrj", ""),
    // Magnetic-stripe readers.
    ROW(0x40, 1700, 10200, "ovkmsr1", ""),
    ROW(0x40, 10500, 10500, "ovkmsrj", ""),
    ROW(0x41, 1700, 10200, "ovkmsr1", ""),
    ROW(0x41, 10500, 10500, "ovkmsrj", ""),
    ROW(0x41, 1700, 10200, "ovkmsr1", ""), // never reached: the first 1700 row wins
    ROW(0x46, 1700, 10300, "ovkmsr2", ""),
    ROW(0x47, 1700, 10300, "ovkmsr2", ""),
    ROW(0x48, 1700, 10400, "ovkmsr3", ""),
    ROW(0x49, 1700, 10400, "ovkmsr3", ""),
    ROW(0x48, 11000, 11000, "ovkmsr3", ""),
    ROW(0x49, 11000, 11000, "ovkmsr3", ""),
    // NVRAM.
    ROW(0x50, 1700, 8400, "ovkn93m1", "ovknvram"),
    ROW(0x50, 8700, 8700, "ovkn93m1", "ovknvram"),
    ROW(0x51, 1700, 8300, "ovkn93s", "ovknvram"),
    ROW(0x86, 1700, 8300, "ovkn93s", "ovknvram"),
    // Scanners.
    ROW(0x4A, 1700, 13100, "ovkso4a", ""),
    ROW(0x4A, 12700, 12700, "ovksf87", ""),
    ROW(0x4A, 12900, 12900, "ovks8612", ""),
    ROW(0x4A, 13200, 13200, "ovks8634", ""),
    ROW(0x4A, 13400, 13400, "ovksf96", ""),
    ROW(0x4A, 34000, 34000, "ovksf97", ""),
    ROW(0x4A, 34200, 34200, "ovksf98", ""),
    ROW(0x4A, 34900, 34900, "ovksnoem", ""),
    ROW(0x4B, 1700, 12600, "ovkso4b", ""),
    ROW(0x4B, 12200, 12200, "ovkshh1", ""),
    ROW(0x4B, 12400, 12400, "ovkshh2", ""),
    ROW(0x4B, 34400, 34400, "ovkshh20", ""),
    ROW(0x4B, 34900, 34900, "ovksnoem", ""),
    // Cash drawer.
    ROW(0x54, 1700, 7000, "ovktill", ""),
    ROW(0x54, 7500, 7500, "ovktill", ""),
    // RS-232 ports.
    ROW(0x64, 1700, 27000, "ovkrs232", ""),
    ROW(0x65, 1700, 27000, "ovkrs232", ""),
    ROW(0x68, 1700, 27000, "ovkrs232", ""),
    ROW(0x69, 1700, 27000, "ovkrs232", ""),
    ROW(0x66, 1700, 27000, "ovkrs232", ""),
    ROW(0x67, 1700, 27000, "ovkrs232", ""),
    ROW(0x64, 27200, 27200, "ovkrs232", ""),
    ROW(0x65, 27200, 27200, "ovkrs232", ""),
    ROW(0x68, 27200, 27200, "ovkrs232", ""),
    ROW(0x69, 27200, 27200, "ovkrs232", ""),
    // System-board keyboard and MSR.
    ROW(0x81, 15500, 15500, "ovkkbdsp", "ovkk83an"),
    ROW(0x81, 15800, 15800, "ovkkbdsp", "ovkk83an"),
    ROW(0x81, 18200, 18200, "ovkkbdsp", "ovkk83an"),
    ROW(0x81, 16600, 16600, "ovkkbdsp", "ovkk83an"),
    ROW(0x81, 18700, 18700, "ovkkbdsp", "ovkk83an"),
    ROW(0x82, 10600, 10600, "ovkms2sp", ""),
    ROW(0x82, 10700, 10700, "ovkms3sp", ""),
    ROW(0x82, 13600, 13600, "ovkms3sp", ""),
    // Scales.
    ROW(0x6A, 1700, 31600, "ovkso6e", ""),
    ROW(0x6A, 31200, 31200, "ovksl87", ""),
    ROW(0x6A, 31400, 31400, "ovksl96", ""),
    ROW(0x6E, 1700, 31600, "ovkso6e", ""),
    ROW(0x6E, 31200, 31200, "ovksl87", ""),
    ROW(0x6E, 31400, 31400, "ovksl96", ""),
    ROW(0x6A, 31800, 31800, "ovksloem", ""),
    ROW(0x6E, 31800, 31800, "ovksloem", ""),
    // Keyboard swap and the adapter's own NVRAM.
    ROW(0xFD, 18300, 18300, "ovkkbswp", ""),
    ROW(0x85, 8100, 8100, "ovknmmp", "ovknvram"),
    ROW(0x85, 8600, 8600, "ovknmmpp", "ovknvram"),
}};

#undef ROW

} // namespace

// Constant-initialised from the start-up rows, so they are ready before any other code runs.
AdapterInfoTable adapterInfo = kAdapterRows;
PhysicalInfoTable physicalInfo = kPhysicalRows;

AdapterInfoRow* FindAdapterInfo(unsigned short adapterType) {
    for (AdapterInfoRow& row : adapterInfo.rows)
        if (row.adapterType == static_cast<int16_t>(adapterType)) return &row;
    return nullptr;
}

PhysicalInfoRow* FindPhysicalInfo(uint8_t address, long requestedType) {
    for (PhysicalInfoRow& row : physicalInfo.rows)
        if (row.address == address && row.requestedType == requestedType) return &row;
    return nullptr;
}

void ResetLoadedFlagsForTest() {
    adapterInfo = kAdapterRows;
    physicalInfo = kPhysicalRows;
}
