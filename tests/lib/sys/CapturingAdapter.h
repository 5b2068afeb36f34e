// An RS-485 adapter of type 5 that sends nothing: it keeps every outgoing frame record and
// counts the send turns asked for, answering each with turnResult.
#pragma once

#include <vector>

#include "ADAPTER.h"

class CapturingAdapter : public ADAPTER {
public:
    explicit CapturingAdapter(const char* name = "CaptAdap", int slot = 1)
        : ADAPTER(slot, 5, reinterpret_cast<const unsigned char*>(name)) {}
    int CloseDD() override { return 0; }
    int OpenDD() override { return 0; }
    int Run(int, int) override { return 0; }
    int RequestBuffer() override {
        ++sendTurns;
        return turnResult;
    }
    int SendFrame(const unsigned char* record, int length) override {
        frames.emplace_back(record, record + length);
        return 0;
    }
    int Suspend() override { return 0; }
    int Resume() override { return 0; }

    std::vector<std::vector<unsigned char>> frames;
    int sendTurns = 0;
    int turnResult = 0;
};
