// Table-top scanner model 97 on the link: model 96 plus the two-label flag configuration
// (slot 9) and its read-back (slot 11, an 8-byte flag echo). Model 98 derives from it.
#pragma once

#include "SCFB96P.h"

enum : unsigned short { SCFB97P_TYPE_ID = 34000, SCFB97V_TYPE_ID = 34100 };

class SCFB97P : public SCFB96P {
public:
    enum { kFlagConfigureLength = 9, kFlagEchoLength = 8 };
    static const unsigned char kDefaultFlagConfigure[kFlagConfigureLength];

    explicit SCFB97P(const DeviceID& id, const char* name = "SCFB97P");
    ~SCFB97P() override;

    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    int PowerOnResetInProgress() override;
    int NewMsgRcvd(const unsigned char* data, int n) override;

    const unsigned char* FlagConfigure() const { return flagConfigure_; }
    const unsigned char* FlagEcho() const { return flagEcho_; }

protected:
    unsigned char flagConfigure_[kFlagConfigureLength];
    unsigned char flagEcho_[kFlagEchoLength] = {};
};
