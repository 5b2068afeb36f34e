// The M3 printer: its command frames, the physical printer's answers by hand on a capturing
// adapter, and the virtual printer against the simulated M3 printer on a bus station, one
// bus round at a time on the settable clock.
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "PRNTM3.h"
#include "SlotBench.h"
#include "m3printermodel.h"
#include "ovknls.h"
#include "sycrc.h"

namespace prntbench {
namespace {

using bussim::M3PrinterModel;
using bussim::PrinterModel;

constexpr unsigned char kM3 = 0x34;

Bytes cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
Bytes padded(const std::string& text, size_t width) {
    Bytes out(text.begin(), text.end());
    out.resize(width, ' ');
    return out;
}

using M3Printer = OnAdapter<PRNTM3P, kM3>;

class M3Client : public BenchClient<PRNTM3V> {
public:
    explicit M3Client(int handle)
        : BenchClient(DeviceID(kSlot, kPort, kM3), handle, reinterpret_cast<const unsigned char*>("PRNTM3V")) {}
};

class M3Bench : public ModelBench<M3Printer, M3Client> {
protected:
    // The check bytes under which the printer holds this font already.
    static Bytes checkOf(const unsigned char* font) {
        const unsigned short crc = CalculateCRC(font, M3_FONT_BYTES);
        return {static_cast<unsigned char>(crc & 0xFF), static_cast<unsigned char>((crc >> 8) ? 1 : 0)};
    }
    // ROL, NSA, the EC level request answered: online. b0 carries the model bits; check the
    // font check bytes.
    void bringUp(unsigned char b0 = 0x03, Bytes check = {0, 0}) {
        feed(0x0F);
        feed(0x63);
        ASSERT_EQ(commands(), (std::vector<Bytes>{{0x00, 0x80, 0, 0, 0}}));
        reply(cat({b0, 0x48, 0x04, 0x20}, check));
        ASSERT_TRUE(printer_->Confirmed(kM3));
    }
    // The answer to a settings query.
    void answerSetting(uint16_t value) { reply({0x03, 0x48, 0x04, 0x20, static_cast<unsigned char>(value >> 8), static_cast<unsigned char>(value)}); }

    // --- the simulated M3 printer ---
    std::unique_ptr<bussim::DeviceModel> makeModel() override { return std::make_unique<M3PrinterModel>(options_); }
    M3PrinterModel& model() { return modelAs<M3PrinterModel>(); }
    std::vector<Bytes> modelCommands(size_t from = 0) {
        const auto& all = model().commands();
        return {all.begin() + static_cast<long>(std::min(from, all.size())), all.end()};
    }
    std::vector<Bytes> fontBlocks(size_t from = 0) {
        std::vector<Bytes> out;
        for (const Bytes& c : modelCommands(from))
            if (c.size() >= 5 && c[0] == 0x09 && c[4] == 0x08) out.push_back(c);
        return out;
    }
    // Online with the font loaded and the client's events read.
    void comeOnline(M3Client& c) {
        ASSERT_TRUE(until([&] { return printer_->Confirmed(kM3); }));
        ASSERT_TRUE(until([&] { return fontBlocks().size() >= 5 && printer_->FontBlock() == 0; }));
        run(5);
        c.queue.take();
        queueA_.take();
    }

    M3PrinterModel::Options options_;
};

// ---------------------------------------------------------------------------------------
// Command frames.

TEST(M3Command, StandardWrappedAndRawFrames) {
    const unsigned char data[3] = {7, 8, 9};
    struct Case {
        unsigned short code;
        unsigned short length;
        Bytes frame;
        unsigned short station;
    } cases[] = {
        {M3_LINE_CR, 3, {0x01, 0x01, 0x55, 1, 12, 7, 8, 9}, PRN_STATION_CR},
        {M3_LINE_SJ + 5, 3, {0x14, 0x02, 0x55, 1, 12, 7, 8, 9}, PRN_STATION_SJ},
        {92, 0, {0x0D, 0x03, 0x55, 1, 12}, PRN_STATION_DI},
        {104, 0, {0x15, 0x06, 0x55, 1, 12}, PRN_STATION_DI},
        {M3_IDLE_STATUS, 0, {0x00, 0x20, 0x55, 1, 12}, PRN_STATION_CR},
        {M3_RAW_CR, 3, {7, 8, 9}, PRN_STATION_CR},
        {67, 3, {0x1B, 'f', 0xFC, 0x00}, 3},
        {M3_WRAPPED_DATA, 3, {7, 8, 9}, 3},
    };
    for (const Case& c : cases) {
        PRNTCMDM3 command;
        ASSERT_EQ(command.Set(c.code, nullptr, 1, 12, c.length, data, 0, 0x55), 0) << c.code;
        EXPECT_EQ(Bytes(command.frame, command.frame + command.frameLength), c.frame) << c.code;
        EXPECT_EQ(command.station, c.station) << c.code;
    }
    PRNTCMDM3 bad;
    EXPECT_EQ(bad.Set(M3_ROWS, nullptr, 0, 0, 0, nullptr, 0, 0), 316);
    EXPECT_EQ(bad.Set(PRNTCMD_CHASE_SJ, nullptr, 0, 0, 0, nullptr, 0, 0), 0);
    EXPECT_TRUE(bad.IsChase());
}

TEST(M3Command, TheCountedWrappedRowTakesOnlyWhatTheDataHold) {
    ovkhost::clearCaptures();
    const unsigned char ok[5] = {1, 0xA, 0xB, 0xC, 0xD};
    PRNTCMDM3 command;
    ASSERT_EQ(command.Set(M3_WRAPPED_COUNTED, nullptr, 0, 0, 5, ok, 0, 0), 0);
    EXPECT_EQ(Bytes(command.frame, command.frame + command.frameLength),
              (Bytes{0x1B, 'f', 0x1A, 0x01, 1, 0xA, 0xB, 0xC, 0xD}));
    // A count beyond the data would read and write past both: refused.
    const unsigned char tooMany[3] = {200, 1, 2};
    PRNTCMDM3 refused;
    EXPECT_EQ(refused.Set(M3_WRAPPED_COUNTED, nullptr, 0, 0, 3, tooMany, 0, 0), 321);
    EXPECT_EQ(refused.Set(M3_WRAPPED_COUNTED, nullptr, 0, 0, 0, nullptr, 0, 0), 321);
    EXPECT_TRUE(ovkhost::errorLogged(19356));
}

// ---------------------------------------------------------------------------------------
// The physical printer, frames by hand.

TEST_F(M3Bench, StartsWithTheECLevelAndWaitTimes) {
    feed(0x0F);
    feed(0x63);
    std::vector<linkrec::Sent> frames = sent();
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back().addressWait, 144);
    EXPECT_EQ(frames.back().byteWait, 72);
    EXPECT_EQ(frames.back().data, (Bytes{0x00, 0x80, 0, 0, 0}));
    reply({0x0B, 0x48, 0x04, 0x31, 0, 0});
    EXPECT_TRUE(printer().Confirmed(kM3));
    EXPECT_EQ(printer().ECLevel(), 0x31);
    EXPECT_EQ(printer().GetStatus() & 0x2000u, 0x2000u); // MICR reader
    EXPECT_EQ(printer().GetDeviceSubtype(), 0);
}

TEST_F(M3Bench, AShortAnswerIsLoggedAndStillAcknowledged) {
    bringUp();
    sent();
    ovkhost::clearCaptures();
    reply({0x03, 0x48, 0x04});
    EXPECT_TRUE(ovkhost::errorLogged(19346));
    std::vector<linkrec::Sent> frames = sent();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_FALSE(frames[0].info());
}

TEST_F(M3Bench, TheFirstFiveMessagesAreOnlyAcknowledged) {
    M3Client& c = client();
    bringUp(0x03, checkOf(c.FontTable())); // message 1
    sent();
    for (int i = 0; i < 4; ++i) {
        reply({0x02, 0x48, 0x04, 0x20}); // messages 2-5
        std::vector<linkrec::Sent> frames = sent();
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_FALSE(frames[0].info());
    }
    ASSERT_EQ(c.write("A\n"), 0);
    sent();
    // The sixth message carries the pending line as its answer.
    reply({0x02, 0x48, 0x04, 0x20});
    std::vector<Bytes> cmds = commands();
    ASSERT_EQ(cmds.size(), 1u);
    EXPECT_EQ(Bytes(cmds[0].begin(), cmds[0].begin() + 6), (Bytes{0x01, 0x01, 0x00, 0x01, 0x0C, 'A'}));
}

TEST_F(M3Bench, IdlePollsParkTheHeadThenAskForTheStatus) {
    bringUp(0x01); // head neither at centre nor at left
    sent();
    for (int i = 1; i <= 5; ++i) {
        cycle();
        EXPECT_EQ(commands(), std::vector<Bytes>{}) << i;
    }
    cycle();
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x01, 0x0B, 0, 0, 0}}));
    reply({0x03, 0x48, 0x04, 0x20}); // parked at centre
    // With the head parked, 400 quiet polls and the 401st asks for the status.
    for (int i = 1; i <= 400; ++i) cycle();
    EXPECT_EQ(commands(), std::vector<Bytes>{});
    cycle();
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x00, 0x20, 0, 0, 0}}));
}

// A line completed with the head at neither position is not retired (no success); with
// nothing else to send, the next poll parks the head, and the park's answer retires it.
TEST_F(M3Bench, WorkCompletedWithTheHeadNowhereIsRetiredByAPark) {
    M3Client& c = client();
    comeOnline(c);
    sent();
    ASSERT_EQ(c.write("HELLO\n"), 0);
    cycle();
    ASSERT_EQ(commands(), (std::vector<Bytes>{cat({0x01, 0x01, 0x00, 0x01, 0x0C}, padded("HELLO", 38))}));
    reply({0x01, 0x48, 0x04, 0x20}); // done; the head neither at centre nor at left
    cycle();
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x01, 0x0B, 0, 0, 0}}));
    reply({0x03, 0x48, 0x04, 0x20}); // parked at centre
    for (int i = 0; i < 5; ++i) cycle();
    EXPECT_EQ(commands(), std::vector<Bytes>{});
}

TEST_F(M3Bench, TheFirstRejectResetsTheNextAsksForAResume) {
    M3Client& c = client();
    bringUp(0x03, checkOf(c.FontTable()));
    c.queue.take();
    ASSERT_EQ(c.write("A\n"), 0);
    cycle();
    ASSERT_EQ(commands().size(), 1u);
    reply({0x82, 0x48, 0x04, 0x20});
    EXPECT_TRUE(ovkhost::errorLogged(19308));
    cycle();
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x00, 0x40, 0, 0, 0}}));
    EXPECT_TRUE(c.queue.take().empty());
    feed(0x0F);
    feed(0x63);
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x00, 0x80, 0, 0, 0}}));
    reply(cat({0x03, 0x48, 0x04, 0x20}, checkOf(c.FontTable())));
    cycle();
    ASSERT_EQ(commands().size(), 1u); // the line again
    reply({0x82, 0x48, 0x04, 0x20});
    std::vector<Event> events = c.queue.take();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().msg, POSM_PRN_PRINTER_ERROR);
    EXPECT_EQ(events.back().p1, 0x20000u | 1);
    EXPECT_TRUE(printer().ResumeRequested());
}

TEST_F(M3Bench, ACodePageOfFFFFStartsTheDownloadProgramOncePerAnswer) {
    const std::string marker = root_.at("/started");
    root_.write("/usr/bin/ovkk7eld", "#!/bin/sh\necho \"$@\" >> " + marker + "\n");
    ASSERT_EQ(::chmod(root_.at("/usr/bin/ovkk7eld").c_str(), 0755), 0);
    auto lines = [&] {
        std::ifstream in(marker);
        int n = 0;
        for (std::string l; std::getline(in, l);) ++n;
        return n;
    };
    auto waitLines = [&](int n) {
        for (int i = 0; i < 500 && lines() < n; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return lines();
    };
    bringUp(0x07); // double-byte model: the settings read starts
    EXPECT_EQ(printer().GetDeviceSubtype(), 3);
    cycle();
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x0B, '&', 0, 0, 0}}));
    answerSetting(0x0080);
    cycle();
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x0B, '$', 0, 0, 0}}));
    answerSetting(0xFFFF);
    EXPECT_EQ(waitLines(1), 1);
    EXPECT_EQ(root_.read("/started"), "-P 17 -S 1 -C\n");
    cycle();
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x0B, '\'', 0, 0, 0}}));
    answerSetting(0x0910);
    cycle();
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x0B, '(', 0, 0, 0}}));
    answerSetting(0x0A0A);
    cycle();
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x0B, ')', 0, 0, 0}}));
    answerSetting(3);
    cycle();
    EXPECT_EQ(commands(), std::vector<Bytes>{});
    EXPECT_EQ(printer().CodePageSetting(), 0xFFFF);
    unsigned char record[22] = {};
    ASSERT_EQ(printer().TellPhys(nullptr, M3_TP_CONFIGURATION, record, sizeof record), 0);
    M3Configuration config;
    std::memcpy(&config, record, sizeof config);
    EXPECT_EQ(config.dbcsMode, 1);
    EXPECT_EQ(config.model, 4);
    EXPECT_EQ(config.quoteFirst, 9);
    EXPECT_EQ(config.quoteSecond, 0x10);
    EXPECT_EQ(config.closeWord, 3);
    // A second answer of FFFF starts it again.
    ASSERT_EQ(printer().SystemCommand(17), 0);
    cycle();
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x0B, '$', 0, 0, 0}}));
    answerSetting(0xFFFF);
    EXPECT_EQ(waitLines(2), 2);
}

TEST_F(M3Bench, AResumeLineIsCutToTheWidthAndItsLengthIsTheCutOne) {
    M3Client& c = client();
    bringUp(0x07, checkOf(c.FontTable()));
    for (uint16_t v : {0x0000, 0x0352, 0x0910, 0x0A0A, 0x0003}) {
        cycle();
        ASSERT_EQ(commands().size(), 1u);
        answerSetting(v);
    }
    ASSERT_EQ(c.write("A\n"), 0);
    cycle();
    ASSERT_EQ(commands().size(), 1u);
    reply({0x82, 0x58, 0x04, 0x20}); // rejected while not ready
    ASSERT_TRUE(printer().ResumeRequested());
    const std::string text(150, 'X');
    ASSERT_EQ(printer().TellPhys(nullptr, PRN_TP_RESUME, reinterpret_cast<unsigned char*>(const_cast<char*>(text.data())),
                                 static_cast<int>(text.size())),
              0);
    reply({0x02, 0x48, 0x04, 0x20});
    cycle();
    EXPECT_EQ(commands(), (std::vector<Bytes>{cat({0x01, 0x01, 0x00, 0x01, 0x03}, Bytes(38, 'X'))}));
}

TEST_F(M3Bench, ARetryOfflineResetsAndPrintsTheLineAfterTheECAnswer) {
    M3Client& c = client();
    bringUp(0x03, checkOf(c.FontTable()));
    ASSERT_EQ(c.write("A\n"), 0);
    cycle();
    ASSERT_EQ(commands().size(), 1u);
    reply({0x23, 0x48, 0x04, 0x20}); // home error: offline, resume asked
    EXPECT_FALSE(printer().Confirmed(kM3));
    ASSERT_TRUE(printer().ResumeRequested());
    EXPECT_EQ(c.ioctl(POS_PRN_RETRY_PRINTING, {{"retryString", reinterpret_cast<intptr_t>("AGAIN")}}), 317);
    cycle();
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x00, 0x40, 0, 0, 0}}));
    feed(0x0F);
    feed(0x63);
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x00, 0x80, 0, 0, 0}}));
    reply(cat({0x03, 0x48, 0x04, 0x20}, checkOf(c.FontTable())));
    cycle();
    std::vector<Bytes> cmds = commands();
    ASSERT_EQ(cmds.size(), 1u);
    EXPECT_EQ(cmds[0], cat({0x01, 0x01, 0x00, 0x01, 0x03}, padded("AGAIN", 38)));
}

// ---------------------------------------------------------------------------------------
// The virtual printer on the simulated M3 printer.

TEST_F(M3Bench, AcquireLoadsTheFontInFiveBlocks) {
    M3Client& c = client();
    comeOnline(c);
    std::vector<Bytes> blocks = fontBlocks();
    ASSERT_EQ(blocks.size(), 5u);
    const unsigned char firsts[5] = {0xD8, 0xE0, 0xE8, 0xF0, 0xF8};
    for (int b = 0; b < 5; ++b) {
        ASSERT_EQ(blocks[b].size(), 5u + 96u);
        EXPECT_EQ(Bytes(blocks[b].begin(), blocks[b].begin() + 5), (Bytes{0x09, 0x00, 0x00, firsts[b], 0x08}));
    }
    EXPECT_EQ(Bytes(blocks[3].begin() + 5, blocks[3].begin() + 17),
              (Bytes{0x38, 0x01, 0x44, 0x02, 0x44, 0x01, 0x44, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Bytes(blocks[3].begin() + 5 + 72, blocks[3].begin() + 5 + 79),
              (Bytes{0x14, 0x00, 0x3E, 0x41, 0x14, 0x41, 0x22}));
    EXPECT_EQ(model().font(), Bytes(c.FontTable(), c.FontTable() + M3_FONT_BYTES));
}

TEST_F(M3Bench, HelloIsOneReceiptLineWithItsFeed) {
    M3Client& c = client();
    comeOnline(c);
    const size_t before = model().commands().size();
    ASSERT_EQ(c.write("HELLO\n"), 0);
    ASSERT_TRUE(until([&] { return model().lineCount(PrinterModel::CR) == 1; }));
    EXPECT_EQ(modelCommands(before), (std::vector<Bytes>{cat({0x01, 0x01, 0x00, 0x01, 0x0C}, padded("HELLO", 38))}));
    EXPECT_EQ(model().lines(PrinterModel::CR).back(), "HELLO");
    // A second line starts at the left edge again.
    ASSERT_EQ(c.write("WORLD\n"), 0);
    ASSERT_TRUE(until([&] { return model().lineCount(PrinterModel::CR) == 2; }));
    EXPECT_EQ(model().lines(PrinterModel::CR).back(), "WORLD");
}

TEST_F(M3Bench, FortyCharactersMakeAFullLineAndKeepTwo) {
    M3Client& c = client();
    comeOnline(c);
    const size_t before = model().commands().size();
    ASSERT_EQ(c.write(std::string(40, 'A') + "\x1BG"), 0);
    ASSERT_TRUE(until([&] { return !c.queue.events().empty(); }));
    EXPECT_EQ(modelCommands(before),
              (std::vector<Bytes>{cat({0x01, 0x01, 0x00, 0x01, 0x0C}, Bytes(38, 'A')),
                                  cat({0x01, 0x01, 0x00, 0x01, 0x00}, padded("AA", 38))}));
    // The next text continues at column 2 of that line.
    ASSERT_EQ(c.write("B\n"), 0);
    ASSERT_TRUE(until([&] { return model().lineCount(PrinterModel::CR) == 2; }));
    EXPECT_EQ(model().lines(PrinterModel::CR).back(), "AAB");
}

TEST_F(M3Bench, AWriteOver1024BytesIsRefusedWhole) {
    M3Client& c = client();
    comeOnline(c);
    const size_t before = model().commands().size();
    int written = -1;
    EXPECT_EQ(c.write(std::string(1025, 'A'), &written), 318);
    EXPECT_EQ(written, 0);
    run(20);
    EXPECT_EQ(modelCommands(before), std::vector<Bytes>{});
}

TEST_F(M3Bench, TwentyOfTwentyFiveUserCharactersAreKeptInThisPrinterOnly) {
    M3Client& c = client();
    comeOnline(c);
    M3Client other(9);
    unsigned char glyphs[25][12];
    std::vector<PosArg> defs;
    for (int i = 0; i < 25; ++i) {
        std::memset(glyphs[i], i + 1, 12);
        defs.push_back({reinterpret_cast<const char*>(static_cast<uintptr_t>('A' + i)), reinterpret_cast<intptr_t>(glyphs[i])});
    }
    // A code beyond the character map is skipped, not written past it.
    defs[3].name = reinterpret_cast<const char*>(static_cast<uintptr_t>(5000));
    const size_t before = model().commands().size();
    ASSERT_EQ(c.ioctl(POS_PRN_DEFINE_CHARACTERS, defs), 0);
    EXPECT_TRUE(ovkhost::errorLogged(19430));
    for (int i = 0; i < 20; ++i) {
        if (i == 3) continue;
        EXPECT_EQ(c.MapOf('A' + i), 216 + i) << i;
        EXPECT_EQ(Bytes(c.FontTable() + 12 * i, c.FontTable() + 12 * i + 12), Bytes(12, i + 1)) << i;
        EXPECT_EQ(other.MapOf('A' + i), mod3Map['A' + i]) << i;
    }
    EXPECT_EQ(c.MapOf('D'), mod3Map['D']);
    EXPECT_EQ(c.MapOf('A' + 20), mod3Map['A' + 20]);
    ASSERT_TRUE(until([&] { return fontBlocks(before).size() == 5; }));
    // The characters print as their codes; a new definition undoes the old ones.
    const size_t lineAt = model().commands().size();
    ASSERT_EQ(c.write("AB\n"), 0);
    run(10);
    std::vector<Bytes> cmds = modelCommands(lineAt);
    ASSERT_FALSE(cmds.empty());
    EXPECT_EQ(Bytes(cmds[0].begin() + 5, cmds[0].begin() + 7), (Bytes{216, 217}));
    ASSERT_EQ(c.ioctl(POS_PRN_DEFINE_CHARACTERS, {}), 0);
    EXPECT_EQ(c.MapOf('A'), mod3Map['A']);
}

TEST_F(M3Bench, PaperOutHoldsTheLineUntilTheResume) {
    M3Client& c = client();
    comeOnline(c);
    model().setPaper(PrinterModel::CR, true);
    ASSERT_TRUE(until([&] { return !c.queue.events().empty(); }));
    std::vector<Event> events = c.queue.take();
    EXPECT_EQ(events[0].msg, POSM_PRN_STATUS_CHANGE);
    EXPECT_EQ(events[0].p1, 0x20000u | 1);
    ASSERT_EQ(c.write("WAIT\n"), 0);
    ASSERT_TRUE(until([&] { return !c.queue.events().empty(); }));
    events = c.queue.take();
    EXPECT_EQ(events.back().msg, POSM_PRN_PRINTER_ERROR);
    EXPECT_EQ(events.back().p1, 0x80000u | 1);
    model().setPaper(PrinterModel::CR, false);
    run(20);
    EXPECT_EQ(model().lineCount(PrinterModel::CR), 0u);
    ASSERT_EQ(c.ioctl(POS_PRN_RESUME_PRINTING), 0);
    ASSERT_TRUE(until([&] { return model().lineCount(PrinterModel::CR) == 1; }));
    run(30);
    EXPECT_EQ(model().lineCount(PrinterModel::CR), 1u);
    EXPECT_EQ(model().lines(PrinterModel::CR).back(), "WAIT");
}

// The line that paper out held goes after the resume and the printer leaves the bus with it
// unanswered: it took the line (and prints it) but its answer never came. The application
// goes on resuming every second; once the printer is back, the line is not sent again: the
// application is told and its resume drops the line.
TEST_F(M3Bench, AHeldLineInFlightWhenTheBusGoesIsPrintedOnceAfterResumesAndTheReturn) {
    enum class Gone { AfterTheAck, BeforeTheAck };
    for (Gone gone : {Gone::AfterTheAck, Gone::BeforeTheAck}) {
        SCOPED_TRACE(gone == Gone::AfterTheAck ? "after the ack" : "before the ack");
        TearDown();
        SetUp();
        M3Client& c = client();
        comeOnline(c);
        model().setPaper(PrinterModel::CR, true);
        ASSERT_TRUE(until([&] { return !c.queue.events().empty(); }));
        ASSERT_EQ(c.write("ONCE\n"), 0);
        ASSERT_TRUE(until([&] { return printer().ResumeRequested(); }));
        // Resumes while the paper is out keep the line held.
        for (int i = 0; i < 3; ++i) {
            c.ioctl(POS_PRN_RESUME_PRINTING);
            run(100);
        }
        ASSERT_EQ(model().lineCount(PrinterModel::CR), 0u);
        model().setPaper(PrinterModel::CR, false);
        run(20);
        if (gone == Gone::AfterTheAck) station().leaveAfterAcknowledging();
        ASSERT_EQ(c.ioctl(POS_PRN_RESUME_PRINTING), 0);
        if (gone == Gone::BeforeTheAck) {
            // The printer takes the frame and leaves before it answers.
            ASSERT_TRUE(until([&] { return !adapter_.frames.empty(); }));
            for (const Bytes& rec : adapter_.frames) {
                const linkrec::Sent f = linkrec::decodeSent(rec);
                station().receive(bussim::LinkFrame{f.control, Bytes(f.data.begin(), f.data.end()), false});
            }
            adapter_.frames.clear();
            station().takeAway();
        }
        // Gone: every poll times out; the application resumes every second meanwhile.
        const unsigned char pollTimeout = 0x13;
        for (int second = 0; second < 8; ++second) {
            for (int i = 0; i < 100; ++i) {
                round();
                if (!station().present()) printer().ProcessError(&pollTimeout, 1);
            }
            c.ioctl(POS_PRN_RESUME_PRINTING);
        }
        ASSERT_EQ(model().lineCount(PrinterModel::CR), 1u);
        c.queue.take();
        station().bringBack();
        for (int second = 0; second < 8; ++second) {
            run(100);
            c.ioctl(POS_PRN_RESUME_PRINTING);
        }
        EXPECT_TRUE(printer().Confirmed(kM3));
        EXPECT_EQ(model().lineCount(PrinterModel::CR), 1u);
        EXPECT_FALSE(printer().ResumeRequested());
        const std::vector<Event> events = c.queue.take();
        EXPECT_TRUE(std::any_of(events.begin(), events.end(), [](const Event& e) {
            return e.msg == POSM_PRN_PRINTER_ERROR && e.p1 == (PRN_P1_FRAME_LOST | 1);
        }));
        // The printer prints what comes next.
        ASSERT_EQ(c.write("NEXT\n"), 0);
        ASSERT_TRUE(until([&] { return model().lineCount(PrinterModel::CR) == 2; }));
        EXPECT_EQ(model().lines(PrinterModel::CR).back(), "NEXT");
    }
}

// The cover open holds the lines of A, which closes; B opens, acquires and writes. Once the
// cover is closed only B's line prints, once, and A's lines never do.
TEST_F(M3Bench, LinesHeldByTheCoverLeaveWithTheirOwnerAndTheNextPrintsOnlyItsOwn) {
    M3Client& a = client();
    comeOnline(a);
    // A journal line last: a receipt line then waits for the head to move, which the cover
    // holds back.
    ASSERT_EQ(a.set({{"printStation", 2}}), 0);
    ASSERT_EQ(a.write("J\n"), 0);
    ASSERT_TRUE(until([&] { return model().lineCount(PrinterModel::SJ) == 1; }));
    ASSERT_EQ(a.set({{"printStation", 1}}), 0);
    ASSERT_TRUE(model().setCover(true));
    run(20);
    ASSERT_EQ(a.write("A1\n"), 0);
    ASSERT_EQ(a.write("A2\n"), 0);
    run(50);
    ASSERT_EQ(model().lineCount(PrinterModel::CR), 0u);
    clients_.clear(); // A released and closed
    run(20);
    M3Client& b = client();
    b.queue.take();
    ASSERT_TRUE(model().setCover(false));
    run(50);
    // B resumes if it was told of an error, as an application would.
    if (hasEvent(b.queue.take(), POSM_PRN_PRINTER_ERROR)) b.ioctl(POS_PRN_RESUME_PRINTING);
    ASSERT_EQ(b.write("B\n"), 0);
    ASSERT_TRUE(until([&] { return model().lineCount(PrinterModel::CR) >= 1; }));
    run(100);
    EXPECT_EQ(model().lineCount(PrinterModel::CR), 1u);
    EXPECT_EQ(model().lines(PrinterModel::CR).back(), "B");
}

TEST_F(M3Bench, FeedsCutTearBarDocumentsAndRasData) {
    M3Client& c = client();
    comeOnline(c);
    const size_t before = model().commands().size();
    c.Lock();
    EXPECT_EQ(c.FeedPaper(1, 90001, 0), 321);
    EXPECT_EQ(c.FeedPaper(8, 1000, 0), POSERR_PRN_INVALID_STATION);
    EXPECT_EQ(c.FeedPaper(1, 3530, 0), 0);
    EXPECT_EQ(c.ReleaseDocument(2), POSERR_PRN_INVALID_FEED_DIRECTION);
    c.Unlock();
    ASSERT_EQ(c.write("\x1BO\x1BP"), 0);
    ASSERT_EQ(c.set({{"printMode", 128}}), 0);
    ASSERT_EQ(c.write(std::string("\x0B\x24\x00", 3)), 0);
    ASSERT_TRUE(until([&] {
        for (const Event& e : c.queue.events())
            if (e.msg == POSM_PRN_RAS_STATUS) return true;
        return false;
    }));
    EXPECT_EQ(modelCommands(before), (std::vector<Bytes>{{0x01, 0x09, 0, 1, 10},
                                                         {0x01, 0x09, 0, 1, 108},
                                                         {0x01, 0x12, 0, 0, 0},
                                                         {0x0B, 0x24, 0x00}}));
    std::vector<Event> events = c.queue.take();
    EXPECT_EQ(events.back(), (Event{POSM_PRN_RAS_STATUS, 0x0B240000u | 1, 858}));
    EXPECT_EQ(c.set({{"printMode", 32}}), POSERR_PRN_INVALID_MODE);
}

// ---------------------------------------------------------------------------------------
// Rejects without end.

// The font blocks the printer needs are rejected for good: they go again at once three
// times and then once a second, never dropped, and once the rejects stop the whole font
// reaches the printer without a new request.
TEST_F(M3Bench, FontBlocksRejectedWithoutEndArePacedAndTheFontLoadsOnceTheyStop) {
    M3Client& c = client();
    ASSERT_TRUE(until([&] { return printer_->Confirmed(kM3); }));
    const uint64_t taken = rejectedWithoutEnd([] {});
    EXPECT_LE(taken, pacedBound());
    ASSERT_TRUE(until([&] { return model().font() == Bytes(c.FontTable(), c.FontTable() + M3_FONT_BYTES); }, 1000));
}

// A line rejected for good: the application is told, the frames are paced, and once the
// rejects stop the application's retry prints the line.
TEST_F(M3Bench, ALineRejectedWithoutEndIsPacedAndTheRetryPrintsItOnceTheyStop) {
    M3Client& c = client();
    comeOnline(c);
    const uint64_t taken = rejectedWithoutEnd([&] { ASSERT_EQ(c.write("HELLO\n"), 0); });
    EXPECT_LE(taken, pacedBound());
    EXPECT_TRUE(hasEvent(c.queue.take(), POSM_PRN_PRINTER_ERROR));
    ASSERT_TRUE(until([&] {
        c.ioctl(POS_PRN_RETRY_PRINTING);
        return model().lineCount(PrinterModel::CR) >= 1;
    }, 1000));
}

} // namespace
} // namespace prntbench
