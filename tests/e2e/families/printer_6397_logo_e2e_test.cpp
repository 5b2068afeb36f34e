// The model-6397 printer's logos, flash records and MICR end to end: ovksim plays the
// printer at 0x35 with its logo memory, flash and MICR reader, the application loads a
// logo, writes and reads a flash record and reads a code line through the daemon.
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "SimulatedTerminal.h"

namespace {

constexpr uint32_t kOnline = 0x420D;
constexpr uint32_t kDataAvail = 16912;
constexpr int kAcquire = 301;
constexpr int kSetValues = POS_SYS_SET_VALUES;
constexpr uint32_t kPrinter = DeviceWord(1, 0x11, 0x35, 3);

std::string terminal(const std::string& options) {
    return "slot 0 planar\n"
           "slot 1 rs485 type 5 kind 5 ports 2\n"
           "station 1 0x11 0x35 p6397 ec=0x1c serial=SIM00001" + options + "\n";
}

const char kResources[] =
    "terminal.printer.slotNumber:   SLOT_1\n"
    "terminal.printer.portNumber:   PORT_1\n"
    "terminal.printer.deviceNumber: DEVICE_PRINTER_6397\n";

class P6397LogoE2E : public TerminalTest {
protected:
    void Start(const std::string& options = "") {
        ASSERT_NO_FATAL_FAILURE(StartTerminal(terminal(options), kResources));
        ASSERT_NO_FATAL_FAILURE(OpenPrinter());
    }
    void OpenPrinter() {
        ASSERT_TRUE(WaitForEvent(kOnline, kPrinter, 20000)) << Seen();
        char name[] = "printer", cls[] = "PosPrinter";
        handle_ = PosOpen(name, cls, nullptr, 0);
        ASSERT_GT(handle_, 0) << PosErrno();
        ASSERT_EQ(PosIOCtl(handle_, kAcquire, nullptr, 0), 0) << PosErrno();
    }
    void TearDown() override {
        if (handle_ > 0) PosClose(handle_);
        TerminalTest::TearDown();
    }
    int Set(const char* name, intptr_t value) {
        PosArg a[] = {{const_cast<char*>(name), value}};
        return PosIOCtl(handle_, kSetValues, a, 1);
    }
    int Write(const std::string& bytes) {
        return PosWrite(handle_, const_cast<char*>(bytes.data()), static_cast<unsigned>(bytes.size()));
    }
    // The payloads the printer received since the last call, as ovksim lists them.
    std::string Payloads() {
        const std::string all = Sim("payloads 1 0x11 0x35");
        const std::string fresh = all.size() > seenPayloads_ ? all.substr(seenPayloads_) : "";
        seenPayloads_ = all.size();
        return fresh;
    }
    // A restart of the daemon alone: the printer keeps its memory.
    void RestartDaemon() {
        PosClose(handle_);
        handle_ = 0;
        ASSERT_EQ(daemon_.Terminate(), 0);
        PosTerm();
        seen_.clear();
        ASSERT_TRUE(daemon_.Start()) << daemon_.Output();
        PosArg init[] = {{"readTimeout", 200}};
        char appl[] = "terminal", res[] = "/etc/terminal.res";
        ASSERT_EQ(PosInitialize(appl, res, 0, 0, init, 1), 0) << PosErrno();
        ASSERT_NO_FATAL_FAILURE(OpenPrinter());
    }

    int handle_ = 0;
    size_t seenPayloads_ = 0;
};

TEST_F(P6397LogoE2E, ALogoIsLoadedOnceAndKnownAfterARestart) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_EQ(Set("printMode", 16), 0) << PosErrno();
    const std::string logo = std::string("\x01\x01\x01", 3) + "ABCDEFGH";
    Payloads();
    ASSERT_EQ(Write(logo), 11) << PosErrno();
    ASSERT_TRUE(WaitForReply("logos 1 0x11 0x35", "bytes 11")) << Sim("payloads 1 0x11 0x35");
    const std::string dir = root_.at("/var/log/6397-SIM00001.dat");
    struct stat st {};
    for (int i = 0; i < 500 && (::stat(dir.c_str(), &st) != 0 || st.st_size != 16112); ++i) ::usleep(10000);
    EXPECT_EQ(st.st_size, 16112);
    EXPECT_EQ(root_.read("/var/log/6397-SIM00001-logo-01.dat"), logo);
    const std::string sent = Payloads();
    EXPECT_NE(sent.find("1b29001b2301 1d2a" + Hex(logo) + " 1b2201"), std::string::npos) << sent;

    ASSERT_NO_FATAL_FAILURE(RestartDaemon());
    ASSERT_EQ(Set("printMode", 16), 0) << PosErrno();
    Payloads();
    ASSERT_EQ(Write(logo), 11) << PosErrno();
    ASSERT_EQ(Set("printMode", 1), 0) << PosErrno();
    ASSERT_EQ(Write("X\n"), 2) << PosErrno();
    ASSERT_TRUE(WaitForReply("printed 1 0x11 0x35 cr", "X")) << Sim("payloads 1 0x11 0x35");
    const std::string after = Payloads();
    EXPECT_EQ(after.find("1d2a"), std::string::npos) << after;
    EXPECT_EQ(after.find("1b29001b2301"), std::string::npos) << after;
}

TEST_F(P6397LogoE2E, AFlashRecordIsWrittenAndReadBack) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_EQ(Set("recordLength", 10), 0) << PosErrno();
    Payloads();
    const std::string w = std::string("\x1bw\x01\x00\x00\x00\x03\x00", 8) + "ABC";
    const std::string r = std::string("\x1br\x01\x00\x00\x00", 6);
    ASSERT_EQ(Write(w + r), static_cast<int>(w.size() + r.size())) << PosErrno();
    ASSERT_TRUE(WaitForEvent(kDataAvail, 0x30000u | static_cast<uint32_t>(handle_))) << Seen();
    EXPECT_EQ(seen_.back().p2, 10u);
    const std::string sent = Payloads();
    EXPECT_NE(sent.find("1b270a000101414243" + std::string(14, '0')), std::string::npos) << sent;
    EXPECT_NE(sent.find("1b340a000101"), std::string::npos) << sent;
    EXPECT_EQ(Sim("flash 1 0x11 0x35 0x101 10"), "ok 41424300000000000000");

    ASSERT_EQ(Set("printReadMode", 3), 0) << PosErrno();
    char buf[64] = {};
    ASSERT_EQ(PosRead(handle_, buf, sizeof buf), 18) << PosErrno();
    EXPECT_EQ(Hex(std::string(buf, 18)), "010000000a000000414243" + std::string(14, '0'));
}

TEST_F(P6397LogoE2E, TheMicrCodeLineIsReadOnTheDocumentStation) {
    // The printer's device information names a MICR reader (option bit 0).
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_EQ(PosIOCtl(handle_, 4902, nullptr, 0), 0) << PosErrno(); // DI printing on
    ASSERT_EQ(Set("printStation", 4), 0) << PosErrno();
    ASSERT_EQ(Sim("micr 1 0x11 0x35 3132333435"), "ok micr 3132333435");
    Payloads();
    ASSERT_EQ(Write("\x1bR"), 2) << PosErrno();
    ASSERT_TRUE(WaitForEvent(kDataAvail, 0x20000u | static_cast<uint32_t>(handle_))) << Seen() << Payloads();
    EXPECT_EQ(seen_.back().p2 & 0xFFFF, 5u);
    EXPECT_NE(Payloads().find("1b49"), std::string::npos);
    ASSERT_EQ(Set("printReadMode", 1), 0) << PosErrno();
    char buf[16] = {};
    ASSERT_EQ(PosRead(handle_, buf, sizeof buf), 5) << PosErrno();
    EXPECT_EQ(std::string(buf, 5), "12345");
}

} // namespace
