// Table-top scanner model 87: no configure command; it answers with status bytes (status 1
// bit 0: ready), goes online on its EC level, and reports not ready for a while after a
// power-on. Its client class pushes the base state without a configure command.
#pragma once

#include "SCP.h"
#include "SCV.h"

enum : unsigned short { SCFB87P_TYPE_ID = 12700, SCFB87V_TYPE_ID = 12800 };

class SCFB87P : public SCP {
public:
    explicit SCFB87P(const DeviceID& id, const char* name = "SCFB87P");
    ~SCFB87P() override;

    bool ScannerResetComplete() override;
    int PowerOnResetInProgress() override;
    int NewMsgRcvd(const unsigned char* data, int n) override;

    bool PowerOnSeen() const { return TestStatusBits(SCP_POWER_ON_SEEN); }
};

class SCFB87V : public SCV {
public:
    SCFB87V(const DeviceID& id, int handle, const char* name = "SCFB87V");
    ~SCFB87V() override;

    void UpdateConfigData() override;
    // Steps 1 to 4 of the base push (12801 on error).
    int UpdatePDEVState() override;
};
