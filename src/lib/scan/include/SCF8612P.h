// Scanner models 8612 and 8634 on the link: a 10-byte configure command (slot 7) and no
// configuration read-back. Replies carry three status bytes, then the EC level when
// announced, then label data.
#pragma once

#include "SCP.h"

enum : unsigned short {
    SCF8612P_TYPE_ID = 12900,
    SCF8612V_TYPE_ID = 13000,
    SCF8634P_TYPE_ID = 13200,
    SCF8634V_TYPE_ID = 13300,
};

class SCF8612P : public SCP {
public:
    enum { kConfigureLength = 10 };
    static const unsigned char kDefaultConfigure[kConfigureLength];

    explicit SCF8612P(const DeviceID& id, const char* name = "SCF8612P");
    ~SCF8612P() override;

    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    bool ScannerResetComplete() override;
    int NewMsgRcvd(const unsigned char* data, int n) override;

    const unsigned char* Configure() const { return configure_; }

protected:
    unsigned char configure_[kConfigureLength];
};

class SCF8634P : public SCF8612P {
public:
    explicit SCF8634P(const DeviceID& id, const char* name = "SCF8634P");
    ~SCF8634P() override;
};
