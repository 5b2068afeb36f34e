// The command object of the model-6397 printer: every frame its physical and virtual
// printer send is built from one row of the command table CMDTABLE (class word and fixed
// bytes), with the caller's bytes in front of the row's.
//
// Two rows change at run time (row 96's fourth and fifth bytes, row 97's third byte) and
// every later user of the row sees the change. Two printers' request threads may build
// commands at once, so patching a row and copying one (Set, CopyRow) both go under the
// table's lock.
#pragma once

#include <cstdint>
#include <mutex>

#include "PRNTCMD.h"

// One row of the command table: 16 bytes.
struct CmdRow {
    uint16_t classWord;       // little-endian; the command's class bits
    uint8_t length;           // fixed command bytes that follow (0 to 13)
    uint8_t bytes[13];        // the fixed bytes, zero after them
};
static_assert(sizeof(CmdRow) == 16, "a command table row is 16 bytes");

// Class bits of the model-6397 printer.
enum : unsigned short {
    PRN63_CLASS_CONTROL = 0x0001,     // system-command path; its loss asks for no resume
    PRN63_CLASS_RESTRICTED = 0x0002,  // may go on CR while status byte 0 bit 6 is set
    PRN63_CLASS_SERVICE = 0x1000,     // answered in service mode with the RAS status
    PRN63_CLASS_BUFFER_EMPTY = 0x2000, // sent only while the buffer is empty
    PRN63_CLASS_FIRMWARE = 0x4000,    // completed by byte 2 bit 7 outside firmware mode
    PRN63_CLASS_MCT = 0x8000,         // an MCT query
};

class PRNTCMD63 : public PRNTCMD {
public:
    enum : unsigned short { kRows = 188, kLastRow = 187, kCallerFrame1 = 101, kCallerFrame2 = 102 };

    using PRNTCMD::Set;
    // code with bit 15: the base's system command. 101 and 102: the frame is wholly the
    // caller's length bytes (class from the row). Above 187: 321. Otherwise the caller's
    // bytes, then the row's; a total of 0 leaves the command without a frame. 305 when the
    // frame cannot be allocated (code, station and class stay; the caller deletes it).
    virtual int Set(unsigned short code, void* owner, unsigned short length,
                    const unsigned char* data, unsigned short station);

    // The row, or null above 187. Read it through CopyRow while printers may patch it.
    static CmdRow* GetCmd(unsigned short index);
    // A copy of the row taken under the table lock; false above 187.
    static bool CopyRow(unsigned short index, CmdRow& out);
    // Overwrites n fixed bytes of a row from offset on, under the table lock. False (and
    // nothing changed) above 187 or beyond the row's fixed bytes.
    static bool PatchRow(unsigned short index, unsigned short offset, const unsigned char* bytes,
                         unsigned short n);
    // The lock of the table, for a caller that patches and builds as one step.
    static std::recursive_mutex& TableLock();
};

extern CmdRow CMDTABLE[PRNTCMD63::kRows];
