// The reader of track 2 and the JIS track. Its EC-level request is 81 00; the reader's
// messages carry no confirmation, so any message confirms the command outstanding.
#pragma once

#include "MSP.h"

class MSJTKP : public MSP {
public:
    explicit MSJTKP(const DeviceID& id, const char* name = "MSJTKP");
    ~MSJTKP() override;

    int NewMsgRcvd(const unsigned char* msg, int length) override;
    int PowerOnResetInProgress() override;
};
