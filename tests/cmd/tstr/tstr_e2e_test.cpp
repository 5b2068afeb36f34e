// OVKTSTR on a terminal, as a technician uses it: initialise with the terminal's resource
// file, see the operator display come online, open it, acquire it, write to it, read the
// queue's time-out back, and quit; with the reader thread and with the checks around each
// prompt instead.
#include <cctype>
#include <string>

#include "PtySession.h"
#include "SimulatedTerminal.h"

namespace {

const char kTerminal[] =
    "slot 0 planar\n"
    "slot 1 rs485 type 5 kind 5 ports 2\n"
    "station 1 0x11 0x22 oper\n";

const char kResources[] =
    "terminal.operator.slotNumber:   SLOT_1\n"
    "terminal.operator.portNumber:   PORT_1\n"
    "terminal.operator.deviceNumber: DEVICE_OPERATOR_DISPLAY_A\n";

constexpr uint32_t kOnline = 0x420D;

class TstrE2E : public TerminalTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(StartTerminal(kTerminal, kResources));
        ASSERT_TRUE(WaitForEvent(kOnline, DeviceWord(1, 0x11, 0x22, 2))) << Seen();
    }

    // Waits for the prompt, then types the line (the terminal shows each line end as CR LF).
    void Answer(const std::string& prompt, const std::string& line) {
        ASSERT_TRUE(tstr_.WaitFor(prompt)) << "no \"" << prompt << "\" in:\n" << tstr_.Unconsumed();
        tstr_.Type(line + "\n");
    }
    void Expect(const std::string& text) {
        ASSERT_TRUE(tstr_.WaitFor(text)) << "no \"" << text << "\" in:\n" << tstr_.Unconsumed();
    }
    // One argument of the list being typed.
    void Argument(int number, const std::string& name, const std::string& type, const std::string& value) {
        ASSERT_NO_FATAL_FAILURE(Answer("PosArg " + std::to_string(number) + " name: ", name));
        ASSERT_NO_FATAL_FAILURE(Answer("Binary data (D): ", type));
        const char t = type.empty() ? 'D' : static_cast<char>(std::toupper(static_cast<unsigned char>(type[0])));
        if (t == 'D') {
            ASSERT_NO_FATAL_FAILURE(Answer("Decimal value: ", value));
        } else if (t == 'X') {
            ASSERT_NO_FATAL_FAILURE(Answer("Hexdecimal value: ", value));
        }
    }

    PtySession tstr_;
};

TEST_P(TstrE2E, DrivesTheOperatorDisplayFromTheMenu) {
    const bool withThread = GetParam();
    std::vector<std::string> argv{OVKTSTR_PROGRAM};
    if (!withThread) argv.push_back("-nothread");
    ASSERT_TRUE(tstr_.Start(argv));
    Expect(withThread ? "t - Thread reading (Currently: ON)" : "a - Auto queue checking (Currently: ON)");

    // x: the terminal's resource file; the online event of the display follows.
    Answer("Choice: ", "x");
    Answer("ApplName (OVKTSTR): ", "");
    Answer("ResourceFile (OVKTSTR): ", "/etc/terminal.res");
    Answer("Nargs (0): ", "");
    Expect("PosInitialize(OVKTSTR, /etc/terminal.res, 0, 0, [], 0)");
    Expect("RC = 0, errno = ");
    const std::string pad = withThread ? std::string(15, ' ') : "";
    Expect(pad + "POSM_SYS_DEVICE_ONLINE - type ");
    Expect("slotNumber 0x01 (SLOT_1),\r\n" + pad + "portNumber 0x11 (PORT_1), deviceNumber 0x22 (OPERATOR_DISPLAY_A)");

    // o: by slot, port and address.
    Answer("Choice: ", "o");
    Answer("DevName (", "display");
    Answer("DevClass (PosDisplay): ", "");
    Answer("Nargs (0): ", "3");
    Argument(1, "slotNumber", "d", "1");
    Argument(2, "portNumber", "X", "11");
    Argument(3, "deviceNumber", "x", "22");
    Expect("PosOpen(display, PosDisplay, [], 3)");
    Expect("   2: portNumber = 0x11");
    Expect("RC = 1, errno = ");

    // i: a request found by part of its name.
    Answer("Choice: ", "i");
    Answer("Handle (1): ", "");
    Answer("Request: ", "acquire");
    Answer("Nargs (0): ", "");
    Expect("PosIOCtl(1, POS_SYS_ACQUIRE_DEVICE, [..], 0)");
    Expect("RC = 0, errno = ");

    // w: the text reaches the display.
    Answer("Choice: ", "w");
    Answer("Handle (1): ", "");
    Answer("Enter up to 253 bytes to write: ", "HELLO");
    Expect("PosWrite(1, [], 5)");
    Expect("RC = 5, errno = ");
    EXPECT_TRUE(WaitForReply("text 1 0x11 0x22 0", "[HELLO "));

    // i on the event queue: get values shows the read time-out the program set.
    Answer("Choice: ", "i");
    Answer("Handle (1): ", "0");
    Answer("Request: ", "get values");
    Answer("Nargs (0): ", "1");
    Answer("PosArg 1 name: ", "readTimeout");
    Answer("Binary data (D): ", "");
    Expect("PosIOCtl(0, POS_SYS_GET_VALUES, [..], 1)");
    Expect("   1: readTimeout = -1");
    Expect("RC = 0, errno = ");
    Expect("   1: readTimeout = 500");

    // A failed open leaves -1 as the next default handle.
    Answer("Choice: ", "o");
    Answer("DevName (display): ", "nosuchdevice");
    Answer("DevClass (PosDisplay): ", "");
    Answer("Nargs (0): ", "");
    Expect("RC = -1, errno = ");
    Answer("Choice: ", "c");
    Answer("Handle (-1): ", "1");
    Expect("PosClose(1)");

    // An unknown key, then quit.
    Answer("Choice: ", "z");
    Expect("--> Invalid choice");
    Answer("Choice: ", "q");
    EXPECT_EQ(tstr_.Wait(), 0) << tstr_.Unconsumed();
}

INSTANTIATE_TEST_SUITE_P(ReaderThread, TstrE2E, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "WithThread" : "NoThread";
                         });

} // namespace
