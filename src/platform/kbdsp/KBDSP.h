// The system-board keyboard as a stand-in: the keyboard the planar sniffer finds behind the
// keyboard driver node. It has no link: it is online once made, answers every keyboard
// request with 0 and records it (keeping the lights of request 24), and gives no key input.
#pragma once

#include <cstdint>
#include <vector>

#include "KBP.h"

class KBDSP : public KBP {
public:
    explicit KBDSP(const DeviceID& id, const char* name = "KBDSP");
    ~KBDSP() override;

    // Online with the first open (the planar sniffer's).
    int Open(const VDEV* vdev) override;
    // No link: nothing comes in, no timers run.
    int ProcessInput(const unsigned char* data, int length) override;
    void ProcessOutput(long nowMs) override;
    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    int NewMsgRcvd(const unsigned char* data, int n) override;

    // The keyboard requests so far (the newest kRequestLimit) and the lights of request 24.
    static constexpr size_t kRequestLimit = 1024;
    const std::vector<int>& Requests() const { return requests_; }
    int32_t ConsoleLights() const { return consoleLights_; }

private:
    std::vector<int> requests_;
    int32_t consoleLights_ = 0;
};
