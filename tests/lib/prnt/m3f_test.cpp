// The fiscal M3 printer by hand on a capturing adapter: bring-up from the printer's own
// frame, return codes by class, limp state, fiscal writes and reads, retry and resume.
#include <cstring>
#include <string>

#include "PRNTM3F.h"
#include "SlotBench.h"

namespace prntbench {
namespace {

constexpr unsigned char kM3F = 0x38;

using FiscalPrinter = OnAdapter<PRNTM3FP, kM3F>;

class FiscalClient : public BenchClient<PRNTM3FV> {
public:
    explicit FiscalClient(int handle)
        : BenchClient(DeviceID(kSlot, kPort, kM3F), handle, reinterpret_cast<const unsigned char*>("PRNTM3FV")) {}
    int write(const Bytes& data) {
        Lock();
        int count = 0;
        int rc = Write(data.data(), static_cast<unsigned>(data.size()), count);
        Unlock();
        return rc;
    }
    int read(unsigned size, Bytes& out) {
        out.assign(size, 0);
        Lock();
        int count = 0;
        int rc = Read(out.data(), size, count);
        Unlock();
        out.resize(static_cast<size_t>(count));
        return rc;
    }
};

class FiscalBench : public ModelBench<FiscalPrinter, FiscalClient> {
protected:
    FiscalBench() { deviceName_ = "fiscal"; }
    // A frame of the printer: status at rest, EC byte 0x21, the type, byte 7 and the code.
    static Bytes frame(unsigned char type, unsigned char rc, unsigned char b7 = 0, unsigned char b0 = 0x02,
                       unsigned char b1 = 0x40) {
        return {b0, b1, 0x04, 0x21, 0, 0, type, b7, rc};
    }
    void linkUp() {
        feed(0x0F);
        feed(0x63);
    }
    // The bring-up of a fiscal printer: its frame, the EC level, the IPL answer.
    void bringUp() {
        linkUp();
        ASSERT_EQ(commands(), std::vector<Bytes>{});
        reply(frame(0x20, 67));
        ASSERT_EQ(commands(), (std::vector<Bytes>{{0x1B, 0x66, 0xFC, 0x00}}));
        reply(frame(0x08, 0x21, 0, 0x0A));
        ASSERT_EQ(commands(), (std::vector<Bytes>{{0x1B, 0x66, 0xF1, 0x00}}));
        reply(frame(0x02, 67, 0x25));
        ASSERT_TRUE(printer_->Confirmed(kM3F));
        commands();
    }
};

TEST(M3FReturnCodes, ClassesOfTheTable) {
    EXPECT_EQ(PRNTM3FP::ClassOf(67), M3F_CLASS_GOOD);
    for (int rc : {112, 113, 114, 164, 192, 205, 255}) EXPECT_EQ(PRNTM3FP::ClassOf(rc), M3F_CLASS_DRIVER) << rc;
    for (int rc : {71, 73, 109, 118, 127, 134, 146, 151, 153, 157}) EXPECT_EQ(PRNTM3FP::ClassOf(rc), M3F_CLASS_HARDWARE) << rc;
    for (int rc : {0, 65, 68, 87, 117, 128, 152, 158, 191}) EXPECT_EQ(PRNTM3FP::ClassOf(rc), M3F_CLASS_APPLICATION) << rc;
}

TEST_F(FiscalBench, BringsItselfUpFromThePrintersOwnFrame) {
    bringUp();
    EXPECT_EQ(printer().Country(), 5);
    EXPECT_EQ(printer().FiscalVersion(), 2);
    EXPECT_EQ(printer().FiscalCapable(), 1);
    EXPECT_EQ(printer().GetECLevel(), 0x21);
    EXPECT_TRUE(printer().GetStatus() & 0x1000u);
}

TEST_F(FiscalBench, FramesGoWithThePrintersLinkWaits) {
    linkUp();
    reply(frame(0x20, 67));
    ASSERT_FALSE(adapter_.frames.empty());
    const linkrec::Sent f = linkrec::decodeSent(adapter_.frames.back());
    EXPECT_EQ(f.addressWait, 144);
    EXPECT_EQ(f.byteWait, 72);
}

TEST_F(FiscalBench, AWaitAnswerBringsItOnlineAndABadIPLCodePutsItIntoLimpState) {
    linkUp();
    reply(frame(0x20, 67));
    ASSERT_EQ(commands().size(), 1u);
    reply(frame(0x00, 87));
    EXPECT_TRUE(printer().Confirmed(kM3F));

    FiscalBench::TearDown();
    FiscalBench::SetUp();
    FiscalClient& c = client();
    c.queue.take();
    linkUp();
    reply(frame(0x20, 67));
    reply(frame(0x08, 0x21, 0, 0x0A));
    ASSERT_EQ(commands().size(), 2u);
    reply(frame(0x02, 65, 0x25));
    EXPECT_TRUE(printer().Limp());
    EXPECT_TRUE(ovkhost::errorLogged(19541));
    std::vector<Event> events = c.queue.take();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().msg, POSM_PRN_FISCAL_ERROR);
    EXPECT_EQ(events.back().p1, 0x410000u | 1);
}

TEST_F(FiscalBench, ReturnCodesByClass) {
    FiscalClient& c = client();
    bringUp();
    struct Case {
        unsigned char rc;
        uint32_t msg;
        uint32_t p1;
    } cases[] = {
        {65, POSM_PRN_FISCAL_ERROR, 0x410000},
        {71, POSM_PRN_FISCAL_ERROR, 0x470000},
        {192, POSM_PRN_PRINTER_ERROR, 0x20000},
        {205, 0, 0},
        {112, 0, 0},
    };
    for (const Case& k : cases) {
        c.queue.take();
        ovkhost::clearCaptures();
        ASSERT_EQ(c.write({0x01, 0x02}), 0);
        cycle();
        ASSERT_EQ(commands(), (std::vector<Bytes>{{0x1B, 0x66, 0x01, 0x02}})) << int(k.rc);
        reply(frame(0x00, k.rc));
        std::vector<Event> events = c.queue.take();
        if (k.msg) {
            ASSERT_FALSE(events.empty()) << int(k.rc);
            EXPECT_EQ(events.back().msg, k.msg) << int(k.rc);
            EXPECT_EQ(events.back().p1, k.p1 | 1) << int(k.rc);
        } else {
            EXPECT_TRUE(events.empty()) << int(k.rc);
        }
        if (k.rc == 71) {
            EXPECT_TRUE(ovkhost::errorLogged(19542));
        }
        if (k.rc == 112) {
            EXPECT_TRUE(ovkhost::errorLogged(19508));
        }
        // Clear the way for the next case.
        c.Lock();
        c.DiscardData();
        c.Unlock();
        if (printer().ResumeRequested()) c.ioctl(POS_PRN_RESUME_PRINTING);
        commands();
    }
}

TEST_F(FiscalBench, ShortFramesAndTheStatusRequestOnce) {
    bringUp();
    reply({0x02, 0x40, 0x04, 0x21, 0, 0, 0, 0});
    EXPECT_TRUE(ovkhost::errorLogged(19505));
    EXPECT_EQ(printer().SystemCommand(3), 0);
    EXPECT_EQ(printer().SystemCommand(3), 0);
    EXPECT_EQ(printer().GetQueue()->SystemList().count(), 1u);
    EXPECT_EQ(printer().SystemCommand(5), 321);
}

TEST_F(FiscalBench, FiscalDataAreReadWholeOrNotAtAll) {
    FiscalClient& c = client();
    bringUp();
    ASSERT_EQ(c.ioctl(POS_SYS_SET_VALUES, {{"fiscalNotify", 1}}), 0);
    c.queue.take();
    ASSERT_EQ(c.write({0x01, 0x02}), 0);
    cycle();
    ASSERT_EQ(commands(), (std::vector<Bytes>{{0x1B, 0x66, 0x01, 0x02}}));
    Bytes answer = frame(0x00, 67, 0x80);
    for (unsigned char b : {1, 2, 3, 4, 5}) answer.push_back(b);
    reply(answer);
    std::vector<Event> events = c.queue.take();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0], (Event{POSM_PRN_DATA_AVAIL, 0x10000u | 1, 5}));
    EXPECT_EQ(events[1].msg, POSM_PRN_FISCAL_STATUS);
    Bytes data;
    EXPECT_EQ(c.read(4, data), 312);
    EXPECT_TRUE(data.empty());
    EXPECT_EQ(c.read(16, data), 0);
    EXPECT_EQ(data, (Bytes{1, 2, 3, 4, 5}));
    EXPECT_EQ(c.read(16, data), 0);
    EXPECT_TRUE(data.empty());
    // Over 1024 bytes a fiscal write is refused whole.
    EXPECT_EQ(c.write(Bytes(1025, 0x30)), 318);
}

TEST_F(FiscalBench, ARetryMarksTheFiscalFrameAResumeDropsIt) {
    FiscalClient& c = client();
    bringUp();
    for (bool retry : {true, false}) {
        ASSERT_EQ(c.write({0x01, 0x02}), 0);
        cycle();
        ASSERT_EQ(commands(), (std::vector<Bytes>{{0x1B, 0x66, 0x01, 0x02}})) << retry;
        reply(frame(0x00, 65));
        ASSERT_TRUE(printer().ResumeRequested());
        EXPECT_EQ(c.ioctl(retry ? POS_PRN_RETRY_PRINTING : POS_PRN_RESUME_PRINTING), 0);
        cycle();
        if (retry) {
            ASSERT_EQ(commands(), (std::vector<Bytes>{{0x1B, 0x66, 0x01, 0x82}}));
            reply(frame(0x00, 67));
        } else {
            EXPECT_EQ(commands(), std::vector<Bytes>{});
        }
    }
}

// The printer rejects every command for good while its application retries at once on
// every error it is told: the rejects are paced all the same, about one frame a second.
TEST_F(FiscalBench, RejectsWithoutEndArePacedThoughTheApplicationRetriesAtOnce) {
    FiscalClient& c = client();
    bringUp();
    ASSERT_EQ(c.write({0x01, 0x02}), 0);
    const int ms = 5000;
    uint64_t frames = 0;
    int retries = 0;
    for (int t = 0; t < ms; t += 10) {
        cycle(10);
        const std::vector<Bytes> sentNow = commands();
        frames += sentNow.size();
        if (!sentNow.empty()) reply(frame(0x00, 192));
        if (printer().ResumeRequested()) {
            c.ioctl(POS_PRN_RETRY_PRINTING);
            ++retries;
        }
    }
    EXPECT_GT(retries, 1);
    EXPECT_LE(frames, pacedBound(ms)) << "frames to the printer in " << ms << " ms";
    EXPECT_TRUE(printer().GetRejectPacer().Pacing());
}

// A text line the printer took before it powered on again, its answer never given, is not
// sent again unasked: the holder is asked to resume, and the resume drops the line.
TEST_F(FiscalBench, ATextLineUnansweredAtAPowerOnAsksForAResumeThatDropsIt) {
    FiscalClient& c = client();
    bringUp();
    ASSERT_EQ(c.ioctl(POS_PRN_DISABLE_FISCAL_PRINTING), 0);
    ASSERT_EQ(c.ioctl(POS_SYS_SET_VALUES, {{"printMode", 1}}), 0);
    ASSERT_EQ(c.write({'H', 'E', 'L', 'L', 'O', '\n'}), 0);
    cycle();
    ASSERT_EQ(commands().size(), 1u);
    c.queue.take();
    feed(0x0F); // the printer powered on
    EXPECT_TRUE(printer().ResumeRequested());
    const std::vector<Event> told = c.queue.take();
    EXPECT_TRUE(std::any_of(told.begin(), told.end(), [](const Event& e) {
        return e.msg == POSM_PRN_PRINTER_ERROR && e.p1 == (PRN_P1_FRAME_LOST | 1);
    }));
    QueueState state{};
    ASSERT_EQ(printer().GetQueue()->Query(&state), 0);
    ASSERT_EQ(state.pending[PRN_STATION_CR], 1);
    feed(0x63);
    reply(frame(0x20, 67));
    reply(frame(0x08, 0x21, 0, 0x0A));
    reply(frame(0x02, 67, 0x25));
    ASSERT_TRUE(printer().Confirmed(kM3F));
    commands();
    ASSERT_EQ(c.ioctl(POS_PRN_RESUME_PRINTING), 0);
    cycle();
    EXPECT_EQ(commands(), std::vector<Bytes>{});
    ASSERT_EQ(printer().GetQueue()->Query(&state), 0);
    EXPECT_EQ(state.pending[PRN_STATION_CR], 0);
}

// A fiscal command the printer took before it powered on again, its answer never given,
// goes again only with the retry marker: the printer tells the repeat from a new command.
TEST_F(FiscalBench, AFiscalCommandUnansweredAtAPowerOnGoesAgainWithTheRetryMarker) {
    FiscalClient& c = client();
    bringUp();
    ASSERT_EQ(c.write({0x01, 0x02}), 0);
    cycle();
    ASSERT_EQ(commands(), (std::vector<Bytes>{{0x1B, 0x66, 0x01, 0x02}}));
    feed(0x0F); // the printer powered on
    feed(0x63);
    reply(frame(0x20, 67));
    reply(frame(0x08, 0x21, 0, 0x0A));
    reply(frame(0x02, 67, 0x25));
    ASSERT_TRUE(printer().Confirmed(kM3F));
    cycle();
    std::vector<Bytes> again;
    for (const Bytes& b : commands())
        if (b.size() == 4 && b[0] == 0x1B && b[1] == 0x66 && (b[2] == 0x01)) again.push_back(b);
    EXPECT_EQ(again, (std::vector<Bytes>{{0x1B, 0x66, 0x01, 0x82}}));
    reply(frame(0x00, 67));
    cycle();
    EXPECT_EQ(commands(), std::vector<Bytes>{});
}

TEST_F(FiscalBench, TextLinesTravelWrappedWhenFiscalPrintingIsOff) {
    FiscalClient& c = client();
    bringUp();
    ASSERT_EQ(c.ioctl(POS_PRN_DISABLE_FISCAL_PRINTING), 0);
    ASSERT_EQ(c.ioctl(POS_SYS_SET_VALUES, {{"printMode", 1}}), 0);
    ASSERT_EQ(c.write({'H', 'E', 'L', 'L', 'O', '\n'}), 0);
    cycle();
    Bytes expected{0x1B, 0x66, 0xE9, 0x00, 0x01, 0x01, 0x00, 0x01, 0x0C, 'H', 'E', 'L', 'L', 'O'};
    expected.resize(expected.size() + 33, ' ');
    EXPECT_EQ(commands(), std::vector<Bytes>{expected});
}

} // namespace
} // namespace prntbench
