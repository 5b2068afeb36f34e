// The model-6397 virtual printer on the simulated bus: what acquiring, text, escapes,
// transaction mode and the settings send to the simulated 6397, and the rules it enforces.
#include <fstream>
#include <iterator>
#include <sstream>

#include "V63Bench.h"

namespace v63bench {
namespace {

constexpr uint32_t kChaseComplete = 16900;

Bytes bytes(std::initializer_list<int> list) {
    Bytes b;
    for (int v : list) b.push_back(static_cast<unsigned char>(v));
    return b;
}
Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// The golden file's hex, comments dropped.
Bytes golden(const std::string& name) {
    std::ifstream in(std::string(V63_GOLDEN_DIR) + "/" + name);
    Bytes out;
    std::string line;
    while (std::getline(in, line)) {
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        std::string w;
        while (words >> w) out.push_back(static_cast<unsigned char>(std::stoul(w, nullptr, 16)));
    }
    return out;
}

std::string esc(const std::string& rest) { return "\x1b" + rest; }

// ---------------------------------------------------------------------------------------
// Acquire and plain text.

TEST_F(V63Bench, AcquireSendsOneSetUpFrameInTheConfigurationOrder) {
    online();
    Client63& c = client(false);
    EXPECT_EQ(c.write("HELLO\n"), 315);
    EXPECT_EQ(c.ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    drain();
    const Bytes expected = golden("v63_acquire.golden");
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(sent(), std::vector<Bytes>{expected});
    EXPECT_EQ(c.ModelId(), 4);
    EXPECT_FALSE(c.Thermal());
    EXPECT_EQ(c.Buffer(0).capacity, 1016);
    EXPECT_EQ(c.TransactionWindow(), 0x3800u);
}

TEST_F(V63Bench, TextGoesOutAsOneFrameOnceTheQueueDrains) {
    online();
    Client63& c = client();
    int count = 0;
    // The set-up frame is still queued: the text waits for the queue to empty.
    EXPECT_EQ(c.write("HELLO\r\n", &count), 0);
    EXPECT_EQ(count, 7);
    drain();
    const std::vector<Bytes> frames = sent();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1], bytes({0x48, 0x45, 0x4C, 0x4C, 0x4F, 0x0A}));
    EXPECT_NE(model().lines(P6397Model::CR).back().find("HELLO"), std::string::npos);

    // A write of the single byte 0 consumes and sends nothing.
    EXPECT_EQ(c.write(std::string(1, '\0'), &count), 0);
    EXPECT_EQ(count, 0);
    drain();
    EXPECT_TRUE(sent().empty());
    // Over 16384 bytes: 318 before the mode is looked at.
    EXPECT_EQ(c.write(std::string(16385, 'A')), 318);
}

TEST_F(V63Bench, ALineFeedWithFewerThan40BytesFreeSendsTheBuffer) {
    online();
    Client63& c = client();
    // 980 bytes and the line feed leave 35 of 1016 free: sent at once, "B" waits.
    EXPECT_EQ(c.write(std::string(980, 'A') + "\nB"), 0);
    drain();
    std::vector<Bytes> frames = sent();
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[1], text(std::string(980, 'A') + "\n"));
    EXPECT_EQ(frames[2], text("B"));
    // 970 bytes leave 45 free: one frame.
    EXPECT_EQ(c.write(std::string(970, 'A') + "\nB"), 0);
    drain();
    frames = sent();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], text(std::string(970, 'A') + "\nB"));
}

// ---------------------------------------------------------------------------------------
// Escapes.

struct EscapeCase {
    const char* name;
    std::string input;
    std::vector<Bytes> frames;
};

TEST_F(V63Bench, EscapesSendTheirCommands) {
    online();
    Client63& c = client();
    drain();
    sent();
    const EscapeCase cases[] = {
        {"ESC P cuts", esc("P"), {bytes({0x1B, 0x6D})}},
        {"ESC O feeds", esc("O"), {bytes({0x1B, 0x4A, 0xC0})}},
        {"ESC p prints logo n", esc("p") + "\x01\x02", {bytes({0x1D, 0x2F, 0x01, 0x02})}},
        {"ESC q prints message n", esc("q") + "\x07", {bytes({0x1D, 0x5E, 0x07})}},
        {"ESC t aligns the right column", esc("t"), {bytes({0x1B, 0x61, 0x04})}},
        {"ESC a centres", esc("a1") + "X", {bytes({0x1B, 0x61, 0x01, 'X'})}},
        {"ESC C passes a byte through", esc("C") + "\x07", {bytes({0x07})}},
        {"ESC C aligns", esc("C") + "\x1b" "xxa" "yy\xd2" "Z", {bytes({0x1B, 0x61, 0x02, 'Z'})}},
        {"ESC E emphasises", esc("E") + "A" + esc("F"), {bytes({0x1B, 0x21, 0x08, 'A'})}},
        {"ESC ! double high", esc("!") + "\x01" "A", {bytes({0x1B, 0x21, 0x10, 'A'})}},
        {"ESC 0x1B prints the code page's ESC, a blank here", esc("\x1b"), {bytes({0x20})}},
        {"ESC C ESC passes the ESC and prints what follows", esc("C") + "\x1b" "xx", {bytes({0x1B, 'x', 'x'})}},
        {"ESC I changes a spacing", esc("I") + "C\x0f\x05" "A", {bytes({0x1B, 0x20, 0x05, 'A'})}},
        {"ESC ! as the last two bytes", esc("!"), {}},
        {"unknown selector", esc("\x7f") + "A", {bytes({'A'})}},
        {"ESC m outside page mode", esc("m1234") + "A", {bytes({'A'})}},
        {"ESC k type 9 with length 255",
         esc("k") + std::string("\x09\x03\x50\x00\x00\xff", 6),
         {bytes({0x1D, 0x77, 0x03, 0x1D, 0x68, 0x50, 0x1D, 0x48, 0x00, 0x1D, 0x66, 0x00, 0x1D, 0x6B, 0x09})}},
        {"ESC k type 9 with data",
         esc("k") + std::string("\x09\x02\x50\x01\x00\x03" "ABC", 9),
         {bytes({0x1D, 0x77, 0x02, 0x1D, 0x68, 0x50, 0x1D, 0x48, 0x01, 0x1D, 0x66, 0x00, 0x1D, 0x6B, 0x09, 0x03,
                 'A', 'B', 'C'})}},
        {"ESC k to its terminator",
         esc("k") + std::string("\x04\x03\x50\x00\x00" "123456789\0" "Z", 16),
         {bytes({0x1D, 0x77, 0x02, 0x1D, 0x68, 0x50, 0x1D, 0x48, 0x00, 0x1D, 0x66, 0x00, 0x1D, 0x6B, 0x04, '1', '2',
                 '3', '4', '5', '6', '7', '8', '9', 0x00, 'Z'})}},
    };
    for (const EscapeCase& t : cases) {
        int count = -1;
        EXPECT_EQ(c.write(t.input, &count), 0) << t.name;
        EXPECT_EQ(count, static_cast<int>(t.input.size())) << t.name;
        drain();
        EXPECT_EQ(sent(), t.frames) << t.name;
        // Back to plain text for the next case.
        c.write(esc(";") + esc("F") + esc("!") + "\x81" + esc("a0") + "R\n");
        drain();
        sent();
    }
}

TEST_F(V63Bench, EscPThenEscGChasesFlushesAndCuts) {
    online();
    Client63& c = client();
    drain();
    sent();
    c.queue.take();
    int count = 0;
    EXPECT_EQ(c.write("X" + esc("P") + esc("G"), &count), 0);
    EXPECT_EQ(count, 5);
    drain();
    const std::vector<Bytes> frames = sent();
    ASSERT_EQ(frames.size(), 2u);
    ASSERT_EQ(frames[0].size(), 5u);
    EXPECT_EQ(frames[0][0], 'X');
    EXPECT_EQ(Bytes(frames[0].begin() + 2, frames[0].end()), bytes({0x1B, 0x53, 0x0A}));
    EXPECT_EQ(frames[1], bytes({0x1B, 0x6D}));
    bool chased = false;
    for (const Event& e : c.queue.take()) chased |= e.msg == kChaseComplete;
    EXPECT_TRUE(chased);
    EXPECT_EQ(c.GetChaseCount(PRN_STATION_CR), 0);
}

// A receipt (three lines, then ESC P ESC G) while the printer rejects every command, the
// application resuming at once on every printer error as a till does. A refused line is
// dropped with its error; the chase is kept and goes again, about once a second after the
// third reject, and once the rejects stop its event comes.
TEST_F(V63Bench, AChaseRefusedWithoutEndGoesAgainPacedUntilThePrinterTakesIt) {
    online();
    Client63& c = client();
    drain();
    sent();
    c.queue.take();
    model().rejectNext(1000000);
    for (int i = 1; i <= 3; ++i) ASSERT_EQ(c.write("LINE" + std::to_string(i) + "\n"), 0);
    ASSERT_EQ(c.write(esc("P") + esc("G")), 0);
    int errors = 0;
    bool chased = false;
    auto serve = [&] {
        for (const Event& e : c.queue.take()) {
            if (e.msg == POSM_PRN_PRINTER_ERROR) {
                ++errors;
                EXPECT_EQ(c.ioctl(POS_PRN_RESUME_PRINTING), 0);
            }
            chased |= e.msg == kChaseComplete;
        }
    };
    // Ten seconds of rejects, counted a second at a time.
    std::vector<uint64_t> perSecond;
    for (int second = 0; second < 10; ++second) {
        const uint64_t before = model().commandCount();
        for (int r = 0; r < 100; ++r) {
            round();
            serve();
        }
        perSecond.push_back(model().commandCount() - before);
    }
    EXPECT_FALSE(chased);
    EXPECT_GE(errors, 1);
    uint64_t total = 0;
    for (uint64_t n : perSecond) total += n;
    EXPECT_LE(total, static_cast<uint64_t>(RejectPacer::kAtOnce + 1 + 10 + 1)) << "frames in 10 s of rejects";
    for (size_t second = 2; second < perSecond.size(); ++second)
        EXPECT_LE(perSecond[second], 2u) << "second " << second;
    // The chase is still going to the printer, not thrown away.
    EXPECT_GE(perSecond.back(), 1u);
    const std::vector<Bytes> during = sent();
    ASSERT_FALSE(during.empty());
    ASSERT_GE(during.back().size(), 3u);
    EXPECT_EQ(Bytes(during.back().end() - 3, during.back().end()), bytes({0x1B, 0x53, 0x0A}));

    // The rejects stop: the chase event comes within ten seconds.
    model().rejectNext(0);
    for (int r = 0; r < 1000 && !chased; ++r) {
        round();
        serve();
    }
    EXPECT_TRUE(chased);
    drain();
    serve();
    EXPECT_EQ(c.GetChaseCount(PRN_STATION_CR), 0);
}

TEST_F(V63Bench, ABarcodeOnTheJournalOfModel0ConsumesNothing) {
    P6397Model::Options o;
    o.subtype = 0;
    online(o);
    Client63& c = client();
    drain();
    sent();
    c.forceStation(2);
    int count = 0;
    const std::string barcode = esc("k") + std::string("\x04\x03\x50\x00\x00" "12\0", 8);
    EXPECT_EQ(c.write(barcode, &count), 0);
    EXPECT_EQ(count, static_cast<int>(barcode.size()));
    drain();
    const std::vector<Bytes> frames = sent();
    ASSERT_EQ(frames.size(), 1u);
    // ESC k is dropped and its arguments print as text: no barcode command.
    EXPECT_EQ(frames[0].size(), 8u);
    EXPECT_EQ(hex(frames[0]).find("1d6b"), std::string::npos) << hex(frames[0]);
    EXPECT_NE(hex(frames[0]).find("50000031320"), std::string::npos) << hex(frames[0]);
}

// Every handler reads only within the write: arguments not all there are consumed and
// nothing is done.
TEST_F(V63Bench, EscapesCutShortReadNothingPastTheWrite) {
    P6397Model::Options o;
    o.ecLevel = 0x40; // thermal
    online(o);
    Client63& c = client();
    drain();
    sent();
    const std::string cut[] = {
        esc("B") + "P\x00", esc("B") + std::string("P\x00\x10" "abc", 6), esc("C") + "\x1b" "xxa" "y", esc("l") + "P" "abc", esc("l") + "R\x01", esc("l") + "S1", esc("l") + "T",
        esc("p") + "\x01", esc("q"), esc("k") + std::string("\x09\x02\x50\x01\x00\x09" "AB", 8),
        esc("s") + "\x00\x00", esc("s") + std::string("\x00\x00\x08" "abc", 6), esc("I") + "C\x0f",
        esc("W") + "1", esc("c") + "8", esc("f") + "12", esc("m") + "123", esc("\x90"),
        esc("\x90") + "\x05\x01", esc("=")};
    for (const std::string& w : cut) {
        int count = -1;
        EXPECT_EQ(c.write(w, &count), 0) << hex(text(w));
        EXPECT_EQ(count, static_cast<int>(w.size())) << hex(text(w));
    }
    drain();
    for (const Bytes& f : sent()) ADD_FAILURE() << "sent " << hex(f);

    // Print mode 8 with an empty write.
    EXPECT_EQ(c.set({{"printMode", 8}}), 0);
    EXPECT_EQ(c.write(""), POSERR_PRN_INCORRECT_DATA_FORMAT);
}

// ---------------------------------------------------------------------------------------
// Double-byte printer.

TEST_F(V63Bench, ADoubleBytePrinterGetsItsLeadByteRangesAndALeadByteEndingAWritePrintsSingle) {
    P6397Model::Options o;
    o.subtype = 7;
    o.option = 0x10;
    o.codePage = 932;
    online(o, {{0x51, 0x819F}, {0x52, 0xE0FC}});
    Client63& c = client();
    EXPECT_TRUE(c.DbcsPrinter());
    EXPECT_TRUE(c.ReceiptOnly());
    EXPECT_TRUE(c.DbcsActive());
    // Six bytes of ranges from the printer; the last two stay 0.
    EXPECT_EQ(Bytes(c.LeadByteRanges(), c.LeadByteRanges() + 8), bytes({0x81, 0x9F, 0xE0, 0xFC, 0, 0, 0, 0}));
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(c.isdbcs1(b) != 0, (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) << b;
    drain();
    const std::vector<Bytes> setup = sent();
    ASSERT_EQ(setup.size(), 1u);
    EXPECT_EQ(hex(setup[0]).rfind("1b25011b4d33819f1b4d34e0fc1b4d350000", 0), 0u) << hex(setup[0]);

    int count = 0;
    EXPECT_EQ(c.write("\x88\x9f" "A\x81", &count), 0);
    EXPECT_EQ(count, 4);
    drain();
    EXPECT_EQ(sent(), std::vector<Bytes>{bytes({0x88, 0x9F, 'A', 0x81})});
}

// ---------------------------------------------------------------------------------------
// Transaction mode.

TEST_F(V63Bench, TransactionDataBeyondTheWindowWaitForTheEnd) {
    online();
    Client63& c = client();
    drain();
    sent();
    EXPECT_EQ(c.write(esc("T1")), 0);
    EXPECT_TRUE(c.TransactionActive());
    printer().queued.clear();
    EXPECT_EQ(c.write(std::string(10000, 'A')), 0);
    EXPECT_EQ(c.write(std::string(10000, 'B')), 0);
    drain();
    // Up to the window (0x3800 bytes) the buffers go at once; the rest are held.
    size_t printed = 0;
    for (const Bytes& f : sent()) printed += f.size();
    EXPECT_EQ(printed, 14 * 1016u); // the first buffer begins with the start command 1B 37
    EXPECT_EQ(printer().queued.size(), 14u);
    EXPECT_GT(c.HeldTransactionBuffers(), 0u);

    printer().queued.clear();
    EXPECT_EQ(c.write(esc("T0")), 0);
    EXPECT_FALSE(c.TransactionActive());
    EXPECT_EQ(c.HeldTransactionBuffers(), 0u);
    // The end command first, then the held buffers in order.
    const auto& queued = printer().queued;
    ASSERT_GE(queued.size(), 2u);
    EXPECT_EQ(queued[0], (std::pair<int, Bytes>{14, bytes({0x10, 0x05, 0x31})}));
    size_t rest = 0;
    for (size_t i = 1; i < queued.size(); ++i) rest += queued[i].second.size();
    EXPECT_EQ(printed + rest, 20002u);
    drain();
    // On the bus: 10 05 31, then the held data.
    const std::vector<Bytes> frames = sent();
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames[0], bytes({0x10, 0x05, 0x31}));
    size_t after = 0;
    for (size_t i = 1; i < frames.size(); ++i) after += frames[i].size();
    EXPECT_EQ(after, rest);

    // Discard: the buffers are dropped and the printer is told to flush.
    EXPECT_EQ(c.set({{"transactionMode", 1}}), 0);
    EXPECT_EQ(c.write("gone"), 0);
    printer().queued.clear();
    EXPECT_EQ(c.set({{"transactionMode", 2}}), 0);
    ASSERT_FALSE(printer().queued.empty());
    EXPECT_EQ(printer().queued.back(), (std::pair<int, Bytes>{12, bytes({0x10, 0x05, 0x32})}));
    EXPECT_FALSE(c.TransactionActive());
}

// ---------------------------------------------------------------------------------------
// Settings and controls.

TEST_F(V63Bench, EdgeCasesOfTheSettingsAndControls) {
    online();
    Client63& c = client();
    drain();
    // No tone on this model.
    EXPECT_EQ(c.ioctl(POS_PRN_SOUND_TONE), 311);
    drain();
    sent();
    // No journal.
    EXPECT_EQ(c.set({{"printStation", 2}}), POSERR_PRN_INVALID_STATION);
    EXPECT_EQ(c.get("printStation"), 1);
    // A retry string of 100 characters is kept as 86.
    const std::string longText(100, 'r');
    EXPECT_EQ(c.set({{"retryString", reinterpret_cast<intptr_t>(longText.c_str())}}), 0);
    char back[128] = {};
    PosArg a{"retryString", reinterpret_cast<intptr_t>(back)};
    c.Lock();
    int out = 0;
    EXPECT_EQ(c.IOCtl(POS_SYS_GET_VALUES, &a, 1, out), 0);
    c.Unlock();
    EXPECT_EQ(std::string(back), std::string(86, 'r'));
    // Tab stops.
    char tabs[32] = {};
    PosArg t{"printTabStops", reinterpret_cast<intptr_t>(tabs)};
    c.Lock();
    EXPECT_EQ(c.IOCtl(POS_SYS_GET_VALUES, &t, 1, out), 0);
    c.Unlock();
    EXPECT_STREQ(tabs, "100,200,300");
    EXPECT_EQ(c.set({{"printTabStops", reinterpret_cast<intptr_t>("50,60")}}), 0);
    EXPECT_EQ(c.write("T"), 0);
    drain();
    EXPECT_EQ(sent().back(), bytes({0x1B, 0x44, 0x00, 0x32, 0x00, 0x3C, 0x00, 0x00, 'T'}));
    EXPECT_EQ(c.set({{"printTabStops", reinterpret_cast<intptr_t>("60,50")}}), POSERR_PRN_INVALID_TABSTOPS_FORMAT);
    // Alignment goes out when it changes; an unknown row index is the base's.
    EXPECT_EQ(c.set({{"printAlignment", 2}}), 0);
    EXPECT_EQ(c.write("A"), 0);
    drain();
    EXPECT_EQ(sent().back(), bytes({0x1B, 0x61, 0x02, 'A'}));
    // The DI controls on a printer with a document station go to the base.
    EXPECT_EQ(c.ioctl(POS_PRN_ENABLE_DI_PRINTING), 0);
    // Unknown print mode.
    EXPECT_EQ(c.set({{"printMode", 3}}), POSERR_PRN_INVALID_MODE);
    // Raw mode: the write goes as it stands.
    EXPECT_EQ(c.set({{"printMode", 159}}), 0);
    EXPECT_EQ(c.write("\x1b\x40raw"), 0);
    EXPECT_EQ(c.write(std::string(1017, 'x')), 318);
    EXPECT_EQ(c.set({{"printMode", 1}}), 0);
    drain();
    bool raw = false;
    for (const Bytes& f : sent()) raw |= f == text("\x1b\x40raw");
    EXPECT_TRUE(raw);
}

TEST_F(V63Bench, AReceiptOnlyPrinterRefusesTheDocumentControlsAndSoundsItsTone) {
    P6397Model::Options o;
    o.subtype = 3;
    online(o);
    Client63& c = client(false);
    // Not holding: nothing done.
    EXPECT_EQ(c.ioctl(POS_PRN_ENABLE_DI_PRINTING), 0);
    EXPECT_EQ(c.ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    EXPECT_TRUE(c.ReceiptOnly());
    EXPECT_EQ(c.ioctl(POS_PRN_ENABLE_DI_PRINTING), 311);
    EXPECT_EQ(c.ioctl(POS_PRN_DISABLE_EXCLUSIVE_DI_PRINTING), 311);
    EXPECT_EQ(c.set({{"printStation", 4}}), POSERR_PRN_INVALID_STATION);
    drain();
    sent();
    EXPECT_EQ(c.ioctl(POS_PRN_SOUND_TONE, {{"printToneFrequency", 261}, {"printToneDuration", 9}}), 0);
    drain();
    // Octave 0, note 0, loud.
    EXPECT_EQ(sent(), std::vector<Bytes>{bytes({0x1B, 0x07, 0x09, 0x00})});
    EXPECT_EQ(c.get("printToneFrequency"), 261);
    EXPECT_EQ(c.ioctl(POS_PRN_SOUND_TONE, {{"printToneFrequency", 5000}}), POSERR_PRN_INVALID_TONE_FREQUENCY);
}

TEST_F(V63Bench, OnlyTheTwoSymbolicToneFrequenciesAreKnown) {
    online();
    const std::string path = root_.path() + "/printer.res";
    XrmDatabase db = nullptr;
    std::ofstream(path) << "printer.printToneFrequency: PRINT_TONE_MIN_FREQ\n";
    ASSERT_EQ(InitResources(db, path.c_str()), 0);
    {
        Client63 good(7);
        good.useDatabase(db);
        ASSERT_EQ(good.open(), 0);
        EXPECT_EQ(good.get("printToneFrequency"), 261);
    }
    std::ofstream(path) << "printer.printToneFrequency: PRINT_TONE_C\n";
    ASSERT_EQ(InitResources(db, path.c_str()), 0);
    Client63 bad(8);
    bad.useDatabase(db);
    EXPECT_EQ(bad.open(), POSERR_PRN_INVALID_TONE_FREQUENCY);
    EXPECT_EQ(bad.OpenCount(), 0);
    DestroyResources(db);
}

TEST_F(V63Bench, ResumeSendsTheTranslatedString) {
    online();
    Client63& c = client();
    drain();
    // The physical printer keeps the string for the link's resume.
    EXPECT_EQ(c.ioctl(POS_PRN_RESUME_PRINTING, {{"resumeString", reinterpret_cast<intptr_t>("GO ON")}}), 0);
    EXPECT_STREQ(c.GetParm().resumeString, "GO ON");
    Client63 idle(9);
    EXPECT_EQ(idle.open(), 0);
    EXPECT_EQ(idle.ioctl(POS_PRN_RESUME_PRINTING), 315);
}

// ---------------------------------------------------------------------------------------
// Validation rules.

struct Rule {
    const char* name;
    int (PRNT63V::*check)(long);
    long value;
    int expected;
};

TEST_F(V63Bench, ValidationRules) {
    online(); // model 4, EC 0x14: impact, a document station, no journal, no imaging
    Client63& c = client();
    const Rule rules[] = {
        {"mode 1", &PRNT63V::validateMode, 1, 0},
        {"mode 8", &PRNT63V::validateMode, 8, 0},
        {"mode 16", &PRNT63V::validateMode, 16, 0},
        {"mode 128", &PRNT63V::validateMode, 128, 0},
        {"mode 159", &PRNT63V::validateMode, 159, 0},
        {"mode 4", &PRNT63V::validateMode, 4, 4905},
        {"station 0", &PRNT63V::validatePrintStation, 0, 0},
        {"station 4", &PRNT63V::validatePrintStation, 4, 0},
        {"station 2", &PRNT63V::validatePrintStation, 2, 4904},
        {"station 3", &PRNT63V::validatePrintStation, 3, 4904},
        {"station 5", &PRNT63V::validatePrintStation, 5, 4904},
        {"line feed CR 30000", &PRNT63V::validateLineFeedCR, 30000, 0},
        {"line feed CR 30001", &PRNT63V::validateLineFeedCR, 30001, 4906},
        {"line feed SJ 30001", &PRNT63V::validateLineFeedSJ, 30001, 4907},
        {"line feed DI 30001", &PRNT63V::validateLineFeedDI, 30001, 4908},
        {"read mode 1 with MICR", &PRNT63V::validateReadMode, 1, 0},
        {"read mode 3", &PRNT63V::validateReadMode, 3, 0},
        {"read mode 4 without imaging", &PRNT63V::validateReadMode, 4, 4905},
        {"read mode 153", &PRNT63V::validateReadMode, 153, 0},
        {"read mode 255", &PRNT63V::validateReadMode, 255, 0},
        {"read mode 2", &PRNT63V::validateReadMode, 2, 4905},
        {"orientation 1", &PRNT63V::validatediOrientation, 1, 0},
        {"orientation 2", &PRNT63V::validatediOrientation, 2, 4911},
        {"left margin 70000", &PRNT63V::validateleftMarginCR, 70000, 0},
        {"left margin 70001", &PRNT63V::validateleftMarginCR, 70001, 4912},
        {"left margin default", &PRNT63V::validateleftMarginCR, static_cast<int32_t>(0x80000000u), 0},
        {"alignment 2", &PRNT63V::validateprintAlignment, 2, 0},
        {"alignment 3", &PRNT63V::validateprintAlignment, 3, 4913},
        {"quality 1 on model 4, EC 20", &PRNT63V::validateprintQualityMode, 1, 0},
        {"quality 2 on model 4, EC 20", &PRNT63V::validateprintQualityMode, 2, 4918},
        {"upside down 1", &PRNT63V::validatePrintUpsideDown, 1, 0},
        {"upside down 2", &PRNT63V::validatePrintUpsideDown, 2, 4919},
        {"colour 255", &PRNT63V::validateprintColorMode, 255, 0},
        {"colour 256", &PRNT63V::validateprintColorMode, 256, 4921},
        {"volume 2", &PRNT63V::validatePrintToneVolume, 2, 4922},
        {"duration 254", &PRNT63V::validatePrintToneDuration, 254, 0},
        {"duration 255", &PRNT63V::validatePrintToneDuration, 255, 4923},
        {"note 11", &PRNT63V::validatePrintToneNote, 11, 0},
        {"note 12", &PRNT63V::validatePrintToneNote, 12, 4924},
        {"octave 4", &PRNT63V::validatePrintToneOctave, 4, 4925},
        {"frequency 260", &PRNT63V::validatePrintToneFreq, 260, 4926},
        {"frequency 261", &PRNT63V::validatePrintToneFreq, 261, 0},
        {"frequency 3953", &PRNT63V::validatePrintToneFreq, 3953, 0},
        {"frequency 3954", &PRNT63V::validatePrintToneFreq, 3954, 4926},
        {"pulse width 12", &PRNT63V::validatePrintCDPulseWidth, 12, 4928},
        {"pulse width 13", &PRNT63V::validatePrintCDPulseWidth, 13, 0},
        {"pulse width 129", &PRNT63V::validatePrintCDPulseWidth, 129, 4928},
        {"status level 0", &PRNT63V::validatePrintCDStatusLevel, 0, 4929},
        {"status level 2", &PRNT63V::validatePrintCDStatusLevel, 2, 0},
        {"record length 200", &PRNT63V::validatePrintRecordLength, 200, 0},
        {"record length 201", &PRNT63V::validatePrintRecordLength, 201, 4930},
        {"record length 0", &PRNT63V::validatePrintRecordLength, 0, 4930},
    };
    for (const Rule& r : rules) EXPECT_EQ((c.*r.check)(r.value), r.expected) << r.name;
    const std::string hundred(100, '1');
    const std::pair<const char*, int> tabs[] = {
        {"100,200,300", 0}, {"1", 0}, {"576", 0}, {"577", 4920}, {"0", 4920}, {"", 4920},
        {"1,2,3,4,5", 0}, {"1,2,3,4,5,6", 4920}, {"2,1", 4920}, {"1, 2", 4920}, {"1,,2", 4920},
        {"12a", 0}, {"12g", 4920}, {hundred.c_str(), 4920}};
    for (const auto& [value, expected] : tabs) EXPECT_EQ(c.validatePrintTabStops(value), expected) << value;
    EXPECT_EQ(c.validateTransactionMode(2), 0);
    EXPECT_EQ(c.validateTransactionMode(3), 4931);
    EXPECT_EQ(c.set({{"printStation", 4}}), 0);
    EXPECT_EQ(c.validateTransactionMode(1), 4931);
}

// ---------------------------------------------------------------------------------------
// The printer-side mode is each printer's own.

// A physical printer that only records the commands it is handed.
class Recorder : public Printer63 {
public:
    explicit Recorder(ADAPTER* adapter) : Printer63(adapter) {}
    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override {
        if ((request == PRN_TP_PUT_QUEUE || request == PRN63_TP_PUT_CONTROL) && data) {
            auto* command = reinterpret_cast<PRNTCMD*>(data);
            codes.push_back({command->code, command->frame && command->frameLength ? command->frame[0] : -1});
            delete command;
            return 0;
        }
        return PRNT63P::TellPhys(sender, request, data, length);
    }
    std::vector<std::pair<int, int>> codes;
};

class Holder : public PRNT63V {
public:
    explicit Holder(Recorder& p) : PRNT63V(kId63, 1, reinterpret_cast<const unsigned char*>("PRNT63V")) {
        pdev_ = &p;
        SetStatusBits(VDEV_HOLDING);
    }
    ~Holder() override {
        ClearStatusBits(VDEV_HOLDING);
        pdev_ = nullptr;
    }
};

TEST(V63Mode, APrinterLeavingRasModeSelectsNormalModeWhateverAnotherPrinterDid) {
    CapturingAdapter adapter{"PrntAdap"};
    Recorder pa(&adapter), pb(&adapter);
    Holder a(pa), b(pb);
    EXPECT_EQ(a.SetPrintMode(PRN63_MODE_RAS), 0);
    EXPECT_EQ(b.SetPrintMode(PRN63_MODE_TEXT), 0);
    EXPECT_EQ(a.SetPrintMode(PRN63_MODE_TEXT), 0);
    // a: RAS (device mode 1) then normal (0), each with the selection command.
    EXPECT_EQ(pa.codes, (std::vector<std::pair<int, int>>{{134, 1}, {134, 0}}));
    EXPECT_EQ(pb.codes, (std::vector<std::pair<int, int>>{{134, 0}}));
    EXPECT_EQ(a.DeviceMode(), PRN63_MODE_TEXT);
    // Staying in a normal mode selects nothing again.
    EXPECT_EQ(b.SetPrintMode(PRN63_MODE_LOGO), 0);
    EXPECT_EQ(pb.codes.size(), 1u);
}

} // namespace
} // namespace v63bench
