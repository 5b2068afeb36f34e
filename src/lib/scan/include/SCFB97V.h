// The client's table-top scanner model 97: model 96's properties plus a second group of
// bar codes, interleaved 2 of 5 lengths, Japanese two-label decoding with its four flag
// pairs, and a universal scans-per-read value; the two-label flag configuration command.
// Model 98 derives from it.
#pragma once

#include "SCFB96V.h"

class SCFB97V : public SCFB96V {
public:
    enum { kFlagConfigureLength = 9 };

    SCFB97V(const DeviceID& id, int handle, const char* name = "SCFB97V");
    ~SCFB97V() override;

    int Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
             int count) override;
    int GetValues(PosArg* args, int count) override;
    int SetValuesCreation(PosArg* args, int count) override;
    void UpdateConfigData() override;
    // The base push, then the flag configuration (request 9; 34101 on error).
    int UpdatePDEVState() override;

    void CnfgUpdateDecodeAlgorithm() override;

    virtual void CnfgUpdateBarCodes2();
    virtual void CnfgUpdateITFLength1();
    virtual void CnfgUpdateITFLength2();
    virtual void CnfgUpdateJANTwoLabelDecode();
    virtual void CnfgUpdateTwoLabelFlagPairs();
    virtual int ValidateBarCodes2(intptr_t v);
    virtual int ValidateITFLength1(intptr_t v);
    virtual int ValidateITFLength2(intptr_t v);
    virtual int ValidateJANTwoLabelDecode(intptr_t v);
    // Pair 1 to 4 on its own: both bytes of two decimal digits each.
    virtual int ValidateTwoLabelFlagPair(int pair, intptr_t v);
    virtual int ValidateScansPerRead(intptr_t v);

    const unsigned char* FlagConfigureBuffer() const { return flagConfigure_; }

protected:
    // Whether the interleaved 2 of 5 lengths apply (barCodes2 names that group).
    virtual bool ItfApplies() const;
    // The checks that depend on other values: the lengths when they apply, the flag pairs
    // when two-label decoding is on.
    int ValidateDependent();
    int ScansCode(int32_t n, int rule) override;
    // Accepts any value: the dependent properties are checked by ValidateDependent.
    int AcceptAny(intptr_t) { return 0; }

    int32_t barCodes2_ = LGROUP_NONE;
    int32_t iTFLength1_ = 0;
    int32_t iTFLength2_ = 0;
    int32_t jANTwoLabelDecode_ = 0;
    int32_t twoLabelFlagPair1_ = 0x2122;
    int32_t twoLabelFlagPair2_ = 0x2128;
    int32_t twoLabelFlagPair3_ = 0x2129;
    int32_t twoLabelFlagPair4_ = 0x2122;
    // Pair 1 to 4.
    int32_t& Pair(int pair);
    int32_t scansPerRead_ = 2;
    unsigned char flagConfigure_[kFlagConfigureLength] = {};

private:
    static const PropertySet& OwnProperties();
};
