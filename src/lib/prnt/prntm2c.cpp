// The M2 command object: a 7-byte header from the command table and the parameters, then
// the caller's data.
#include <cstring>

#include "PRNTM2.h"

// station, class, the five frame bytes, 0.
const PRNTCMDM2::Row PRNTCMDM2::arCMDTABLE[M2_ROWS] = {
    {0, 0x0000, {0x00, 0x00, 0x00, 0x00, 0x00}, 0},
    {0, 0x0001, {0x00, 0x40, 0x00, 0x00, 0x00}, 0}, // power-on reset
    {0, 0x0001, {0x00, 0x80, 0x00, 0x00, 0x00}, 0}, // get EC level
    {0, 0x0001, {0x00, 0x20, 0x00, 0x00, 0x00}, 0}, // get status
    {0, 0x0010, {0x01, 0x00, 0x00, 0x20, 0x00}, 0}, // home
    {0, 0x0008, {0x01, 0x00, 0x00, 0x02, 0x00}, 0},
    {0, 0x0008, {0x01, 0x00, 0x00, 0x04, 0x00}, 0}, // receipt feed, tear bar
    {1, 0x0008, {0x01, 0x00, 0x00, 0x01, 0x00}, 0}, // journal feed
    {2, 0x0008, {0x01, 0x00, 0x00, 0x08, 0x00}, 0},
    {2, 0x0008, {0x01, 0x00, 0x00, 0x10, 0x00}, 0}, // document feed
    {0, 0x0010, {0x01, 0x00, 0x00, 0x00, 0x04}, 0}, // cut
    {2, 0x0010, {0x01, 0x00, 0x00, 0x00, 0x01}, 0}, // release document
    {2, 0x0010, {0x01, 0x00, 0x00, 0x00, 0x02}, 0}, // register document
    {0, 0x0002, {0x01, 0x00, 0x02, 0x00, 0x00}, 0}, // receipt line
    {1, 0x0002, {0x01, 0x00, 0x01, 0x00, 0x00}, 0}, // journal line
    {2, 0x0002, {0x01, 0x00, 0x08, 0x00, 0x00}, 0}, // document line, check block
    {0, 0x0004, {0x01, 0x00, 0x04, 0x00, 0x00}, 0}, // receipt logo
    {1, 0x0004, {0x01, 0x00, 0x80, 0x00, 0x00}, 0}, // journal logo
    {2, 0x0004, {0x01, 0x00, 0x10, 0x00, 0x00}, 0}, // document logo
    {2, 0x0080, {0x01, 0x00, 0x20, 0x00, 0x00}, 0},
    {2, 0x0080, {0x01, 0x00, 0x40, 0x00, 0x00}, 0},
    {2, 0x0001, {0x01, 0x00, 0x00, 0x00, 0x01}, 0}, // open throat
    {2, 0x0001, {0x01, 0x00, 0x00, 0x00, 0x02}, 0}, // close throat
};

int PRNTCMDM2::Set(unsigned short code_, void* owner_, unsigned char p1, unsigned char p2,
                   unsigned short length, const unsigned char* data, unsigned short w,
                   unsigned char b3) {
    if (code_ & PRNTCMD_SYSTEM) return PRNTCMD::Set(code_, owner_, p1, p2, length, data, w, b3);
    if (code_ >= M2_ROWS) return 316;
    SetSequenceNumber();
    unsigned char* f = nullptr;
    if (data && length > 0) {
        f = SetPbCmd(static_cast<unsigned short>(length + M2_HEADER));
    } else {
        if (ownsFrame && frame) delete[] frame;
        std::memset(inlineFrame, 0, sizeof inlineFrame);
        f = inlineFrame;
        frame = inlineFrame;
        frameLength = M2_HEADER;
        ownsFrame = 0;
        length = 0;
    }
    if (!f) return 305;
    code = code_;
    owner = owner_;
    value = w;
    const Row& row = arCMDTABLE[code_];
    station = row.station;
    classFlags = row.classBits;
    std::memcpy(f, row.bytes, 5);
    f[5] = p1;
    f[6] = p2;
    if (row.classBits & M2_CLASS_LAST_IN_BYTE3) f[3] = b3;
    if (length > 0) std::memcpy(f + M2_HEADER, data, length);
    return 0;
}
