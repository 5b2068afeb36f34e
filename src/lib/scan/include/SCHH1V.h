// The client's hand-held scanner models 1 and 2: the base scanner resources plus the bar-code
// group, the block-read mode with the label type of each block, check modulo and the
// D-touch mode, coded into the 6-byte configure command. Model 2 takes more groups and
// block types (code 128, code 93 and the supplemental types).
#pragma once

#include <cstdint>

#include "SCV.h"
#include "ScanProperties.h"

class SCHH1V : public SCV {
public:
    SCHH1V(const DeviceID& id, int handle, const char* name = "SCHH1V");
    ~SCHH1V() override;

    int Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
             int count) override;
    int GetValues(PosArg* args, int count) override;
    int SetValuesCreation(PosArg* args, int count) override;
    void UpdateConfigData() override;

    virtual void CnfgUpdateBarCodes1();
    virtual void CnfgUpdateBlockReadMode();
    virtual void CnfgUpdateBlock1Type();
    virtual void CnfgUpdateBlock2Type();
    virtual void CnfgUpdateBlock3Type();
    virtual void CnfgUpdateCheckModulo();
    virtual void CnfgUpdateDTouchMode();
    virtual int ValidateBarCodes1(intptr_t v);
    virtual int ValidateBlockReadMode(intptr_t v);
    virtual int ValidateBlock1Type(intptr_t v);
    virtual int ValidateBlock2Type(intptr_t v);
    virtual int ValidateBlock3Type(intptr_t v);
    virtual int ValidateCheckModulo(intptr_t v);
    virtual int ValidateDTouchMode(intptr_t v);

protected:
    using Property = ScanProperty<SCHH1V>;
    using PropertySet = ScanPropertySet<SCHH1V>;

    // The model's tables: the configure code of a group (-1 when the model does not take
    // it), whether a label type may be read in a block (1 to 3) under the group, and the
    // identifier byte of a block's label type.
    virtual int GroupCode(int32_t group) const;
    virtual bool TypeFits(int32_t group, int32_t type, int block) const;
    virtual int BlockIdentifier(int32_t type) const;
    // The rules between properties: 0 or 5709.
    virtual int ValidateCombination() const;
    // Every property in table order, then the rules between them.
    int ValidateAll();
    int ValidateBlockType(intptr_t type, int block, int error) const;
    void CloseAgain();

    int32_t barCodes1_;
    int32_t blockReadMode_ = 1;
    int32_t block1Type_ = 0;
    int32_t block2Type_ = 0;
    int32_t block3Type_ = 0;
    int32_t checkModulo_ = 0;
    int32_t dTouchMode_ = 0;

private:
    static const PropertySet& OwnProperties();
};

class SCHH2V : public SCHH1V {
public:
    SCHH2V(const DeviceID& id, int handle, const char* name = "SCHH2V");
    ~SCHH2V() override;

protected:
    int GroupCode(int32_t group) const override;
    bool TypeFits(int32_t group, int32_t type, int block) const override;
    int BlockIdentifier(int32_t type) const override;
    int ValidateCombination() const override;
};
