// The hand-held scanner identifier at 0x4B: sends model 20's configure command and then,
// when the answer says it is not model 20, a configure command with a group only model 2
// knows; from the answers it has the core create model 1 (12200), 2 (12400) or 20 (34400).
// A rejected probe is sent once more before it counts.
#pragma once

#include <cstdint>

#include "Oracle.h"

enum : unsigned short { ORACLE_4B_TYPE_ID = 12600 };

class Oracle_4B : public Oracle {
public:
    enum State { NEW = 0, PROBING = 1, RETRYING = 2, MODEL_1 = 3, MODEL_2 = 4, MODEL_20 = 5 };
    static const unsigned char kModel20Probe[2];  // 31 80
    static const unsigned char kModel2Probe[6];   // 20 00 70 00 00 00

    explicit Oracle_4B(const DeviceID& id, const char* name = "SCORC_4B");
    ~Oracle_4B() override;

    int PowerOnResetInProgress() override;
    int ResetComplete() override;
    int SendAnyPendingMessage() override;
    int LastMsgLost(const unsigned char* data, int n) override;
    int NewMsgRcvd(const unsigned char* data, int n) override;

    // Added: the scanner's reset has settled (at least 2 s since it began).
    virtual bool ScannerResetComplete();

    int32_t State() const { return state_; }

protected:
    void Pend(const unsigned char* probe, int32_t length);
    // The state after an answer to the probe last sent (PROBING or RETRYING), and what to
    // send next.
    void Judge(const unsigned char* data, int n);

    int32_t state_ = NEW;
    int32_t sendTime_ = 0;
    int32_t resetTime_ = 0;
    bool sendTimeSet_ = false;
    bool resetTimeSet_ = false;
};
