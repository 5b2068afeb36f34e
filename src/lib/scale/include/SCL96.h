// Scale model 96: a 4-byte configure command with its 3-byte echo, the extended status,
// zero scale and clear remote display, and a reject counter that puts the default configure
// command back after three refusals. Its client class codes five properties and the weight
// mode into the configure command and serves the zero and clear-display requests.
#pragma once

#include "SCLP.h"
#include "SCLV.h"

enum : unsigned short { SCL96P_TYPE_ID = 31400, SCL96V_TYPE_ID = 31500 };

class SCL96P : public SCLP {
public:
    enum { kConfigureLength = 4, kEchoLength = 3 };
    static const unsigned char kDefaultConfigure[kConfigureLength];

    explicit SCL96P(const DeviceID& id, const char* name = "SCL96P");
    ~SCL96P() override;

    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    int ScaleWait(int request, int timeoutMs) override;
    int NewMsgRcvd(const unsigned char* data, int n) override;

    const unsigned char* Configure() const { return configure_; }
    int32_t Rejects() const { return rejects_; }

protected:
    unsigned char configure_[kConfigureLength];
    unsigned char echo_[kEchoLength] = {};
    int32_t rejects_ = 0;
};

class SCL96V : public SCLV {
public:
    SCL96V(const DeviceID& id, int handle, const char* name = "SCL96V");
    ~SCL96V() override;

    int Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
             int count) override;
    int GetValues(PosArg* args, int count) override;
    int SetValuesCreation(PosArg* args, int count) override;
    int IOCtl(int request, PosArg* args, int count, int& out) override;
    void UpdateConfigData() override;

    virtual void CnfgUpdateDisplayRequired();
    virtual void CnfgUpdateOperMode();
    virtual void CnfgUpdateVibrationFilter();
    virtual void CnfgUpdateZeroIndState();
    virtual void CnfgUpdateZeroRetState();
    virtual void CnfgUpdateWeightMode();
    virtual int ValidateDisplayRequired(intptr_t v);
    virtual int ValidateOperMode(intptr_t v);
    virtual int ValidateVibrationFilter(intptr_t v);
    virtual int ValidateZeroIndState(intptr_t v);
    virtual int ValidateZeroRetState(intptr_t v);

protected:
    struct Property {
        const char* name;
        const char* className;
        int32_t SCL96V::*field;
        int32_t defaultValue;
        const posLookup* table;
        int rows;
        int (SCL96V::*validate)(intptr_t);
    };
    static const Property kProperties[5];

    int32_t displayRequired_ = 1;
    int32_t operMode_ = 0;
    int32_t vibrationFilter_ = 1;
    int32_t zeroIndState_ = 1;
    int32_t zeroRetState_ = 0;
};
