// The numeric display (plug-in libovkdanum): two rows of 20 dot-matrix cells, each cell
// sent as 10 bytes of dot data.
#pragma once

#include "DSP.h"
#include "DSV.h"

enum : unsigned short { ANUMP_TYPE_ID = 4000, ANUMV_TYPE_ID = 4100 };

class ANUMP : public DSP {
public:
    enum { kRow1 = 1, kRow2 = 2, kSlots = 3, kCellsPerRow = 20, kCellBytes = 10,
           kRowBytes = 2 + kCellsPerRow * kCellBytes };

    ANUMP(const DeviceID& id, const unsigned char* name);
    ANUMP(const DeviceID& id, const char* name)
        : ANUMP(id, reinterpret_cast<const unsigned char*>(name)) {}
    ~ANUMP() override;

    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    int PowerOnResetInProgress() override;

    const unsigned char* GetRow(int row) const { return row == 2 ? row2_ : row1_; }

protected:
    unsigned char row1_[kRowBytes];
    unsigned char row2_[kRowBytes];
};

// All operations are those of DSV; 40 cells.
class ANUMV : public DSV {
public:
    enum { kCells = 40 };

    ANUMV(const DeviceID& id, int handle, const unsigned char* name);
    ANUMV(const DeviceID& id, int handle, const char* name)
        : ANUMV(id, handle, reinterpret_cast<const unsigned char*>(name)) {}
    ~ANUMV() override;
};
