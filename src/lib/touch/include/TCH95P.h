// The touch controller of the integrated touch display at 0x5C: configure, tone,
// brightness, backlight and firmware code-update commands, device information, touch
// records and controller errors.
#pragma once

#include <cstdint>

#include "TCHP.h"

class VDEV;

// Command slots.
enum {
    TCH95P_SLOT_CODE_UPDATE = 4,  // 22 len data
    TCH95P_SLOT_BRIGHTNESS_REQUEST = 7, // 27
    TCH95P_SLOT_BRIGHTNESS = 8,   // 26 01 b
    TCH95P_SLOT_CONFIGURE = 10,   // 21 flags contrast 00
    TCH95P_SLOT_TONE = 13,        // 13 flags duration
    TCH95P_SLOT_BACKLIGHT = 15,   // 24 mode time-high time-low
};

// Commands (tchScheduleCmdMsg) besides the base's 0 and 2.
enum {
    TCH95P_CMD_CODE_UPDATE = 4,
    TCH95P_CMD_BRIGHTNESS_REQUEST = 7,
    TCH95P_CMD_BRIGHTNESS = 8,
    TCH95P_CMD_CONFIGURE = 10,
    TCH95P_CMD_TONE = 13,
    TCH95P_CMD_BACKLIGHT = 15,
    TCH95P_CMD_BACKLIGHT_ON_EVENT = 32, // one part of the configure command each
    TCH95P_CMD_MODE = 33,
    TCH95P_CMD_CLICK_VOLUME = 34,
    TCH95P_CMD_ENTRY_CLICK = 35,
    TCH95P_CMD_EXIT_CLICK = 36,
    TCH95P_CMD_CONTRAST = 37,
};

// Configure flags.
enum : unsigned char {
    TCH_CFG_BACKLIGHT_ON_EVENT = 0x80,
    TCH_CFG_MODE_MASK = 0x70,
    TCH_CFG_CLICK_VOLUME_HIGH = 0x08,
    TCH_CFG_ENTRY_CLICK = 0x04,
    TCH_CFG_EXIT_CLICK = 0x02,
    TCH_CFG_ALWAYS = 0x01,
};

class TCH95P : public TCHP {
public:
    explicit TCH95P(const DeviceID& id);
    TCH95P(const DeviceID& id, const char* name);
    ~TCH95P() override;

    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    int NewMsgRcvd(const unsigned char* data, int n) override;
    int ResetComplete() override;
    // -1 when no slot is pending; else the base's sender, which pauses 250 ms before a
    // command that goes out.
    int SendAnyPendingMessage() override;
    void tchScheduleCmdMsg(int command, TCHRES* settings) override;
    int tchSkipThisCmdMsg(int slot) override;

    // Added operations, in this order.
    // Commands 10, 8 and 15 from the settings (the default record when null), and the tone
    // from the default record.
    virtual void tchScheduleSetup(TCHRES* settings);
    // The next code-update block into slot 4: 0, or -1 when the update is done.
    virtual int tchBuildCodeUpdateCmdMsg();
    virtual void tchCodeUpdateInit();

    // State, for diagnosis and tests.
    const TCHRES& DefaultSettings() const { return defaults_; }
    const unsigned char* ConfigureCommand() const { return configure_; }
    const unsigned char* ToneCommand() const { return tone_; }
    const unsigned char* BacklightCommand() const { return backlight_; }
    const unsigned char* BrightnessCommand() const { return brightnessAdjust_; }
    const unsigned char* CodeUpdateCommand() const { return codeUpdate_; }
    int32_t CodeUpdateLength() const { return slots_[TCH95P_SLOT_CODE_UPDATE].length; }
    const unsigned char* DeviceInformation() const { return deviceInfo_; }
    int32_t ScreenMaxX() const { return screenMaxX_; }
    int32_t ScreenMaxY() const { return screenMaxY_; }
    int32_t DeviceToneState() const { return deviceTone_; }
    uint32_t LastPoint() const { return lastPoint_; }

protected:
    // Whether sender holds this device.
    bool IsOwner(const VDEV* sender) const { return sender && owner_ == sender; }
    // The configure flags' mode bits for a mode value.
    static unsigned char ModeFlags(int32_t mode);
    // Asks for a send turn when the link is up and the controller confirmed; else 317.
    int RequestSendTurn();
    // Reads the firmware image for the controller's EC level; false when none is held.
    bool LoadCodeImage();
    void LogShortDeviceInformation(const unsigned char* data, int n);

    unsigned char brightnessAdjust_[3] = {0x26, 0x01, 0x00};
    unsigned char brightnessRequest_[1] = {0x27};
    unsigned char configure_[4] = {0x21, 0x00, 0x00, 0x00};
    unsigned char tone_[3] = {0x13, 0x00, 0x00};
    unsigned char backlight_[4] = {0x24, 0x00, 0x00, 0x00};
    unsigned char codeUpdate_[258] = {0x22};
    TCHRES defaults_{2, 1, 0, 0, 1, 0, 0, 1, -1, 1800, 1, 1, -1};
    uint32_t touchStatus_ = 0;
    uint32_t lastPoint_ = 0;
    int32_t screenMaxX_ = 1;
    int32_t screenMaxY_ = 1;
    uint8_t codeUpdateDone_ = 0;
    unsigned char* codeImage_ = nullptr;
    int32_t codeImageSize_ = 0;
    int32_t codeReadPosition_ = 0;
    int32_t deviceTone_ = 0;
    int32_t expectedTone_ = 0;
    unsigned char deviceInfo_[5] = {}; // type, id, features, command set, EC level
};
