// The operator display (plug-in libovkdoper): two rows of 20 characters with seven
// user-defined characters and a euro sign.
#pragma once

#include "DSP.h"
#include "DSV.h"
#include "DspRowInFlight.h"
#include "DspUserChars.h"

enum : unsigned short { OPERP_TYPE_ID = 4200, OPERV_TYPE_ID = 4300 };

class OPERP : public DSP {
public:
    enum { kRow1 = 1, kRow2 = 2, kEuro = 3, kFirstPattern = 4, kSlots = 11, kRowBytes = 22 };

    OPERP(const DeviceID& id, const unsigned char* name);
    OPERP(const DeviceID& id, const char* name)
        : OPERP(id, reinterpret_cast<const unsigned char*>(name)) {}
    ~OPERP() override;

    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    int LastMsgAcked() override;
    int LastMsgLost(const unsigned char* data, int n) override;
    int PowerOnResetInProgress() override;
    int SendAnyPendingMessage() override;

    const unsigned char* GetRow(int row) const { return row == 2 ? row2_ : row1_; }
    const DspRowInFlight& GetRowInFlight() const { return inFlight_; }

protected:
    int UpdateText(DspTextRecord& record);

    unsigned char row1_[kRowBytes];
    unsigned char row2_[kRowBytes];
    unsigned char euro_[10];
    unsigned char patterns_[DspUserChars::kChars][10];
    DspRowInFlight inFlight_;
};

class OPERV : public DSV {
public:
    enum { kCells = 40 };

    OPERV(const DeviceID& id, int handle, const unsigned char* name);
    OPERV(const DeviceID& id, int handle, const char* name)
        : OPERV(id, handle, reinterpret_cast<const unsigned char*>(name)) {}
    ~OPERV() override;

    int AcquirePhysical() override;
    int IOCtl(int request, PosArg* args, int count, int& out) override;
    int Write(const void* buffer, unsigned int length, int& count) override;

    const unsigned char* GetText() const { return text_; }
    const DspUserChars& GetUserChars() const { return userChars_; }

protected:
    unsigned char MapByte(unsigned char byte) const;
    int SendText(int first, int count);
    int SendPatterns();

    unsigned char text_[kCells];
    DspUserChars userChars_;
};
