// The alphanumeric operator display (plug-in libovkdanop): two rows of 20 characters, lights,
// seven user-defined characters, and on some models code pages of its own. The display
// reports its type; liquid-crystal models are below 6, vacuum-fluorescent ones are 6 and
// 7, and those with selectable code pages (EC level above 15) become 246 and 247.
#pragma once

#include "DSP.h"
#include "DSV.h"
#include "DspRowInFlight.h"
#include "DspUserChars.h"
#include "sylookup.h"

struct NlsByteMap;

enum : unsigned short { ANOPP_TYPE_ID = 5200, ANOPV_TYPE_ID = 5300 };

// Display types.
enum : unsigned char { ANOP_TYPE_VFD = 6, ANOP_TYPE_VFD2 = 7, ANOP_TYPE_LCVFD = 246,
                       ANOP_TYPE_LCVFD2 = 247 };

// Code pages a display with code pages can select ("displayCodePage"), and the client code
// page each index stands for. -5 follows the client's code page.
extern const posLookup posDspCPLookupTbl[12];
extern const int cpNumbers[12];
enum { ANOP_CP_FOLLOW_CLIENT = -5 };

class ANOPP : public DSP {
public:
    enum { kConfigQuery = 1, kClearRow1 = 2, kClearRow2 = 3, kCodePage = 4, kRow1 = 5,
           kRow2 = 6, kLights = 7, kEuro = 8, kFirstPattern = 9, kSlots = 16, kRowBytes = 22 };

    ANOPP(const DeviceID& id, const unsigned char* name);
    ANOPP(const DeviceID& id, const char* name)
        : ANOPP(id, reinterpret_cast<const unsigned char*>(name)) {}
    ~ANOPP() override;

    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    int LastMsgAcked() override;
    int LastMsgLost(const unsigned char* data, int n) override;
    int NewMsgRcvd(const unsigned char* data, int n) override;
    int PowerOnResetInProgress() override;
    int SendAnyPendingMessage() override;

    const unsigned char* GetRow(int row) const { return row == 2 ? row2_ : row1_; }
    const unsigned char* GetLightsCommand() const { return lightsCmd_; }
    unsigned char GetConfiguration() const { return config_; }
    unsigned char GetDisplayType() const { return type_; }

protected:
    void MarkPending(int slot);

    unsigned char configQuery_[3] = {0x00, 0x00, 0x01};
    unsigned char clearRow1_[2] = {0x01, 0x28};
    unsigned char clearRow2_[2] = {0x02, 0x28};
    unsigned char codePageCmd_[2] = {0x41, 0x00};
    unsigned char row1_[kRowBytes];
    unsigned char row2_[kRowBytes];
    unsigned char lightsCmd_[5] = {0x21, 0, 0, 0, 0};
    unsigned char euro_[10];
    unsigned char patterns_[DspUserChars::kChars][10];
    unsigned char config_ = 0;
    unsigned char type_ = 0;
    unsigned char info_[2] = {}; // bytes 3 and 4 of the device information
    // Slots a client request made pending since they were last sent.
    uint32_t requested_ = 0;
    DspRowInFlight inFlight_;
};

class ANOPV : public DSV {
public:
    enum { kCells = 40 };

    ANOPV(const DeviceID& id, int handle, const unsigned char* name);
    ANOPV(const DeviceID& id, int handle, const char* name)
        : ANOPV(id, handle, reinterpret_cast<const unsigned char*>(name)) {}
    ~ANOPV() override;

    int AcquirePhysical() override;
    int GetValues(PosArg* args, int count) override;
    int IOCtl(int request, PosArg* args, int count, int& out) override;
    int Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
             int count) override;
    int SetValues(PosArg* args, int count) override;
    int Write(const void* buffer, unsigned int length, int& count) override;

    const unsigned char* GetText() const { return text_; }
    int32_t GetLights() const { return lights_; }
    int32_t GetCodePageIndex() const { return cpIndex_; }
    unsigned char GetDisplayType() const { return type_; }
    const NlsByteMap* GetMap() const { return map_; }
    // The code-page selection byte sent to the display.
    unsigned char SelectionByte() const;

protected:
    bool SelectsCodePages() const { return type_ == ANOP_TYPE_LCVFD || type_ == ANOP_TYPE_LCVFD2; }
    bool HasCodePages() const;
    bool DoubleByte() const;
    unsigned char MapByte(unsigned char byte) const;
    int SendText(int first, int count, bool text, bool lights);
    int SendPatterns();
    int SendSelection();

    unsigned char text_[kCells];
    DspUserChars userChars_;
    int32_t lights_ = 0;
    int32_t cpIndex_ = ANOP_CP_FOLLOW_CLIENT;
    unsigned char type_ = 0;
    const NlsByteMap* map_ = nullptr;
    bool singleByte_ = false; // a double-byte client treated as single-byte
};
