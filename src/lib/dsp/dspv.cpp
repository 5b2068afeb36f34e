// Virtual display base: client text to glyph cells, the cursor and its resource, clear.
#include "DSV.h"

#include <cstring>

#include "PDEV.h"
#include "ovkhost.h"

namespace {

// Trace point of data written to a display.
constexpr uint32_t kTraceComponent = 93;
constexpr uint32_t kTraceWrite = 301;

} // namespace

DSV::DSV(const DeviceID& id, int handle, const unsigned char* name) : VDEV(id, handle, name) {
    for (uint16_t& cell : cells_) cell = kInitialGlyph;
}

DSV::~DSV() = default;

bool DSV::Named(const PosArg& arg, const char* name) {
    return arg.name && std::strcmp(arg.name, name) == 0;
}

void DSV::TraceArgs(const PosArg* args, int count) {
    for (int i = 0; args && i < count; ++i)
        if (args[i].name)
            tprintf("%s, 0x%x(%d)\n", args[i].name, static_cast<unsigned>(args[i].value),
                    static_cast<int>(args[i].value));
}

void DSV::TraceResources(const posResources* table, int rows) {
    for (int i = 0; table && i < rows; ++i) {
        const posResources& r = table[i];
        if (!r.value || r.type == POSRES_STRING) continue;
        int32_t v;
        std::memcpy(&v, r.value, sizeof v);
        tprintf("%s, 0x%x(%d)\n", r.name, static_cast<unsigned>(v), v);
    }
}

uint16_t DSV::Glyph(unsigned char byte) const {
    const unsigned short* table = GetCpTableData();
    if (table && GetCpTableSize() >= (static_cast<size_t>(byte) + 1) * sizeof(unsigned short))
        return table[byte];
    return byte;
}

int DSV::Tell(int request, void* record, int length) {
    if (!pdev_) return 321;
    return pdev_->TellPhys(this, request, static_cast<unsigned char*>(record), length);
}

int DSV::SendCells(int first, int count) {
    DspTextRecord record;
    record.first = first;
    record.cells = cells_;
    record.count = count;
    return Tell(DSP_REQ_UPDATE_TEXT, &record, sizeof record);
}

int DSV::TakeBytes(const unsigned char* data, unsigned int length) {
    int taken = 0;
    const int cells = cellCount_ < kMaxCells ? cellCount_ : kMaxCells;
    while (length > 0 && cursor_ < cells) {
        cells_[cursor_] = Glyph(data[taken]);
        ++taken;
        ++cursor_;
        --length;
    }
    return taken;
}

void DSV::WrapCursor() {
    if (cursor_ >= cellCount_) cursor_ = 0;
}

// ---------------------------------------------------------------------------------------
// Requests.

int DSV::Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
              int count) {
    const posResources table[] = {
        {"displayCursor", "DisplayCursor", POSRES_INTEGER, &cursor_, 0, nullptr, 0},
    };
    int rc = LoadResources(resourceName, className, table, 1);
    if (rc == 0) rc = VDEV::Open(resourceName, className, args, count);
    if (rc == 0) {
        rc = validateCursorPosition(cursor_);
        if (rc != 0) {
            int remaining = 0;
            VDEV::Close(remaining);
        }
    }
    TraceResources(table, 1);
    DumpResources(table, 1);
    return rc;
}

int DSV::WriteCells(const void* buffer, unsigned int length, int& count, const CellSender& send) {
    count = 0;
    const auto* data = static_cast<const unsigned char*>(buffer);
    clTrace(kTraceComponent, kTraceWrite, data, data ? length : 0, 0);
    if (!IsHolding()) return 315;
    if (!data) length = 0;

    const int start = cursor_;
    const int written = TakeBytes(data, length);
    count = written;
    int rc = send(start, data, written);
    WrapCursor();
    return rc;
}

int DSV::Write(const void* buffer, unsigned int length, int& count) {
    return WriteCells(buffer, length, count,
                      [this](int start, const unsigned char*, int n) { return SendCells(start, n); });
}

int DSV::IOCtl(int request, PosArg* args, int count, int& out) {
    if (request != POS_DSP_CLEAR_SCREEN) return VDEV::IOCtl(request, args, count, out);
    out = 0;
    const uint16_t space = Glyph(0x20);
    for (int i = 0; i < cellCount_ && i < kMaxCells; ++i) cells_[i] = space;
    SendCells(0, cellCount_);
    cursor_ = 0;
    return 0;
}

int DSV::SetValues(PosArg* args, int count) {
    TraceArgs(args, count);
    bool cursorGiven = false;
    int32_t cursor = cursor_;
    for (int i = 0; args && i < count; ++i) {
        if (!Named(args[i], "displayCursor")) continue;
        int rc = validateCursorPosition(static_cast<int>(args[i].value));
        if (rc != 0) return rc;
        cursorGiven = true;
        cursor = static_cast<int32_t>(args[i].value);
    }
    int rc = VDEV::SetValues(args, count);
    if (rc == 0 && cursorGiven) cursor_ = cursor;
    return rc;
}

int DSV::GetValues(PosArg* args, int count) {
    for (int i = 0; args && i < count; ++i)
        if (Named(args[i], "displayCursor")) args[i].value = cursor_;
    int rc = VDEV::GetValues(args, count);
    TraceArgs(args, count);
    return rc;
}

int DSV::AcquirePhysical() {
    int rc = VDEV::AcquirePhysical();
    if (rc != 0) return rc;
    SendCells(0, cellCount_);
    return 0;
}

int DSV::validateCursorPosition(int pos) {
    return pos >= 0 && pos < cellCount_ ? 0 : POSERR_DSP_INVALID_CURSOR;
}
