// The touch screen on the RS-485 bus, reached through the client library: finds the screen
// from its online event, opens and acquires it, sends the calibrate, restore, mode and tone
// requests, and runs a monitor thread that turns the screen's status events into observer
// notifications.
#pragma once

#include <atomic>
#include <memory>
#include <thread>

#include "CTouch6348IoImp.h"

// Where the touch screen sits, from its online event (-1 until found).
extern int nSLOT_NUMBER;
extern int nPORT_NUMBER;
extern int nDEVICE_NUMBER;

class CTouch6348IoRs485Imp : public CTouch6348IoImp {
public:
    CTouch6348IoRs485Imp();
    ~CTouch6348IoRs485Imp() override;
    CTouch6348IoRs485Imp(const CTouch6348IoRs485Imp&) = delete;
    CTouch6348IoRs485Imp& operator=(const CTouch6348IoRs485Imp&) = delete;

    // Starts the monitor thread with the first observer while none runs.
    bool AddObserver(Observer* observer) override;

    int Init6348Device(char* applicationName, char* resourceFile, int tries) override;
    int SwitchToMode(int mode) override;
    bool Get6348ToneDisabled() override;
    bool Get6348ToneExitClick() override;
    bool Get6348ToneEntryClick() override;
    int Set6348ToneDisabled(bool on) override;
    int Set6348ToneExitClick(bool on) override;
    int Set6348ToneEntryClick(bool on) override;
    int Restore6348Defaults() override;
    int Calibrate6348Device() override;
    // Releases the screen and, when that worked, closes it.
    int Close6348Device() override;
    // A failed acquire closes the handle.
    int Acquire6348Device() override;
    // A handle still held is released and closed first.
    int Open6348Device() override;
    int GetCurrentMode() override;
    int SetCurrentMode(int mode) override;

    virtual int NotifyObserver();
    virtual int SetDeviceState(int status);
    virtual bool IsToTerminate();
    virtual bool StartMonitorDeviceThread();

    int GetDeviceHandle() const { return m_nDeviceHandle; }

    enum { READ_TIMEOUT_MS = 500, STOP_WAIT_SECONDS = 3 };

private:
    struct MonitorLink;
    static void MonitorDeviceThreadRoutine(std::shared_ptr<MonitorLink> link);
    // One request without arguments on the open handle; logs "Success" or "Error" under
    // `function` when `logged`.
    int Request(int request, const char* function, bool logged);
    int SetTones(int entry, int exit, int volume, const char* function);
    bool GetTone(const char* name);
    // Releases and closes a handle left open, whatever the release answers.
    void DropHandle();

    std::atomic<int> m_nCurrentMode{EMULATION_MODE};
    int m_nDeviceHandle = -1;
    std::thread m_thread;
    // Shared with the monitor thread, which holds it as long as it runs: a thread still
    // blocked when a forced end gives up on it keeps only this, never the object.
    std::shared_ptr<MonitorLink> m_link;
    std::atomic<bool> m_fThreadStarted{false};
    std::atomic<bool> m_fToTerminate{false};
};

// Tests: waits until every monitor thread of the touch access has ended, also one that a
// forced end left running; false after timeoutMs.
namespace tutilTest {
bool WaitForMonitorsEnded(int timeoutMs);
}
