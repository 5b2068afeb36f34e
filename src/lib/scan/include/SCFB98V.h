// The client's table-top scanner model 98: model 97 with more bar-code groups (the UPC/EAN
// supplements, a third and fourth group), scans per read for Code 39, interleaved 2 of 5
// and Code 128, no beep frequency, and model 96's scans-per-read and decode rules.
#pragma once

#include "SCFB97V.h"

class SCFB98V : public SCFB97V {
public:
    SCFB98V(const DeviceID& id, int handle, const char* name = "SCFB98V");
    ~SCFB98V() override;

    int Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
             int count) override;
    int GetValues(PosArg* args, int count) override;
    int SetValuesCreation(PosArg* args, int count) override;
    void UpdateConfigData() override;

    void CnfgUpdateBarCodes1() override;
    void CnfgUpdateBeepFreq() override;
    void CnfgUpdateDecodeAlgorithm() override;
    int ValidateBarCodes1(intptr_t v) override;
    int ValidateBeepFreq(intptr_t v) override;
    int ValidateBarCodes2(intptr_t v) override;
    int ValidateScansPerRead(intptr_t v) override;

    virtual void CnfgUpdateCode39ScansPerRead();
    virtual void CnfgUpdateITFScansPerRead();
    virtual void CnfgUpdateCode128ScansPerRead();
    virtual void CnfgUpdateBarCodes3();
    virtual void CnfgUpdateBarCodes4();
    virtual int ValidateCode39ScansPerRead(intptr_t v);
    virtual int ValidateITFScansPerRead(intptr_t v);
    virtual int ValidateCode128ScansPerRead(intptr_t v);
    virtual int ValidateBarCodes3(intptr_t v);
    virtual int ValidateBarCodes4(intptr_t v);

protected:
    bool ItfApplies() const override;
    int ScansCode(int32_t n, int rule) override;
    // Adds a group's code to byte 1 bits 5-7 (Code 39 1, interleaved 2 of 5 2) or sets
    // byte 2 bit 1 (Code 128).
    void AddGroup(int32_t group);

    int32_t code39ScansPerRead_ = 2;
    int32_t iTFScansPerRead_ = 2;
    int32_t code128ScansPerRead_ = 2;
    int32_t barCodes3_ = LGROUP_NONE;
    int32_t barCodes4_ = LGROUP_NONE;

private:
    static const PropertySet& OwnProperties();
};
