// The command object of the model-6397 printer.
#include "PRNTCMD63.h"

#include <cstring>

std::recursive_mutex& PRNTCMD63::TableLock() {
    static std::recursive_mutex lock;
    return lock;
}

CmdRow* PRNTCMD63::GetCmd(unsigned short index) {
    return index <= kLastRow ? &CMDTABLE[index] : nullptr;
}

bool PRNTCMD63::CopyRow(unsigned short index, CmdRow& out) {
    if (index > kLastRow) return false;
    std::lock_guard<std::recursive_mutex> guard(TableLock());
    out = CMDTABLE[index];
    return true;
}

bool PRNTCMD63::PatchRow(unsigned short index, unsigned short offset, const unsigned char* bytes,
                         unsigned short n) {
    if (index > kLastRow || !bytes) return false;
    std::lock_guard<std::recursive_mutex> guard(TableLock());
    CmdRow& row = CMDTABLE[index];
    if (static_cast<unsigned>(offset) + n > row.length) return false;
    std::memcpy(row.bytes + offset, bytes, n);
    return true;
}

int PRNTCMD63::Set(unsigned short code_, void* owner_, unsigned short length,
                   const unsigned char* data, unsigned short station_) {
    if (code_ & PRNTCMD_SYSTEM) return PRNTCMD::Set(code_, owner_, 0, 0, 0, nullptr, 0, 0);
    if (code_ > kLastRow) return 321;
    CmdRow row;
    CopyRow(code_, row);

    SetSequenceNumber();
    owner = owner_;
    station = station_;
    code = code_;
    classFlags = row.classWord;
    const bool callersOnly = code_ == kCallerFrame1 || code_ == kCallerFrame2;
    const unsigned rowBytes = callersOnly ? 0u : row.length;
    const unsigned total = static_cast<unsigned>(length) + rowBytes;
    if (total > 0xFFFF) return 321;
    if (total == 0) {
        if (ownsFrame && frame) delete[] frame;
        frame = nullptr;
        ownsFrame = 0;
        frameLength = 0;
        return 0;
    }
    unsigned char* buffer = SetPbCmd63(static_cast<unsigned short>(total));
    if (!buffer) return 305;
    if (data && length) std::memcpy(buffer, data, length);
    if (rowBytes) std::memcpy(buffer + length, row.bytes, rowBytes);
    return 0;
}
