// Client processes: the request road from the entry points to the virtual devices, driven
// over a socket pair as the daemon drives it.
#include <gtest/gtest.h>

#include <thread>

#include "RoadFakes.h"

namespace {

using namespace road;

const char kResources[] =
    "shop.receipt.slotNumber: SLOT_1\n"
    "shop.receipt.portNumber: PORT_1\n"
    "shop.receipt.deviceNumber: DEVICE_PRINTER_6397\n"
    "shop.scale.deviceNumber: DEVICE_SCALE\n";

class ProcessTest : public ::testing::Test {
protected:
    void SetUp() override { ovkhost::clearCaptures(); }

    static bool Printed(const std::string& text) {
        for (const std::string& line : ovkhost::printedLines())
            if (line.find(text) != std::string::npos) return true;
        return false;
    }

    Terminal terminal{kResources};
};

TEST_F(ProcessTest, InitialisedProcessHearsWhatIsOnlineOnHandleZero) {
    Client c(terminal, 100);
    ASSERT_EQ(c.initResult, 0);
    ASSERT_TRUE(c.added);
    EXPECT_TRUE(c.process->IsInitialized());
    EXPECT_EQ(c.process->GetEventDestination().kind, 1);
    EXPECT_EQ(c.process->GetEventDestination().clientId, 0x1000 + 100);

    std::array<uint8_t, 20> raw{};
    ASSERT_TRUE(c.end.nextRaw(raw));
    const std::array<uint8_t, 20> online{0x01, 0x00, 0x00, 0xCE, 0x00, 0x00, 0x00, 0x00, 0x0D, 0x42,
                                         0x00, 0x00, 0x03, 0x35, 0x11, 0x01, 0x12, 0x00, 0x00, 0x00};
    EXPECT_EQ(raw, online);
    Event e{};
    ASSERT_TRUE(c.end.next(e));
    EXPECT_EQ(e.msg, 0x420Du);
    EXPECT_EQ(e.p1, 0x01111009u); // the keyboard
    EXPECT_TRUE(c.end.drain().empty());

    // Events are read on the client side: handle 0 reads nothing here.
    char buffer[16];
    int count = -1;
    EXPECT_EQ(c.process->DLL_PosRead(nullptr, 0, buffer, sizeof buffer, &count), 0);
    EXPECT_EQ(count, 0);
}

TEST_F(ProcessTest, OpenByDeviceNameAndByArguments) {
    Client c(terminal, 100);
    int byName = -1, byArgs = -1;
    ASSERT_EQ(c.Open("receipt", "PosPrinter", {}, &byName), 0);
    EXPECT_EQ(byName, 1);
    EXPECT_EQ(c.Device(1)->GetDeviceID(), DeviceID(1, 0x11, 0x35));
    EXPECT_EQ(c.Device(1)->GetPhysical(), &terminal.printer);
    EXPECT_TRUE(Printed("--> <<TPRNTV  >> (1.11.35) created"));

    ASSERT_EQ(c.Open("journal", "PosPrinter",
                     {{"slotNumber", 0x101}, {"portNumber", 0x11}, {"deviceNumber", 0x35}}, &byArgs),
              0);
    EXPECT_EQ(byArgs, 2);
    EXPECT_EQ(c.Device(2)->GetDeviceID(), DeviceID(1, 0x11, 0x35)); // low bytes of the values
    EXPECT_EQ(terminal.printer.OpenCount(), 2);
    EXPECT_EQ(c.process->DLL_PosClose(nullptr, 1), 0);
    // The lowest free handle is taken again.
    ASSERT_EQ(c.OpenPrinter(&byArgs), 0);
    EXPECT_EQ(byArgs, 1);
}

TEST(ProcessResources, DeviceNameThenClassResourcesThenArguments) {
    Terminal t("shop.receipt.slotNumber: SLOT_2\n"
               "*PosPrinter.PortNumber: PORT_2\n"
               "*DeviceNumber: DEVICE_PRINTER_3\n"
               "shop.drawer.deviceNumber: DEVICE_CASH_DRAWER_B\n");
    Client c(t, 100);
    DeviceID id;
    ASSERT_EQ(c.process->DetermineDevID(u("shop.receipt"), u("PosPrinter"), id, nullptr, 0), 0);
    EXPECT_EQ(id, DeviceID(2, 0x22, 0x34));
    std::vector<PosArg> args{{"slotNumber", 3}};
    ASSERT_EQ(c.process->DetermineDevID(u("shop.receipt"), u("PosPrinter"), id, args.data(), 1), 0);
    EXPECT_EQ(id, DeviceID(3, 0x22, 0x34));
    ASSERT_EQ(c.process->DetermineDevID(u("shop.drawer"), u("PosDrawer"), id, nullptr, 0), 0);
    EXPECT_EQ(id, DeviceID(5, 0x11, 0x83)); // defaults where nothing is said
}

TEST_F(ProcessTest, ReadWriteIOCtlAndClose) {
    Client c(terminal, 100);
    int h = 0;
    ASSERT_EQ(c.OpenPrinter(&h), 0);

    char buffer[8] = {};
    int count = -1;
    EXPECT_EQ(c.process->DLL_PosRead(nullptr, h, buffer, sizeof buffer, &count), 0);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(std::string(buffer, 3), "ABC");
    EXPECT_EQ(c.process->DLL_PosWrite(nullptr, h, "hello", 5, &count), 0);
    EXPECT_EQ(count, 5);
    EXPECT_EQ(c.Device(h)->written, "hello");

    EXPECT_EQ(c.IOCtl(h, 301), 0);
    EXPECT_EQ(c.IOCtl(h, 301), 314);
    EXPECT_TRUE(terminal.printer.LockFree()); // held, but not locked between requests
    EXPECT_EQ(c.IOCtl(h, 304), 0);
    EXPECT_EQ(c.IOCtl(h, 304), 315);
    EXPECT_EQ(c.IOCtl(h, 4401), 316);

    EXPECT_EQ(c.process->DLL_PosClose(nullptr, h), 0);
    EXPECT_EQ(c.process->GetDevice(h), nullptr);
    EXPECT_EQ(terminal.printer.OpenCount(), 0);
    EXPECT_EQ(c.process->DLL_PosClose(nullptr, h), 303);
    EXPECT_EQ(c.process->DLL_PosClose(nullptr, 0), 311);
}

TEST_F(ProcessTest, OpenValidationChain) {
    Client c(terminal, 100);
    const std::string longName(33, 'n');
    const std::string maxName(32, 'n');
    struct Case {
        const char* what;
        const char* name;
        const char* cls;
        std::vector<PosArg> args;
        int expected;
    };
    auto at = [](int slot, int port, int address) {
        return std::vector<PosArg>{{"slotNumber", slot}, {"portNumber", port}, {"deviceNumber", address}};
    };
    const std::vector<Case> cases{
        {"name of 33 characters", longName.c_str(), "PosPrinter", at(1, 0x11, 0x35), 330},
        {"empty name", "", "PosPrinter", at(1, 0x11, 0x35), 330},
        {"empty class", "receipt", "", at(1, 0x11, 0x35), 331},
        {"unknown class", "receipt", "PosPrinters", at(1, 0x11, 0x35), 331},
        {"no such slot", "receipt", "PosPrinter", at(7, 0x11, 0x35), 326},
        {"slot number beyond 8", "receipt", "PosPrinter", at(9, 0x11, 0x35), 326},
        {"slot without adapter", "receipt", "PosPrinter", at(0, 0x00, 0x35), 327},
        {"port not served", "receipt", "PosPrinter", at(1, 0x33, 0x35), 328},
        {"address without class", "receipt", "PosPrinter", at(1, 0x11, 0x36), 307},
        {"unknown application address", "receipt", "PosPrinter", at(1, 0x11, 0x88), 307},
        {"application address of another class", "receipt", "PosPrinter", at(1, 0x11, 0x85), 319},
        {"nobody at a printer address", "receipt", "PosPrinter", at(1, 0x11, 0x34), 317},
        {"operating-system queue", maxName.c_str(), "PosPrinter",
         {{"slotNumber", 1}, {"portNumber", 0x11}, {"deviceNumber", 0x35}, {"queueHandle", 9}}, 308},
        {"resources of the device name", "scale", "PosScale", {}, 326}, // slot 5 by default
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        int h = -7;
        EXPECT_EQ(c.Open(k.name, k.cls, k.args, &h), k.expected);
        EXPECT_EQ(h, -7);
    }
    EXPECT_EQ(terminal.printer.OpenCount(), 0);
    for (int handle = 1; handle < 32; ++handle) EXPECT_EQ(c.process->GetDevice(handle), nullptr);

    // The class and address check comes before the slot is asked for the device.
    const int asked = terminal.slot1->findPhysicalCalls;
    int h = 0;
    EXPECT_EQ(c.Open("receipt", "PosPrinter", at(1, 0x11, 0x10), &h), 319);
    EXPECT_EQ(terminal.slot1->findPhysicalCalls, asked);

    // A device that reports another type than its class's, and an offline device.
    terminal.keyboard.ReportType(4);
    EXPECT_EQ(c.Open("kbd", "PosKeyboard", at(1, 0x11, 0x10), &h), 317);
    terminal.keyboard.ReportType(9);
    terminal.keyboard.NowNotConfirmed();
    EXPECT_EQ(c.Open("kbd", "PosKeyboard", at(1, 0x11, 0x10), &h), 317);
    terminal.keyboard.NowConfirmed();
    EXPECT_EQ(c.Open("kbd", "PosKeyboard", at(1, 0x11, 0x10), &h), 0);
}

TEST_F(ProcessTest, OpenChecksCallerMemoryAndCounts) {
    Client c(terminal, 100);
    int h = 0;
    EXPECT_EQ(c.process->DLL_PosOpen(nullptr, nullptr, u("PosPrinter"), nullptr, 0, &h),
              CH_ERR_INVALID_ADDRESS);
    EXPECT_EQ(c.process->DLL_PosOpen(nullptr, u("receipt"), nullptr, nullptr, 0, &h),
              CH_ERR_INVALID_ADDRESS);
    EXPECT_EQ(c.process->DLL_PosOpen(nullptr, u("receipt"), u("PosPrinter"), nullptr, 0, nullptr),
              CH_ERR_INVALID_ADDRESS);
    PosArg args[1] = {{"slotNumber", 1}};
    EXPECT_EQ(c.process->DLL_PosOpen(nullptr, u("receipt"), u("PosPrinter"), args, -1, &h), 325);
    PosArg bad[1] = {{reinterpret_cast<const char*>(8), 1}};
    EXPECT_EQ(c.process->DLL_PosOpen(nullptr, u("receipt"), u("PosPrinter"), bad, 1, &h),
              CH_ERR_INVALID_ADDRESS);
    // A name that fails its checks is never printed.
    const std::string longName(33, 'q');
    ovkhost::clearCaptures();
    EXPECT_EQ(c.process->DLL_PosOpen(nullptr, u(longName.c_str()), u("PosPrinter"), nullptr, 0, &h), 330);
    EXPECT_FALSE(Printed("PosOpen("));
}

TEST_F(ProcessTest, ThirtyOneDevicesFillTheHandles) {
    Client c(terminal, 100);
    for (int i = 1; i <= 31; ++i) {
        int h = 0;
        ASSERT_EQ(c.OpenPrinter(&h), 0);
        EXPECT_EQ(h, i);
    }
    int h = 0;
    EXPECT_EQ(c.OpenPrinter(&h), 309);
    EXPECT_EQ(terminal.printer.OpenCount(), 31);
    c.End();
    EXPECT_EQ(terminal.printer.OpenCount(), 0);
}

TEST_F(ProcessTest, HandleLimitBelowThirtyTwo) {
    Process small(200, 3, "Process");
    EXPECT_EQ(small.DLL_PosInitialize(nullptr, u("shop"), u(terminal.ResourceFile().c_str()), nullptr, 0), 0);
    PosArg args[3] = {{"slotNumber", 1}, {"portNumber", 0x11}, {"deviceNumber", 0x35}};
    int h = 0;
    EXPECT_EQ(small.DLL_PosOpen(nullptr, u("a"), u("PosPrinter"), args, 3, &h), 0);
    EXPECT_EQ(small.DLL_PosOpen(nullptr, u("b"), u("PosPrinter"), args, 3, &h), 0);
    EXPECT_EQ(h, 2);
    EXPECT_EQ(small.DLL_PosOpen(nullptr, u("c"), u("PosPrinter"), args, 3, &h), 309);
    EXPECT_EQ(small.ValidateHandle(3), 303);

    Process big(201, 40, "Process");
    EXPECT_EQ(big.GetHandleLimit(), 32);
}

TEST_F(ProcessTest, EntryPointsBeforeInitialisation) {
    Process p(300, 32, "Process");
    int h = 0, count = -1, out = -1;
    char buffer[4];
    EXPECT_EQ(p.DLL_PosOpen(nullptr, u("receipt"), u("PosPrinter"), nullptr, 0, &h), 302);
    EXPECT_EQ(p.DLL_PosRead(nullptr, 1, buffer, 4, &count), 302);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(p.DLL_PosWrite(nullptr, 1, buffer, 4, &count), 302);
    EXPECT_EQ(p.DLL_PosIOCtl(nullptr, 0, 302, nullptr, 0, &out), 302);
    EXPECT_EQ(p.DLL_PosClose(nullptr, 1), 302);
    EXPECT_EQ(p.ValidateHandle(0), 303);
}

TEST_F(ProcessTest, InitialisationChecks) {
    const std::string file = terminal.ResourceFile();
    const std::string longApp(33, 'a');
    const std::string app32(32, 'a');
    const std::string longFile(258, 'f');
    struct Case {
        const char* what;
        const unsigned char* app;
        const unsigned char* file;
        int count;
        int expected;
    };
    PosArg args[1] = {{"readTimeout", 5}};
    const std::vector<Case> cases{
        {"unreadable application name", nullptr, u(file.c_str()), 0, CH_ERR_INVALID_ADDRESS},
        {"unreadable resource file", u("shop"), nullptr, 0, CH_ERR_INVALID_ADDRESS},
        {"negative count", u("shop"), u(file.c_str()), -1, 325},
        {"empty application name", u(""), u(file.c_str()), 0, 330},
        {"application name of 33", u(longApp.c_str()), u(file.c_str()), 0, 330},
        {"empty resource file", u("shop"), u(""), 0, 336},
        {"resource file of 258", u("shop"), u(longFile.c_str()), 0, 336},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        Process p(400, 32, "Process");
        ovkhost::clearCaptures();
        EXPECT_EQ(p.DLL_PosInitialize(nullptr, k.app, k.file, args, k.count), k.expected);
        EXPECT_FALSE(p.IsInitialized());
        EXPECT_FALSE(Printed("PosInitialize("));
    }

    Process p(401, 32, "Process");
    EXPECT_EQ(p.DLL_PosInitialize(nullptr, u(app32.c_str()), u(file.c_str()), args, 1), 0);
    EXPECT_TRUE(Printed("PosInitialize(" + app32 + ", " + file + ", 1)"));
    EXPECT_TRUE(Printed("arg[0].name='readTimeout', value=0x5(5)"));
    EXPECT_EQ(p.GetReadTimeout(), 5);
    EXPECT_NE(p.GetQueue(), nullptr);
    // A second initialise changes nothing.
    PosArg again[1] = {{"readTimeout", 9}};
    EXPECT_EQ(p.DLL_PosInitialize(nullptr, u("other"), u(file.c_str()), again, 1), 304);
    EXPECT_EQ(p.GetReadTimeout(), 5);
    EXPECT_STREQ(p.GetApplicationName(), app32.c_str());

    Process q(402, 32, "Process");
    PosArg queue[1] = {{"queueHandle", 12}};
    EXPECT_EQ(q.DLL_PosInitialize(nullptr, u("shop"), u(file.c_str()), queue, 1), 308);
    EXPECT_FALSE(q.IsInitialized());
    EXPECT_EQ(q.GetEventDestination().kind, 1);
}

TEST_F(ProcessTest, ReadAndWriteChecks) {
    Client c(terminal, 100);
    int h = 0;
    ASSERT_EQ(c.OpenPrinter(&h), 0);
    char buffer[8];
    int count = -1;
    EXPECT_EQ(c.process->DLL_PosRead(nullptr, 9, buffer, 0, &count), 0); // free handle, 0 bytes
    EXPECT_EQ(count, 0);
    count = -1;
    EXPECT_EQ(c.process->DLL_PosRead(nullptr, 9, buffer, 8, &count), 303);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(c.process->DLL_PosRead(nullptr, 32, buffer, 8, &count), 303);
    EXPECT_EQ(c.process->DLL_PosRead(nullptr, -1, buffer, 8, &count), 303);
    EXPECT_EQ(c.process->DLL_PosRead(nullptr, h, nullptr, 8, &count), CH_ERR_INVALID_ADDRESS);
    EXPECT_EQ(c.process->DLL_PosRead(nullptr, h, buffer, 8, nullptr), CH_ERR_INVALID_ADDRESS);
    EXPECT_EQ(c.process->DLL_PosWrite(nullptr, h, nullptr, 8, &count), CH_ERR_INVALID_ADDRESS);
    EXPECT_EQ(c.process->DLL_PosWrite(nullptr, h, "x", 0, &count), 0);
    EXPECT_EQ(c.Device(h)->written, "");

    // Handle 0 takes no writes: a client cannot forge events (nor have 12 bytes read from
    // a shorter buffer).
    c.end.drain();
    count = -1;
    EXPECT_EQ(c.process->DLL_PosWrite(nullptr, 0, "\x0D\x42\0\0", 4, &count), 311);
    EXPECT_EQ(count, 0);
    uint32_t forged[3] = {0x420C, 0x01113503, 0x12};
    EXPECT_EQ(c.process->DLL_PosWrite(nullptr, 0, forged, sizeof forged, &count), 311);
    EXPECT_TRUE(c.end.drain().empty());
}

TEST_F(ProcessTest, ValuesOfHandleZeroReachTheSystemValues) {
    Client c(terminal, 100);
    EXPECT_EQ(c.IOCtl(0, 301), 316);
    EXPECT_EQ(c.IOCtl(0, 302), 0); // no arguments

    std::vector<PosArg> set{{"traceOptions", 0x25}, {"readTimeout", 700}, {"msgLimit", 16},
                            {"vdevTimeout", 9}};
    EXPECT_EQ(c.IOCtl(0, 305, &set), 0);
    EXPECT_EQ(terminal.comd->GetTraceOptions(), 0x25);
    EXPECT_EQ(c.process->GetMessageLimit(), 16);

    std::vector<PosArg> bad{{"readTimeout", 1}, {"msgLimit", 15}, {"traceOptions", 1}};
    EXPECT_EQ(c.IOCtl(0, 305, &bad), 310);
    EXPECT_EQ(c.process->GetReadTimeout(), 700); // nothing is kept
    EXPECT_EQ(c.process->GetMessageLimit(), 16);
    EXPECT_EQ(terminal.comd->GetTraceOptions(), 0x25);
    std::vector<PosArg> negative{{"vdevTimeout", -1}};
    EXPECT_EQ(c.IOCtl(0, 305, &negative), 310);

    std::vector<PosArg> get{{"traceOptions", 0}, {"readTimeout", 0}, {"msgLimit", 0},
                            {"vdevTimeout", 0}, {"queueHandle", -1}, {"slotNumber", -5}};
    int out = -1;
    EXPECT_EQ(c.IOCtl(0, 302, &get, &out), 0);
    EXPECT_EQ(out, 0);
    EXPECT_EQ(get[0].value, 0x25);
    EXPECT_EQ(get[1].value, 700);
    EXPECT_EQ(get[2].value, 16);
    EXPECT_EQ(get[3].value, 9);
    EXPECT_EQ(get[4].value, 0);
    EXPECT_EQ(get[5].value, -5);
}

TEST_F(ProcessTest, RawNameRequestsPrintNamesAsNumbers) {
    Client c(terminal, 100);
    std::vector<PosArg> raw{{reinterpret_cast<const char*>(0x41), 1}};
    ovkhost::clearCaptures();
    EXPECT_EQ(c.IOCtl(0, 4402, &raw), 316);
    EXPECT_TRUE(Printed("(User Defined Char) arg[0].name='0x41'"));
    // Any other request checks the names as strings.
    EXPECT_EQ(c.IOCtl(0, 4401, &raw), CH_ERR_INVALID_ADDRESS);
    int h = 0;
    ASSERT_EQ(c.OpenPrinter(&h), 0);
    EXPECT_EQ(c.process->DLL_PosIOCtl(nullptr, h, 301, nullptr, 0, nullptr), CH_ERR_INVALID_ADDRESS);
    EXPECT_FALSE(c.Device(h)->IsHolding());
}

TEST_F(ProcessTest, RefusedAcquireGetsExactlyOneReleaseNotice) {
    Client a(terminal, 101), b(terminal, 102);
    int ha = 0, hb = 0, hb2 = 0;
    ASSERT_EQ(a.OpenPrinter(&ha), 0);
    ASSERT_EQ(b.Open("spare", "PosPrinter",
                     {{"slotNumber", 1}, {"portNumber", 0x11}, {"deviceNumber", 0x35}}, &hb2), 0);
    ASSERT_EQ(b.OpenPrinter(&hb), 0);
    EXPECT_EQ(hb, 2);
    ASSERT_EQ(a.IOCtl(ha, 301), 0);
    EXPECT_EQ(b.IOCtl(hb, 301), 313);
    a.end.drain();
    b.end.drain();

    ASSERT_EQ(a.IOCtl(ha, 304), 0);
    Event e{};
    ASSERT_TRUE(b.end.next(e));
    EXPECT_EQ(e.type, 0xCE000001u);
    EXPECT_EQ(e.msg, 0x4213u);
    EXPECT_EQ(e.p1, 2u); // b's handle for the waiting device
    EXPECT_EQ(e.p2, 0u);
    EXPECT_TRUE(b.end.drain().empty());
    EXPECT_TRUE(a.end.drain().empty());

    // Once: another acquire and release by a is not announced again.
    ASSERT_EQ(a.IOCtl(ha, 301), 0);
    ASSERT_EQ(a.IOCtl(ha, 304), 0);
    EXPECT_TRUE(b.end.drain().empty());
    EXPECT_EQ(b.IOCtl(hb, 301), 0);
    EXPECT_EQ(b.IOCtl(hb, 304), 0);
}

TEST_F(ProcessTest, TimingValuesReachThePhysicalDeviceOnlyWhileHeld) {
    Client c(terminal, 100);
    int h = 0;
    ASSERT_EQ(c.OpenPrinter(&h), 0);
    std::vector<PosArg> ec{{"ecLevel", 3}};
    terminal.printer.requests.clear();
    EXPECT_EQ(c.IOCtl(h, 305, &ec), 0);
    EXPECT_FALSE(terminal.printer.Asked(9994));
    EXPECT_EQ(terminal.printer.ecLevel, 0);
    ASSERT_EQ(c.IOCtl(h, 301), 0);
    EXPECT_EQ(c.IOCtl(h, 305, &ec), 0);
    EXPECT_TRUE(terminal.printer.Asked(9994));
    EXPECT_EQ(terminal.printer.ecLevel, 3);
    std::vector<PosArg> get{{"ecLevel", 0}, {"codePage", 0}};
    EXPECT_EQ(c.IOCtl(h, 302, &get), 0);
    EXPECT_EQ(get[0].value, 3);
    EXPECT_EQ(get[1].value, 858); // the process's 437 has no font file here
    EXPECT_EQ(c.Device(h)->GetClientId(), 0x1000u + 100);
}

TEST_F(ProcessTest, EndingProcessClosesAndReleasesItsDevices) {
    Client a(terminal, 101), b(terminal, 102);
    int h1 = 0, h2 = 0, hb = 0;
    // h1 holds the printer and keeps its lock past the open, as a family may do.
    ASSERT_EQ(a.OpenPrinter(&h1, {{"acquireAtOpen", 1}}), 0);
    ASSERT_EQ(a.OpenPrinter(&h2), 0);
    EXPECT_EQ(terminal.printer.GetOwner(), a.Device(h1));
    EXPECT_FALSE(terminal.printer.LockFree());
    ASSERT_EQ(b.OpenPrinter(&hb), 0);
    EXPECT_EQ(b.IOCtl(hb, 301), 313);
    b.end.drain();

    a.End();
    EXPECT_EQ(terminal.printer.GetOwner(), nullptr);
    EXPECT_TRUE(terminal.printer.LockFree());
    EXPECT_EQ(terminal.printer.OpenCount(), 1); // b's device alone
    Event e{};
    ASSERT_TRUE(b.end.next(e));
    EXPECT_EQ(e.msg, 0x4213u);
    EXPECT_EQ(e.p1, static_cast<uint32_t>(hb));
    // 7 and 23 mark the end of the process.
    bool begin = false, end = false;
    for (const auto& t : ovkhost::traces()) {
        if (t.component != 93) continue;
        if (t.minor == 7) begin = t.data.size() == 148;
        if (t.minor == 23) end = t.data.size() == 132;
    }
    EXPECT_TRUE(begin);
    EXPECT_TRUE(end);

    // The next process finds the printer free.
    Client c(terminal, 103);
    int hc = 0;
    ASSERT_EQ(c.OpenPrinter(&hc), 0);
    EXPECT_EQ(b.IOCtl(hb, 301), 0);
    EXPECT_EQ(c.IOCtl(hc, 301), 313);
    EXPECT_EQ(b.IOCtl(hb, 304), 0);
    EXPECT_EQ(c.IOCtl(hc, 301), 0);
}

TEST_F(ProcessTest, EndingProcessLeavesAnotherProcessesHoldAlone) {
    Client a(terminal, 101), b(terminal, 102);
    int ha = 0, hb = 0;
    ASSERT_EQ(b.OpenPrinter(&hb, {{"acquireAtOpen", 1}}), 0);
    const unsigned long lockOwner = terminal.printer.LockOwner();
    ASSERT_NE(lockOwner, 0ul);
    ASSERT_EQ(a.OpenPrinter(&ha), 0);
    EXPECT_EQ(a.IOCtl(ha, 301), 313);

    a.End();
    EXPECT_EQ(terminal.printer.GetOwner(), b.Device(hb));
    EXPECT_EQ(terminal.printer.LockOwner(), lockOwner); // b's hold keeps its lock
    EXPECT_TRUE(b.Device(hb)->IsHolding());
    b.End();
    EXPECT_TRUE(terminal.printer.LockFree());
    EXPECT_EQ(terminal.printer.OpenCount(), 0);
}

// Release notices reach every process from other processes' request threads while those
// processes open and close their own devices.
TEST_F(ProcessTest, ReleaseNoticesWhileAnotherProcessClosesItsDevices) {
    Client a(terminal, 101), b(terminal, 102);
    int ha = 0;
    ASSERT_EQ(a.OpenPrinter(&ha), 0);
    std::thread closer([&] {
        for (int i = 0; i < 300; ++i) {
            int hb = 0;
            ASSERT_EQ(b.OpenPrinter(&hb), 0);
            const int acquired = b.IOCtl(hb, 301);
            EXPECT_TRUE(acquired == 0 || acquired == 313) << acquired;
            b.IOCtl(hb, 304);
            ASSERT_EQ(b.process->DLL_PosClose(nullptr, hb), 0);
        }
    });
    for (int i = 0; i < 300; ++i) {
        a.IOCtl(ha, 301);
        a.IOCtl(ha, 304);
    }
    closer.join();
    EXPECT_EQ(terminal.printer.OpenCount(), 1);
}

TEST_F(ProcessTest, RequestsAreTraced) {
    Client c(terminal, 100);
    ovkhost::clearCaptures();
    int h = 0;
    ASSERT_EQ(c.OpenPrinter(&h), 0);
    char buffer[4];
    int count = 0;
    c.process->DLL_PosRead(nullptr, h, buffer, 4, &count);
    c.process->DLL_PosClose(nullptr, h);
    std::vector<uint32_t> minors;
    std::vector<uint8_t> openResult, readResult;
    for (const auto& t : ovkhost::traces()) {
        if (t.component != 93 || t.minor == 8) continue;
        minors.push_back(t.minor);
        if (t.minor == 18) openResult = t.data;
        if (t.minor == 20) readResult = t.data;
    }
    EXPECT_EQ(minors, (std::vector<uint32_t>{2, 18, 4, 20, 3, 19}));
    EXPECT_EQ(openResult, (std::vector<uint8_t>{0, 0, 0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(readResult, (std::vector<uint8_t>{0, 0, 0, 0, 3, 0, 0, 0}));
}

TEST_F(ProcessTest, LeadByteRangesOfTheClient) {
    Process p(500, 32, "Process");
    unsigned char ranges[32] = {0x81, 0x9F, 0xE0, 0xEF};
    EXPECT_EQ(p.InitializeEnvironment(ranges, 932, 1, 0x55, 9), 1);
    EXPECT_EQ(p.isdbcs1(0x85), 1);
    EXPECT_EQ(p.isdbcs1(0xE5), 1);
    EXPECT_EQ(p.isdbcs1(0xF0), 0);
    EXPECT_EQ(p.GetCodePage(), 932);
    EXPECT_EQ(p.GetCpInfo(), 0x55u);
    EXPECT_EQ(p.GetClientId(), 9);
    const unsigned char s[] = {0x85, 'a', 'a', 0};
    const unsigned char a[] = {'a', 0};
    EXPECT_EQ(p.ms_strchr(s, a), s + 2);
    EXPECT_EQ(p.getctype(s, 1), 2);
    unsigned char none[32] = {};
    EXPECT_EQ(p.InitializeEnvironment(none, 858, 0, 0, 9), 0);
    EXPECT_EQ(p.isdbcs1(0x85), 0);
}

} // namespace
