// The touch screen on the RS-485 bus through the client library.
#include "CTouch6348IoRs485Imp.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "CLogManager.h"
#include "ovkapi.h"

int nSLOT_NUMBER = -1;
int nPORT_NUMBER = -1;
int nDEVICE_NUMBER = -1;

namespace {

const char kClass[] = "CTouch6348IoRs485Imp::";

enum {
    REQ_ACQUIRE = 301,
    REQ_GET_VALUES = 302,
    REQ_RELEASE = 304,
    REQ_SET_VALUES = 305,
    REQ_CALIBRATE = 6703,
    REQ_RESTORE = 6704,
    REQ_NATIVE = 6705,
    REQ_EMULATION = 6706,
};
enum : uint32_t { MSG_OFFLINE = 0x420C, MSG_ONLINE = 0x420D, MSG_TOUCH_STATUS = 0x421B };
enum { ERR_TIMEOUT = 329, ERR_SERVICE_NOT_AVAILABLE = 337 };
enum { TOUCH_SUBTYPE = 13, EXCLUDED_SLOT = 8 };

// Events read by Init6348Device.
_POSQMSG initRecord;

void Log(const char* message, const std::string& function) {
    CLogManager::WriteToLogFile(message, function);
}

std::string Name(const char* operation) { return std::string(kClass) + operation + "()"; }

const char* StatusName(int status) {
    static const char* const names[] = {"TOUCH_NATIVE_SUCCESS",    "TOUCH_EMULATE_SUCCESS",
                                        "TOUCH_RESTORE_SUCCESS",   "TOUCH_CALIBRATE_SUCCESS",
                                        "TOUCH_POINT_SUCCESS",     "TOUCH_POINT_FAIL"};
    return names[status - 1];
}

// Monitor threads still running, for tests that wait for their end.
std::mutex monitorsLock;
std::condition_variable monitorsEnded;
int monitorsRunning = 0;

void MonitorEnded() {
    std::lock_guard<std::mutex> g(monitorsLock);
    --monitorsRunning;
    monitorsEnded.notify_all();
}

} // namespace

bool tutilTest::WaitForMonitorsEnded(int timeoutMs) {
    std::unique_lock<std::mutex> g(monitorsLock);
    return monitorsEnded.wait_for(g, std::chrono::milliseconds(timeoutMs), [] { return monitorsRunning == 0; });
}

// What the monitor thread and its object share. The stop signal and the thread's end go
// under `lock`; every call of the thread into its object goes under `use`, and `owner` is
// cleared under `use` when the object lets go of a thread that has not ended, so that the
// thread then leaves without touching it.
struct CTouch6348IoRs485Imp::MonitorLink {
    explicit MonitorLink(CTouch6348IoRs485Imp* o) : owner(o) {}
    std::mutex lock;
    std::condition_variable cond;
    bool stop = false;
    bool ended = false;
    std::mutex use;
    CTouch6348IoRs485Imp* owner;
};

CTouch6348IoRs485Imp::CTouch6348IoRs485Imp() {
    Log("Entry", "CTouch6348IoRs485Imp Constructor");
    Log("Exit", "CTouch6348IoRs485Imp Constructor");
}

CTouch6348IoRs485Imp::~CTouch6348IoRs485Imp() {
    const std::string fn = "CTouch6348IoRs485Imp Destructor";
    Log("Entry", fn);
    if (m_nCurrentMode == NATIVE_MODE) SwitchToMode(EMULATION_MODE);
    Close6348Device();
    if (m_thread.joinable()) {
        m_fToTerminate = true;
        {
            std::lock_guard<std::mutex> g(m_link->lock);
            m_link->stop = true;
            if (!m_fForceTerminate) Log("Sending terminate signal to MonitorDeviceThread", fn);
        }
        m_link->cond.notify_all();
        if (m_fForceTerminate) {
            // A fixed wait instead of an unbounded join: a thread that has ended by then is
            // collected; one still blocked (in a read, say) is let go. It is cut off from this
            // object first (a call into it that is under way is waited for) and leaves on its
            // own, holding only the shared link.
            Log("Waiting for MonitorDeviceThread to stop", fn);
            delay(STOP_WAIT_SECONDS);
            bool ended;
            {
                std::lock_guard<std::mutex> g(m_link->lock);
                ended = m_link->ended;
            }
            if (ended) {
                m_thread.join();
            } else {
                {
                    std::lock_guard<std::mutex> g(m_link->use);
                    m_link->owner = nullptr;
                }
                m_thread.detach();
            }
        } else {
            m_thread.join();
            Log("Waiting for MonitorDeviceThread to stop", fn);
        }
    } else {
        Log("MonitorDeviceThread not started, so CTouch6348IoRs485Imp Destructor can exit now.", fn);
    }
    Log("Exit", fn);
}

bool CTouch6348IoRs485Imp::AddObserver(Observer* observer) {
    if (!Observable::AddObserver(observer)) return false;
    if (GetNumObservers() != 1) return false;
    // One monitor thread at a time: a registration while it runs starts no other.
    if (m_fThreadStarted) return true;
    if (!StartMonitorDeviceThread()) return false;
    delay(1);
    return true;
}

int CTouch6348IoRs485Imp::Init6348Device(char* applicationName, char* resourceFile, int tries) {
    const std::string fn = Name("Init6348Device");
    Log("Entry", fn);
    m_nRc = RC_OFFLINE;
    for (int calls = 1;; ++calls) {
        PosArg args[] = {{"readTimeout", READ_TIMEOUT_MS}};
        const int rc = PosInitialize(applicationName, resourceFile, 0, 0, args, 1);
        Log("PosInitialize return", fn);
        if (rc == 0) break;
        m_nRc = PosErrno();
        if (m_nRc != ERR_SERVICE_NOT_AVAILABLE) {
            Log("Error: PosInitialize", fn);
            Log("Exit", fn);
            return m_nRc;
        }
        Log("Waiting for Korvanet to go Online", fn);
        delay(1);
        if (calls >= tries + 1) {
            Log("Exit", fn);
            return m_nRc;
        }
    }
    Log("Korvanet goes Online", fn);
    for (;;) {
        initRecord = _POSQMSG{};
        const int got = PosRead(0, &initRecord, sizeof initRecord);
        if (got <= 0) break;
        if (got < static_cast<int>(sizeof initRecord) || initRecord.msg != MSG_ONLINE) continue;
        const int slot = static_cast<int>(initRecord.p1 >> 24 & 0xFF);
        const int port = static_cast<int>(initRecord.p1 >> 16 & 0xFF);
        const int address = static_cast<int>(initRecord.p1 >> 8 & 0xFF);
        if ((address != 0x5C && address != 0x5D) || (initRecord.p2 & 0xFF) != TOUCH_SUBTYPE ||
            slot == EXCLUDED_SLOT)
            continue;
        nSLOT_NUMBER = slot;
        nPORT_NUMBER = port;
        nDEVICE_NUMBER = address;
        m_nRc = RC_SUCCESS;
        break;
    }
    Log("Exit", fn);
    return m_nRc;
}

void CTouch6348IoRs485Imp::DropHandle() {
    if (m_nDeviceHandle <= 0) return;
    PosIOCtl(m_nDeviceHandle, REQ_RELEASE, nullptr, 0);
    PosClose(m_nDeviceHandle);
    m_nDeviceHandle = -1;
}

int CTouch6348IoRs485Imp::Open6348Device() {
    const std::string fn = Name("Open6348Device");
    Log("Entry", fn);
    // A handle left open (a failure after its acquire) would keep the screen acquired.
    DropHandle();
    PosArg args[] = {{"slotNumber", nSLOT_NUMBER},
                     {"portNumber", nPORT_NUMBER},
                     {"deviceNumber", nDEVICE_NUMBER}};
    char name[] = "TouchScreen6348", cls[] = "PosTouch";
    const int handle = PosOpen(name, cls, args, 3);
    if (handle > 0) {
        m_nDeviceHandle = handle;
        m_nRc = RC_SUCCESS;
    } else {
        m_nDeviceHandle = -1;
        m_nRc = PosErrno();
    }
    Log("Exit", fn);
    return m_nRc;
}

int CTouch6348IoRs485Imp::Acquire6348Device() {
    const std::string fn = Name("Acquire6348Device");
    Log("Entry", fn);
    if (PosIOCtl(m_nDeviceHandle, REQ_ACQUIRE, nullptr, 0) == 0) {
        m_nRc = RC_SUCCESS;
        Log("Success: POS acquire device", fn);
    } else {
        m_nRc = PosErrno();
        Log("Error: POS acquire device", fn);
        PosClose(m_nDeviceHandle);
        m_nDeviceHandle = -1;
    }
    Log("Exit", fn);
    return m_nRc;
}

int CTouch6348IoRs485Imp::Close6348Device() {
    const std::string fn = Name("Close6348Device");
    Log("Entry", fn);
    if (PosIOCtl(m_nDeviceHandle, REQ_RELEASE, nullptr, 0) != 0) {
        m_nRc = PosErrno();
        Log("Error: POS release  device", fn);
    } else {
        Log("Success: POS release  device", fn);
        const int rc = PosClose(m_nDeviceHandle);
        // The client library frees its entry whatever the answer.
        m_nDeviceHandle = -1;
        if (rc != 0) {
            m_nRc = PosErrno();
            Log("Error: POS close device", fn);
        } else {
            m_nRc = RC_SUCCESS;
            Log("Success: POS close device", fn);
        }
    }
    Log("Exit", fn);
    return m_nRc;
}

int CTouch6348IoRs485Imp::Request(int request, const char* function, bool logged) {
    const int rc = PosIOCtl(m_nDeviceHandle, request, nullptr, 0);
    m_nRc = rc == 0 ? RC_SUCCESS : PosErrno();
    if (logged) Log(rc == 0 ? "Success" : "Error", function);
    return rc;
}

int CTouch6348IoRs485Imp::Calibrate6348Device() {
    const std::string fn = Name("Calibrate6348Device");
    Log("Entry", fn);
    Request(REQ_CALIBRATE, fn.c_str(), true);
    Log("Exit", fn);
    return m_nRc;
}

int CTouch6348IoRs485Imp::Restore6348Defaults() {
    const std::string fn = Name("Restore6348Defaults");
    Log("Entry", fn);
    Request(REQ_RESTORE, fn.c_str(), true);
    Log("Exit", fn);
    return m_nRc;
}

int CTouch6348IoRs485Imp::SwitchToMode(int mode) {
    const std::string fn = Name("SwitchToMode");
    Log("Entry", fn);
    const int rc = Request(mode == NATIVE_MODE ? REQ_NATIVE : REQ_EMULATION, fn.c_str(), false);
    Log("Exit", fn);
    return rc;
}

int CTouch6348IoRs485Imp::SetTones(int entry, int exit, int volume, const char* function) {
    const std::string fn = Name(function);
    Log("Entry", fn);
    PosArg args[] = {{"touchEntryClick", entry}, {"touchExitClick", exit}, {"touchClickVolume", volume}};
    if (PosIOCtl(m_nDeviceHandle, REQ_SET_VALUES, args, 3) == 0) {
        m_nRc = RC_SUCCESS;
        Log("Success", fn);
    } else {
        m_nRc = PosErrno();
        Log("Error", fn);
    }
    Log("Exit", fn);
    return m_nRc;
}

int CTouch6348IoRs485Imp::Set6348ToneEntryClick(bool on) {
    return on ? SetTones(1, 0, 3, "Set6348ToneEntryClick") : SetTones(0, 0, 1, "Set6348ToneEntryClick");
}

int CTouch6348IoRs485Imp::Set6348ToneExitClick(bool on) {
    return on ? SetTones(0, 1, 3, "Set6348ToneExitClick") : SetTones(0, 0, 1, "Set6348ToneExitClick");
}

int CTouch6348IoRs485Imp::Set6348ToneDisabled(bool on) {
    return on ? SetTones(0, 0, 1, "Set6348ToneDisabled") : SetTones(1, 1, 3, "Set6348ToneDisabled");
}

bool CTouch6348IoRs485Imp::GetTone(const char* name) {
    PosArg arg[] = {{name, 0}};
    if (PosIOCtl(m_nDeviceHandle, REQ_GET_VALUES, arg, 1) != 0) {
        m_nRc = PosErrno();
        return false;
    }
    m_nRc = RC_SUCCESS;
    return arg[0].value == 1;
}

bool CTouch6348IoRs485Imp::Get6348ToneEntryClick() { return GetTone("touchEntryClick"); }
bool CTouch6348IoRs485Imp::Get6348ToneExitClick() { return GetTone("touchExitClick"); }
bool CTouch6348IoRs485Imp::Get6348ToneDisabled() { return GetTone("touchClickVolume"); }

int CTouch6348IoRs485Imp::GetCurrentMode() {
    return m_fThreadStarted ? m_nCurrentMode.load() : static_cast<int>(UNKNOWN_MODE);
}

int CTouch6348IoRs485Imp::SetCurrentMode(int mode) {
    m_nCurrentMode = mode;
    return mode;
}

int CTouch6348IoRs485Imp::SetDeviceState(int status) { return SetState(status); }

int CTouch6348IoRs485Imp::NotifyObserver() { return Observable::NotifyObserver(); }

bool CTouch6348IoRs485Imp::IsToTerminate() { return m_fToTerminate; }

bool CTouch6348IoRs485Imp::StartMonitorDeviceThread() {
    // A thread that ended by itself is collected before another starts.
    if (m_thread.joinable()) m_thread.join();
    m_link = std::make_shared<MonitorLink>(this);
    m_fThreadStarted = true;
    {
        std::lock_guard<std::mutex> g(monitorsLock);
        ++monitorsRunning;
    }
    try {
        m_thread = std::thread(&CTouch6348IoRs485Imp::MonitorDeviceThreadRoutine, m_link);
    } catch (const std::system_error&) {
        m_fThreadStarted = false;
        MonitorEnded();
        return false;
    }
    return true;
}

void CTouch6348IoRs485Imp::MonitorDeviceThreadRoutine(std::shared_ptr<MonitorLink> link) {
    const std::string fn = "MonitorDeviceThreadRoutine";
    Log("Entry", fn);
    for (;;) {
        {
            std::lock_guard<std::mutex> g(link->use);
            if (!link->owner || link->owner->IsToTerminate()) break;
        }
        _POSQMSG record{};
        const int rc = PosRead(0, &record, sizeof record);
        if (rc == static_cast<int>(sizeof record) && record.msg == MSG_TOUCH_STATUS) {
            const int status = static_cast<int>(record.p2 & 0xFF);
            if (status >= TOUCH_NATIVE_SUCCESS && status <= TOUCH_POINT_FAIL) {
                std::lock_guard<std::mutex> g(link->use);
                CTouch6348IoRs485Imp* io = link->owner;
                if (!io) break;
                Log(StatusName(status), fn);
                if (status == TOUCH_NATIVE_SUCCESS) io->SetCurrentMode(NATIVE_MODE);
                if (status == TOUCH_EMULATE_SUCCESS) io->SetCurrentMode(EMULATION_MODE);
                io->SetDeviceState(status);
                io->NotifyObserver();
            }
        }
        if (rc > 0 || (rc < 0 && PosErrno() == ERR_TIMEOUT)) {
            std::unique_lock<std::mutex> lock(link->lock);
            if (link->cond.wait_for(lock, std::chrono::seconds(1), [&] { return link->stop; })) {
                Log("Terminate signal received", fn);
                break;
            }
        } else {
            Log("VuskLin failed", fn);
            break;
        }
    }
    {
        std::lock_guard<std::mutex> g(link->use);
        if (link->owner) link->owner->m_fThreadStarted = false;
    }
    {
        std::lock_guard<std::mutex> g(link->lock);
        link->ended = true;
    }
    Log("Exit", fn);
    MonitorEnded();
}
