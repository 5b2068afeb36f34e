// Hand-held scanner model 20 on the link: a 2-byte configure command (slot 7), head-beep
// disable and enable (slots 11 and 12), replies of three status bytes (then the EC level
// when announced, then label data), an empty record for a scan without label, and a reject
// counter that falls back to the default configuration after three rejections.
#pragma once

#include "SCP.h"

enum : unsigned short {
    SCHH20P_TYPE_ID = 34400,
    SCHH20V_TYPE_ID = 34500,
};

enum {
    SCHH20_SLOT_HEAD_BEEP_OFF = 11, // 21
    SCHH20_SLOT_HEAD_BEEP_ON = 12,  // 20
};

class SCHH20P : public SCP {
public:
    enum { kConfigureLength = 2 };
    static const unsigned char kDefaultConfigure[kConfigureLength];

    explicit SCHH20P(const DeviceID& id, const char* name = "SCHH20P");
    ~SCHH20P() override;

    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    int SequenceResetInProgress(const unsigned char* data, int n) override;
    // More than 1 s since the reset began.
    bool ScannerResetComplete() override;
    int NewMsgRcvd(const unsigned char* data, int n) override;

    const unsigned char* Configure() const { return configure_; }
    int32_t Rejections() const { return rejects_; }

protected:
    unsigned char configure_[kConfigureLength];
    int32_t rejects_ = 0;
};
