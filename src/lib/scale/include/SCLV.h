// The virtual side of every scale: what one client open gets. A read asks the scale for one
// weight (English or metric, by "weightMode") and returns it as an 8-byte record; acquire
// pushes the model's configure command.
#pragma once

#include <cstdint>

#include "VDEV.h"
#include "scaledefs.h"
#include "sylookup.h"

// "ENGLISH" 0, "METRIC" 1.
extern const posLookup posWtModeLookupTbl[];
extern const int posWtModeLookupRows;

class SCLV : public VDEV {
public:
    enum { kMaxConfigure = 4 };

    SCLV(const DeviceID& id, int handle, const char* name);
    ~SCLV() override;

    int AcquirePhysical() override;
    int GetValues(PosArg* args, int count) override;
    int Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
             int count) override;
    int Read(void* buffer, unsigned int length, int& count) override;
    int SetValuesCreation(PosArg* args, int count) override;

    // Added operations, in this order.
    virtual void UpdateConfigData() = 0;
    // Pushes the configure command (nothing without one; 31101 on error).
    virtual int UpdatePDEVState();
    virtual int ValidateWeightMode(intptr_t value);

    int32_t WeightMode() const { return weightMode_; }
    const unsigned char* ConfigureBuffer() const { return configure_; }
    int32_t ConfigureLength() const { return configureLength_; }

protected:
    int Tell(int request, unsigned char* data = nullptr, int length = 0);
    static bool Named(const PosArg& arg, const char* name);
    bool PhysicalConfirmed() const;

    int32_t weightMode_ = 0;
    int32_t configureLength_ = 0;
    unsigned char configure_[kMaxConfigure] = {};
};
