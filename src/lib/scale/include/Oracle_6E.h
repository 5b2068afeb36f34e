// The scale identifier at 0x6E: asks the scale for its extended status (which only model 96
// understands) and, failing that, for its EC level, then has the core create the scale
// class of the answer (31400 for model 96, 31200 for model 87). Without an answer for 2 s
// it asks again.
#pragma once

#include <cstdint>

#include "Oracle.h"

enum : unsigned short { ORACLE_6E_TYPE_ID = 31600 };

class Oracle_6E : public Oracle {
public:
    enum State { NEW = 0, EXTENDED_SENT = 1, PROBING = 2, MODEL_87 = 3, MODEL_96 = 4 };

    explicit Oracle_6E(const DeviceID& id, const char* name = "SCORC_6E");
    ~Oracle_6E() override;

    int ResetComplete() override;
    int SendAnyPendingMessage() override;
    int LastMsgLost(const unsigned char* data, int n) override;
    int NewMsgRcvd(const unsigned char* data, int n) override;

    // Added: whether the probe has waited more than 2 s.
    virtual bool TimeToResetScale();

    int32_t State() const { return state_; }

protected:
    void ChooseNextProbe();

    int32_t state_ = NEW;
    int32_t sendTime_ = 0;
    bool sendTimeSet_ = false;
};
