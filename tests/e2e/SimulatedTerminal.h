// Fixture of the end-to-end tests on a simulated terminal: a private root in which ovksim plays a
// terminal and the daemon of the build serves it; the test process is an application of the
// client library and scripts the simulated devices through ovksim's control socket.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "DaemonUnderTest.h"
#include "SimControl.h"
#include "TempRoot.h"
#include "ovkapi.h"

// Bytes as the simulator's replies show them: two lower-case hex digits a byte.
inline std::string Hex(const unsigned char* bytes, size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}
inline std::string Hex(const std::string& bytes) {
    return Hex(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

// Device events as the test reads them from handle 0.
struct Event {
    uint32_t msg;
    uint32_t p1;
    uint32_t p2;
};

class TerminalTest : public ::testing::Test {
protected:
    void TearDown() override;

    // Links the test plug-ins of `folder` (files named like "libovkNAME.so.0") into the
    // root's library folder, then writes the terminal description and the application's
    // resource file, starts ovksim, waits for "ovksim ready", starts the daemon and
    // initialises this process as the application "terminal" with that resource file
    // ("/etc/terminal.res", a read time-out of 200 ms on handle 0).
    void StartTerminal(const std::string& terminal, const std::string& resources,
                       const std::string& pluginFolder = "",
                       const std::vector<std::string>& plugins = {});

    // The same without initialising this process, for a test whose code under test
    // initialises the client library itself.
    void StartTerminalWithoutClient(const std::string& terminal, const std::string& resources);

    // A power cut: kills the daemon (SIGKILL) and ovksim, then starts both again on the
    // same root (ovksim reads back the memory it keeps there) and initialises this process
    // again.
    void RestartTerminal();

    // A lost bus: kills ovksim (SIGKILL) and leaves the daemon running.
    void KillSimulator();
    // Starts ovksim (again) on the root's terminal description and waits for "ovksim ready".
    void StartSimulator();

    // One control command and its reply.
    std::string Sim(const std::string& command);
    // Repeats a control command until its reply contains `text` (true) or the time is up;
    // `last` gets the last reply.
    bool WaitForReply(const std::string& command, const std::string& text, int timeoutMs = 10000,
                      std::string* last = nullptr);

    // Reads handle 0 until the event comes (true) or the time is up; every event read is
    // kept in seen_. `p1Mask` selects the bits of p1 that must match.
    bool WaitForEvent(uint32_t msg, uint32_t p1, int timeoutMs = 10000, uint32_t p1Mask = ~0u);
    // The events seen so far, for failure messages.
    std::string Seen() const;

    TempRoot root_;
    ChildProcess sim_;
    DaemonUnderTest daemon_{root_};
    std::vector<Event> seen_;

private:
    SimControl* control();
    std::unique_ptr<SimControl> control_;
    bool started_ = false;
};

// p1 of the online and offline events: slot, port, address and device class.
constexpr uint32_t DeviceWord(uint32_t slot, uint32_t port, uint32_t address, uint32_t deviceClass) {
    return slot << 24 | port << 16 | address << 8 | deviceClass;
}
