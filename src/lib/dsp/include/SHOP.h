// The shopper (customer) display (plug-in libovkdshop): one line of 12 characters with
// separator positions, and lights.
#pragma once

#include "DSP.h"
#include "DSV.h"

enum : unsigned short { SHOPP_TYPE_ID = 4500, SHOPV_TYPE_ID = 4600 };

class SHOPP : public DSP {
public:
    enum { kLine = 1, kSlots = 2, kChars = 12, kLineBytes = 2 + kChars };

    SHOPP(const DeviceID& id, const unsigned char* name);
    SHOPP(const DeviceID& id, const char* name)
        : SHOPP(id, reinterpret_cast<const unsigned char*>(name)) {}
    ~SHOPP() override;

    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    int PowerOnResetInProgress() override;

    const unsigned char* GetLine() const { return line_; }

    // The 12 characters of a line of 12 glyphs: separator cells 2, 4, 7 and 9 show only a
    // comma (cell 2) or a comma or period (cells 4, 7, 9) and otherwise drop out; commas
    // and periods elsewhere show as spaces; padded with spaces.
    static void FormatLine(const uint16_t* glyphs, unsigned char out[kChars]);

protected:
    unsigned char line_[kLineBytes];
};

class SHOPV : public DSV {
public:
    enum { kCells = 12 };

    SHOPV(const DeviceID& id, int handle, const unsigned char* name);
    SHOPV(const DeviceID& id, int handle, const char* name)
        : SHOPV(id, handle, reinterpret_cast<const unsigned char*>(name)) {}
    ~SHOPV() override;

    int GetValues(PosArg* args, int count) override;
    int Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
             int count) override;
    int SetValues(PosArg* args, int count) override;

    int32_t GetLights() const { return lights_; }

protected:
    // The lights travel to the physical device as the 13th cell.
    void StoreLights(int32_t value);

    int32_t lights_ = 0;
};
