// The console program's application: runs the device sequences on the touch-screen facade
// and waits for the screen's status notifications; shows the menu and the calibration
// screens.
#pragma once

#include <condition_variable>
#include <mutex>

#include "Observer.h"

class CCommandLineProcessor;
class CTouchGUIMenu;
class CTouchScreen6348;

class CTouchUtilConsoleApp : public Observer {
public:
    enum { RC_SUCCESS = 0, RC_FAIL = 1, RC_TIMEOUT = 2 };
    enum { TONE_DISABLED = 0, TONE_TOUCHDOWN = 1, TONE_LIFTOFF = 2 };
    enum { WAIT_DURATION = 12 };
    enum { NO_STATUS = -1 };
    static const char* const m_szConfFilePath;
    static const char* const m_szResFile;
    static const char* const m_szApplicationName;

    CTouchUtilConsoleApp();
    ~CTouchUtilConsoleApp() override;
    CTouchUtilConsoleApp(const CTouchUtilConsoleApp&) = delete;
    CTouchUtilConsoleApp& operator=(const CTouchUtilConsoleApp&) = delete;

    void Update() override;

    bool InitializeTouchScreen();
    void DisconnectTouchScreen();
    // Waits until a status came or WAIT_DURATION seconds passed; the status taken is
    // m_nLastStatus and the next wait starts afresh.
    int WaitForDeviceResponse();
    bool SwitchToNative();
    bool SwitchToEmulation();
    bool SendCalibrateCommandCX();
    bool RestoreDefaults();
    bool ResetTouchScreen();
    bool ConfigureTouchTone(int type);
    bool RestoreClickToneSetting();
    void AbortCalibration();
    void CalibrateTouchScreen();
    void ShowAppWithUI();
    bool IsScreenSizeSupported();
    void ForceShutDown();
    void SwitchOnNCursesMode();
    void SwitchOffNCursesMode();

    CCommandLineProcessor* m_pCmdLineProcessor = nullptr;

private:
    // Forgets any status before a request goes out, so that its answer is the one waited for.
    void ExpectStatus();
    // A request succeeded when its status came in time and is the one expected.
    bool WaitForStatus(int expected);
    void RefuseSmallScreen();

    CTouchGUIMenu* m_pMenu = nullptr;
    CTouchScreen6348* m_pTouchScreen = nullptr;
    int m_nTouchStatus = NO_STATUS;
    int m_nLastStatus = NO_STATUS;
    std::mutex m_mutex;
    std::condition_variable m_condition;
    bool m_fToneSaved = false;
    bool m_fToneEntryClick = false;
    bool m_fToneExitClick = false;
    bool m_fToneDisabled = false;
    bool m_fCursesOn = false;
};
