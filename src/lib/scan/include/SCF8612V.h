// The client's scanner models 8612 and 8634: the base scanner resources plus the model's
// properties, coded into the 10-byte configure command. 8634 adds a second interleaved
// 2 of 5 length and takes fewer groups in "barCodes1".
#pragma once

#include <cstdint>

#include "SCV.h"
#include "ScanProperties.h"

class SCF8612V : public SCV {
public:
    SCF8612V(const DeviceID& id, int handle, const char* name = "SCF8612V");
    ~SCF8612V() override;

    int Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
             int count) override;
    int GetValues(PosArg* args, int count) override;
    int SetValuesCreation(PosArg* args, int count) override;
    void UpdateConfigData() override;

    virtual void CnfgUpdateBarCodes1();
    virtual void CnfgUpdateBarCodes2();
    virtual void CnfgUpdateITFLength1();
    virtual void CnfgUpdateBeepFreq();
    virtual void CnfgUpdateBeepVolume();
    virtual void CnfgUpdateBeepLength();
    virtual void CnfgUpdateDReadTimeout();
    virtual void CnfgUpdateLaserTimeout();
    virtual void CnfgUpdateMotorTimeout();
    virtual void CnfgUpdateLaserSwitchState();
    virtual void CnfgUpdateScansPerRead();
    virtual void CnfgUpdateBlinkLength();
    virtual int ValidateBarCodes1(intptr_t v);
    virtual int ValidateBarCodes2(intptr_t v);
    virtual int ValidateITFLength1(intptr_t v);
    virtual int ValidateBeepFreq(intptr_t v);
    virtual int ValidateBeepVolume(intptr_t v);
    virtual int ValidateBeepLength(intptr_t v);
    virtual int ValidateDReadTimeout(intptr_t v);
    virtual int ValidateLaserTimeout(intptr_t v);
    virtual int ValidateMotorTimeout(intptr_t v);
    virtual int ValidateLaserSwitchState(intptr_t v);
    virtual int ValidateScansPerRead(intptr_t v);
    virtual int ValidateBlinkLength(intptr_t v);

protected:
    using Property = ScanProperty<SCF8612V>;
    using PropertySet = ScanPropertySet<SCF8612V>;
    // The lengths that count only with interleaved 2 of 5: checked then, else set to 0.
    virtual int SettleItfLengths();
    int AcceptAny(intptr_t) { return 0; }
    void CloseAgain();

    int32_t barCodes1_;
    int32_t barCodes2_ = 0;
    int32_t iTFLength1_ = 0;
    int32_t beepFreq_ = 3;
    int32_t beepVolume_ = 3;
    int32_t beepLength_ = 0;
    int32_t dReadTimeout_ = 0;
    int32_t laserTimeout_ = 15;
    int32_t motorTimeout_ = 15;
    int32_t laserSwitchState_ = 0;
    int32_t scansPerRead_ = 2;
    int32_t blinkLength_ = 2;

private:
    static const PropertySet& OwnProperties();
};

class SCF8634V : public SCF8612V {
public:
    SCF8634V(const DeviceID& id, int handle, const char* name = "SCF8634V");
    ~SCF8634V() override;

    int Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
             int count) override;
    int GetValues(PosArg* args, int count) override;
    int SetValuesCreation(PosArg* args, int count) override;
    void UpdateConfigData() override;

    int ValidateBarCodes1(intptr_t v) override;
    virtual void CnfgUpdateITFLength2();
    virtual int ValidateITFLength2(intptr_t v);

protected:
    int SettleItfLengths() override;

    int32_t iTFLength2_ = 0;

private:
    static const PropertySet& OwnProperties();
};
