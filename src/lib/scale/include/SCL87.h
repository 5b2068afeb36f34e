// Scale model 87: no configure command, no extended status; it goes online on its EC level
// and answers a weight command with two status bytes and the digits.
#pragma once

#include "SCLP.h"
#include "SCLV.h"

enum : unsigned short { SCL87P_TYPE_ID = 31200, SCL87V_TYPE_ID = 31300 };

class SCL87P : public SCLP {
public:
    explicit SCL87P(const DeviceID& id, const char* name = "SCL87P");
    ~SCL87P() override;

    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    int PowerOnResetInProgress() override;
    int NewMsgRcvd(const unsigned char* data, int n) override;
};

class SCL87V : public SCLV {
public:
    SCL87V(const DeviceID& id, int handle, const char* name = "SCL87V");
    ~SCL87V() override;
    void UpdateConfigData() override;
};
