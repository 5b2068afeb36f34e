// The touch controller with calibration and modes: coordinate scaling, pass-through text
// commands (calibrate, restore defaults), native reporting or mouse emulation in the
// controller, a 12-byte touch report and status events. It shares the virtual device of
// TCH95P and sends no code update and no brightness commands.
#pragma once

#include <cstdint>

#include "TCH95P.h"

enum {
    TCHELOP_SLOT_SCALE_X = 11,
    TCHELOP_SLOT_SCALE_Y = 12,
    TCHELOP_SLOT_PASS_THROUGH = 14,
};

enum {
    TCHELOP_CMD_SCALE_X = 11,
    TCHELOP_CMD_SCALE_Y = 12,
    TCHELOP_CMD_CALIBRATE = 41,
    TCHELOP_CMD_RESTORE_DEFAULTS = 42,
    TCHELOP_CMD_NATIVE_MODE = 43,
    TCHELOP_CMD_EMULATION_MODE = 44,
};

// The operation whose outcome is still to be reported.
enum {
    TCHELOP_OP_NONE = 0,
    TCHELOP_OP_NATIVE = 1,
    TCHELOP_OP_EMULATION = 2,
    TCHELOP_OP_RESTORE = 3,
    TCHELOP_OP_CALIBRATE = 4,
};

class TCHELOP : public TCH95P {
public:
    explicit TCHELOP(const DeviceID& id);
    ~TCHELOP() override;

    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    int NewMsgRcvd(const unsigned char* data, int n) override;
    void tchScheduleCmdMsg(int command, TCHRES* settings) override;
    int tchSkipThisCmdMsg(int slot) override;
    void tchScheduleSetup(TCHRES* settings) override;

    int32_t PendingOperation() const { return pendingOperation_; }
    bool PassThroughDone() const { return passThroughDone_ != 0; }

private:
    // Posts the status event to the holder, if any.
    void PostStatus(uint32_t code);

    unsigned char scaleX_[9] = {0x33, 'S', 'X', 0x00, 0x00, 0x8F, 0x01, 0x00, 0x00};
    unsigned char scaleY_[9] = {0x33, 'S', 'Y', 0x3F, 0x01, 0x00, 0x00, 0x00, 0x00};
    unsigned char restoreDefaults_[5] = {0x43, 3, 0x01, 'R', 0x0D};
    unsigned char calibrate_[6] = {0x43, 4, 0x01, 'C', 'X', 0x0D};
    uint8_t passThroughDone_ = 0;
    int32_t pendingOperation_ = TCHELOP_OP_NONE;
};
