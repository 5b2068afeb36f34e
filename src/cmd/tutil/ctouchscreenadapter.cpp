#include "CTouchScreenAdapter.h"

#include "CLogManager.h"
#include "CResourceFileConfig.h"
#include "CTouchScreen6348.h"
#include "CTouchUtilJavaAdapter.h"

const char* const CTouchScreenAdapter::m_szResFile = "/var/lib/misc/ovksys.res";
const char* const CTouchScreenAdapter::m_szConfigFilePath = "/var/lib/misc";
const char* const CTouchScreenAdapter::m_szApplicationName = "LinuxTouchUtilityForXWin";

namespace {
void Log(const char* message, const char* function) { CLogManager::WriteToLogFile(message, function); }

struct Resolution {
    int width;
    int height;
    int id;
};
const Resolution kResolutions[] = {
    {640, 480, CTouch6348Config::SCR_RES_640_480},     {800, 600, CTouch6348Config::SCR_RES_800_600},
    {1024, 768, CTouch6348Config::SCR_RES_1024_768},   {1152, 864, CTouch6348Config::SCR_RES_1152_864},
    {1280, 1024, CTouch6348Config::SCR_RES_1280_1024}, {1400, 1050, CTouch6348Config::SCR_RES_1400_1050},
    {1600, 1200, CTouch6348Config::SCR_RES_1600_1200},
};
} // namespace

CTouchScreenAdapter::CTouchScreenAdapter(JNIEnv* env, jobject object) {
    CLogManager::WriteToLogFile(m_szConfigFilePath, "Entry", "CTouchUtilConsoleApp Constructor");
    m_pJavaAdapter = new CTouchUtilJavaAdapter(env, object);
    m_pTouchScreen = new CTouchScreen6348(m_szResFile, m_szConfigFilePath, m_szApplicationName);
    Log("Exit", "CTouchScreenAdapter Constructor");
}

CTouchScreenAdapter::~CTouchScreenAdapter() {
    const char* fn = "CTouchScreenAdapter Destructor";
    Log("Entry", fn);
    // The monitor thread must not call back into an adapter that is gone.
    if (m_pTouchScreen) TerminateTouchConnection();
    if (m_pJavaAdapter) {
        Log("B4 delete Java adapter", fn);
        delete m_pJavaAdapter;
        m_pJavaAdapter = nullptr;
        Log("After delete Java adapter", fn);
    }
    CLogManager::CloseLogFile();
}

void CTouchScreenAdapter::Update() {
    const int status = m_pTouchScreen ? m_pTouchScreen->GetState() : 0;
    const bool called = m_pJavaAdapter && m_pJavaAdapter->CallJavaTouchUtilMethod(status);
    Log(called ? "Success: JTouchScreenAdapter::SetTouchStatus() was invoked"
               : "Error: Failed to invoke JTouchScreenAdapter::SetTouchStatus()",
        "CTouchUtilConsoleApp::Update()");
}

bool CTouchScreenAdapter::InitializeTouchScreen() {
    const char* fn = "CTouchScreenAdapter::InitializeTouchScreen()";
    if (!m_pTouchScreen || !m_pTouchScreen->IsDeviceReady()) {
        Log("Error: Touch screen device is NOT ready", fn);
        return false;
    }
    int rc = m_pTouchScreen->GetToneDisabled();
    if (rc == CTouchScreen6348::RC_SUCCESS) rc = m_pTouchScreen->GetToneEntryClick();
    if (rc == CTouchScreen6348::RC_SUCCESS) rc = m_pTouchScreen->GetToneExitClick();
    if (rc == CTouchScreen6348::RC_SUCCESS) {
        m_fToneDisabled = m_pTouchScreen->IsToneDisabled();
        m_fToneEntryClick = m_pTouchScreen->IsToneEntryClick();
        m_fToneExitClick = m_pTouchScreen->IsToneExitClick();
    }
    return m_pTouchScreen->AddObserver(this);
}

bool CTouchScreenAdapter::SaveToneSetting() {
    bool entry = m_pTouchScreen->IsToneEntryClick();
    bool exit = m_pTouchScreen->IsToneExitClick();
    bool disabled = m_pTouchScreen->IsToneDisabled();
    CResourceFileConfig resources(m_szResFile);
    resources.SetTouchToneConfig(entry, exit, disabled);
    bool result = true;
    if (resources.GetError() != CResourceFileConfig::RC_SUCCESS) {
        Log("Error: Failed to write tone setting to resource file (/var/lib/misc/ovksys.res)",
            "CTouchScreenAdapter::SaveToneSetting()");
        result = false;
    }
    m_fToneSaved = true;
    m_fToneEntryClick = m_pTouchScreen->IsToneEntryClick();
    m_fToneExitClick = m_pTouchScreen->IsToneExitClick();
    m_fToneDisabled = m_pTouchScreen->IsToneDisabled();
    return result;
}

bool CTouchScreenAdapter::SetTone(int (CTouchScreen6348::*set)(bool), const char* function) {
    if (!m_pTouchScreen || (m_pTouchScreen->*set)(true) != CTouchScreen6348::RC_SUCCESS) return false;
    if (!SaveToneSetting()) return false;
    Log("Return code = RC_SUCCESS", function);
    return true;
}

bool CTouchScreenAdapter::SetToneDisabled() {
    return SetTone(&CTouchScreen6348::SetToneDisabled, "JTouchScreenAdapter_SetToneDisabled");
}

bool CTouchScreenAdapter::SetToneEntryClick() {
    return SetTone(&CTouchScreen6348::SetToneEntryClick, "JTouchScreenAdapter_SetToneEntryClick");
}

bool CTouchScreenAdapter::SetToneExitClick() {
    return SetTone(&CTouchScreen6348::SetToneExitClick, "JTouchScreenAdapter_SetToneExitClick");
}

bool CTouchScreenAdapter::RestoreClickToneSetting() {
    if (!m_fToneSaved) return true;
    if (m_fToneDisabled) return SetToneDisabled();
    if (m_fToneEntryClick) return SetToneEntryClick();
    if (m_fToneExitClick) return SetToneExitClick();
    return true;
}

void CTouchScreenAdapter::TerminateTouchConnection() {
    const char* fn = "CTouchScreenAdapter TerminateTouchConnection";
    Log("Entry", fn);
    if (m_pTouchScreen) {
        m_pTouchScreen->DeleteObserver(this);
        // Destruction then waits a bounded time for the monitor thread instead of joining it.
        m_pTouchScreen->ForceTerminate();
        delete m_pTouchScreen;
        m_pTouchScreen = nullptr;
        Log("TouchScreen disconnected", fn);
    }
    Log("Exit", fn);
}

CTouch6348Config* CTouchScreenAdapter::GetTouch6348ConfPointer() {
    return new CTouch6348Config(m_szConfigFilePath);
}

int CTouchScreenAdapter::GetScreenResolutionID(int width, int height) {
    for (const Resolution& r : kResolutions)
        if (r.width == width && r.height == height) return r.id;
    return CTouch6348Config::SCR_RES_UNKNOWN;
}
