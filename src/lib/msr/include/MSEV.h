// The virtual reader of a reader with an encoder: Write encodes tracks through the
// physical reader; the reader's answer comes back as the write-success or write-failed
// event.
#pragma once

#include <cstdint>

#include "MSV.h"

class MSEV : public MSV {
public:
    MSEV(const DeviceID& id, int handle, const unsigned char* name);
    MSEV(const DeviceID& id, int handle, const char* name = "MSEV")
        : MSEV(id, handle, reinterpret_cast<const unsigned char*>(name)) {}
    ~MSEV() override;

    int Write(const void* buffer, unsigned int length, int& count) override;
    int TellVirt(const PDEV* from, int message, unsigned char* data, int length) override;
    int SetValues(PosArg* args, int count) override;
    int GetValues(PosArg* args, int count) override;

    int32_t EncodeTimeout() const { return encodeTimeout_; }

    // The most data one write carries (the length travels in one byte).
    static constexpr unsigned int kMaxWrite = 255;

protected:
    int32_t encodeTimeout_ = 100;
};
