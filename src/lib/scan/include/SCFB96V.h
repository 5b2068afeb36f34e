// The client's table-top scanner model 96: the base scanner resources plus the model's
// properties, each validated against its accepted values and coded into the 12-byte
// configure command. Models 97 and 98 derive from it.
#pragma once

#include <cstdint>

#include "SCV.h"
#include "ScanProperties.h"
#include "syresource.h"

class SCFB96V : public SCV {
public:
    SCFB96V(const DeviceID& id, int handle, const char* name = "SCFB96V");
    ~SCFB96V() override;

    int Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
             int count) override;
    int GetValues(PosArg* args, int count) override;
    int SetValuesCreation(PosArg* args, int count) override;
    void UpdateConfigData() override;

    // One configure-update operation per property, in table order.
    virtual void CnfgUpdateBarCodes1();
    virtual void CnfgUpdateBeepFreq();
    virtual void CnfgUpdateBeepVolume();
    virtual void CnfgUpdateBVolSwitchState();
    virtual void CnfgUpdateDecodeAlgorithm();
    virtual void CnfgUpdateDReadTimeout();
    virtual void CnfgUpdateLaserTimeout();
    virtual void CnfgUpdateBlinkLength();
    virtual void CnfgUpdateMotorTimeout();
    virtual void CnfgUpdateEAN13ScansPerRead();
    virtual void CnfgUpdateEAN8ScansPerRead();
    virtual void CnfgUpdateStoreScansPerRead();
    virtual void CnfgUpdateUPCAScansPerRead();
    virtual void CnfgUpdateUPCDScansPerRead();
    virtual void CnfgUpdateUPCEScansPerRead();
    virtual void CnfgUpdateUPCExpansion();
    virtual void CnfgUpdateVerifyPriceChk();
    // One validation per property, in table order: 0 or the property's error.
    virtual int ValidateBarCodes1(intptr_t v);
    virtual int ValidateBeepFreq(intptr_t v);
    virtual int ValidateBeepVolume(intptr_t v);
    virtual int ValidateBVolSwitchState(intptr_t v);
    virtual int ValidateDecodeAlgorithm(intptr_t v);
    virtual int ValidateDReadTimeout(intptr_t v);
    virtual int ValidateLaserTimeout(intptr_t v);
    virtual int ValidateBlinkLength(intptr_t v);
    virtual int ValidateMotorTimeout(intptr_t v);
    virtual int ValidateEAN13ScansPerRead(intptr_t v);
    virtual int ValidateEAN8ScansPerRead(intptr_t v);
    virtual int ValidateStoreScansPerRead(intptr_t v);
    virtual int ValidateUPCAScansPerRead(intptr_t v);
    virtual int ValidateUPCDScansPerRead(intptr_t v);
    virtual int ValidateUPCEScansPerRead(intptr_t v);
    virtual int ValidateUPCExpansion(intptr_t v);
    virtual int ValidateVerifyPriceChk(intptr_t v);

protected:
    using Property = ScanProperty<SCFB96V>;
    using PropertySet = ScanPropertySet<SCFB96V>;
    int LoadProperties(const PropertySet& set, const unsigned char* resourceName,
                       const unsigned char* className) {
        return LoadScanProperties(*this, set, resourceName, className);
    }
    int ValidateProperties(const PropertySet& set) { return ValidateScanProperties(*this, set); }
    int ApplyArguments(const PropertySet& set, PosArg* args, int count, bool store) {
        return ApplyScanArguments(*this, set, args, count, store);
    }
    void AnswerProperties(const PropertySet& set, PosArg* args, int count) {
        AnswerScanProperties(*this, set, args, count);
    }
    // Closes the device again after a failed open.
    void CloseAgain();

    // Scans-per-read codes: first rule n - 1 with 0 sent as 1; second rule 0 and 2 to 0,
    // 1 to 1, 3 to 2, 4 to 3.
    static int FirstRule(int32_t n) { return n == 0 ? 1 : n - 1; }
    static int SecondRule(int32_t n) { return n == 0 || n == 2 ? 0 : n == 1 ? 1 : n - 1; }
    // The code of a scans-per-read value by rule (1 or 2); model 97 takes its universal
    // value for 0.
    virtual int ScansCode(int32_t n, int rule);

    int32_t barCodes1_;
    int32_t beepFreq_ = 3;
    int32_t beepVolume_ = 3;
    int32_t bVolSwitchState_ = 1;
    int32_t decodeAlgorithm_ = 1;
    int32_t dReadTimeout_ = 0;
    int32_t laserTimeout_ = 15;
    int32_t blinkLength_ = 2;
    int32_t motorTimeout_ = 15;
    int32_t eAN13ScansPerRead_ = 2;
    int32_t eAN8ScansPerRead_ = 2;
    int32_t storeScansPerRead_ = 2;
    int32_t uPCAScansPerRead_ = 2;
    int32_t uPCDScansPerRead_ = 2;
    int32_t uPCEScansPerRead_ = 2;
    int32_t uPCExpansion_ = 0;
    int32_t verifyPriceChk_ = 0;

private:
    static const PropertySet& OwnProperties();
};
