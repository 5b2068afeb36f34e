// The physical and virtual printer base on a capturing adapter: TellPhys and its records,
// settings that wake the adapter, the held resume request, resources and their validation,
// and the printer I/O controls.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>

#include "PrinterBench.h"
#include "syresource.h"

namespace prntbench {
namespace {

constexpr uint32_t kHandleBits = 0xFFFF;

int tell(PRNTP& p, int code, void* data, int length) {
    return p.TellPhys(nullptr, code, static_cast<unsigned char*>(data), length);
}

TEST_F(PrinterBench, TellPhysOutValuesAreThirtyTwoBitAndShortRecordsAre321) {
    struct Case {
        int code;
        uint32_t expected;
    } outs[] = {{PRN_TP_DI_PRINTING, 0}, {PRN_TP_EXCLUSIVE_DI, 1}, {PRN_TP_STATUS, 0}, {PRN_TP_STATUS2, 0}};
    for (const Case& c : outs) {
        unsigned char buf[8];
        std::memset(buf, 0xEE, sizeof buf);
        ASSERT_EQ(tell(printer(), c.code, buf, 4), 0) << c.code;
        uint32_t v;
        std::memcpy(&v, buf, 4);
        EXPECT_EQ(v, c.expected) << c.code;
        EXPECT_EQ(buf[4], 0xEE) << c.code; // nothing past the 32-bit word
    }
    ASSERT_EQ(printer().EnableDIPrinting(), 317); // stored even while offline
    unsigned char word[4] = {};
    ASSERT_EQ(tell(printer(), PRN_TP_DI_PRINTING, word, 4), 0);
    EXPECT_EQ(word[0], 1);

    unsigned char small[2] = {};
    for (int code : {PRN_TP_HOLD_JOURNAL, PRN_TP_PUT_QUEUE, PRN_TP_QUERY_QUEUE, PRN_TP_CHASE_DONE,
                     PRN_TP_STATUS, PRN_TP_INTERLEAVED, PRN_TP_HEAD_PARKED, PRN_TP_DI_PRINTING,
                     PRN_TP_RAW_STATUS, PRN_TP_STATUS2, PRN_TP_EXCLUSIVE_DI, PRN_TP_RESUME, PRN_TP_RETRY}) {
        EXPECT_EQ(tell(printer(), code, nullptr, 100), 321) << code;
        if (code != PRN_TP_HOLD_JOURNAL && code != PRN_TP_INTERLEAVED && code != PRN_TP_HEAD_PARKED &&
            code != PRN_TP_RESUME && code != PRN_TP_RETRY) {
            EXPECT_EQ(tell(printer(), code, small, 2), 321) << code;
        }
    }
    EXPECT_EQ(tell(printer(), 99, small, 2), 311);
    EXPECT_EQ(tell(printer(), PRN_TP_READ, small, 2), 311); // the model's
}

TEST_F(PrinterBench, SettingsWakeTheAdapterOnlyWhenTheyChangeSomething) {
    bringUp();
    struct Step {
        const char* what;
        int (*act)(PRNTP&);
        int rc;
        int turns; // send-turn requests it makes
    } steps[] = {
        {"hold the journal", [](PRNTP& p) { return p.HoldJournalData(1); }, 0, 0},
        {"release it", [](PRNTP& p) { return p.HoldJournalData(0); }, 0, 1},
        {"release it again", [](PRNTP& p) { return p.HoldJournalData(0); }, 0, 0},
        {"interleave unchanged", [](PRNTP& p) { return p.SetInterleaved(0); }, 0, 0},
        {"interleave changed", [](PRNTP& p) { return p.SetInterleaved(1); }, 0, 0},
        {"interleave 2", [](PRNTP& p) { return p.SetInterleaved(2); }, 321, 0},
        {"head park changed", [](PRNTP& p) { return p.SetHeadParkedPosition(1); }, 0, 1},
        {"head park unchanged", [](PRNTP& p) { return p.SetHeadParkedPosition(1); }, 0, 0},
        {"head park 2", [](PRNTP& p) { return p.SetHeadParkedPosition(2); }, 321, 0},
        {"DI on", [](PRNTP& p) { return p.EnableDIPrinting(); }, 0, 1},
        {"DI on again", [](PRNTP& p) { return p.EnableDIPrinting(); }, 0, 0},
        {"exclusive DI off", [](PRNTP& p) { return p.DisableExclusiveDIPrinting(); }, 0, 1},
    };
    for (const Step& s : steps) {
        const int before = adapter_.sendTurns;
        EXPECT_EQ(s.act(printer()), s.rc) << s.what;
        EXPECT_EQ(adapter_.sendTurns - before, s.turns) << s.what;
    }
    EXPECT_TRUE(ovkhost::errorLogged(19015));
    EXPECT_TRUE(ovkhost::errorLogged(19017));
    EXPECT_EQ(printer().GetInterleaved(), 1);
}

TEST_F(PrinterBench, AResumeRequestWithoutHolderComesWithTheNextAcquireAndOnlyOnce) {
    Client& c = client(false);
    PRNTMSG first{POSM_PRN_PRINTER_ERROR, 0x10000000, 0x100};
    PRNTMSG second{POSM_PRN_PRINTER_ERROR, 0x20000000, 0x100};
    EXPECT_EQ(printer().RequestResume(&first), 0);
    EXPECT_EQ(printer().RequestResume(&second), 0); // dropped: a resume is already due
    EXPECT_TRUE(printer().ResumeRequested());
    EXPECT_TRUE(c.queue.take().empty());
    ASSERT_EQ(c.ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    EXPECT_EQ(c.queue.take(), (std::vector<Event>{{POSM_PRN_PRINTER_ERROR, 0x10000000u | 1u, 0x100}}));
    EXPECT_EQ(printer().GetHeldResume().msg, 0u);
    ASSERT_EQ(c.ioctl(POS_SYS_RELEASE_DEVICE), 0);
    ASSERT_EQ(c.ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    EXPECT_TRUE(c.queue.take().empty());
}

// A holder told of an error releases the printer without resuming: its queued lines go with
// it and the printer is resumed, so the next holder finds neither. A resume that cannot be
// carried out leaves the error, and the next holder is told of it as it acquires.
TEST_F(PrinterBench, AHolderLeavingAPrinterInErrorTakesItsWorkAndItsErrorWithIt) {
    const PRNTMSG error{POSM_PRN_PRINTER_ERROR, 0x10000000, 0x100};
    for (bool refused : {false, true}) {
        SCOPED_TRACE(refused);
        printer().resumeRefused = refused;
        Client& a = client();
        Client& b = client(false);
        ASSERT_EQ(a.write("LINE\n"), 0);
        ASSERT_EQ(printer().RequestResume(&error), 0);
        EXPECT_EQ(a.queue.take().size(), 1u);
        ASSERT_EQ(a.ioctl(POS_SYS_RELEASE_DEVICE), 0);
        for (unsigned short s = 0; s < 3; ++s) EXPECT_TRUE(queue().StationList(s).empty()) << s;
        EXPECT_EQ(printer().ResumeRequested(), refused);
        ASSERT_EQ(b.ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
        const std::vector<Event> told = b.queue.take();
        if (refused) {
            ASSERT_EQ(told.size(), 1u);
            EXPECT_EQ(told[0].msg, POSM_PRN_PRINTER_ERROR);
            EXPECT_EQ(told[0].p1, 0x10000000u | static_cast<uint32_t>(b.GetHandle()));
        } else {
            EXPECT_TRUE(told.empty());
        }
        dropClients();
    }
}

// A holder leaves work that the printer holds without an error (its cover open) or that
// cannot go as the printer is offline: the work goes with it, and the next holder's line is
// the only one sent. Work of a printer that prints stays and is sent after the release.
TEST_F(PrinterBench, WorkHeldWhenItsHolderLeavesLeavesWithIt) {
    enum class Printer { Holding, Offline, Printing };
    for (Printer state : {Printer::Holding, Printer::Offline, Printer::Printing}) {
        SCOPED_TRACE(static_cast<int>(state));
        TearDown();
        SetUp();
        if (state != Printer::Offline) bringUp();
        printer().holding = state == Printer::Holding;
        Client& a = client();
        Client& b = client(false);
        ASSERT_EQ(a.write("A1\n"), 0);
        ASSERT_EQ(a.write("A2\n"), 0);
        ASSERT_EQ(a.ioctl(POS_SYS_RELEASE_DEVICE), 0);
        QueueState left{};
        ASSERT_EQ(queue().Query(&left), 0);
        const uint32_t kept = left.pending[PRN_STATION_CR] + static_cast<uint32_t>(left.sent);
        if (state == Printer::Printing) {
            EXPECT_GE(kept, 2u); // the two lines (and the acquire's settings)
            continue;
        }
        EXPECT_EQ(kept, 0u);
        ASSERT_EQ(b.ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
        if (state == Printer::Offline) bringUp();
        sent();
        printer().holding = false;
        ASSERT_EQ(b.write("B\n"), 0);
        cycle();
        const std::vector<Bytes> lines = commands();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].back(), 'B');
    }
}

TEST_F(PrinterBench, AStoredCommandIsTheQueuesEvenWhenTheSendTurnFails) {
    Client& c = client();
    adapter_.turnResult = 301;
    ovkhost::clearCaptures();
    EXPECT_EQ(c.write("LINE"), 0);
    EXPECT_TRUE(ovkhost::errorLogged(19004));
    EXPECT_EQ(queue().StationList(0).count(), 3u); // interleave and head-park markers, the line
}

// A bus that refuses every send turn (lost) logs the refusal once, not once per write; once
// a turn is given again, the next refusal is logged again.
TEST_F(PrinterBench, RefusedSendTurnsAreLoggedOncePerSpellNotPerWrite) {
    Client& c = client();
    auto logged = [] {
        const std::vector<ovkhost::ErrorLogEntry> log = ovkhost::errorLog();
        return std::count_if(log.begin(), log.end(), [](const ovkhost::ErrorLogEntry& e) { return e.logId == 19004; });
    };
    adapter_.turnResult = 301;
    ovkhost::clearCaptures();
    for (int i = 0; i < 20; ++i) EXPECT_EQ(c.write("LINE\n"), 0);
    EXPECT_EQ(logged(), 1);
    adapter_.turnResult = 0;
    EXPECT_EQ(c.write("LINE\n"), 0);
    adapter_.turnResult = 301;
    EXPECT_EQ(c.write("LINE\n"), 0);
    EXPECT_EQ(logged(), 2);
}

// --- the virtual printer ---------------------------------------------------------------------

TEST_F(PrinterBench, ValuesAreValidatedOneByOne) {
    Client& c = client();
    struct Case {
        const char* name;
        intptr_t value;
        int rc;
    } cases[] = {
        {"printStation", 5, 4904}, {"printStation", 8, 4904}, {"printStation", 6, 4904},
        {"printStation", 3, 0},    {"printStation", 4, 0},    {"printStation", 0x10001, 4904},
        {"lineFeedCR", 90000, 0},  {"lineFeedCR", 90001, 4906}, {"lineFeedSJ", 90001, 4907},
        {"lineFeedDI", 90001, 4908}, {"lineFeedCR", -1, 4906},
        {"printReadMode", 2, 4905}, {"printReadMode", 153, 0}, {"printReadMode", 5, 0},
        {"printMode", 2, 0},       {"printMode", 128, 4905}, {"diWidth", 2, 4901},
        {"interleaved", 2, 4902},  {"headParkedPosition", 2, 4903}, {"feedDirection", 2, 4909},
        {"printStatus", 77, 0},    {"printStatus2", 77, 0},
    };
    for (const Case& k : cases) EXPECT_EQ(c.set({{k.name, k.value}}), k.rc) << k.name << "=" << k.value;
    EXPECT_EQ(c.get("printStation"), 4);
    EXPECT_EQ(c.get("lineFeedCR"), 90000);
    EXPECT_EQ(c.get("printReadMode"), 5);
    EXPECT_EQ(c.get("printStatus"), 0); // the printer's status word, not what was set
}

TEST_F(PrinterBench, SetValuesWithOneBadValueChangesNothing) {
    Client& c = client();
    const size_t markers = queue().StationList(0).count();
    EXPECT_EQ(c.set({{"printStation", 2}, {"interleaved", 1}, {"lineFeedSJ", 90001}, {"printMode", 2}}), 4907);
    EXPECT_EQ(c.get("printStation"), 1);
    EXPECT_EQ(c.get("interleaved"), 0);
    EXPECT_EQ(c.get("printMode"), 1);
    EXPECT_EQ(queue().StationList(0).count(), markers);
    // An unchanged interleave queues no marker; a change queues one.
    EXPECT_EQ(c.set({{"interleaved", 0}}), 0);
    EXPECT_EQ(queue().StationList(0).count(), markers);
    EXPECT_EQ(c.set({{"interleaved", 1}, {"headParkedPosition", 1}}), 0);
    EXPECT_EQ(queue().StationList(0).count(), markers + 2);
}

TEST_F(PrinterBench, StringsAreKeptToEightySixCharacters) {
    Client& c = client();
    const std::string hundred(100, 'x');
    EXPECT_EQ(c.set({{"retryString", reinterpret_cast<intptr_t>(hundred.c_str())},
                     {"resumeString", reinterpret_cast<intptr_t>("go on")}}), 0);
    char buf[150];
    std::memset(buf, 0, sizeof buf);
    PosArg noBuffer{"retryString", 0};
    PosArg arg{"retryString", reinterpret_cast<intptr_t>(buf)};
    int out = 0;
    c.Lock();
    EXPECT_EQ(c.IOCtl(POS_SYS_GET_VALUES, &noBuffer, 1, out), 334);
    EXPECT_EQ(c.IOCtl(POS_SYS_GET_VALUES, &arg, 1, out), 0);
    c.Unlock();
    EXPECT_EQ(std::string(buf), std::string(86, 'x'));
    EXPECT_EQ(std::string(c.GetParm().resumeString), "go on");
    // A bad string pointer stops SetValues with the buffer check's code.
    EXPECT_EQ(c.set({{"printStation", 2}, {"resumeString", 0}}), 334);
    EXPECT_EQ(c.get("printStation"), 1);
    // Retry with a new string of 100 characters: the printer gets 86.
    const std::string other(100, 'y');
    EXPECT_EQ(c.ioctl(POS_PRN_RETRY_PRINTING, {{"retryString", reinterpret_cast<intptr_t>(other.c_str())}}), 0);
    EXPECT_EQ(std::string(c.GetParm().retryString), std::string(86, 'y'));
}

TEST_F(PrinterBench, ResourcesAreLoadedAndAnOpenWithABadOneFails) {
    const std::string path = root_.path() + "/printer.res";
    std::ofstream(path) << "printer.printStation: PRINT_STATION_SJ\n"
                           "printer.lineFeedCR: LPI_8\n"
                           "printer.retryString: " << std::string(100, 'r') << "\n";
    XrmDatabase db = nullptr;
    ASSERT_EQ(InitResources(db, path.c_str()), 0);
    {
        Client good(7);
        good.useDatabase(db);
        ASSERT_EQ(good.open(), 0);
        EXPECT_EQ(good.GetParm().printStation, 2);
        EXPECT_EQ(good.GetParm().lineFeedCR, 3177u);
        EXPECT_EQ(good.GetParm().readMode, 153);
        EXPECT_EQ(std::string(good.GetParm().retryString), std::string(86, 'r'));
        EXPECT_EQ(good.GetParm().exclusiveDI, 1);
    }
    std::ofstream(path) << "printer.printStation: 5\n";
    ASSERT_EQ(InitResources(db, path.c_str()), 0);
    Client bad(8);
    bad.useDatabase(db);
    EXPECT_EQ(bad.open(), 4904);
    EXPECT_EQ(bad.OpenCount(), 0);
    EXPECT_EQ(bad.GetPhysical(), nullptr);
    DestroyResources(db);
}

TEST_F(PrinterBench, ControlsNeedThePrinterHeldAndQueueNothingOtherwise) {
    Client& c = client(false);
    for (int request : {POS_PRN_DISABLE_DI_PRINTING, POS_PRN_ENABLE_DI_PRINTING, POS_PRN_RESUME_PRINTING,
                        POS_PRN_RETRY_PRINTING, POS_PRN_DISCARD_DATA, POS_PRN_RESET_PRINTER,
                        POS_PRN_DISABLE_EXCLUSIVE_DI_PRINTING, POS_PRN_ENABLE_EXCLUSIVE_DI_PRINTING})
        EXPECT_EQ(c.ioctl(request), 315) << request;
    EXPECT_EQ(c.write("X"), 315);
    for (unsigned short s = 0; s < 3; ++s) EXPECT_EQ(queue().StationList(s).count(), 0u);
    EXPECT_EQ(queue().SystemList().count(), 0u);
    EXPECT_EQ(c.flushes, 0);
    EXPECT_EQ(c.ioctl(POS_PRN_DEFINE_CHARACTERS), 316); // a model's control
    // A chase needs no holder; 8 is no station set.
    EXPECT_EQ(c.chase(8), 4904);
    EXPECT_EQ(c.chase(5), 0);
    EXPECT_EQ(c.GetChaseCount(0), 1);
    EXPECT_EQ(c.GetChaseCount(2), 1);
}

TEST_F(PrinterBench, HeldControlsReachThePrinter) {
    Client& c = client();
    EXPECT_EQ(c.ioctl(POS_PRN_ENABLE_DI_PRINTING), 317); // stored, the printer is offline
    EXPECT_EQ(printer().GetDIPrinting(), 1);
    EXPECT_EQ(c.GetParm().diPrinting, 1);
    bringUp();
    EXPECT_EQ(c.ioctl(POS_PRN_DISABLE_EXCLUSIVE_DI_PRINTING), 0);
    EXPECT_EQ(printer().GetExclusiveDI(), 0);
    c.flushResult = 99;
    ovkhost::clearCaptures();
    EXPECT_EQ(c.ioctl(POS_PRN_DISCARD_DATA), 0);
    EXPECT_TRUE(ovkhost::errorLogged(19223));
    EXPECT_EQ(queue().StationList(0).count(), 0u);
    EXPECT_EQ(c.ioctl(POS_PRN_RESET_PRINTER), 0);
    EXPECT_TRUE(ovkhost::errorLogged(19224));
    cycle();
    EXPECT_EQ(commands(), (std::vector<Bytes>{{testprinter::kReset}}));
    c.flushResult = 0;
    // Status words, raw status and the queue state through the values and TellPhys.
    unsigned char raw[16];
    std::memset(raw, 0xEE, sizeof raw);
    PosArg arg{"rawPrintStatus", reinterpret_cast<intptr_t>(raw)};
    int out = 0;
    c.Lock();
    EXPECT_EQ(c.IOCtl(POS_SYS_GET_VALUES, &arg, 1, out), 0);
    c.Unlock();
    EXPECT_EQ(raw[0], 0x01); // the last answer
    EXPECT_EQ(raw[2], 0x00);
    QueueState state;
    EXPECT_EQ(tell(printer(), PRN_TP_QUERY_QUEUE, &state, sizeof state), 0);
    EXPECT_EQ(state.outstanding, 1); // the reset
}

TEST_F(PrinterBench, MessagesOfThePhysicalPrinter) {
    Client& c = client();
    PRNTMSG m{POSM_PRN_STATUS_CHANGE, 0x30000, 5};
    EXPECT_EQ(c.TellVirt(&printer(), PRN_TV_MESSAGE, reinterpret_cast<unsigned char*>(&m), sizeof m), 0);
    EXPECT_EQ(c.TellVirt(&printer(), PRN_TV_MESSAGE, reinterpret_cast<unsigned char*>(&m), 8), 321);
    const std::vector<Event> events = c.queue.take();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].msg, POSM_PRN_STATUS_CHANGE);
    EXPECT_EQ(events[0].p1 & ~kHandleBits, 0x30000u);
    EXPECT_EQ(events[0].p1 & kHandleBits, 1u);
    ovkhost::clearCaptures();
    EXPECT_EQ(c.TellVirt(&printer(), 3, nullptr, 0), 311);
    EXPECT_TRUE(ovkhost::errorLogged(19217));
    unsigned short station = 3;
    EXPECT_EQ(c.TellVirt(&printer(), PRN_TV_CHASE_DONE, reinterpret_cast<unsigned char*>(&station), 2), 0);
    EXPECT_TRUE(ovkhost::errorLogged(19218));
    // A chase answer for a command that is no chase.
    PRNTCMD notChase;
    EXPECT_EQ(printer().RespondToChase(&notChase), 321);
    EXPECT_TRUE(ovkhost::errorLogged(19007));
}

TEST_F(PrinterBench, CloseDropsTheChasesOfTheClosingPrinterOnly) {
    Client& mine = client();
    Client& other = client(false);
    ASSERT_EQ(mine.chase(1), 0);  // offline: the chases wait in the queue
    ASSERT_EQ(other.chase(2), 0);
    const uint32_t before = queue().StationList(0).count();
    int remaining = 0;
    mine.Lock();
    EXPECT_EQ(mine.Close(remaining), 0);
    mine.Unlock();
    EXPECT_EQ(queue().StationList(0).count(), before - 1);
    EXPECT_EQ(queue().StationList(1).count(), 1u);
}

} // namespace
} // namespace prntbench
