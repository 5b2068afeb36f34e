// A client's NVRAM: a stream of CRC-protected records (direct and sequential mode) or raw
// bytes (mode 222), with a cursor of its own per open. The physical device does the
// transfers (requests 1 to 3, 8 and 9).
#pragma once

#include <cstdint>

#include "VDEV.h"
#include "nvramdefs.h"

class NVV : public VDEV {
public:
    NVV(const DeviceID& id, int handle);
    ~NVV() override;

    // Resources, then the device's description: 4102 for a cursor outside the NVRAM, 4104
    // for an unknown mode (the device is closed again).
    int Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
             int count) override;
    int Write(const void* buffer, unsigned int length, int& count) override;
    int Read(void* buffer, unsigned int length, int& count) override;
    int SetValues(PosArg* args, int count) override;
    int SetValuesCreation(PosArg* args, int count) override;
    int GetValues(PosArg* args, int count) override;

    int32_t GetCursor() const { return cursor_; }
    int32_t GetMode() const { return mode_; }
    int32_t GetSize() const { return size_; }
    int32_t GetMaxDataLength() const { return maxData_; }

    // The end marker that follows each record in sequential mode.
    static constexpr unsigned char kEndMarker[4] = {0x14, 0x0A, 0xAA, 0xAA};

protected:
    static bool ValidMode(intptr_t mode) {
        return mode == NVRAM_MODE_DIRECT || mode == NVRAM_MODE_SEQUENTIAL || mode == NVRAM_MODE_RAW;
    }
    int Tell(int request, NvramRequest& record);

    int32_t cursor_ = 0;
    int32_t mode_ = NVRAM_MODE_DIRECT;
    int32_t size_ = 0x7FFFFFFF; // until the device answered
    int32_t maxData_ = 0;
    unsigned char vpd_[NVRAM_VPD_SIZE] = {};
};
