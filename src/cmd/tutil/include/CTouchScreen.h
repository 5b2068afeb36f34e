// The touch screen as the application holds it: observes the device access object and is
// observed by the application.
#pragma once

#include "Observer.h"

class CTouchScreen : public Observer, public Observable {
public:
    enum { RC_SUCCESS = 0, RC_FAIL = 1 };

    CTouchScreen() = default;
    ~CTouchScreen() override = default;

    void Update() override = 0;
    virtual int SwitchToMode(int mode) = 0;
    virtual int GetToneDisabled() = 0;
    virtual int GetToneExitClick() = 0;
    virtual int GetToneEntryClick() = 0;
    virtual int SetToneDisabled(bool on) = 0;
    virtual int SetToneExitClick(bool on) = 0;
    virtual int SetToneEntryClick(bool on) = 0;
    virtual int Calibrate() = 0;
    virtual int RestoreDefaults() = 0;
    virtual int CloseDevice() = 0;
    virtual bool IsDeviceReady() = 0;
    virtual void ForceTerminate() = 0;
    virtual int GetCurrentMode() = 0;

    // The last known tone setting.
    bool IsToneDisabled() const { return m_fToneDisabled; }
    bool IsToneEntryClick() const { return m_fToneEntryClick; }
    bool IsToneExitClick() const { return m_fToneExitClick; }
    int GetRc() const { return m_nRc; }

protected:
    bool m_fToneDisabled = false;
    bool m_fToneEntryClick = false;
    bool m_fToneExitClick = false;
    int m_nRc = RC_SUCCESS;
};
