// The SRJ printer: its command frames, the physical printer's answers by hand on a capturing
// adapter (status word, document state, errors, limp state, widths, user-defined
// characters), and the virtual printer against the simulated SRJ printer on a bus station.
#include <cstring>
#include <string>

#include "PRNTSRJ.h"
#include "SlotBench.h"
#include "srjprintermodel.h"

namespace prntbench {
namespace {

using bussim::PrinterModel;
using bussim::SrjPrinterModel;

constexpr unsigned char kSrj = 0x37;

Bytes cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }
// A frame without its sequence number (byte 6), which counts for the whole process.
Bytes unsequenced(Bytes frame) {
    if (frame.size() > 6) frame[6] = 0;
    return frame;
}
std::vector<Bytes> unsequenced(std::vector<Bytes> frames) {
    for (Bytes& f : frames) f = unsequenced(f);
    return frames;
}

using SrjPrinter = OnAdapter<PRNTSRJP, kSrj>;

class SrjClient : public BenchClient<PRNTSRJV> {
public:
    explicit SrjClient(int handle)
        : BenchClient(DeviceID(kSlot, kPort, kSrj), handle, reinterpret_cast<const unsigned char*>("PRNTSRJV")) {}
};

class SrjBench : public ModelBench<SrjPrinter, SrjClient> {
protected:
    // ROL, NSA, the EC level request answered (byte 7 as given): online.
    void bringUp(unsigned char byte7 = 0x91) {
        feed(0x0F);
        feed(0x63);
        ASSERT_EQ(unsequenced(commands()), (std::vector<Bytes>{{0x00, 0x80, 0, 0, 0, 0, 0}}));
        reply({0x80, 0x02, 0x20, 0, 0, 0, 0, byte7});
        ASSERT_TRUE(printer_->Confirmed(kSrj));
    }

    // --- the simulated SRJ printer ---
    std::unique_ptr<bussim::DeviceModel> makeModel() override {
        return std::make_unique<SrjPrinterModel>(SrjPrinterModel::Options{});
    }
    SrjPrinterModel& model() { return modelAs<SrjPrinterModel>(); }
    // The commands the model received since from, status requests left out.
    std::vector<Bytes> modelCommands(size_t from = 0) {
        const auto& all = model().commands();
        std::vector<Bytes> out;
        for (size_t i = std::min(from, all.size()); i < all.size(); ++i)
            if (!(all[i].size() >= 2 && all[i][0] == 0x00 && all[i][1] == 0x20)) out.push_back(unsequenced(all[i]));
        return out;
    }
};

// ---------------------------------------------------------------------------------------
// Command frames.

TEST(SrjCommand, FramesAreTheRowBytesTheParameterAndTheSequence) {
    PRNTCMDSRJ feed;
    ASSERT_EQ(feed.Set(SRJ_FEED_SJ, nullptr, 3, 0, 0, nullptr, 0, 0), 0);
    EXPECT_EQ(Bytes(feed.frame, feed.frame + feed.frameLength),
              (Bytes{1, 0, 0, 0, 2, 3, static_cast<unsigned char>(feed.sequenceNumber % 255)}));
    EXPECT_EQ(feed.station, PRN_STATION_SJ);
    EXPECT_FALSE(feed.ownsFrame);
    // Only codes 4 to 11 and 20 take the parameter.
    PRNTCMDSRJ cut;
    ASSERT_EQ(cut.Set(SRJ_CUT, nullptr, 9, 0, 0, nullptr, 0, 0), 0);
    EXPECT_EQ(cut.frame[5], 0);
    PRNTCMDSRJ line;
    const unsigned char data[3] = {'A', 'B', 'C'};
    ASSERT_EQ(line.Set(SRJ_PRINT_DI, nullptr, 0, 0, 3, data, 0, 0), 0);
    EXPECT_EQ(unsequenced(Bytes(line.frame, line.frame + line.frameLength)), (Bytes{1, 0, 8, 0, 0, 0, 0, 'A', 'B', 'C'}));
    EXPECT_EQ(line.station, PRN_STATION_DI);
    PRNTCMDSRJ bad;
    EXPECT_EQ(bad.Set(SRJ_ROWS, nullptr, 0, 0, 0, nullptr, 0, 0), 316);
    EXPECT_EQ(bad.Set(PRNTCMD_CHASE_CR, nullptr, 0, 0, 0, nullptr, 0, 0), 0);
    EXPECT_TRUE(bad.IsChase());
}

// ---------------------------------------------------------------------------------------
// The physical printer, frames by hand.

TEST_F(SrjBench, StartsWithTheECLevelWaitTimesAndModel) {
    feed(0x0F);
    feed(0x63);
    std::vector<linkrec::Sent> frames = sent();
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back().addressWait, 144);
    EXPECT_EQ(frames.back().byteWait, 72);
    EXPECT_EQ(unsequenced(frames.back().data), (Bytes{0x00, 0x80, 0, 0, 0, 0, 0}));
    reply({0x80, 0x02, 0x21, 0, 0, 0, 0, 0x91});
    EXPECT_TRUE(printer().Confirmed(kSrj));
    EXPECT_EQ(printer().GetDeviceSubtype(), 2);
    EXPECT_EQ(printer().ECLevel(), 0x21);
    std::vector<Event> events = queueA_.take();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().msg, POSM_SYS_DEVICE_ONLINE);
    EXPECT_EQ(events.back().p1, 0x01113703u);
    EXPECT_EQ(events.back().p2 & 0xFF, 2u);
}

TEST_F(SrjBench, WidthsFollowTheModelAndTheWideBit) {
    const struct {
        unsigned char byte7;
        int model;
        unsigned short crsj, di;
    } cases[] = {{0x81, 1, 30, 70}, {0x91, 2, 30, 58}, {0x80, 1, 25, 58}, {0x90, 2, 25, 58}};
    for (const auto& k : cases) {
        printer().NowNotConfirmed();
        bringUp(k.byte7);
        EXPECT_EQ(printer().GetDeviceSubtype(), k.model) << int(k.byte7);
        EXPECT_EQ(printer().CrSjWidth(), k.crsj) << int(k.byte7);
        EXPECT_EQ(printer().DiWidth(), k.di) << int(k.byte7);
    }
}

TEST_F(SrjBench, AShortFrameIsLoggedAndChangesNothing) {
    bringUp();
    sent();
    ovkhost::clearCaptures();
    const uint32_t status = printer().GetStatus();
    reply({0x80, 0x40, 0, 0, 0, 0, 0x03});
    EXPECT_TRUE(ovkhost::errorLogged(20010));
    EXPECT_EQ(printer().GetStatus(), status);
    EXPECT_EQ(printer().StatusBytes()[1], 0x02);
    EXPECT_TRUE(printer().Confirmed(kSrj));
    std::vector<linkrec::Sent> frames = sent();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_FALSE(frames[0].info());
}

TEST_F(SrjBench, TheDocumentStateTable) {
    bringUp();
    // Seventh byte: 0xC0 both sensors (present), 0x04 B4, 0x08 B8.
    const struct {
        std::vector<unsigned char> byte6;
        unsigned short state;
    } cases[] = {
        {{0x04}, 17},             {{0xC4}, 20},          {{0x08}, 33},       {{0xC8}, 36},
        {{0x00}, 0},              {{0x04, 0x00}, 18},    {{0x04, 0x00, 0x08}, 33},
        {{0x04, 0x00, 0x04}, 17}, {{0xC0, 0x00}, 8},     {{0xC0, 0x08}, 8},  {{0xC0, 0x00, 0x00}, 0},
        {{0x08, 0x00}, 34},       {{0x08, 0x00, 0x04}, 17}, {{0x08, 0x00, 0xC0}, 36}, {{0xC0, 0x04}, 17},
    };
    int i = 0;
    for (const auto& k : cases) {
        // Back to state 0 from any state: a document present, then nothing sensed twice
        // (present gives 20 or 36, which falls to 8 and then to 0).
        reply({0x00, 0x00, 0, 0, 0, 0, 0xC0, 0x91});
        reply({0x00, 0x00, 0, 0, 0, 0, 0x00, 0x91});
        reply({0x00, 0x00, 0, 0, 0, 0, 0x00, 0x91});
        ASSERT_EQ(printer().DocumentState(), 0) << i;
        for (unsigned char b : k.byte6) reply({0x00, 0x00, 0, 0, 0, 0, b, 0x91});
        EXPECT_EQ(printer().DocumentState(), k.state) << "case " << i;
        ++i;
    }
    reply({0x00, 0x00, 0, 0, 0, 0, 0xC4, 0x91});
    EXPECT_EQ(printer().GetStatus() & 0xA8, 0xA8u); // present, inserted, B4
}

TEST_F(SrjBench, TheFirstRejectResetsTheSecondAsksForAResume) {
    SrjClient& c = client();
    bringUp();
    c.queue.take();
    ASSERT_EQ(c.write("A\n"), 0);
    printer().ProcessOutput(chTime());
    ASSERT_EQ(commands().size(), 1u);
    reply({0x01, 0x00, 0, 0, 0x80, 0, 0, 0x91});
    EXPECT_TRUE(ovkhost::errorLogged(20017));
    // Logged by the printer's own unit.
    for (const ovkhost::ErrorLogEntry& e : ovkhost::errorLog())
        EXPECT_TRUE(e.logId != 20017 || e.sourceTag == "@(#)prntsrjp.cpp 1.1") << e.sourceTag;
    EXPECT_EQ(unsequenced(commands()), (std::vector<Bytes>{{0x00, 0x40, 0, 0, 0, 0, 0}}));
    feed(0x0F);
    feed(0x63);
    EXPECT_EQ(unsequenced(commands()), (std::vector<Bytes>{{0x00, 0x80, 0, 0, 0, 0, 0}}));
    reply({0x80, 0x02, 0x20, 0, 0, 0, 0, 0x91});
    ASSERT_FALSE(commands().empty()); // the line again
    reply({0x01, 0x00, 0, 0, 0x80, 0, 0, 0x91});
    EXPECT_TRUE(ovkhost::errorLogged(20018));
    std::vector<Event> events = c.queue.take();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().msg, POSM_PRN_PRINTER_ERROR);
    EXPECT_EQ(events.back().p1, 0x20000u | 1);
}

TEST_F(SrjBench, LimpStateAsksForAResumeSendsNothingAndStaysOnline) {
    SrjClient& c = client();
    bringUp();
    c.queue.take();
    reply({0x10, 0x01, 0, 0, 0, 0, 0, 0x91});
    EXPECT_TRUE(printer().Limp());
    EXPECT_TRUE(printer().Confirmed(kSrj));
    std::vector<Event> events = c.queue.take();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().msg, POSM_PRN_PRINTER_ERROR);
    EXPECT_EQ(events.back().p1, 0x80000u | 1);
    ASSERT_EQ(c.write("A\n"), 0);
    printer().ProcessOutput(chTime());
    EXPECT_TRUE(commands().empty());
}

TEST_F(SrjBench, CoverOpenTakesThePrinterOfflineAndClosingResetsIt) {
    SrjClient& c = client();
    bringUp();
    c.queue.take();
    reply({0x00, 0x40, 0, 0, 0, 0, 0, 0x91});
    std::vector<Event> events = c.queue.take();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events[0].msg, POSM_PRN_STATUS_CHANGE);
    EXPECT_EQ(events[0].p1, 0x80000u | 1);
    EXPECT_FALSE(printer().Confirmed(kSrj));
    EXPECT_TRUE(printer().GetStatus() & 0x1);
    sent();
    reply({0x00, 0x00, 0, 0, 0, 0, 0, 0x91});
    EXPECT_EQ(unsequenced(commands()), (std::vector<Bytes>{{0x00, 0x40, 0, 0, 0, 0, 0}}));
}

TEST_F(SrjBench, UserDefinedCharactersOfMoreThan15BlocksAreRefused) {
    bringUp();
    sent();
    ovkhost::clearCaptures();
    Bytes big(15 * 1024 + 1, 0x55);
    printer().Lock();
    EXPECT_EQ(printer().TellPhys(nullptr, SRJ_TP_DEFINE_UDC, big.data(), static_cast<int>(big.size())), 0);
    printer().Unlock();
    EXPECT_TRUE(ovkhost::errorLogged(20013));
    EXPECT_EQ(printer().BlocksStored(), 0);
    EXPECT_EQ(printer().UdcBlock(0), nullptr);
    EXPECT_TRUE(commands().empty());
    // A short definition: one block, the rest of it zero, never read past.
    Bytes small(100, 0x77);
    printer().Lock();
    EXPECT_EQ(printer().TellPhys(nullptr, SRJ_TP_DEFINE_UDC, small.data(), static_cast<int>(small.size())), 0);
    printer().Unlock();
    ASSERT_NE(printer().UdcBlock(0), nullptr);
    EXPECT_EQ(printer().UdcBlock(0)[99], 0x77);
    EXPECT_EQ(printer().UdcBlock(0)[100], 0);
    printer().ProcessOutput(chTime());
    std::vector<Bytes> cmds = commands();
    ASSERT_EQ(cmds.size(), 1u);
    EXPECT_EQ(unsequenced(Bytes(cmds[0].begin(), cmds[0].begin() + 7)), (Bytes{0, 2, 0, 0, 0, 0, 0}));
    EXPECT_EQ(cmds[0].size(), 7u + 1024u);
}

// ---------------------------------------------------------------------------------------
// The virtual printer on the simulated SRJ printer.

TEST_F(SrjBench, HelloOnTheReceiptIsOneLineOfTheWidthAndItsFeed) {
    comeOnline();
    EXPECT_EQ(model().udcBlocks(), 0);
    SrjClient& e = client(); // opened after the EC level: the widths of the printer
    run(5);
    const size_t before = model().commands().size();
    EXPECT_EQ(e.Model(), 2);
    EXPECT_EQ(e.CrSjWidth(), 30);
    EXPECT_EQ(e.PatternLength(), 42);
    ASSERT_EQ(e.write("HELLO\n"), 0);
    ASSERT_TRUE(until([&] { return model().lineCount(PrinterModel::CR) == 1; }));
    EXPECT_EQ(modelCommands(before),
              (std::vector<Bytes>{cat(Bytes{1, 0, 1, 0, 0, 0, 0}, text("HELLO" + std::string(25, ' '))),
                                  {1, 0, 0, 0, 1, 1, 0}}));
    EXPECT_EQ(model().lines(PrinterModel::CR).back(), "HELLO" + std::string(25, ' '));
}

TEST_F(SrjBench, ReceiptAndJournalAtOneColumnPrintTogether) {
    comeOnline();
    SrjClient& e = client();
    run(5);
    ASSERT_EQ(e.set({{"printStation", 3}}), 0);
    const size_t before = model().commands().size();
    ASSERT_EQ(e.write("AB\n\x1BQ\x1BO"), 0);
    run(40);
    const Bytes line = text("AB" + std::string(28, ' '));
    EXPECT_EQ(modelCommands(before), (std::vector<Bytes>{cat(Bytes{1, 0, 4, 0, 0, 0, 0}, cat(line, line)),
                                                         {1, 0, 0, 0, 4, 1, 0},
                                                         {1, 0, 0, 0, 0x10, 0, 0},
                                                         {1, 0, 0, 0, 1, 0x10, 0}}));
    EXPECT_EQ(model().cuts(), 1);
}

TEST_F(SrjBench, ALeadByteThatEndsAWriteIsKeptAlone) {
    comeOnline();
    SrjClient& e = client();
    unsigned char ranges[32] = {0x81, 0x9F};
    e.InitializeEnvironment(ranges, 932, 0, 42);
    run(5);
    const size_t before = model().commands().size();
    // Exactly the bytes written, so that a read past them is seen.
    std::vector<unsigned char> first{'A', 0x81};
    e.Lock();
    int count = 0;
    ASSERT_EQ(e.Write(first.data(), static_cast<unsigned>(first.size()), count), 0);
    EXPECT_EQ(count, 2);
    e.Unlock();
    ASSERT_EQ(e.write("\n"), 0);
    run(20);
    std::vector<Bytes> cmds = modelCommands(before);
    ASSERT_EQ(cmds.size(), 2u);
    ASSERT_EQ(cmds[0].size(), 7u + 30u);
    EXPECT_EQ(Bytes(cmds[0].begin() + 7, cmds[0].begin() + 10), (Bytes{'A', 0x81, ' '}));
}

TEST_F(SrjBench, FeedingARefusedStationCombination) {
    SrjClient& c = client();
    comeOnline();
    c.Lock();
    EXPECT_EQ(c.FeedPaper(5, 1), POSERR_PRN_INVALID_STATION);
    EXPECT_EQ(c.FeedPaper(6, 1), POSERR_PRN_INVALID_STATION);
    EXPECT_EQ(c.FeedPaper(3, 0), 0);
    c.Unlock();
}

TEST_F(SrjBench, DefinedCharactersGoToThePrinterInSevenBlocks) {
    comeOnline();
    SrjClient& e = client();
    run(5);
    Bytes a(42), b(42);
    for (size_t i = 0; i < 42; ++i) {
        a[i] = static_cast<unsigned char>(i + 1);
        b[i] = static_cast<unsigned char>(0x80 + i);
    }
    std::vector<PosArg> defs{{reinterpret_cast<const char*>(static_cast<uintptr_t>(0x41)), reinterpret_cast<intptr_t>(a.data())},
                             {reinterpret_cast<const char*>(static_cast<uintptr_t>(0x42)), reinterpret_cast<intptr_t>(b.data())}};
    const size_t before = model().commands().size();
    ASSERT_EQ(e.ioctl(POS_PRN_DEFINE_CHARACTERS, defs), 0);
    ASSERT_TRUE(until([&] { return model().udcBlocks() == 7; }));
    std::vector<Bytes> cmds = modelCommands(before);
    ASSERT_EQ(cmds.size(), 7u);
    for (unsigned char n = 0; n < 7; ++n) {
        EXPECT_EQ(Bytes(cmds[n].begin(), cmds[n].begin() + 7), (Bytes{0, 2, 0, 0, 0, n, 0})) << int(n);
        EXPECT_EQ(cmds[n].size(), 7u + 1024u);
    }
    const Bytes& block0 = model().udcBlock(0);
    EXPECT_EQ(Bytes(block0.begin(), block0.begin() + 2), (Bytes{0x41, 0x00}));
    EXPECT_EQ(Bytes(block0.begin() + 2, block0.begin() + 44), a);
    EXPECT_EQ(Bytes(block0.begin() + 44, block0.begin() + 48), Bytes(4, 0));
    EXPECT_EQ(Bytes(block0.begin() + 48, block0.begin() + 50), (Bytes{0x42, 0x00}));
    EXPECT_EQ(Bytes(block0.begin() + 50, block0.begin() + 92), b);
    // A pattern that cannot be read.
    std::vector<PosArg> bad{{reinterpret_cast<const char*>(static_cast<uintptr_t>(0x43)), 0}};
    EXPECT_EQ(e.ioctl(POS_PRN_DEFINE_CHARACTERS, bad), 334);
}

// The line is rejected for good: the application is told, the printer gets its commands
// again at once three times and then once a second, and once the rejects stop the line
// goes out after the application's resume.
TEST_F(SrjBench, RejectsWithoutEndArePacedAndTheLineGoesOnceTheyStop) {
    comeOnline();
    SrjClient& c = client();
    run(5);
    c.queue.take();
    const uint64_t taken = rejectedWithoutEnd([&] { ASSERT_EQ(c.write("HELLO\n"), 0); });
    EXPECT_LE(taken, pacedBound());
    EXPECT_TRUE(hasEvent(c.queue.take(), POSM_PRN_PRINTER_ERROR));
    ASSERT_TRUE(until([&] {
        c.ioctl(POS_PRN_RETRY_PRINTING);
        return model().lineCount(PrinterModel::CR) >= 1;
    }));
}

// The cover open holds A's line; A closes, B opens and acquires, the cover closes: only B's
// line prints, once (B resumes if it is told of an error, as an application would).
TEST_F(SrjBench, ALineHeldByTheCoverLeavesWithItsOwnerAndTheNextPrintsOnlyItsOwn) {
    comeOnline();
    SrjClient& a = client();
    run(20);
    ASSERT_TRUE(model().setCover(true));
    run(20);
    ASSERT_EQ(a.write("A\n"), 0);
    run(50);
    ASSERT_EQ(model().lineCount(PrinterModel::CR), 0u);
    clients_.clear(); // A released and closed
    SrjClient& b = client(false);
    ASSERT_EQ(b.ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    ASSERT_TRUE(model().setCover(false));
    ASSERT_TRUE(until([&] { return printer().Confirmed(kSrj) && !printer().ResumeRequested() && !printer().HoldsWork(); }, 600));
    ASSERT_EQ(b.write("B\n"), 0);
    ASSERT_TRUE(until([&] {
        if (printer().ResumeRequested()) b.ioctl(POS_PRN_RESUME_PRINTING);
        return model().lineCount(PrinterModel::CR) >= 1;
    }));
    run(100);
    EXPECT_EQ(model().lineCount(PrinterModel::CR), 1u);
    EXPECT_EQ(model().lines(PrinterModel::CR).back(), "B" + std::string(29, ' '));
}

} // namespace
} // namespace prntbench
