// The virtual display base: one per client open. It keeps the client's picture of the
// screen as cells of 16-bit glyph numbers (client bytes turned into glyphs through the
// client's code-page table) and a cursor, and sends changed cells to the physical display.
//
// Display model classes derive from it, so the order of its virtual operations and its
// fields are a fixed interface.
#pragma once

#include <cstdint>
#include <functional>

#include "DSP.h"
#include "VDEV.h"

class DSV : public VDEV {
public:
    enum { kMaxCells = 96, kInitialGlyph = 641 };

    DSV(const DeviceID& id, int handle, const unsigned char* name);
    DSV(const DeviceID& id, int handle, const char* name)
        : DSV(id, handle, reinterpret_cast<const unsigned char*>(name)) {}
    ~DSV() override;

    int AcquirePhysical() override;
    int GetValues(PosArg* args, int count) override;
    int IOCtl(int request, PosArg* args, int count, int& out) override;
    int Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
             int count) override;
    int SetValues(PosArg* args, int count) override;
    int Write(const void* buffer, unsigned int length, int& count) override;

    // Added operation: 0 when 0 <= pos < cell count, else POSERR_DSP_INVALID_CURSOR.
    virtual int validateCursorPosition(int pos);

    // The glyph of a client byte: the code-page table's entry, or the byte itself when
    // the table is missing or too short to hold it.
    uint16_t Glyph(unsigned char byte) const;

    int GetCursor() const { return cursor_; }
    int GetCellCount() const { return cellCount_; }
    const uint16_t* GetCells() const { return cells_; }

protected:
    // Takes bytes at the cursor into cells while cells remain: the count taken. The cursor
    // advances; it is not wrapped here.
    int TakeBytes(const unsigned char* data, unsigned int length);
    // Back to the home position once the cursor has reached the cell count.
    void WrapCursor();
    // What every model's Write does: traces the data, refuses 315 unless the device is
    // held, takes bytes at the cursor into cells (count: the bytes taken), hands what was
    // taken to send(start, bytes, n), whose result it returns, and wraps the cursor after
    // the send.
    using CellSender = std::function<int(int start, const unsigned char* bytes, int n)>;
    int WriteCells(const void* buffer, unsigned int length, int& count, const CellSender& send);
    // Sends a record to the physical device: its answer, or 321 when there is none.
    int Tell(int request, void* record, int length);
    int SendCells(int first, int count);
    // Traces "%s, 0x%x(%d)" for each named argument.
    static void TraceArgs(const PosArg* args, int count);
    // Traces the integer resources of a table.
    static void TraceResources(const posResources* table, int rows);
    // Whether a named argument is name.
    static bool Named(const PosArg& arg, const char* name);

    int32_t cursor_ = 0;
    int32_t cellCount_ = kMaxCells;
    uint16_t cells_[kMaxCells];
};
