// The adapter table and the device table.
#include "sytables.h"

namespace {

// Rows as they stand at start-up: built-in rows loaded, plug-in rows not.
constexpr AdapterInfoTable kAdapterRows = {{
    {0, 1400, "", 1}, // system-board adapter (Planar), built in
    {1, 3500, "ovka6842", 0}, // RS-485 adapter manager ZarekAdapter
    {6, 3500, "ovka6842", 0}, // ZarekAdapter
    {-4149, 3600, "ovka64m1", 0}, // 0xEFCB: QuiloAdapter
    {2, 3700, "ovka64m2", 0}, // MorvathAdapter
    {5, 3800, "ovka6751", 0}, // OstraneFerumaAdapter
    {-28291, 3800, "ovka6751", 0}, // 0x917D: OstraneFerumaAdapter
    {661, 37000, "ovkatvrn", 0}, // TevrinAdapter
}};

#define ROW(address, requested, factory, lib, lib2) {address, requested, factory, lib, lib2, 0}

constexpr PhysicalInfoTable kPhysicalRows = {{
    // Each row's comment names the class its factory id stands for (requested type 1700: the
    // class made for a device not yet identified, often an identifier); "none" where no class
    // of this system registers the id, so that the row's device is not served; "only the
    // tests'" where only a test plug-in of the end-to-end tests registers it.
    // Sniffer, planar sniffer and the third built-in class at the sniffer address.
    {0xFE, 1600, 1600, "", "", 1}, // Sniffer
    {0xFE, 1800, 1800, "", "", 1}, // PlanarSniffer
    {0xFE, 1930, 1930, "", "", 1}, // none
    // Touch screens.
    ROW(0x5C, 1700, 29500, "ovktor5c", ""),           // touch identifier Oracle_5C_5D
    ROW(0x5C, 29200, 29200, "ovkt95m1", ""),          // touch controller 95 (TCH95P)
    ROW(0x5C, 29400, 29400, "ovktelo1", "ovkt95m1"),  // touch controller with calibration (TCHELOP)
    ROW(0x5D, 1700, 29500, "ovktor5c", ""),           // Oracle_5C_5D
    ROW(0x5D, 29200, 29200, "ovkt95m1", ""),          // TCH95P
    ROW(0x5D, 29400, 29400, "ovktelo1", "ovkt95m1"),  // TCHELOP
    // Keyboards. At 0x1C and 0x1D the identifier names the model; the second type id of each
    // model pair (18400, 21100, ...) is one no class registers.
    ROW(0x10, 1700, 15900, "ovkk50", "ovkkbd"),       // checkout keyboard, 50 keys (KB50P)
    ROW(0x11, 1700, 15900, "ovkk50", "ovkkbd"),       // KB50P
    ROW(0x12, 1700, 17100, "ovkktxt", "ovkkbd"),      // text keyboard (KBTEXTP)
    ROW(0x13, 1700, 17100, "ovkktxt", "ovkkbd"),      // KBTEXTP
    ROW(0x16, 1700, 15900, "ovkk50", "ovkkbd"),       // matrix keyboard (KB50P)
    ROW(0x17, 1700, 15900, "ovkk50", "ovkkbd"),       // KB50P
    ROW(0x1A, 1700, 15600, "ovkk83an", "ovkk83an"),   // alphanumeric POS keyboard (KBANPP)
    ROW(0x1B, 1700, 15600, "ovkk83an", "ovkk83an"),   // KBANPP
    ROW(0x1C, 1700, 16000, "ovkkor1c", ""),           // keyboard identifier Oracle_1C_1D
    ROW(0x1C, 16100, 16100, "ovkkob50", "ovkkbdob"),  // extended 50-key keyboard (KBO50P)
    ROW(0x1C, 18400, 18400, "ovkkob50", "ovkkbdob"),  // none (50-key)
    ROW(0x1C, 17500, 17500, "ovkkob32", "ovkkbdob"),  // extended 32-key keyboard (KBO32P)
    ROW(0x1C, 21100, 21100, "ovkkob32", "ovkkbdob"),  // none (32-key)
    ROW(0x1C, 16300, 16300, "ovkk117", "ovkk83an"),   // 117-key keyboard (KBO117P)
    ROW(0x1C, 18500, 18500, "ovkk117", "ovkk83an"),   // none (117-key)
    ROW(0x1C, 16400, 16400, "ovkk121", "ovkk83an"),   // 121-key keyboard (KBO121P)
    ROW(0x1C, 18600, 18600, "ovkk121", "ovkk83an"),   // none (121-key)
    ROW(0x1C, 16200, 16200, "ovkk133", "ovkkbdob"),   // 133-key keyboard (KBO133P)
    ROW(0x1C, 18800, 18800, "ovkk133", "ovkkbdob"),   // none (133-key)
    ROW(0x1C, 16800, 16800, "ovkkv", "ovkkbdob"),     // PLU-based keyboard KBOKBVP
    ROW(0x1C, 20900, 20900, "ovkkv", "ovkkbdob"),     // none (KBOKBVP's model)
    ROW(0x1C, 16700, 16700, "ovkkvi", "ovkk83an"),    // JUCC-layout keyboard (KBOJUCCP)
    ROW(0x1C, 20800, 20800, "ovkkvi", "ovkk83an"),    // none (JUCC layout)
    ROW(0x1C, 17300, 17300, "ovkk6629", "ovkkbdob"),  // PLU-based keyboard KB6629P
    ROW(0x1C, 21600, 21600, "ovkk6629", "ovkkbdob"),  // none (KB6629P's model)
    ROW(0x1C, 17400, 17400, "ovkke", "ovkkbdob"),     // PLU-based keyboard KBOKBEP
    ROW(0x1C, 16600, 16600, "ovkkbdsp", "ovkk83an"),  // system-board keyboard stand-in (KBDSP)
    ROW(0x1C, 18700, 18700, "ovkkbdsp", "ovkk83an"),  // KBDSP
    ROW(0x1D, 1700, 16000, "ovkkor1c", ""),           // Oracle_1C_1D
    ROW(0x1D, 16100, 16100, "ovkkob50", "ovkkbdob"),  // KBO50P
    ROW(0x1D, 18400, 18400, "ovkkob50", "ovkk83an"),  // none (50-key)
    ROW(0x1D, 17500, 17500, "ovkkob32", "ovkkbdob"),  // KBO32P
    ROW(0x1D, 21100, 21100, "ovkkob32", "ovkkbdob"),  // none (32-key)
    ROW(0x1D, 16300, 16300, "ovkk117", "ovkk83an"),   // KBO117P
    ROW(0x1D, 18500, 18500, "ovkk117", "ovkk83an"),   // none (117-key)
    ROW(0x1D, 16400, 16400, "ovkk121", "ovkk83an"),   // KBO121P
    ROW(0x1D, 18600, 18600, "ovkk121", "ovkk83an"),   // none (121-key)
    ROW(0x1D, 16200, 16200, "ovkk133", "ovkkbdob"),   // KBO133P
    ROW(0x1D, 18800, 18800, "ovkk133", "ovkkbdob"),   // none (133-key)
    ROW(0x1D, 16800, 16800, "ovkkv", "ovkkbdob"),     // KBOKBVP
    ROW(0x1D, 20900, 20900, "ovkkv", "ovkkbdob"),     // none (KBOKBVP's model)
    ROW(0x1D, 16700, 16700, "ovkkvi", "ovkk83an"),    // KBOJUCCP
    ROW(0x1D, 20800, 20800, "ovkkvi", "ovkk83an"),    // none (JUCC layout)
    ROW(0x1D, 17300, 17300, "ovkk6629", "ovkkbdob"),  // KB6629P
    ROW(0x1D, 21600, 21600, "ovkk6629", "ovkkbdob"),  // none (KB6629P's model)
    ROW(0x1D, 17400, 17400, "ovkke", "ovkkbdob"),     // KBOKBEP
    ROW(0x1D, 16600, 16600, "ovkkbdsp", "ovkk83an"),  // KBDSP
    ROW(0x1D, 18700, 18700, "ovkkbdsp", "ovkk83an"),  // KBDSP
    ROW(0x19, 1700, 16900, "ovkkplu", "ovkkbdob"),    // PLU keyboard (KBOPLUP)
    ROW(0x19, 21000, 21000, "ovkkplu", "ovkkbdob"),   // none (PLU keyboard)
    // Displays.
    ROW(0x20, 1700, 4000, "ovkdanum", ""),            // numeric display (ANUMP)
    ROW(0x21, 1700, 4000, "ovkdanum", ""),            // ANUMP
    ROW(0x24, 5700, 5700, "ovkdoper", ""),            // none (operator display)
    ROW(0x25, 5700, 5700, "ovkdoper", ""),            // none (operator display)
    ROW(0x22, 1700, 4200, "ovkdoper", ""),            // operator display (OPERP)
    ROW(0x22, 5700, 5700, "ovkdoper", ""),            // none (operator display)
    ROW(0x23, 1700, 4200, "ovkdoper", ""),            // OPERP
    ROW(0x23, 5700, 5700, "ovkdoper", ""),            // none (operator display)
    ROW(0x2A, 1700, 4800, "ovkdapa2", ""),            // graphic display (APA2P)
    ROW(0x2B, 1700, 4800, "ovkdapa2", ""),            // APA2P
    ROW(0x2C, 1700, 4800, "ovkdapa2", ""),            // APA2P
    ROW(0x2D, 1700, 4800, "ovkdapa2", ""),            // APA2P
    ROW(0x2A, 5800, 5800, "ovkdapa2", ""),            // none (graphic display)
    ROW(0x2B, 5800, 5800, "ovkdapa2", ""),            // none (graphic display)
    ROW(0x2C, 5800, 5800, "ovkdapa2", ""),            // none (graphic display)
    ROW(0x2D, 5800, 5800, "ovkdapa2", ""),            // none (graphic display)
    ROW(0x26, 1700, 4500, "ovkdshop", ""),            // shopper display (SHOPP)
    ROW(0x27, 1700, 4500, "ovkdshop", ""),            // SHOPP
    ROW(0x24, 1700, 5200, "ovkdanop", ""),            // alphanumeric operator display (ANOPP)
    ROW(0x25, 1700, 5200, "ovkdanop", ""),            // ANOPP
    ROW(0x24, 5600, 5600, "ovkdanop", ""),            // none (alphanumeric operator display)
    ROW(0x25, 5600, 5600, "ovkdanop", ""),            // none (alphanumeric operator display)
    // Printers.
    ROW(0x30, 1700, 19700, "ovkp83m2", ""),           // M2 printer (PRNTM2P)
    ROW(0x34, 1700, 19300, "ovkp93m4", ""),           // M3 printer (PRNTM3P)
    ROW(0x34, 25000, 25000, "ovkp93m4", ""),          // none (M3 printer)
    ROW(0x38, 1700, 19500, "ovkpm3f", ""),            // fiscal M3 printer (PRNTM3FP)
    ROW(0x38, 21400, 21400, "ovkpm3f", ""),           // none (fiscal M3 printer)
    ROW(0x37, 1700, 20000, "ovkpsrj", ""),            // SRJ printer (PRNTSRJP)
    ROW(0x35, 1700, 20200, "ovkp63", ""),             // model-6397 printer (PRNT63P)
    ROW(0x35, 20700, 20700, "ovkp63", ""),            // none (model-6397 printer)
    ROW(0x32, 1700, 20400, "ovkptrj", ""),            // TRJ printer (PRNTTRJP)
    ROW(0x32, 21200, 21200, "ovkptrj", ""),           // none (TRJ printer)
    // Magnetic-stripe readers.
    ROW(0x40, 1700, 10200, "ovkmsr1", ""),            // one-track reader (MS1TKP)
    ROW(0x40, 10500, 10500, "ovkmsrj", ""),           // JIS reader (MSJTKP)
    ROW(0x41, 1700, 10200, "ovkmsr1", ""),            // MS1TKP
    ROW(0x41, 10500, 10500, "ovkmsrj", ""),           // MSJTKP
    ROW(0x41, 1700, 10200, "ovkmsr1", ""), // never reached: the first 1700 row wins
    ROW(0x46, 1700, 10300, "ovkmsr2", ""),            // two-track reader (MS2TKP)
    ROW(0x47, 1700, 10300, "ovkmsr2", ""),            // MS2TKP
    ROW(0x48, 1700, 10400, "ovkmsr3", ""),            // three-track reader (MS3TKP)
    ROW(0x49, 1700, 10400, "ovkmsr3", ""),            // MS3TKP
    ROW(0x48, 11000, 11000, "ovkmsr3", ""),           // none (three-track reader)
    ROW(0x49, 11000, 11000, "ovkmsr3", ""),           // none (three-track reader)
    // NVRAM.
    ROW(0x50, 1700, 8400, "ovkn93m1", "ovknvram"),    // NVRAM NVCOPP
    ROW(0x50, 8700, 8700, "ovkn93m1", "ovknvram"),    // none (NVRAM)
    ROW(0x51, 1700, 8300, "ovkn93s", "ovknvram"),     // journalled NVRAM NVOCRP
    ROW(0x86, 1700, 8300, "ovkn93s", "ovknvram"),     // NVOCRP (power device B)
    // Scanners.
    ROW(0x4A, 1700, 13100, "ovkso4a", ""),            // identifier: only the tests' test one
    ROW(0x4A, 12700, 12700, "ovksf87", ""),           // table-top scanner 87 (SCFB87P)
    ROW(0x4A, 12900, 12900, "ovks8612", ""),          // scanner 8612 (SCF8612P)
    ROW(0x4A, 13200, 13200, "ovks8634", ""),          // scanner 8634 (SCF8634P)
    ROW(0x4A, 13400, 13400, "ovksf96", ""),           // table-top scanner 96 (SCFB96P)
    ROW(0x4A, 34000, 34000, "ovksf97", ""),           // table-top scanner 97 (SCFB97P)
    ROW(0x4A, 34200, 34200, "ovksf98", ""),           // table-top scanner 98 (SCFB98P)
    ROW(0x4A, 34900, 34900, "ovksnoem", ""),          // only the tests' test device
    ROW(0x4B, 1700, 12600, "ovkso4b", ""),            // hand-held identifier Oracle_4B
    ROW(0x4B, 12200, 12200, "ovkshh1", ""),           // hand-held scanner 1 (SCHH1P)
    ROW(0x4B, 12400, 12400, "ovkshh2", ""),           // hand-held scanner 2 (SCHH2P)
    ROW(0x4B, 34400, 34400, "ovkshh20", ""),          // hand-held scanner 20 (SCHH20P)
    ROW(0x4B, 34900, 34900, "ovksnoem", ""),          // only the tests' test device
    // Cash drawer.
    ROW(0x54, 1700, 7000, "ovktill", ""),             // cash-drawer unit (CDP)
    ROW(0x54, 7500, 7500, "ovktill", ""),             // none (cash-drawer unit)
    // RS-232 ports.
    ROW(0x64, 1700, 27000, "ovkrs232", ""),           // RS-232 port (RS232CP)
    ROW(0x65, 1700, 27000, "ovkrs232", ""),           // RS232CP
    ROW(0x68, 1700, 27000, "ovkrs232", ""),           // RS232CP
    ROW(0x69, 1700, 27000, "ovkrs232", ""),           // RS232CP
    ROW(0x66, 1700, 27000, "ovkrs232", ""),           // RS232CP
    ROW(0x67, 1700, 27000, "ovkrs232", ""),           // RS232CP
    ROW(0x64, 27200, 27200, "ovkrs232", ""),          // none (RS-232 port)
    ROW(0x65, 27200, 27200, "ovkrs232", ""),          // none (RS-232 port)
    ROW(0x68, 27200, 27200, "ovkrs232", ""),          // none (RS-232 port)
    ROW(0x69, 27200, 27200, "ovkrs232", ""),          // none (RS-232 port)
    // System-board keyboard and MSR.
    ROW(0x81, 15500, 15500, "ovkkbdsp", "ovkk83an"),  // system-board keyboard stand-in (KBDSP)
    ROW(0x81, 15800, 15800, "ovkkbdsp", "ovkk83an"),  // KBDSP
    ROW(0x81, 18200, 18200, "ovkkbdsp", "ovkk83an"),  // KBDSP
    ROW(0x81, 16600, 16600, "ovkkbdsp", "ovkk83an"),  // KBDSP
    ROW(0x81, 18700, 18700, "ovkkbdsp", "ovkk83an"),  // KBDSP
    ROW(0x82, 10600, 10600, "ovkms2sp", ""),          // two-track reader, keyboard (MS2TKPSP)
    ROW(0x82, 10700, 10700, "ovkms3sp", ""),          // three-track reader, keyboard (MS3TKPSP)
    ROW(0x82, 13600, 13600, "ovkms3sp", ""),          // none (reader of the keyboard)
    // Scales.
    ROW(0x6A, 1700, 31600, "ovkso6e", ""),            // scale identifier Oracle_6E
    ROW(0x6A, 31200, 31200, "ovksl87", ""),           // scale 87 (SCL87P)
    ROW(0x6A, 31400, 31400, "ovksl96", ""),           // scale 96 (SCL96P)
    ROW(0x6E, 1700, 31600, "ovkso6e", ""),            // Oracle_6E
    ROW(0x6E, 31200, 31200, "ovksl87", ""),           // SCL87P
    ROW(0x6E, 31400, 31400, "ovksl96", ""),           // SCL96P
    ROW(0x6A, 31800, 31800, "ovksloem", ""),          // none (scale)
    ROW(0x6E, 31800, 31800, "ovksloem", ""),          // none (scale)
    // Keyboard swap and the adapter's own NVRAM.
    ROW(0xFD, 18300, 18300, "ovkkbswp", ""),          // none (keyboard swap)
    ROW(0x85, 8100, 8100, "ovknmmp", "ovknvram"),     // the adapter's NVRAM (NVMMP)
    ROW(0x85, 8600, 8600, "ovknmmpp", "ovknvram"),    // none (the adapter's NVRAM)
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
