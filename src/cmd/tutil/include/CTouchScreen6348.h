// The model-6348 touch screen: builds the device access object for the configured
// connection, runs each operation as its sequence of device steps, keeps the last tone
// setting and passes the screen's status notifications on to its own observers.
#pragma once

#include "CTouch6348IoImp.h"
#include "CTouchScreen.h"

class CTouchScreen6348 : public CTouchScreen {
public:
    enum { MAX_FILENAME = 276 };
    enum { UNKNOWN_MODE = -1, NATIVE_MODE = 0, EMULATION_MODE = 1 };
    enum {
        TOUCH_NATIVE_SUCCESS = 1,
        TOUCH_EMULATE_SUCCESS = 2,
        TOUCH_RESTORE_SUCCESS = 3,
        TOUCH_CALIBRATE_SUCCESS = 4,
        TOUCH_POINT_SUCCESS = 5,
        TOUCH_POINT_FAIL = 6,
    };
    // Seconds the native-mode switch waits after the acquire.
    enum { NATIVE_SWITCH_DELAY = 4 };

    // Reads the connection type from the configuration in configDirectory; only RS485 has
    // a device access object.
    CTouchScreen6348(const char* resourceFile, const char* configDirectory,
                     const char* applicationName);
    CTouchScreen6348();
    ~CTouchScreen6348() override;
    CTouchScreen6348(const CTouchScreen6348&) = delete;
    CTouchScreen6348& operator=(const CTouchScreen6348&) = delete;

    void Update() override;
    int SwitchToMode(int mode) override;
    int GetToneDisabled() override;
    int GetToneExitClick() override;
    int GetToneEntryClick() override;
    int SetToneDisabled(bool on) override;
    int SetToneExitClick(bool on) override;
    int SetToneEntryClick(bool on) override;
    int Calibrate() override;
    int RestoreDefaults() override;
    int CloseDevice() override;
    bool IsDeviceReady() override;
    void ForceTerminate() override;
    int GetCurrentMode() override;
    bool AddObserver(Observer* observer) override;
    bool DeleteObserver(Observer* observer) override;

    // The device access object (none without an implementation for the connection).
    CTouch6348IoImp* GetTouchIo() const { return m_pTouchIo; }

private:
    bool Step(int rc) const;
    int Fail();
    void ReleaseAfterFailure();
    // Open, acquire, the tone request, close; the caches follow on success.
    int SetTone(int (CTouch6348IoImp::*set)(bool), bool on, bool entry, bool exit,
                bool disabled, const char* function);
    int GetTone(bool (CTouch6348IoImp::*get)(), bool& cache);

    CTouch6348IoImp* m_pTouchIo = nullptr;
    char m_szConfigDir[MAX_FILENAME] = {};
    char m_szResourceFile[MAX_FILENAME] = {};
    char m_szAppName[MAX_FILENAME] = {};
};
