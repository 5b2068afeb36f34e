// The touch screen's device access: the operations that the facade runs on the screen.
// Each sets the result code to RC_SUCCESS, RC_OFFLINE or the client library's error code.
#pragma once

#include <atomic>

#include "Observer.h"

class CTouch6348IoImp : public Observable {
public:
    enum { RC_SUCCESS = 0, RC_FAIL = 1, RC_OFFLINE = -2 };
    enum { UNKNOWN_MODE = -1, NATIVE_MODE = 0, EMULATION_MODE = 1 };
    enum {
        TOUCH_NATIVE_SUCCESS = 1,
        TOUCH_EMULATE_SUCCESS = 2,
        TOUCH_RESTORE_SUCCESS = 3,
        TOUCH_CALIBRATE_SUCCESS = 4,
        TOUCH_POINT_SUCCESS = 5,
        TOUCH_POINT_FAIL = 6,
    };

    CTouch6348IoImp() = default;
    ~CTouch6348IoImp() override = default;

    virtual int Init6348Device(char* applicationName, char* resourceFile, int tries) = 0;
    virtual int SwitchToMode(int mode) = 0;
    virtual bool Get6348ToneDisabled() = 0;
    virtual bool Get6348ToneExitClick() = 0;
    virtual bool Get6348ToneEntryClick() = 0;
    virtual int Set6348ToneDisabled(bool on) = 0;
    virtual int Set6348ToneExitClick(bool on) = 0;
    virtual int Set6348ToneEntryClick(bool on) = 0;
    virtual int Restore6348Defaults() = 0;
    virtual int Calibrate6348Device() = 0;
    virtual int Close6348Device() = 0;
    virtual int Acquire6348Device() = 0;
    virtual int Open6348Device() = 0;
    virtual int GetCurrentMode() = 0;
    virtual int SetCurrentMode(int mode) = 0;

    // The result of the last operation.
    int GetRc() const { return m_nRc; }
    void SetRc(int rc) { m_nRc = rc; }
    // Destruction then waits a fixed time for the monitor thread instead of joining it.
    void SetForceTerminate() { m_fForceTerminate = true; }

protected:
    std::atomic<int> m_nRc{RC_SUCCESS};
    std::atomic<bool> m_fForceTerminate{false};
};
