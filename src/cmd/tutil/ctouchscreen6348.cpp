// The model-6348 touch screen facade.
#include "CTouchScreen6348.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "CLogManager.h"
#include "CTouch6348Config.h"
#include "CTouch6348IoRs485Imp.h"
#include "TutilPath.h"

namespace {

void Log(const char* message, const char* function) { CLogManager::WriteToLogFile(message, function); }

void Copy(char (&to)[CTouchScreen6348::MAX_FILENAME], const char* from) {
    std::snprintf(to, sizeof to, "%s", from ? from : "");
}

} // namespace

CTouchScreen6348::CTouchScreen6348(const char* resourceFile, const char* configDirectory,
                                   const char* applicationName) {
    const char* fn = "CTouchScreen6348 Constructor";
    Log("Entry", fn);
    Copy(m_szResourceFile, resourceFile);
    Copy(m_szConfigDir, configDirectory);
    Copy(m_szAppName, applicationName);
    const int connection = CTouch6348Config(m_szConfigDir).GetConnectionType();
    if (connection == CTouch6348Config::RS485) {
        m_pTouchIo = new CTouch6348IoRs485Imp;
        Log("Touch device connection is RS485", fn);
    }
    if (!m_pTouchIo) {
        m_nRc = RC_FAIL;
        Log("Error: Failed to create instance of CTouch6348IoRs485Imp()", fn);
    }
    Log("Exit", fn);
}

CTouchScreen6348::CTouchScreen6348() : m_pTouchIo(new CTouch6348IoRs485Imp) {}

CTouchScreen6348::~CTouchScreen6348() {
    const char* fn = "CTouchScreen6348 Destructor";
    Log("Entry", fn);
    delete m_pTouchIo;
    m_pTouchIo = nullptr;
    Log("Exit", fn);
}

bool CTouchScreen6348::Step(int rc) const {
    return rc == CTouch6348IoImp::RC_SUCCESS && m_pTouchIo->GetRc() == CTouch6348IoImp::RC_SUCCESS;
}

void CTouchScreen6348::ReleaseAfterFailure() {
    // Released and closed all the same, so that the screen is not held; the failed
    // request's code stays the result.
    const int failure = m_pTouchIo->GetRc();
    m_pTouchIo->Close6348Device();
    m_pTouchIo->SetRc(failure);
}

int CTouchScreen6348::Fail() {
    m_nRc = RC_FAIL;
    return m_nRc;
}

int CTouchScreen6348::SetTone(int (CTouch6348IoImp::*set)(bool), bool on, bool entry, bool exit,
                              bool disabled, const char* function) {
    if (function) Log("Entry", function);
    int rc = RC_FAIL;
    if (!m_pTouchIo || !Step(m_pTouchIo->Open6348Device()) || !Step(m_pTouchIo->Acquire6348Device())) {
        rc = Fail();
    } else if (!Step((m_pTouchIo->*set)(on))) {
        ReleaseAfterFailure();
        rc = Fail();
    } else if (!Step(m_pTouchIo->Close6348Device())) {
        rc = Fail();
    } else {
        m_fToneEntryClick = entry;
        m_fToneExitClick = exit;
        m_fToneDisabled = disabled;
        rc = m_nRc = RC_SUCCESS;
    }
    if (function) Log("Exit", function);
    return rc;
}

int CTouchScreen6348::SetToneEntryClick(bool on) {
    return SetTone(&CTouch6348IoImp::Set6348ToneEntryClick, on, on, false, !on,
                   "CTouchScreen6348::SetToneEntryClick()");
}

int CTouchScreen6348::SetToneExitClick(bool on) {
    return SetTone(&CTouch6348IoImp::Set6348ToneExitClick, on, false, on, !on,
                   "CTouchScreen6348::SetToneExitClick()");
}

int CTouchScreen6348::SetToneDisabled(bool on) {
    return SetTone(&CTouch6348IoImp::Set6348ToneDisabled, on, !on, !on, on, nullptr);
}

int CTouchScreen6348::GetTone(bool (CTouch6348IoImp::*get)(), bool& cache) {
    if (!m_pTouchIo || !Step(m_pTouchIo->Open6348Device()) || !Step(m_pTouchIo->Acquire6348Device()))
        return Fail();
    const bool value = (m_pTouchIo->*get)();
    if (!Step(RC_SUCCESS)) {
        ReleaseAfterFailure();
        return Fail();
    }
    cache = value;
    if (!Step(m_pTouchIo->Close6348Device())) return Fail();
    m_nRc = RC_SUCCESS;
    return m_nRc;
}

int CTouchScreen6348::GetToneEntryClick() { return GetTone(&CTouch6348IoImp::Get6348ToneEntryClick, m_fToneEntryClick); }
int CTouchScreen6348::GetToneExitClick() { return GetTone(&CTouch6348IoImp::Get6348ToneExitClick, m_fToneExitClick); }
int CTouchScreen6348::GetToneDisabled() { return GetTone(&CTouch6348IoImp::Get6348ToneDisabled, m_fToneDisabled); }

int CTouchScreen6348::SwitchToMode(int mode) {
    const char* fn = "CTouchScreen6348::SwitchToMode()";
    Log("Entry", fn);
    int rc = RC_SUCCESS;
    if (!m_pTouchIo) {
        rc = Fail();
    } else if (mode == NATIVE_MODE) {
        // The device stays open and acquired until the switch back or CloseDevice.
        if (!Step(m_pTouchIo->Open6348Device()) || !Step(m_pTouchIo->Acquire6348Device())) {
            rc = Fail();
        } else {
            delay(NATIVE_SWITCH_DELAY);
            rc = Step(m_pTouchIo->SwitchToMode(mode)) ? (m_nRc = RC_SUCCESS) : Fail();
        }
    } else {
        rc = Step(m_pTouchIo->SwitchToMode(mode)) ? (m_nRc = RC_SUCCESS) : Fail();
    }
    Log("Exit", fn);
    return rc;
}

int CTouchScreen6348::Calibrate() {
    const char* fn = "CTouchScreen6348::Calibrate()";
    Log("Entry", fn);
    const int rc = m_pTouchIo && Step(m_pTouchIo->Calibrate6348Device()) ? (m_nRc = RC_SUCCESS) : Fail();
    Log("Exit", fn);
    return rc;
}

int CTouchScreen6348::RestoreDefaults() {
    const char* fn = "CTouchScreen6348::RestoreDefaults()";
    Log("Entry", fn);
    const int rc = m_pTouchIo && Step(m_pTouchIo->Restore6348Defaults()) ? (m_nRc = RC_SUCCESS) : Fail();
    Log("Exit", fn);
    return rc;
}

int CTouchScreen6348::CloseDevice() {
    const char* fn = "CTouchScreen6348::Close()";
    Log("Entry", fn);
    const int rc = m_pTouchIo && Step(m_pTouchIo->Close6348Device()) ? (m_nRc = RC_SUCCESS) : Fail();
    Log("Exit", fn);
    return rc;
}

bool CTouchScreen6348::IsDeviceReady() {
    const char* fn = "CTouchScreen6348::IsDeviceReady()";
    Log("Entry", fn);
    const int fd = ::open(tutilPath(m_szResourceFile).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        Log("Exit", fn);
        return false;
    }
    ::close(fd);
    bool ready = m_pTouchIo != nullptr;
    if (ready) {
        ready = Step(m_pTouchIo->Init6348Device(m_szAppName, m_szResourceFile, 2));
        Log(ready ? "PosInitialize, rc = 0" : "PosInitialize failed", fn);
    }
    if (ready) {
        ready = Step(m_pTouchIo->Open6348Device());
        Log(ready ? "PosOpen, rc = 0" : "PosOpen failed", fn);
    }
    if (ready) {
        ready = Step(m_pTouchIo->Acquire6348Device());
        Log(ready ? "Pos Device Acquire, rc = 0" : "Pos Device Acquire failed", fn);
    }
    if (ready) {
        ready = Step(m_pTouchIo->Close6348Device());
        Log(ready ? "PosClose, rc = 0" : "PosClose failed", fn);
    }
    Log(ready ? "Success" : "Error: Device is not ready", fn);
    Log("Exit", fn);
    return ready;
}

void CTouchScreen6348::ForceTerminate() {
    if (m_pTouchIo) m_pTouchIo->SetForceTerminate();
}

int CTouchScreen6348::GetCurrentMode() {
    if (!m_pTouchIo) return UNKNOWN_MODE;
    const int mode = m_pTouchIo->GetCurrentMode();
    return mode == NATIVE_MODE || mode == EMULATION_MODE ? mode : static_cast<int>(UNKNOWN_MODE);
}

bool CTouchScreen6348::AddObserver(Observer* observer) {
    const char* fn = "CTouchScreen6348::AddObserver()";
    Log("Entry", fn);
    bool result = false;
    if (Observable::AddObserver(observer) && GetNumObservers() == 1 && m_pTouchIo)
        result = m_pTouchIo->AddObserver(this);
    Log("Exit", fn);
    return result;
}

bool CTouchScreen6348::DeleteObserver(Observer* observer) {
    const bool removed = Observable::DeleteObserver(observer);
    // Only when no observer of the facade is left does it stop listening itself.
    if (removed && GetNumObservers() == 0 && m_pTouchIo) return m_pTouchIo->DeleteObserver(this);
    return removed;
}

void CTouchScreen6348::Update() {
    if (m_pTouchIo) SetState(m_pTouchIo->GetState());
    NotifyObserver();
}
