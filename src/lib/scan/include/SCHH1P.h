// Hand-held scanner models 1 and 2 on the link: a 6-byte configure command (slot 7), replies
// of two status bytes (then, when announced, two bytes of which the second is the EC level,
// then label data), block reads of up to three labels as one scan, an empty record for a
// scan without label, and a reject counter that falls back to the default configuration
// after three rejections. Model 2 sends its disable, enable and beep commands as 2 bytes.
#pragma once

#include "SCP.h"

enum : unsigned short {
    SCHH1P_TYPE_ID = 12200,
    SCHH1V_TYPE_ID = 12300,
    SCHH2P_TYPE_ID = 12400,
    SCHH2V_TYPE_ID = 12500,
};

class SCHH1P : public SCP {
public:
    enum { kConfigureLength = 6 };
    static const unsigned char kDefaultConfigure[kConfigureLength];
    // The pause after a label that disabled the scanner (auto-disable).
    static constexpr int32_t kAutoDisablePauseMs = 250;

    explicit SCHH1P(const DeviceID& id, const char* name = "SCHH1P");
    ~SCHH1P() override;

    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    int PowerOnResetInProgress() override;
    int NewMsgRcvd(const unsigned char* data, int n) override;

    const unsigned char* Configure() const { return configure_; }
    int32_t Rejections() const { return rejects_; }
    bool PowerOnSeen() const { return TestStatusBits(SCP_POWER_ON_SEEN); }

protected:
    unsigned char configure_[kConfigureLength];
    int32_t rejects_ = 0;
};

class SCHH2P : public SCHH1P {
public:
    explicit SCHH2P(const DeviceID& id, const char* name = "SCHH2P");
    ~SCHH2P() override;
};
