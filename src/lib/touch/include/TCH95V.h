// A client's touch screen: the 13 touch resources, their checks, the tone and mode
// requests, and value changes sent to the controller.
#pragma once

#include "TCHV.h"

class TCH95V : public TCHV {
public:
    TCH95V(const DeviceID& id, int handle);
    ~TCH95V() override;

    // Loads the resources, opens, and checks the 13 values in table order: the first
    // failing check closes again and gives its error.
    int Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
             int count) override;
    int IOCtl(int request, PosArg* args, int count, int& out) override;
    int GetValues(PosArg* args, int count) override;
    int SetValues(PosArg* args, int count) override;

    // Added operations, in this order: 0 or the resource's error code. Contrast and
    // brightness accept -1 (the controller's own value) besides their ranges.
    virtual int ValidateToneFrequency(int value);
    virtual int ValidateToneVolume(int value);
    virtual int ValidateToneDuration(int value);
    virtual int ValidateBackLightOnEvent(int value);
    virtual int ValidateMode(int value);
    virtual int ValidateEntryClick(int value);
    virtual int ValidateExitClick(int value);
    virtual int ValidateClickVolume(int value);
    virtual int ValidateContrast(int value);
    virtual int ValidateScreenSaverTime(int value);
    virtual int ValidateMaxX(int value);
    virtual int ValidateMaxY(int value);
    virtual int ValidateBrightness(int value);

private:
    // The check of field i of the settings record.
    int Validate(int field, int value);
    // Asks the physical device; 317 when none is attached.
    int Tell(int request, TCHRES& record);
};
