// The M2 printer: its command frames, the physical printer's answers by hand on a capturing
// adapter, and the virtual printer against the simulated M2 printer on a bus station, one
// bus round at a time on the settable clock.
#include <cstring>
#include <string>

#include "PRNTM2.h"
#include "SlotBench.h"
#include "m2printermodel.h"
#include "ovknls.h"

namespace prntbench {
namespace {

using bussim::M2PrinterModel;
using bussim::PrinterModel;

constexpr unsigned char kM2 = 0x30;

Bytes glyphs(const std::string& text) {
    Bytes out;
    for (unsigned char c : text) out.insert(out.end(), mod2map.at(c), mod2map.at(c) + 7);
    return out;
}
Bytes header(std::initializer_list<unsigned char> h) { return Bytes(h); }
Bytes cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

using M2Printer = OnAdapter<PRNTM2P, kM2>;

class M2Client : public BenchClient<PRNTM2V> {
public:
    explicit M2Client(int handle)
        : BenchClient(DeviceID(kSlot, kPort, kM2), handle, reinterpret_cast<const unsigned char*>("PRNTM2V")) {}
    int writeBytes(const Bytes& data) {
        Lock();
        int count = 0;
        int rc = Write(data.data(), static_cast<unsigned>(data.size()), count);
        Unlock();
        return rc;
    }
};

class M2Bench : public ModelBench<M2Printer, M2Client> {
protected:
    // ROL, NSA, the EC level request answered: online.
    void bringUp(unsigned char ec = 0x20) {
        feed(0x0F);
        feed(0x63);
        ASSERT_EQ(commands(), (std::vector<Bytes>{{0x00, 0x80, 0, 0, 0, 0, 0}}));
        reply({0x03, 0x48, ec, 0x00});
        ASSERT_TRUE(printer_->Confirmed(kM2));
    }

    // --- the simulated M2 printer ---
    std::unique_ptr<bussim::DeviceModel> makeModel() override { return std::make_unique<M2PrinterModel>(); }
    M2PrinterModel& model() { return modelAs<M2PrinterModel>(); }
    // A new application writes "B": the printer prints that line once and nothing left over
    // from an earlier owner; the application is told of no error.
    void expectTheNextPrintsOnlyItsOwn() {
        M2Client& b = client();
        ASSERT_EQ(b.write("B\n"), 0);
        ASSERT_TRUE(until([&] { return model().lineCount(PrinterModel::CR) >= 1; }));
        run(50);
        EXPECT_EQ(model().lineCount(PrinterModel::CR), 1u);
        EXPECT_EQ(model().lines(PrinterModel::CR).back(), "B");
        EXPECT_FALSE(hasEvent(b.queue.take(), POSM_PRN_PRINTER_ERROR));
    }
    std::vector<Bytes> modelCommands(size_t from = 0) {
        const auto& all = model().commands();
        return {all.begin() + static_cast<long>(std::min(from, all.size())), all.end()};
    }
};

// ---------------------------------------------------------------------------------------
// Command frames.

TEST(M2Command, FramesAreTheRowBytesTheParametersAndTheData) {
    PRNTCMDM2 line;
    const unsigned char data[3] = {7, 8, 9};
    ASSERT_EQ(line.Set(M2_LINE_SJ, nullptr, 1, 12, 3, data, 0, 0x55), 0);
    EXPECT_EQ(Bytes(line.frame, line.frame + line.frameLength), (Bytes{1, 0, 1, 0, 0, 1, 12, 7, 8, 9}));
    EXPECT_EQ(line.station, PRN_STATION_SJ);
    EXPECT_EQ(line.classFlags, M2_CLASS_PRINT);

    PRNTCMDM2 cut;
    ASSERT_EQ(cut.Set(M2_CUT, nullptr, 0, 0, 0, nullptr, 0, 0), 0);
    EXPECT_EQ(Bytes(cut.frame, cut.frame + cut.frameLength), (Bytes{1, 0, 0, 0, 4, 0, 0}));
    EXPECT_FALSE(cut.ownsFrame);

    // Class 0x0080 puts the last argument into byte 3.
    PRNTCMDM2 special;
    ASSERT_EQ(special.Set(19, nullptr, 2, 3, 0, nullptr, 0, 0x9A), 0);
    EXPECT_EQ(Bytes(special.frame, special.frame + 7), (Bytes{1, 0, 0x20, 0x9A, 0, 2, 3}));

    PRNTCMDM2 bad;
    EXPECT_EQ(bad.Set(M2_ROWS, nullptr, 0, 0, 0, nullptr, 0, 0), 316);
    // System codes go to the base.
    EXPECT_EQ(bad.Set(PRNTCMD_CHASE_CR, nullptr, 0, 0, 0, nullptr, 0, 0), 0);
    EXPECT_TRUE(bad.IsChase());
}

// ---------------------------------------------------------------------------------------
// The physical printer, frames by hand.

TEST_F(M2Bench, StartsWithTheECLevelAndWaitTimes) {
    feed(0x0F);
    feed(0x63);
    std::vector<linkrec::Sent> frames = sent();
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back().addressWait, 192);
    EXPECT_EQ(frames.back().byteWait, 0);
    EXPECT_EQ(frames.back().data, (Bytes{0x00, 0x80, 0, 0, 0, 0, 0}));
    EXPECT_FALSE(printer().Confirmed(kM2));
    reply({0x03, 0x48, 0x20, 0x00});
    EXPECT_TRUE(printer().Confirmed(kM2));
    EXPECT_TRUE(printer().OnlineConfirmed());
    EXPECT_EQ(printer().ECLevel(), 0x20);
    // EC above 23: no throat commands.
    EXPECT_EQ(commands(), std::vector<Bytes>{});
}

TEST_F(M2Bench, ALowECLevelOpensThenClosesTheThroat) {
    bringUp(0x10);
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00}}));
    reply({0x03, 0x48, 0x10, 0x00});
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00}}));
    reply({0x03, 0x48, 0x10, 0x00});
    EXPECT_EQ(commands(), std::vector<Bytes>{});
}

TEST_F(M2Bench, ShortFramesAreLoggedAckedAndNeverReadPast) {
    bringUp();
    sent();
    ovkhost::clearCaptures();
    reply({0x03});
    EXPECT_TRUE(ovkhost::errorLogged(19703));
    std::vector<linkrec::Sent> frames = sent();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_FALSE(frames[0].info()); // an acknowledgement
    // Two bytes: the missing EC and last bytes count as 0.
    reply({0x00, 0x48});
    unsigned char raw[16] = {};
    printer().CopyPrinterStatus(raw);
    EXPECT_EQ(Bytes(raw, raw + 4), (Bytes{0x00, 0x48, 0x00, 0x00}));
}

TEST_F(M2Bench, TheFirstRejectResetsTheSecondAsksForAResume) {
    M2Client& c = client();
    bringUp();
    c.queue.take();
    ASSERT_EQ(c.write("A\n"), 0);
    printer().ProcessOutput(chTime());
    ASSERT_EQ(commands().size(), 1u);
    reply({0x80, 0x48, 0x20, 0x00});
    EXPECT_TRUE(ovkhost::errorLogged(19711));
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x00, 0x40, 0, 0, 0, 0, 0}}));
    EXPECT_TRUE(c.queue.take().empty());
    // The reset brings the printer back: the line is sent again and rejected again.
    feed(0x0F);
    feed(0x63);
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x00, 0x80, 0, 0, 0, 0, 0}}));
    reply({0x03, 0x48, 0x20, 0x00});
    ASSERT_EQ(commands().size(), 1u);
    reply({0x80, 0x48, 0x20, 0x00});
    std::vector<Event> events = c.queue.take();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().msg, POSM_PRN_PRINTER_ERROR);
    EXPECT_EQ(events.back().p1, 0x20000u | 1);
    EXPECT_TRUE(printer().ResumeRequested());
}

TEST_F(M2Bench, AReceiptPaperErrorResetsThenAsksThenStaysSilent) {
    M2Client& c = client();
    bringUp();
    c.queue.take();
    reply({0x00, 0xC8, 0x20, 0x00});
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x00, 0x40, 0, 0, 0, 0, 0}}));
    feed(0x0F);
    feed(0x63);
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x00, 0x80, 0, 0, 0, 0, 0}}));
    reply({0x03, 0xC8, 0x20, 0x00});
    std::vector<Event> events = c.queue.take();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().msg, POSM_PRN_PRINTER_ERROR);
    EXPECT_EQ(events.back().p1, 0x1000000u | 1);
    EXPECT_EQ(commands(), std::vector<Bytes>{});
    reply({0x00, 0xC8, 0x20, 0x00});
    reply({0x00, 0xC8, 0x20, 0x00});
    EXPECT_EQ(commands(), std::vector<Bytes>{});
    EXPECT_TRUE(c.queue.take().empty());
    // Paper back: the count starts again.
    reply({0x00, 0x48, 0x20, 0x00});
    reply({0x00, 0xC8, 0x20, 0x00});
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x00, 0x40, 0, 0, 0, 0, 0}}));
}

TEST_F(M2Bench, CoverOpenPostsTheChangeAndGoesUnconfirmed) {
    M2Client& c = client();
    bringUp();
    c.queue.take();
    reply({0x00, 0x58, 0x20, 0x00});
    std::vector<Event> events = c.queue.take();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events[0].msg, POSM_PRN_STATUS_CHANGE);
    EXPECT_EQ(events[0].p1, 0x80000u | 1);
    EXPECT_FALSE(printer().Confirmed(kM2));
    EXPECT_TRUE(printer().GetStatus() & 0x1);
}

// ---------------------------------------------------------------------------------------
// The virtual printer on the simulated M2 printer.

TEST_F(M2Bench, HelloOnTheReceiptIsOneLineWithItsFeed) {
    M2Client& c = client();
    comeOnline();
    const size_t before = model().commands().size();
    ASSERT_EQ(c.write("HELLO\n"), 0);
    ASSERT_TRUE(until([&] { return model().lineCount(PrinterModel::CR) == 1; }));
    EXPECT_EQ(modelCommands(before),
              (std::vector<Bytes>{cat(header({1, 0, 2, 0, 0, 1, 0x0C}), glyphs("HELLO"))}));
    EXPECT_EQ(model().lines(PrinterModel::CR).back(), "HELLO");
}

TEST_F(M2Bench, ALongLineIsFlushedAtThe129thCharacterInBlocksOf38) {
    M2Client& c = client();
    comeOnline();
    const size_t before = model().commands().size();
    const std::string text(130, 'A');
    int written = 0;
    ASSERT_EQ(c.write(text, &written), 0);
    EXPECT_EQ(written, 130);
    run(40);
    std::vector<Bytes> cmds = modelCommands(before);
    ASSERT_EQ(cmds.size(), 4u);
    const size_t sizes[4] = {38, 38, 38, 14};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(cmds[i].size(), 7 + sizes[i] * 7) << i;
        EXPECT_EQ(Bytes(cmds[i].begin(), cmds[i].begin() + 7), (Bytes{1, 0, 2, 0, 0, 0, 0})) << i;
    }
}

TEST_F(M2Bench, EmphasisSendsEachBlockTwiceAndUserGlyphsReplaceCharacters) {
    M2Client& c = client();
    comeOnline();
    const unsigned char star[7] = {1, 2, 3, 4, 5, 6, 7};
    std::vector<PosArg> defs{{reinterpret_cast<const char*>(static_cast<uintptr_t>('*')),
                              reinterpret_cast<intptr_t>(star)}};
    ASSERT_EQ(c.ioctl(POS_PRN_DEFINE_CHARACTERS, defs), 0);
    const size_t before = model().commands().size();
    ASSERT_EQ(c.write("\x1B" "EA*\n"), 0);
    run(20);
    const Bytes body = cat(glyphs("A"), Bytes(star, star + 7));
    EXPECT_EQ(modelCommands(before), (std::vector<Bytes>{cat(header({1, 0, 2, 0, 0, 0, 0}), body),
                                                         cat(header({1, 0, 2, 0, 0, 1, 0x0C}), body)}));
}

TEST_F(M2Bench, LogosGoInPassesOfTheColumnsThatHoldDots) {
    M2Client& c = client();
    comeOnline();
    ASSERT_EQ(c.set({{"printMode", 2}}), 0);
    Bytes logo(300, 0);
    for (size_t i = 0; i < logo.size(); i += 2) logo[i] = static_cast<unsigned char>(i + 1);
    size_t before = model().commands().size();
    ASSERT_EQ(c.writeBytes(logo), 0);
    run(20);
    std::vector<Bytes> cmds = modelCommands(before);
    ASSERT_EQ(cmds.size(), 2u);
    EXPECT_EQ(Bytes(cmds[0].begin(), cmds[0].begin() + 7), (Bytes{1, 0, 4, 0, 0, 0, 0}));
    EXPECT_EQ(Bytes(cmds[1].begin(), cmds[1].begin() + 7), (Bytes{1, 0, 4, 0, 0, 1, 0x0C}));
    for (size_t i = 0; i < 300; ++i) {
        EXPECT_EQ(cmds[0][7 + i], i % 4 == 0 ? logo[i] : 0) << i;
        EXPECT_EQ(cmds[1][7 + i], i % 4 == 2 ? logo[i] : 0) << i;
    }
    // A short logo is padded, never read past.
    before = model().commands().size();
    ASSERT_EQ(c.writeBytes(Bytes(10, 0xFF)), 0);
    run(20);
    cmds = modelCommands(before);
    ASSERT_EQ(cmds.size(), 4u);
    for (const Bytes& cmd : cmds) {
        ASSERT_EQ(cmd.size(), 307u);
        for (size_t i = 10; i < 300; ++i) EXPECT_EQ(cmd[7 + i], 0) << i;
    }
}

TEST_F(M2Bench, FeedsTearBarAndCut) {
    M2Client& c = client();
    comeOnline();
    const size_t before = model().commands().size();
    c.Lock();
    EXPECT_EQ(c.FeedPaper(1, 90001, 0), 321);
    EXPECT_EQ(c.FeedPaper(8, 1000, 0), POSERR_PRN_INVALID_STATION);
    EXPECT_EQ(c.FeedPaper(3, 3530, 0), 0);
    // A line with a feed too long for one command: no feed, and FeedPaper refuses the rest.
    EXPECT_EQ(c.PrnCmdWithFeed(M2_LINE_CR, 0, 95000, 7, mod2map.at('X'), 0, 0), 321);
    c.Unlock();
    ASSERT_EQ(c.write("\x1BO\x1BP"), 0);
    ASSERT_EQ(c.set({{"printStation", 2}}), 0);
    ASSERT_EQ(c.write("\x1BP"), 0); // dropped: the receipt is not selected
    run(30);
    // The stations alternate: the journal after the EC request, then the receipt.
    EXPECT_EQ(modelCommands(before), (std::vector<Bytes>{{1, 0, 0, 1, 0, 1, 10},
                                        {1, 0, 0, 4, 0, 1, 10},
                                        cat(header({1, 0, 2, 0, 0, 0, 0}), glyphs("X")),
                                        {1, 0, 0, 4, 0, 1, 108},
                                        {1, 0, 0, 0, 4, 0, 0}}));
}

// ---------------------------------------------------------------------------------------
// Rejects without end, and an error left behind by its application.

// The line is rejected, then the reset, for good: the application is told once, and the
// printer gets its commands again at once three times and then once a second. Once the
// rejects stop the reset goes through and the retry prints the line.
TEST_F(M2Bench, RejectsWithoutEndArePacedAndTheResetGoesThroughOnceTheyStop) {
    M2Client& c = client();
    comeOnline();
    c.queue.take();
    const uint64_t taken = rejectedWithoutEnd([&] { ASSERT_EQ(c.write("A\n"), 0); });
    EXPECT_LE(taken, pacedBound());
    EXPECT_TRUE(hasEvent(c.queue.take(), POSM_PRN_PRINTER_ERROR));
    ASSERT_TRUE(until([&] { return printer().Confirmed(kM2); }));
    run(5);
    const int rc = c.ioctl(POS_PRN_RETRY_PRINTING);
    EXPECT_TRUE(rc == 0 || rc == 317) << rc;
    ASSERT_TRUE(until([&] { return model().lineCount(PrinterModel::CR) == 1; }));
    EXPECT_EQ(model().lines(PrinterModel::CR).back(), "A");
}

// The printer rejects for good while its application goes on writing a line every 50 ms:
// the writes free no held frame, so the printer still gets about one frame a second.
TEST_F(M2Bench, RejectsWithoutEndStayPacedWhileTheApplicationWritesEvery50Ms) {
    M2Client& c = client();
    comeOnline();
    c.queue.take();
    const int ms = 5000;
    const uint64_t taken = rejectedWithoutEnd(
        [&] {
            ASSERT_EQ(c.write("A\n"), 0);
            for (int t = 0; t < ms; t += 50) {
                c.write("B\n");
                run(5);
            }
        },
        10);
    EXPECT_LE(taken, pacedBound(ms)) << "frames to the printer in " << ms << " ms";
}

// One lost frame takes the printer offline with the application told; the application
// leaves without resuming. The printer comes back by itself, without the line it held, and
// the next application prints only its own.
TEST_F(M2Bench, AnErrorLeftByItsApplicationEndsWithItAndTheNextPrintsOnlyItsOwn) {
    M2Client& a = client();
    comeOnline();
    a.queue.take();
    model().dropNext(1);
    ASSERT_EQ(a.write("A\n"), 0);
    std::vector<Event> told;
    ASSERT_TRUE(until([&] {
        const std::vector<Event> more = a.queue.take();
        told.insert(told.end(), more.begin(), more.end());
        return hasEvent(told, POSM_PRN_PRINTER_ERROR);
    }));
    ASSERT_TRUE(printer().ResumeRequested());
    clients_.clear(); // released and closed
    ASSERT_TRUE(until([&] { return printer().Confirmed(kM2); }));
    run(5);
    EXPECT_FALSE(printer().ResumeRequested());
    expectTheNextPrintsOnlyItsOwn();
}

// The receipt paper runs out while nobody holds the printer, or while its holder, told of
// the error, leaves without resuming. Once the paper is back the printer comes online by
// itself; the next application opens it, is told of nothing, and prints its own line once.
TEST_F(M2Bench, PaperOutWithNobodyToResumeComesBackOnceThePaperIsIn) {
    enum class Holder { None, LeavesUnresumed };
    for (Holder holder : {Holder::None, Holder::LeavesUnresumed}) {
        SCOPED_TRACE(holder == Holder::None ? "nobody holds it" : "its holder leaves");
        TearDown();
        SetUp();
        if (holder == Holder::LeavesUnresumed) client();
        comeOnline();
        ASSERT_TRUE(model().setPaper(PrinterModel::CR, true));
        ASSERT_TRUE(until([&] { return printer().ResumeRequested() && !printer().Confirmed(kM2); }));
        if (holder == Holder::LeavesUnresumed) {
            EXPECT_TRUE(hasEvent(clients_.back()->queue.take(), POSM_PRN_PRINTER_ERROR));
            clients_.clear(); // released and closed
        }
        run(50);
        ASSERT_TRUE(model().setPaper(PrinterModel::CR, false));
        ASSERT_TRUE(until([&] { return printer().Confirmed(kM2); }));
        run(20);
        EXPECT_FALSE(printer().ResumeRequested());
        expectTheNextPrintsOnlyItsOwn();
    }
}

// The cover open takes the printer offline and holds A's line; A closes. Once the cover is
// closed the printer is back, and B prints only its own line.
TEST_F(M2Bench, ALineHeldByTheCoverLeavesWithItsOwner) {
    M2Client& a = client();
    comeOnline();
    ASSERT_TRUE(model().setCover(true));
    ASSERT_TRUE(until([&] { return !printer().Confirmed(kM2); }));
    ASSERT_EQ(a.write("A\n"), 0);
    run(50);
    clients_.clear(); // A released and closed
    ASSERT_TRUE(model().setCover(false));
    ASSERT_TRUE(until([&] { return printer().Confirmed(kM2); }));
    run(50);
    expectTheNextPrintsOnlyItsOwn();
}

} // namespace
} // namespace prntbench
