// The client's hand-held scanner model 20: the base scanner resources plus four bar-code
// groups and the interleaved 2 of 5 length, coded into the 2-byte configure command.
#pragma once

#include <cstdint>

#include "SCV.h"
#include "ScanProperties.h"

class SCHH20V : public SCV {
public:
    SCHH20V(const DeviceID& id, int handle, const char* name = "SCHH20V");
    ~SCHH20V() override;

    int Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
             int count) override;
    int GetValues(PosArg* args, int count) override;
    int SetValuesCreation(PosArg* args, int count) override;
    void UpdateConfigData() override;

    virtual void CnfgUpdateBarCodes();
    virtual void CnfgUpdateITFLength1();
    virtual int ValidateBarCodes1(intptr_t v);
    virtual int ValidateBarCodes2(intptr_t v);
    virtual int ValidateBarCodes3(intptr_t v);
    virtual int ValidateBarCodes4(intptr_t v);
    virtual int ValidateITFLength1(intptr_t v);
    // The configure code of a group (0 for none or one the model does not take).
    virtual int SetCnfgValueBarCodesX(int32_t group);

protected:
    using Property = ScanProperty<SCHH20V>;
    using PropertySet = ScanPropertySet<SCHH20V>;
    int ValidateAll();
    bool AnyInterleaved() const;
    void CloseAgain();

    int32_t barCodes1_;
    int32_t barCodes2_;
    int32_t barCodes3_ = 0;
    int32_t barCodes4_ = 0;
    int32_t iTFLength1_ = 0;

private:
    static const PropertySet& OwnProperties();
};
