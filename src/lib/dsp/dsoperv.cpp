// Operator display, virtual side: client text mapped to the display's characters, and
// user-defined characters.
#include <cstring>
#include <new>

#include "OPER.h"
#include "ObjectSupport.h"
#include "ovkhost.h"
#include "ovknls.h"

OPERV::OPERV(const DeviceID& id, int handle, const unsigned char* name) : DSV(id, handle, name) {
    cellCount_ = kCells;
    std::memset(text_, ' ', sizeof text_);
}

OPERV::~OPERV() = default;

unsigned char OPERV::MapByte(unsigned char byte) const {
    if (unsigned char udc = userChars_.Lookup(byte)) return udc;
    return operMap.at(Glyph(byte), ' ');
}

int OPERV::SendText(int first, int count) {
    DspTextRecord record;
    record.first = first;
    record.cells = cells_;
    record.count = count;
    record.textUpdate = 1;
    record.text = text_;
    return Tell(DSP_REQ_UPDATE_TEXT, &record, sizeof record);
}

int OPERV::SendPatterns() {
    return Tell(DSP_REQ_PATTERNS, userChars_.patterns, sizeof userChars_.patterns);
}

int OPERV::Write(const void* buffer, unsigned int length, int& count) {
    return WriteCells(buffer, length, count, [this](int start, const unsigned char* bytes, int n) {
        for (int k = 0; k < n; ++k) text_[start + k] = MapByte(bytes[k]);
        return SendText(start, n);
    });
}

int OPERV::IOCtl(int request, PosArg* args, int count, int& out) {
    switch (request) {
    case POS_DSP_DEFINE_CHARACTERS:
        out = 0;
        userChars_.Define(args, count);
        return IsHolding() ? SendPatterns() : 0;
    case POS_DSP_CLEAR_SCREEN: {
        out = 0;
        std::memset(text_, ' ', sizeof text_);
        const uint16_t space = Glyph(0x20);
        for (int i = 0; i < kCells; ++i) cells_[i] = space;
        SendText(0, kCells);
        cursor_ = 0;
        return 0;
    }
    default:
        return DSV::IOCtl(request, args, count, out);
    }
}

int OPERV::AcquirePhysical() {
    int rc = VDEV::AcquirePhysical();
    if (rc != 0) return rc;
    SendPatterns();
    SendText(0, kCells);
    return 0;
}

// ---------------------------------------------------------------------------------------

VDEV* _CreateOPERV(const DeviceID& id, int handle) {
    return new (std::nothrow) OPERV(id, handle, "OPERV");
}

ObjectSupport objectOPERV(OPERV_TYPE_ID, _CreateOPERV);
