// The console program's application.
#include "CTouchUtilConsoleApp.h"

#include <curses.h>

#include <chrono>

#include "CCalibrationGUI.h"
#include "CCommandLineProcessor.h"
#include "CLogManager.h"
#include "CResourceFileConfig.h"
#include "CTouchGUIMenu.h"
#include "CTouchScreen6348.h"
#include "ConsoleShutdown.h"
#include "TutilPath.h"

const char* const CTouchUtilConsoleApp::m_szConfFilePath = "/var/lib/misc";
const char* const CTouchUtilConsoleApp::m_szResFile = "/var/lib/misc/ovksys.res";
const char* const CTouchUtilConsoleApp::m_szApplicationName = "LinuxTouchConsoleUtility";

namespace {
void Log(const char* message, const char* function) { CLogManager::WriteToLogFile(message, function); }
// The wait for a status looks at the termination flag this often.
const auto kWaitSlice = std::chrono::milliseconds(100);
} // namespace

CTouchUtilConsoleApp::CTouchUtilConsoleApp() {
    const char* fn = "CTouchUtilConsoleApp Constructor";
    CLogManager::WriteToLogFile(m_szConfFilePath, "Entry", fn);
    m_pTouchScreen = new CTouchScreen6348(m_szResFile, m_szConfFilePath, m_szApplicationName);
    Log("Exit", fn);
}

CTouchUtilConsoleApp::~CTouchUtilConsoleApp() {
    const char* fn = "CTouchUtilConsoleApp Destructor";
    Log("Entry", fn);
    SwitchOffNCursesMode();
    if (m_pTouchScreen) {
        DisconnectTouchScreen();
        delete m_pTouchScreen;
        m_pTouchScreen = nullptr;
    }
    delete m_pMenu;
    m_pMenu = nullptr;
    delete m_pCmdLineProcessor;
    m_pCmdLineProcessor = nullptr;
    Log("Exit", fn);
}

void CTouchUtilConsoleApp::Update() {
    const char* fn = "CTouchUtilConsoleApp::Update()";
    Log("Entry", fn);
    {
        std::lock_guard<std::mutex> g(m_mutex);
        m_nTouchStatus = m_pTouchScreen->GetState();
    }
    m_condition.notify_all();
    Log("Exit", fn);
}

bool CTouchUtilConsoleApp::InitializeTouchScreen() {
    return m_pTouchScreen && m_pTouchScreen->IsDeviceReady() && m_pTouchScreen->AddObserver(this);
}

void CTouchUtilConsoleApp::DisconnectTouchScreen() {
    if (m_pTouchScreen) m_pTouchScreen->DeleteObserver(this);
}

void CTouchUtilConsoleApp::ExpectStatus() {
    std::lock_guard<std::mutex> g(m_mutex);
    m_nTouchStatus = NO_STATUS;
}

int CTouchUtilConsoleApp::WaitForDeviceResponse() {
    const char* fn = "CTouchUtilConsoleApp::WaitForDeviceResponse()";
    Log("Entry", fn);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(WAIT_DURATION);
    std::unique_lock<std::mutex> lock(m_mutex);
    // A status that came before the wait began counts; a spurious wake-up does not end it.
    while (m_nTouchStatus == NO_STATUS && !consoleShutdown::Requested()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) break;
        m_condition.wait_until(lock, std::min(deadline, now + kWaitSlice));
    }
    m_nLastStatus = m_nTouchStatus;
    m_nTouchStatus = NO_STATUS;
    lock.unlock();
    consoleShutdown::Check();
    const int rc = m_nLastStatus == NO_STATUS ? RC_TIMEOUT : RC_SUCCESS;
    Log(rc == RC_TIMEOUT ? "Error: Time out" : "Receive device Response", fn);
    Log("Exit", fn);
    return rc;
}

bool CTouchUtilConsoleApp::WaitForStatus(int expected) {
    return WaitForDeviceResponse() == RC_SUCCESS && m_nLastStatus == expected;
}

bool CTouchUtilConsoleApp::SwitchToNative() {
    const char* fn = "CTouchUtilConsoleApp::SwitchToNative()";
    Log("Entry", fn);
    ExpectStatus();
    bool ok;
    if (m_pTouchScreen->SwitchToMode(CTouchScreen6348::NATIVE_MODE) != CTouchScreen6348::RC_SUCCESS) {
        if (m_pTouchScreen->GetCurrentMode() == CTouchScreen6348::NATIVE_MODE) {
            RestoreDefaults();
            SwitchToEmulation();
        }
        ok = false;
    } else {
        ok = WaitForStatus(CTouchScreen6348::TOUCH_NATIVE_SUCCESS);
    }
    Log("Exit", fn);
    return ok;
}

bool CTouchUtilConsoleApp::SwitchToEmulation() {
    const char* fn = "CTouchUtilConsoleApp::SwitchToEmulation()";
    Log("Entry", fn);
    ExpectStatus();
    const bool ok = m_pTouchScreen->SwitchToMode(CTouchScreen6348::EMULATION_MODE) == CTouchScreen6348::RC_SUCCESS &&
                    WaitForStatus(CTouchScreen6348::TOUCH_EMULATE_SUCCESS);
    Log("Exit", fn);
    return ok;
}

bool CTouchUtilConsoleApp::SendCalibrateCommandCX() {
    const char* fn = "CTouchUtilConsoleApp::SendCalibrateCommandCX()";
    Log("Entry", fn);
    ExpectStatus();
    const bool ok = m_pTouchScreen->Calibrate() == CTouchScreen6348::RC_SUCCESS &&
                    WaitForStatus(CTouchScreen6348::TOUCH_CALIBRATE_SUCCESS);
    Log("Exit", fn);
    return ok;
}

bool CTouchUtilConsoleApp::RestoreDefaults() {
    ExpectStatus();
    return m_pTouchScreen->RestoreDefaults() == CTouchScreen6348::RC_SUCCESS &&
           WaitForStatus(CTouchScreen6348::TOUCH_RESTORE_SUCCESS);
}

bool CTouchUtilConsoleApp::ConfigureTouchTone(int type) {
    int rc;
    switch (type) {
    case TONE_DISABLED: rc = m_pTouchScreen->SetToneDisabled(true); break;
    case TONE_TOUCHDOWN: rc = m_pTouchScreen->SetToneEntryClick(true); break;
    case TONE_LIFTOFF: rc = m_pTouchScreen->SetToneExitClick(true); break;
    default: return false;
    }
    if (rc != CTouchScreen6348::RC_SUCCESS) return false;
    bool entry = m_pTouchScreen->IsToneEntryClick();
    bool exit = m_pTouchScreen->IsToneExitClick();
    bool disabled = m_pTouchScreen->IsToneDisabled();
    CResourceFileConfig resources(m_szResFile);
    resources.SetTouchToneConfig(entry, exit, disabled);
    m_fToneSaved = true;
    m_fToneDisabled = m_pTouchScreen->IsToneDisabled();
    m_fToneEntryClick = m_pTouchScreen->IsToneEntryClick();
    m_fToneExitClick = m_pTouchScreen->IsToneExitClick();
    return resources.GetError() == CResourceFileConfig::RC_SUCCESS;
}

bool CTouchUtilConsoleApp::RestoreClickToneSetting() {
    if (!m_fToneSaved) return true;
    if (m_fToneDisabled) return ConfigureTouchTone(TONE_DISABLED);
    if (m_fToneEntryClick) return ConfigureTouchTone(TONE_TOUCHDOWN);
    if (m_fToneExitClick) return ConfigureTouchTone(TONE_LIFTOFF);
    return true;
}

void CTouchUtilConsoleApp::AbortCalibration() {
    if (m_pTouchScreen->GetCurrentMode() == CTouchScreen6348::NATIVE_MODE) {
        RestoreDefaults();
        SwitchToEmulation();
    }
    if (m_pTouchScreen->CloseDevice() == CTouchScreen6348::RC_SUCCESS) RestoreClickToneSetting();
}

bool CTouchUtilConsoleApp::ResetTouchScreen() {
    if (!SwitchToNative()) {
        m_pTouchScreen->CloseDevice();
        return false;
    }
    if (!RestoreDefaults()) {
        SwitchToEmulation();
        m_pTouchScreen->CloseDevice();
        return false;
    }
    if (!SwitchToEmulation()) {
        m_pTouchScreen->CloseDevice();
        return false;
    }
    if (m_pTouchScreen->CloseDevice() != CTouchScreen6348::RC_SUCCESS) return false;
    // A reset leaves the click tone disabled, on the device and in the resource file.
    return ConfigureTouchTone(TONE_DISABLED);
}

bool CTouchUtilConsoleApp::IsScreenSizeSupported() { return stdscr && LINES >= 25 && COLS >= 80; }

void CTouchUtilConsoleApp::RefuseSmallScreen() {
    clear();
    refresh();
    SwitchOffNCursesMode();
    std::printf("Can't initialize touch utility menu.\n");
    std::printf("LINES and COLUMNS must be at least 25 and 80 respectively.\n");
    std::fflush(stdout);
}

void CTouchUtilConsoleApp::CalibrateTouchScreen() {
    SwitchOnNCursesMode();
    if (!IsScreenSizeSupported()) return RefuseSmallScreen();
    CCalibrationGUI* gui = new CCalibrationGUI;
    gui->ShowInitCalibrateScreen();
    int error = -1;
    bool abort = true;
    if (!SwitchToNative()) {
        error = CCalibrationGUI::ERR_SWITCH_NATIVE;
    } else if (!SendCalibrateCommandCX()) {
        error = CCalibrationGUI::ERR_CALIBRATE_CMD;
    } else {
        bool points = false;
        gui->ShowFirstCalibratePt();
        if (WaitForDeviceResponse() == RC_TIMEOUT) {
            error = CCalibrationGUI::ERR_TIME_OUT;
        } else if (m_nLastStatus == CTouchScreen6348::TOUCH_POINT_FAIL) {
            error = CCalibrationGUI::ERR_FIRST_POINT;
        } else if (m_nLastStatus == CTouchScreen6348::TOUCH_POINT_SUCCESS) {
            gui->ShowFirstCalibratePtComplete();
            gui->ShowSecondCalibratePt();
            if (WaitForDeviceResponse() == RC_TIMEOUT) {
                error = CCalibrationGUI::ERR_TIME_OUT;
            } else if (m_nLastStatus == CTouchScreen6348::TOUCH_POINT_FAIL) {
                error = CCalibrationGUI::ERR_SECOND_POINT;
            } else if (m_nLastStatus == CTouchScreen6348::TOUCH_POINT_SUCCESS) {
                gui->ShowSecondCalibratePtComplete();
                points = true;
            }
        }
        if (points) {
            if (!SwitchToEmulation()) {
                error = CCalibrationGUI::ERR_SWITCH_EMULATION;
            } else if (m_pTouchScreen->CloseDevice() != CTouchScreen6348::RC_SUCCESS) {
                error = CCalibrationGUI::ERR_UNKNOWN;
            } else {
                abort = false;
                if (RestoreClickToneSetting()) {
                    gui->ShowCalibrateComplete();
                } else {
                    gui->ShowCalibrateErrScreen(CCalibrationGUI::ERR_RESTORE_TONE);
                    gui->ShowCalibrateExit();
                }
            }
        }
    }
    if (abort) {
        if (error >= 0) gui->ShowCalibrateErrScreen(error);
        AbortCalibration();
        gui->ShowCalibrateExit();
    }
    gui->DestroyCalibrationGUI();
    delete gui;
}

void CTouchUtilConsoleApp::ShowAppWithUI() {
    SwitchOnNCursesMode();
    if (!IsScreenSizeSupported()) return RefuseSmallScreen();
    m_pMenu = new CTouchGUIMenu;
    m_pMenu->ShowMainMenu();
    for (;;) {
        const int choice = m_pMenu->WaitForUserInput();
        switch (choice) {
        case CTouchGUIMenu::CALIBRATE_TOUCHSCREEN: CalibrateTouchScreen(); break;
        case CTouchGUIMenu::RESET_TOUCHSCREEN:
            m_pMenu->OutputWarningMsgToScreen(
                "Please do not touch the screen. System is restoring touch to default settings.");
            if (ResetTouchScreen())
                m_pMenu->OutputSuccessMsgToScreen("Success: Touch screen reset to default settings");
            else
                m_pMenu->OutputErrMsgToScreen("Error: Fail to reset touch screen to default settings");
            break;
        case CTouchGUIMenu::ENABLE_TOUCHDOWN_TONE:
            if (ConfigureTouchTone(TONE_TOUCHDOWN))
                m_pMenu->OutputSuccessMsgToScreen("Success: Touch tone set to touchdown mode");
            else
                m_pMenu->OutputErrMsgToScreen("Error: Fail to set touch tone to touchdown mode");
            break;
        case CTouchGUIMenu::ENABLE_LIFTOFF_TONE:
            if (ConfigureTouchTone(TONE_LIFTOFF))
                m_pMenu->OutputSuccessMsgToScreen("Success: Touch tone set to liftoff mode");
            else
                m_pMenu->OutputErrMsgToScreen("Error: Fail to set touch tone to liftoff mode");
            break;
        case CTouchGUIMenu::DISABLE_TONE:
            if (ConfigureTouchTone(TONE_DISABLED))
                m_pMenu->OutputSuccessMsgToScreen("Success: Touch tone set to disabled mode");
            else
                m_pMenu->OutputErrMsgToScreen("Error: Fail to set touch tone to disabled mode");
            break;
        case CTouchGUIMenu::EXIT_MENU:
            m_pMenu->DestroyMainMenu();
            SwitchOffNCursesMode();
            return;
        default: break;
        }
        m_pMenu->RefreshMainMenu();
    }
}

void CTouchUtilConsoleApp::ForceShutDown() {
    if (m_pTouchScreen) m_pTouchScreen->ForceTerminate();
}

void CTouchUtilConsoleApp::SwitchOnNCursesMode() {
    if (m_fCursesOn) return;
    initscr();
    m_fCursesOn = true;
}

void CTouchUtilConsoleApp::SwitchOffNCursesMode() {
    if (!m_fCursesOn) return;
    endwin();
    m_fCursesOn = false;
}
