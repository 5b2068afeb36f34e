// The model-6397 physical printer: its answers by hand on a capturing adapter, and the
// simulated 6397 on a bus station, one bus round at a time on the settable clock. A test
// virtual printer (the base's) holds it where a test needs one, recording what it is told.
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>

#include "NearWrap.h"
#include "PRNT63P.h"
#include "PrinterBench.h"
#include "p6397model.h"

namespace prntbench {
namespace {

using bussim::P6397Model;

constexpr unsigned char k63 = 0x35;
const DeviceID kId(kSlot, kPort, k63);

Bytes cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// An 8-byte status block: answered, paper everywhere, buffer empty; bytes as given after.
Bytes status8(unsigned char b0 = 0x01, unsigned char b1 = 0x47, unsigned char b2 = 0, unsigned char b4 = 0) {
    return {b0, b1, b2, 0, b4, 0, 0, 0};
}
Bytes status16(unsigned char b4 = 0, unsigned char b12 = 0) {
    Bytes s(16, 0);
    s[0] = 0x01;
    s[1] = 0x47;
    s[4] = b4;
    s[12] = b12;
    return s;
}

using P63Printer = OnAdapter<PRNT63P, k63>;

// The base's test virtual printer on the 6397, recording the TellVirt codes it gets.
class P63Client : public BenchClient<TestPrinterV> {
public:
    explicit P63Client(int handle) : BenchClient(kId, handle) {}
    int TellVirt(const PDEV* from, int message, unsigned char* data, int length) override {
        told.push_back({message, length});
        if (message == PRN_TV_CHASE_DONE || message == PRN_TV_MESSAGE)
            return TestPrinterV::TellVirt(from, message, data, length);
        return 0;
    }
    int tell(int request, void* data, int length) { return Tell(request, data, length); }
    std::vector<std::pair<int, int>> told;
};

class P63Bench : public ModelBench<P63Printer, P63Client> {
protected:
    P63Bench() { untilRounds_ = 400; }
    void SetUp() override {
        PRNT63P::ResetFirmwareCheck();
        ModelBench::SetUp();
    }

    // --- frames by hand ---
    // The information frames sent since the last call.
    std::vector<linkrec::Sent> sentFrames() {
        std::vector<linkrec::Sent> out;
        for (const linkrec::Sent& f : sent())
            if (f.info()) out.push_back(f);
        return out;
    }
    // ROL and NSA: the device information request goes out; the answer (info after an
    // 8-byte status) and, without a virtual printer, the UDF query's answer bring the printer
    // online.
    void bringUp(const Bytes& info = {0x30, 0x04, 0x03, 0x00, 0x14}) {
        feed(0x0F);
        feed(0x63);
        ASSERT_EQ(commands(), (std::vector<Bytes>{{0x00, 0x00, 0x01}}));
        reply(cat(status8(0x01, 0x47, 0, 0x01), info));
        // With a virtual printer holding it, the printer is online at once.
        if (!printer_->GetOwner()) {
            ASSERT_EQ(commands(), (std::vector<Bytes>{{0x1B, 0x53, 0x56}}));
            reply(cat(status8(0x01, 0x47, 0, 0x08), {0x00, 0x00}));
        }
        ASSERT_TRUE(printer_->Confirmed(k63));
        queueA_.take();
    }
    // Status answers by hand; each frame acknowledges what was sent.
    std::vector<Event> eventsOf(P63Client& c, uint32_t msg) {
        std::vector<Event> out;
        for (const Event& e : c.queue.take())
            if (e.msg == msg) out.push_back(e);
        return out;
    }
    // Puts a command of the table on a station through the virtual printer's request.
    int put(P63Client& c, unsigned short row, unsigned short station, const Bytes& data = {}) {
        auto* cmd = new PRNTCMD63;
        EXPECT_EQ(cmd->Set(row, &c, static_cast<unsigned short>(data.size()), data.data(), station), 0);
        c.Lock();
        const int rc = c.tell(PRN_TP_PUT_QUEUE, cmd, sizeof(PRNTCMD));
        c.Unlock();
        if (rc != 0) delete cmd;
        return rc;
    }

    // --- the simulated 6397 on a bus station ---
    P6397Model& model() { return modelAs<P6397Model>(); }
    bussim::Station& station(P6397Model::Options options = {}) {
        if (!station_) station_ = std::make_unique<bussim::Station>(kPort, k63, std::make_unique<P6397Model>(options));
        return *station_;
    }
    std::unique_ptr<bussim::DeviceModel> makeModel() override { return std::make_unique<P6397Model>(P6397Model::Options{}); }
    // The link waits of every frame sent on the bus.
    void seen(const linkrec::Sent& f) override { waits.emplace_back(f.addressWait, f.byteWait); }

    std::vector<std::pair<int, int>> waits;
};

// ---------------------------------------------------------------------------------------
// Start-up on the simulated printer.

TEST_F(P63Bench, ASubtype4PrinterWithEc20GoesOnlineAfterTheUdfQueryAlone) {
    station();
    ASSERT_TRUE(until([&] { return printer().Confirmed(k63); }));
    for (int i = 0; i < 5; ++i) round();
    std::vector<Bytes> sent(model().commands().begin(), model().commands().end());
    EXPECT_EQ(sent, (std::vector<Bytes>{{0x00, 0x00, 0x01}, {0x1B, 0x53, 0x56}}));
    EXPECT_TRUE(printer().QueriesDone());
    EXPECT_EQ(printer().GetDeviceSubtype(), 4);
    bool online = false;
    for (const Event& e : queueA_.take())
        if (e.msg == 0x420D) {
            EXPECT_EQ(e.p1, 0x01113503u);
            EXPECT_EQ(e.p2 & 0xFF, 4u);
            online = true;
        }
    EXPECT_TRUE(online);
    for (const auto& [address, byte] : waits) {
        EXPECT_EQ(address, 32);
        EXPECT_EQ(byte, 16);
    }
}

TEST_F(P63Bench, Subtype0RunsTheWholeQueryChainInOrder) {
    P6397Model::Options o;
    o.subtype = 0;
    o.serial = "AB12CD34";
    o.codePage = 437;
    station(o);
    ASSERT_TRUE(until([&] { return printer().Confirmed(k63); }));
    // 132, 104, then the MCT indexes of 68-70, 64, 72-75, 95, the matrices, options and
    // serial number, then the logo checksum, 186 and 187.
    static const unsigned char kMct[] = {0x51, 0x52, 0x53, 0x50, 0x54, 0x55, 0x02, 0x04, 0x10, 0x01, 0x02, 0x03,
                                         0x04, 0x05, 0x17, 0x18, 0x07, 0x10, 0x6F, 0x69, 0x6A, 0x6B, 0x6C};
    std::vector<Bytes> expected{{0x00, 0x00, 0x01}, {0x1B, 0x53, 0x56}, {0x1B, 0x34, 0x08, 0x00, 0x00, 0x00}};
    for (unsigned char m : kMct) expected.push_back({0x1B, 0x53, m});
    expected.push_back({0x1B, 0x22, 0x01});
    expected.push_back({0x1B, 0x53, 0x6F});
    expected.push_back({0x1B, 0x53, 0x37});
    std::vector<Bytes> sent(model().commands().begin(), model().commands().end());
    EXPECT_EQ(sent, expected);
    EXPECT_TRUE(printer().QueriesDone());
    EXPECT_EQ(printer().CodePage(), 437);
    EXPECT_STREQ(printer().Serial(), "AB12CD34");
    EXPECT_EQ(printer().DeviceCounter(), 0x19FFFu);
    EXPECT_EQ(printer().Counter(0), 0u); // the flash held 0xFFFFFFFF: both words 0
    EXPECT_EQ(printer().Mct(0x50), 437);
}

TEST_F(P63Bench, AHigherEcLevelAsksForTheDeviceCounterFirst) {
    P6397Model::Options o;
    o.ecLevel = 0x30;
    o.flashSize = 123456;
    station(o);
    ASSERT_TRUE(until([&] { return printer().Confirmed(k63); }));
    const auto& sent = model().commands();
    ASSERT_GE(sent.size(), 4u);
    EXPECT_EQ(sent[2], (Bytes{0x1B, 0x34, 0x08, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(sent[3], (Bytes{0x1B, 0x34, 0x08, 0x00, 0x00, 0x00}));
    EXPECT_EQ(printer().DeviceCounter(), 123456u);
}

// ---------------------------------------------------------------------------------------
// Firmware check.

class P63Firmware : public P63Bench {
protected:
    void SetUp() override {
        P63Bench::SetUp();
        const std::string loader = std::string(OVK_STAGING_ROOT) + "/usr/bin/ovkfld63";
        root_.write("/usr/bin/.keep", "");
        ASSERT_EQ(::symlink(loader.c_str(), root_.at("/usr/bin/ovkfld63").c_str()), 0);
    }
    std::string loaderLog() {
        // The loader runs as a child: wait (boundedly) for its line.
        for (int i = 0; i < 500; ++i) {
            std::string log = root_.read("/var/log/ovkfld63.log");
            if (!log.empty()) return log;
            ::usleep(10000);
        }
        return "";
    }
};

TEST_F(P63Firmware, AHigherFileLevelStartsTheLoaderOncePerProcess) {
    root_.write("/usr/share/pos/ovk63mch.hex", "EcLevel 15\nRevisionLevel 0\n:00000001FF\n");
    bringUp();
    EXPECT_TRUE(printer().FirmwareDownload());
    EXPECT_EQ(loaderLog(), "-P 17 -S 1 -F " + root_.at("/usr/share/pos/ovk63mch.hex") + "\n");

    // A second printer in the process never runs the check.
    P63Printer other(&adapter_, DeviceID(kSlot, 0x22, k63));
    Bytes info = cat(status8(0x01, 0x47, 0, 0x01), {0x30, 0x04, 0x03, 0x00, 0x14});
    other.NewMsgRcvd(info.data(), static_cast<int>(info.size()));
    Bytes udf = cat(status8(0x01, 0x47, 0, 0x08), {0x00, 0x00});
    other.NewMsgRcvd(udf.data(), static_cast<int>(udf.size()));
    EXPECT_TRUE(other.QueriesDone());
    EXPECT_FALSE(other.FirmwareDownload());
}

TEST_F(P63Firmware, AnEqualLevelStartsNoLoader) {
    root_.write("/usr/share/pos/ovk63mch.hex", "EcLevel 14\nRevisionLevel 0\n");
    bringUp();
    EXPECT_FALSE(printer().FirmwareDownload());
    EXPECT_EQ(root_.read("/var/log/ovkfld63.log"), "");
}

// ---------------------------------------------------------------------------------------
// Status and messages, by hand.

TEST_F(P63Bench, AThirteenByteMessageKeepsTheShortStatusAndReadsTheInformationAtByte8) {
    feed(0x0F);
    feed(0x63);
    commands();
    reply(cat(status8(0x01, 0x47, 0, 0x01), {0x30, 0x06, 0x03, 0x00, 0x14}));
    EXPECT_EQ(printer().StatusLength(), 8);
    EXPECT_EQ(printer().GetDeviceSubtype(), 6);
    // The long form: 16 bytes of status, then the information.
    reply(cat(status16(0x01), {0x30, 0x03, 0x03, 0x00, 0x14}));
    EXPECT_EQ(printer().StatusLength(), 16);
    EXPECT_EQ(printer().GetDeviceSubtype(), 3);
    // A shorter frame drops back to 8 bytes; bytes it lacks count as 0.
    reply(Bytes{0x01, 0x47, 0, 0, 0, 0, 0, 0, 0xFF});
    EXPECT_EQ(printer().StatusLength(), 8);
    unsigned char raw[16];
    printer().CopyPrinterStatus(raw);
    EXPECT_EQ(Bytes(raw, raw + 16), (Bytes{0x01, 0x47, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(P63Bench, ExtendedDeviceInformationRewritesTheSubtypeAndDerivesTheCapabilities) {
    feed(0x0F);
    feed(0x63);
    commands();
    struct Case {
        unsigned char subtype, f2, f5;
        int expected;
    } cases[] = {{8, 0, 0x06, 105}, {8, 0, 0x02, 73}, {8, 1, 0x06, 41}, {8, 1, 0x00, 9}, {4, 0, 0x06, 9}};
    for (const Case& k : cases) {
        // Device type, subtype, kept, EC, revision, F1-F5, feature, four kept bytes.
        const Bytes info{0x30, k.subtype, 0, 0x40, 2, '2', k.f2, 0xFE, 0x5E, k.f5, 0, 0, 0, 0, 0};
        reply(cat(status16(0x01), info));
        EXPECT_EQ(printer().GetDeviceSubtype(), k.expected) << int(k.subtype) << " " << int(k.f2) << " " << int(k.f5);
        commands();
    }
    // The last report: F2 1, F3 0xFE, F4 0x5E, F5 0: 0x21, 0xC and 0x10 for F4 bits 1 and 2,
    // 0x802 for F4 bit 6, 0x40 for F3 bit 2; F3 bits 3-7 in the second set.
    Bytes info{0x30, 0x08, 0, 0x40, 2, '2', 1, 0xFE, 0x5E, 0x00, 0, 0, 0, 0, 0};
    reply(cat(status16(0x01), info));
    EXPECT_EQ(printer().CapabilityBits(0), 0x21u | 0xCu | 0x10u | 0x802u | 0x40u);
    EXPECT_EQ(printer().CapabilityBits(1), 0x1Fu);
    EXPECT_EQ(printer().GetECLevel(), 0x40);
}

TEST_F(P63Bench, ShortAndEmptyFramesAreLoggedAndAcknowledged) {
    bringUp();
    commands();
    for (const Bytes& frame : {Bytes{}, Bytes{0x01, 0x47, 0, 0, 0, 0, 0}}) {
        ovkhost::clearCaptures();
        adapter_.frames.clear();
        reply(frame);
        EXPECT_TRUE(ovkhost::errorLogged(20206));
        ASSERT_EQ(adapter_.frames.size(), 1u);
        EXPECT_FALSE(linkrec::decodeSent(adapter_.frames[0]).info());
    }
}

TEST_F(P63Bench, ExtendedErrorBitsArePostedOneByOneInOrder) {
    P63Client& c = client();
    feed(0x0F);
    feed(0x63);
    commands();
    reply(cat(status16(0x01, 0x05), {0x30, 0x04, 0x03, 0x00, 0x14}));
    reply(cat(status16(0x08, 0x05), {0x00, 0x00}));
    ASSERT_TRUE(printer().Confirmed(k63));
    c.queue.take();
    reply(status16(0, 0x21));
    std::vector<uint32_t> p2;
    for (const Event& e : eventsOf(c, POSM_PRN_STATUS_CHANGE))
        if (e.p1 == (0x80000000u | 1)) p2.push_back(e.p2);
    EXPECT_EQ(p2, (std::vector<uint32_t>{1, 4, 32}));
}

TEST_F(P63Bench, ErrorsAskForAResumeWithTheirCodes) {
    P63Client& c = client();
    bringUp();
    struct Case {
        Bytes frame;
        uint32_t p1;
    } cases[] = {
        {status8(0x80, 0x47), 0x80000000u},       // rejected
        {status8(0x01, 0x47, 0x04), 0x100000u},   // byte 2 bit 2
        {status8(0x01, 0x47, 0x01), 0x4000000u},  // byte 2 bit 0
    };
    for (const Case& k : cases) {
        c.queue.take();
        reply(k.frame);
        std::vector<Event> errors = eventsOf(c, POSM_PRN_PRINTER_ERROR);
        ASSERT_FALSE(errors.empty()) << std::hex << k.p1;
        EXPECT_EQ(errors.front().p1, k.p1 | 1u);
        reply(status8());
        EXPECT_EQ(c.ioctl(POS_PRN_RESUME_PRINTING), 0);
    }
}

TEST_F(P63Bench, PaperStateChangesArePostedWithTheirStation) {
    P63Client& c = client();
    bringUp();
    c.queue.take();
    reply(status8(0x01, 0x43)); // byte 1 bit 2 clear: receipt paper out
    std::vector<Event> changes = eventsOf(c, POSM_PRN_STATUS_CHANGE);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].p1, 0x10000u | 1);
    EXPECT_TRUE(changes[0].p2 & 0x10);
    // The 16-byte status: offline mode (byte 8 bit 6) is reported once, then a frame that
    // finds it still set posts nothing.
    reply(cat(status16(0x01), {0x30, 0x04, 0x03, 0x00, 0x14}));
    ASSERT_EQ(printer().StatusLength(), 16);
    c.queue.take();
    Bytes off = status16();
    off[8] = 0x40;
    reply(off);
    std::vector<Event> offline = eventsOf(c, POSM_PRN_STATUS_CHANGE);
    ASSERT_EQ(offline.size(), 1u);
    EXPECT_EQ(offline[0].p1, 0x1010000u | 1);
    Bytes again = off;
    again[1] = 0x43;
    reply(again);
    EXPECT_TRUE(eventsOf(c, POSM_PRN_STATUS_CHANGE).empty());
    EXPECT_TRUE(printer().OfflineMode());
}

TEST_F(P63Bench, ARejectIsRetriedOnlyByThePrinterThatHeldForAFullBuffer) {
    bringUp();
    P63Printer other(&adapter_, DeviceID(kSlot, 0x22, k63));
    // This printer answers with its buffer full: it holds.
    reply(status8(0x01, 0xC7));
    EXPECT_TRUE(printer().HoldForBufferFull());
    // The other printer's reject is an error of its own, not a retry.
    Bytes reject = status8(0x80, 0x47);
    other.NewMsgRcvd(reject.data(), static_cast<int>(reject.size()));
    EXPECT_TRUE(other.ResumeRequested());
    EXPECT_EQ(other.GetHeldResume().p1, 0x80000000u);
    EXPECT_TRUE(printer().HoldForBufferFull());
    // Its own reject now retries and asks for nothing.
    reply(status8(0x80, 0x47));
    EXPECT_FALSE(printer().HoldForBufferFull());
    EXPECT_FALSE(printer().ResumeRequested());
}

TEST_F(P63Bench, ShortAnswerDataLeavesTheValueAndCompletesTheCommand) {
    feed(0x0F);
    feed(0x63);
    commands();
    reply(cat(status8(0x01, 0x47, 0, 0x01), {0x30, 0x04, 0x03, 0x00, 0x30}));
    ASSERT_EQ(commands(), (std::vector<Bytes>{{0x1B, 0x53, 0x56}}));
    reply(cat(status8(0x01, 0x47, 0, 0x08), {0x12})); // one byte of two
    EXPECT_TRUE(ovkhost::errorLogged(20206));
    EXPECT_EQ(printer().Mct(0x56), 0xFFFF);
    ASSERT_EQ(commands(), (std::vector<Bytes>{{0x1B, 0x34, 0x08, 0xFF, 0xFF, 0xFF}}));
    ovkhost::clearCaptures();
    reply(cat(status8(0x01, 0x47, 0, 0x10), {'1', '2', '3'})); // three digits of eight
    EXPECT_TRUE(ovkhost::errorLogged(20206));
    EXPECT_EQ(printer().DeviceCounter(), 0u);
    ASSERT_EQ(commands(), (std::vector<Bytes>{{0x1B, 0x34, 0x08, 0x00, 0x00, 0x00}}));
    ovkhost::clearCaptures();
    reply(cat(status8(0x01, 0x47, 0, 0x10), {0, 0, 0, 7})); // one word of two
    EXPECT_TRUE(ovkhost::errorLogged(20206));
    EXPECT_EQ(printer().Counter(0), 0u);
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x1B, 0x53, 0x51}}));
}

TEST_F(P63Bench, ReadDataReachesTheVirtualPrinterCutAt255Bytes) {
    P63Client& c = client();
    bringUp();
    c.told.clear();
    reply(cat(status8(0x01, 0x47, 0, 0x10), Bytes(300, 0x41)));
    bool read = false;
    for (const auto& [code, length] : c.told)
        if (code == PRN63_TV_READ_DATA) {
            EXPECT_EQ(length, 255);
            read = true;
        }
    EXPECT_TRUE(read);
}

TEST_F(P63Bench, RawModePassesTheStatusThrough) {
    P63Client& c = client();
    bringUp();
    int mode = 0;
    c.Lock();
    c.tell(PRN63_TP_MODE_RAW, &mode, 0);
    c.Unlock();
    c.queue.take();
    reply(Bytes{0x01, 0x47, 0x02, 0, 0x00, 0x05, 0x06, 0});
    std::vector<Event> raw = eventsOf(c, POSM_PRN_RAW_STATUS);
    ASSERT_EQ(raw.size(), 1u);
    EXPECT_EQ(raw[0].p1, (0x47u << 24 | 0x01u << 16) | 1);
    EXPECT_EQ(raw[0].p2, 0x06050002u);
}

// ---------------------------------------------------------------------------------------
// Sending.

TEST_F(P63Bench, StationCommandsLeaveWithTheirWaitTimes) {
    P63Client& c = client();
    bringUp();
    ASSERT_EQ(put(c, 43, PRN_STATION_CR, {'A'}), 0);
    std::vector<linkrec::Sent> frames = sentFrames();
    if (frames.empty()) {
        printer().ProcessOutput(chTime());
        frames = sentFrames();
    }
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].data, (Bytes{'A', 0x0A}));
    EXPECT_EQ(frames[0].addressWait, 32);
    EXPECT_EQ(frames[0].byteWait, 16);
    reply(status8());
    // Document printing on (the printer prints one station at a time).
    c.Lock();
    ASSERT_EQ(c.tell(PRN_TP_ENABLE_DI, nullptr, 0), 0);
    c.Unlock();
    ASSERT_EQ(put(c, 43, PRN_STATION_DI, {'B'}), 0);
    frames = sentFrames();
    if (frames.empty()) {
        printer().ProcessOutput(chTime());
        frames = sentFrames();
    }
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].data, (Bytes{'B', 0x0A}));
    EXPECT_EQ(frames[0].addressWait, 144);
    EXPECT_EQ(frames[0].byteWait, 72);
}

TEST_F(P63Bench, ACommandWaitingForAnEmptyBufferAsksForStatusAtMostEvery500ms) {
    P63Client& c = client();
    bringUp();
    reply(status8(0x01, 0x07)); // buffer not empty
    commands();
    ASSERT_EQ(put(c, 107, PRN_STATION_CR), 0);
    printer().ProcessOutput(chTime());
    EXPECT_EQ(commands(), std::vector<Bytes>{});
    ovkhost::advanceClock(600);
    reply(status8(0x01, 0x07));
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x00, 0x20, 0x00}}));
    ovkhost::advanceClock(100);
    reply(status8(0x01, 0x07));
    EXPECT_EQ(commands(), std::vector<Bytes>{});
    // The buffer empties: the command goes.
    reply(status8(0x01, 0x47));
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x1B, 0x00, 0x20, 0x00}}));
}

// A busy printer and a full buffer are the printer's flow control: the line waits, unsent,
// and goes once the printer answers without the state.
TEST_F(P63Bench, ABusyPrinterOrAFullBufferHoldsTheLineUntilTheStateEnds) {
    const struct {
        const char* name;
        Bytes held;
    } cases[] = {{"busy", status8(0x21, 0x47, 0x02)}, {"full", status8(0x21, 0xC7)}};
    P63Client& c = client();
    bringUp();
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        reply(k.held);
        commands();
        ASSERT_EQ(put(c, 43, PRN_STATION_CR, {'A'}), 0);
        printer().ProcessOutput(chTime());
        reply(k.held);
        reply(k.held);
        EXPECT_EQ(commands(), std::vector<Bytes>{});
        reply(status8(0x21));
        printer().ProcessOutput(chTime());
        EXPECT_EQ(commands(), (std::vector<Bytes>{{'A', 0x0A}}));
        reply(status8(0x21));
    }
}

// A line the printer took before it powered on again, its answer never given, is not sent
// again unasked: the holder is asked to resume, and the resume drops the line.
TEST_F(P63Bench, ALineUnansweredAtAPowerOnAsksForAResumeThatDropsIt) {
    P63Client& c = client();
    bringUp();
    reply(status8(0x21));
    commands();
    c.queue.take();
    ASSERT_EQ(put(c, 43, PRN_STATION_CR, {'A'}), 0);
    printer().ProcessOutput(chTime());
    ASSERT_EQ(commands(), (std::vector<Bytes>{{'A', 0x0A}}));
    feed(0x0F); // the printer powered on
    EXPECT_TRUE(printer().ResumeRequested());
    const std::vector<Event> told = eventsOf(c, POSM_PRN_PRINTER_ERROR);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].p1, PRN_P1_FRAME_LOST | 1);
    feed(0x63);
    commands();
    reply(cat(status8(0x01, 0x47, 0, 0x01), {0x30, 0x04, 0x03, 0x00, 0x14}));
    ASSERT_TRUE(printer().Confirmed(k63));
    reply(status8(0x21));
    commands();
    ASSERT_EQ(c.ioctl(POS_PRN_RESUME_PRINTING), 0);
    printer().ProcessOutput(chTime());
    reply(status8(0x21));
    for (const Bytes& sent : commands()) EXPECT_NE(sent, (Bytes{'A', 0x0A}));
    QueueState state{};
    ASSERT_EQ(printer().GetQueue()->Query(&state), 0);
    EXPECT_EQ(state.pending[PRN_STATION_CR], 0);
}

// The printer on a clock that wraps during the wait for an empty buffer: the status
// requests still come 500 ms apart, not sooner and not never.
class P63NearWrap : public P63Bench, public ::testing::WithParamInterface<uint32_t> {
protected:
    void SetUp() override {
        P63Bench::SetUp();
        ovkhost::setClock(chTimeAdd(nearwrap::WrapAfter(GetParam()), -kLead));
    }
    static constexpr int32_t kLead = 1000; // the bench starts this long before the wrap
};

TEST_P(P63NearWrap, ACommandWaitingForAnEmptyBufferAsksForStatusEvery500msAcrossTheWrap) {
    P63Client& c = client();
    bringUp();
    reply(status8(0x01, 0x07)); // buffer not empty
    commands();
    ASSERT_EQ(put(c, 107, PRN_STATION_CR), 0);
    ASSERT_LT(chTimeDiff(chTime(), nearwrap::WrapAfter(GetParam())), -100);
    printer().ProcessOutput(chTime());
    EXPECT_EQ(commands(), std::vector<Bytes>{});
    // Status requests every 500 ms until the wrap is well behind.
    int asked = 0;
    while (chTimeDiff(chTime(), nearwrap::WrapAfter(GetParam())) < 1000) {
        ovkhost::advanceClock(499);
        reply(status8(0x01, 0x07));
        EXPECT_EQ(commands(), std::vector<Bytes>{}) << "asked again within 500 ms";
        ovkhost::advanceClock(1);
        reply(status8(0x01, 0x07));
        ASSERT_EQ(commands(), (std::vector<Bytes>{{0x00, 0x20, 0x00}})) << "not asked after 500 ms";
        ++asked;
    }
    EXPECT_GE(asked, 2);
    // The buffer empties: the command goes.
    reply(status8(0x01, 0x47));
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x1B, 0x00, 0x20, 0x00}}));
}

INSTANTIATE_TEST_SUITE_P(Starts, P63NearWrap, nearwrap::kStarts, nearwrap::StartName);

TEST_F(P63Bench, TheSavedConfigurationKeepsOnlyACommandThatFits) {
    P63Client& c = client();
    bringUp();
    ASSERT_EQ(put(c, 4, PRN_STATION_CR, Bytes(10, 0x33)), 0);
    printer().ProcessOutput(chTime());
    ASSERT_EQ(commands().size(), 1u);
    reply(status8());
    EXPECT_EQ(printer().SavedConfigLength(), 10);
    ASSERT_EQ(put(c, 4, PRN_STATION_CR, Bytes(1100, 0x44)), 0);
    printer().ProcessOutput(chTime());
    ASSERT_EQ(commands().size(), 1u);
    reply(status8());
    EXPECT_EQ(printer().SavedConfigLength(), 0);
}

TEST_F(P63Bench, TheCapabilityRecordIsFilledWhereTheVirtualPrinterReadsIt) {
    P63Client& c = client();
    bringUp({0x30, 0x04, 0x13, 0x22, 0x14});
    unsigned char record[CAP63_SIZE];
    std::memset(record, 0xEE, sizeof record);
    c.Lock();
    ASSERT_EQ(c.tell(PRN63_TP_CAPABILITIES, record, sizeof record), 0);
    EXPECT_EQ(c.tell(PRN63_TP_CAPABILITIES, record, CAP63_SIZE - 1), 321);
    c.Unlock();
    EXPECT_EQ(record[CAP63_DBCS], 1);      // option bit 4
    EXPECT_EQ(record[CAP63_SUBTYPE], 4);
    EXPECT_EQ(record[CAP63_STATION1], 1);  // option bit 0
    EXPECT_EQ(record[CAP63_STATION2], 1);  // option bit 1
    EXPECT_EQ(record[CAP63_FEATURE], 0x22);
    EXPECT_EQ(record[CAP63_EC], 0x14);
    EXPECT_EQ(record[CAP63_FEATURE_BIT1], 1);
    EXPECT_EQ(record[CAP63_FEATURE_BIT5], 1);
    EXPECT_EQ(record[0], 0xEE); // the virtual printer's own fields stay
    EXPECT_EQ(record[CAP63_RESERVED], 0);
}

// ---------------------------------------------------------------------------------------
// Rejects of the start-up query.

// The device-information query refused once as the printer comes: it goes again and the
// printer comes online.
TEST_F(P63Bench, ADeviceInformationQueryRefusedOnceGoesAgainAndThePrinterComesOnline) {
    station();
    model().rejectNext(1);
    EXPECT_TRUE(until([&] { return printer().Confirmed(k63); }));
}

// Refused for good, the query goes again at once three times and then once a second, and
// the printer comes online once the refusals stop.
TEST_F(P63Bench, ADeviceInformationQueryRefusedWithoutEndIsPacedUntilThePrinterTakesIt) {
    station();
    EXPECT_LE(rejectedWithoutEnd([] {}), pacedBound());
    EXPECT_FALSE(printer().Confirmed(k63));
    EXPECT_TRUE(until([&] { return printer().Confirmed(k63); }));
}

// A start-up query refused once goes again: the printer comes online.
TEST_F(P63Bench, AStartUpQueryRefusedOnceGoesAgainAndThePrinterComesOnline) {
    station();
    ASSERT_TRUE(until([&] { return model().commandCount() >= 1; }));
    model().rejectNext(1); // the UDF query that follows the device information
    EXPECT_TRUE(until([&] { return printer().Confirmed(k63) && printer().QueriesDone(); }));
}

// An MCT query the virtual printer waits on, refused for good, goes again paced and is
// answered once the printer takes it.
TEST_F(P63Bench, AnMctQueryRefusedWithoutEndIsPacedAndAnsweredOnceThePrinterTakesIt) {
    station();
    comeOnline();
    P63Client& c = client();
    run(20);
    model().setMct(0x21, 0x1234);
    c.told.clear();
    auto answered = [&] {
        return std::any_of(c.told.begin(), c.told.end(), [](const auto& t) { return t.first == PRN63_TV_MCT_VALUE; });
    };
    EXPECT_LE(rejectedWithoutEnd([&] {
                  c.Lock();
                  EXPECT_EQ(c.tell(PRN63_TP_MCT_QUERY, nullptr, 0x21), 0);
                  c.Unlock();
              }),
              pacedBound());
    EXPECT_FALSE(answered());
    EXPECT_TRUE(until(answered));
    EXPECT_EQ(printer().Mct(0x21), 0x1234);
}

} // namespace
} // namespace prntbench
