// The TRJ command object: six header bytes from the command table, the command id, then the
// caller's data; raw data go as they are.
#include <cstring>

#include "PRNTTRJ.h"

#define ROW(station, flags, h0, h1, h2, h3, h4, h5) {station, flags, {h0, h1, h2, h3, h4, h5}, {0, 0}}

// station, class flags, header bytes (byte 5 is the caller's value where the row takes one).
const PRNTCMDTRJ::Row PRNTCMDTRJ::arCMDTABLE[TRJ_ROWS] = {
    ROW(0, 0x000, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00),
    ROW(0, 0x001, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00), // reset
    ROW(0, 0x001, 0x00, 0x80, 0x00, 0x00, 0x00, 0x00), // EC level
    ROW(0, 0x001, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00), // device information
    ROW(0, 0x010, 0x01, 0x00, 0x10, 0x00, 0x00, 0x00),
    ROW(0, 0x108, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00), // receipt feed
    ROW(1, 0x108, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00), // journal feed
    ROW(1, 0x108, 0x01, 0x00, 0x00, 0x00, 0x04, 0x00),
    ROW(0, 0x102, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00), // receipt print
    ROW(1, 0x102, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00), // journal print
    ROW(1, 0x102, 0x01, 0x00, 0x04, 0x00, 0x00, 0x00),
    ROW(0, 0x108, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00),
    ROW(1, 0x108, 0x01, 0x00, 0x00, 0x02, 0x00, 0x00),
    ROW(1, 0x108, 0x01, 0x00, 0x00, 0x04, 0x00, 0x00),
    ROW(0, 0x110, 0x01, 0x00, 0x00, 0x00, 0x10, 0x00), // cut and stamp
    ROW(0, 0x110, 0x01, 0x00, 0x00, 0x00, 0x20, 0x00), // partial cut
    ROW(0, 0x001, 0x00, 0x20, 0x00, 0x00, 0x00, 0x00), // error status request
    ROW(0, 0x020, 0x01, 0x02, 0x00, 0x00, 0x00, 0x00),
    ROW(0, 0x010, 0x01, 0x08, 0x00, 0x00, 0x00, 0x00),
    ROW(0, 0x010, 0x01, 0x02, 0x00, 0x00, 0x00, 0x00), // user-defined character block
    ROW(0, 0x010, 0x01, 0x02, 0x00, 0x00, 0x00, 0x00), // logo block
    ROW(0, 0x010, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00),
    ROW(0, 0x010, 0x01, 0x01, 0x00, 0x00, 0x00, 0x80),
    ROW(0, 0x010, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00),
    ROW(0, 0x001, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00), // raw data
};
#undef ROW
static_assert(sizeof(PRNTCMDTRJ::Row) == 12, "a command row is 12 bytes");

namespace {

bool takesValue(unsigned short code) {
    return (code >= TRJ_FEED_CR && code <= TRJ_PRINT) || code == 17 || code == TRJ_LOAD_UDC ||
           code == TRJ_LOAD_LOGO;
}

} // namespace

int PRNTCMDTRJ::Set(unsigned short code_, void* owner_, unsigned char value, unsigned short length,
                    const unsigned char* data, unsigned short /*w*/) {
    if (code_ & PRNTCMD_SYSTEM) return PRNTCMD::Set(code_, owner_, 0, 0, 0, nullptr, 0, 0);
    if (code_ == 0 || code_ >= TRJ_ROWS) return 316;
    if (!data) length = 0;
    const Row& row = arCMDTABLE[code_];
    if (code_ == TRJ_RAW) {
        // The data unchanged, without a command id; no data, no frame.
        if (length > 0) {
            unsigned char* f = SetPbCmd(length);
            if (!f) return 305;
            std::memcpy(f, data, length);
        } else {
            if (ownsFrame && frame) delete[] frame;
            frame = nullptr;
            frameLength = 0;
            ownsFrame = 0;
        }
        code = code_;
        owner = owner_;
        station = row.station;
        classFlags = row.classFlags;
        return 0;
    }
    if (length > 0xFFFF - TRJ_HEADER) return 318;
    SetSequenceNumber();
    unsigned char* f = nullptr;
    if (length > 0) {
        f = SetPbCmd(static_cast<unsigned short>(length + TRJ_HEADER));
    } else {
        if (ownsFrame && frame) delete[] frame;
        std::memset(inlineFrame, 0, sizeof inlineFrame);
        f = frame = inlineFrame;
        frameLength = TRJ_HEADER;
        ownsFrame = 0;
    }
    if (!f) return 305;
    code = code_;
    owner = owner_;
    station = row.station;
    classFlags = row.classFlags;
    std::memcpy(f, row.header, 6);
    if (takesValue(code_)) f[5] = value;
    f[6] = static_cast<unsigned char>(sequenceNumber % 255);
    if (length > 0) std::memcpy(f + TRJ_HEADER, data, length);
    return 0;
}

int PRNTCMDTRJ::IdOf(const PRNTCMD* command) {
    if (!command || !command->frame || command->frameLength <= 6) return -1;
    const unsigned char* f = command->frame;
    if (f[0] == 0x01 && f[1] != 0x44 && f[1] != 0x45) return f[6];
    if (f[0] == 0x00 && (f[1] != 0 || f[2] != 0)) return f[6];
    return -1;
}

int PRNTCMDTRJ::IsRawNonPrintCmd() const {
    if (code != TRJ_RAW || !frame || frameLength == 0) return 0;
    const unsigned char* f = frame;
    if (frameLength >= 2 && ((f[0] == 0x1D && f[1] == 0x2A) || (f[0] == 0x1B && f[1] == 0x23))) return 1;
    if (f[0] == 0x00) return frameLength == 6 && f[2] == 0x01 ? 0 : 1;
    return 0;
}
