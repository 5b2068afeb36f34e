#include "SimulatedTerminal.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <thread>

namespace fs = std::filesystem;

void TerminalTest::StartTerminal(const std::string& terminal, const std::string& resources,
                               const std::string& pluginFolder,
                               const std::vector<std::string>& plugins) {
    for (const std::string& lib : plugins) {
        const fs::path from = fs::path(pluginFolder) / lib;
        ASSERT_TRUE(fs::exists(from)) << from;
        std::error_code ec;
        fs::create_symlink(from, fs::path(root_.at("/usr/lib")) / lib, ec);
        ASSERT_FALSE(ec) << ec.message();
    }
    ASSERT_NO_FATAL_FAILURE(StartTerminalWithoutClient(terminal, resources));
    PosArg init[] = {{"readTimeout", 200}};
    char appl[] = "terminal", res[] = "/etc/terminal.res";
    ASSERT_EQ(PosInitialize(appl, res, 0, 0, init, 1), 0) << PosErrno();
}

void TerminalTest::StartTerminalWithoutClient(const std::string& terminal,
                                              const std::string& resources) {
    root_.write("/etc/ovksim.term", terminal);
    root_.write("/etc/terminal.res", resources);
    ASSERT_NO_FATAL_FAILURE(StartSimulator());
    ASSERT_TRUE(daemon_.Start()) << daemon_.Output();
    started_ = true;
}

void TerminalTest::StartSimulator() {
    ASSERT_TRUE(sim_.Start({OVKSIM_PROGRAM, "-t", root_.at("/etc/ovksim.term"), "-l",
                            root_.at("/var/log/ovksim.log")},
                           root_.at("/ovksim.err")));
    std::string line;
    ASSERT_TRUE(sim_.ReadLine(line, 10000)) << root_.read("/ovksim.err");
    ASSERT_EQ(line, "ovksim ready");
}

void TerminalTest::KillSimulator() {
    control_.reset();
    sim_.Signal(SIGKILL);
    sim_.Wait();
}

void TerminalTest::RestartTerminal() {
    ASSERT_TRUE(started_);
    control_.reset();
    daemon_.Kill();
    sim_.Signal(SIGKILL);
    sim_.Wait();
    PosTerm();
    seen_.clear();
    ASSERT_NO_FATAL_FAILURE(StartSimulator());
    ASSERT_TRUE(daemon_.Start()) << daemon_.Output();
    PosArg init[] = {{"readTimeout", 200}};
    char appl[] = "terminal", res[] = "/etc/terminal.res";
    ASSERT_EQ(PosInitialize(appl, res, 0, 0, init, 1), 0) << PosErrno();
}

void TerminalTest::TearDown() {
    // PosTerm leaves the process's event queue as it is: what this test did not read would
    // reach the next test's reads (an online event of the same device, say), so it is read
    // away first, while the daemon still takes the request that makes reads return at once.
    if (started_ && daemon_.Running()) {
        PosArg noWait[] = {{"readTimeout", 0}};
        if (PosIOCtl(0, POS_SYS_SET_VALUES, noWait, 1) == 0) {
            _POSQMSG m{};
            while (PosRead(0, &m, sizeof m) == static_cast<int>(sizeof m)) {
            }
        }
    }
    PosTerm();
    control_.reset();
    if (!started_) return;
    // Both programs end cleanly (in a sanitizer build: without a report).
    EXPECT_EQ(daemon_.Terminate(), 0) << daemon_.Output();
    sim_.Signal(SIGTERM);
    EXPECT_EQ(sim_.Wait(), 0) << root_.read("/ovksim.err");
    if (HasFailure()) {
        std::cerr << "--- events seen:" << Seen() << "\n";
        std::cerr << "--- ovksim log\n" << root_.read("/var/log/ovksim.log");
        std::cerr << "--- daemon output\n" << daemon_.Output();
        std::cerr << "--- daemon log\n" << root_.read("/var/log/ovkctrl.log");
    }
}

SimControl* TerminalTest::control() {
    if (!control_ || !control_->connected())
        control_ = std::make_unique<SimControl>(root_.at("/tmp/.ovksim"));
    return control_.get();
}

std::string TerminalTest::Sim(const std::string& command) { return control()->Run(command); }

bool TerminalTest::WaitForReply(const std::string& command, const std::string& text, int timeoutMs,
                              std::string* last) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const std::string reply = Sim(command);
        if (last) *last = reply;
        if (reply.find(text) != std::string::npos) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool TerminalTest::WaitForEvent(uint32_t msg, uint32_t p1, int timeoutMs, uint32_t p1Mask) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        _POSQMSG m{};
        if (PosRead(0, &m, sizeof m) == static_cast<int>(sizeof m)) {
            seen_.push_back(Event{m.msg, m.p1, m.p2});
            if (m.msg == msg && (m.p1 & p1Mask) == (p1 & p1Mask)) return true;
        }
    }
    return false;
}

std::string TerminalTest::Seen() const {
    std::string out;
    char text[48];
    for (const Event& e : seen_) {
        std::snprintf(text, sizeof text, " %04x/%08x/%x", e.msg, e.p1, e.p2);
        out += text;
    }
    return out;
}
