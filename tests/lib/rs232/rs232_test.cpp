// The RS-232 port against the simulated port: the setup command from the line settings,
// the checks of the settings, one transmit at a time with its completion or its deadline,
// received blocks with the line status, and closing with data still queued.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "NearWrap.h"
#include "NvTerminal.h"
#include "RS232CP.h"
#include "RS232CV.h"
#include "rs232model.h"
#include "rs232setup.h"

namespace nvtest {
namespace {

constexpr uint8_t kAddress = 0x64;

// The client's port, with its events going to the terminal's recording queue.
class Port : public RS232CV {
public:
    Port(NvTerminal& t, int handle) : RS232CV(DeviceID(1, 0x11, kAddress), handle) {
        unsigned char noRanges[32] = {};
        InitializeEnvironment(noRanges, 858, 0, 42);
        XrmDatabase none = nullptr;
        StoreProcessInformation(42, nullptr, none);
        destination_ = t.queue.destination();
    }
};

std::string SetupBytes(const Rs232Settings& s) {
    Rs232Setup out;
    int which = -1;
    if (!Rs232BuildSetup(s, out, which)) return "bad " + std::to_string(which);
    return Hex(Bytes(out.command, out.command + 7));
}

TEST(Rs232Setup, CommandBytesFromTheSettings) {
    EXPECT_EQ(SetupBytes({9600, 10, 0, 8, 16, 0x23}), "01 05 4E 27 00 BF 01");
    EXPECT_EQ(SetupBytes({1200, 10, 0, 8, 40, 0x23}), "01 02 4E 27 AE 89 0B");
    // A time-out beyond what the multiplier can carry is capped, a negative one is none.
    EXPECT_EQ(SetupBytes({9600, 10, 0, 8, 100000, 0x23}), "01 05 4E 27 02 80 FF");
    EXPECT_EQ(SetupBytes({9600, 10, 0, 8, -5, 0x23}), "01 05 4E 27 00 00 01");
    EXPECT_EQ(SetupBytes({300, 20, 2, 7, 0, 0x40}), "01 01 FA 00 00 00 01");
    EXPECT_EQ(SetupBytes({9601, 10, 0, 8, 16, 0x23}), "bad 0");
    EXPECT_EQ(SetupBytes({9600, 12, 0, 8, 16, 0x23}), "bad 1");
    EXPECT_EQ(SetupBytes({9600, 10, 3, 8, 16, 0x23}), "bad 2");
    EXPECT_EQ(SetupBytes({9600, 10, 0, 9, 16, 0x23}), "bad 3");
    Rs232Setup s;
    int which = 0;
    ASSERT_TRUE(Rs232BuildSetup({9600, 10, 0, 8, 16, 0x23}, s, which));
    EXPECT_EQ(s.charTimeUs, 1040);
}

class Rs232Port : public ::testing::Test {
protected:
    RS232CP* Online(bussim::Rs232Model::Options o = {}) {
        auto* p = t.AttachModel<RS232CP>(RS232CP_TYPE_ID, kAddress, std::make_unique<bussim::Rs232Model>(o));
        EXPECT_NE(p, nullptr);
        t.Run();
        EXPECT_TRUE(p && p->Confirmed(kAddress));
        return p;
    }
    std::unique_ptr<Port> Open(std::vector<PosArg> args, int* rc) {
        auto port = std::make_unique<Port>(t, 1);
        *rc = port->Open(u("port"), u("PosRs232"), args.empty() ? nullptr : args.data(), static_cast<int>(args.size()));
        return port;
    }
    std::unique_ptr<Port> Acquired(std::vector<PosArg> args) {
        int rc = -1;
        auto port = Open(args, &rc);
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(NvTerminal::Ioctl(*port, POS_SYS_ACQUIRE_DEVICE), 0);
        return port;
    }
    int Write(Port& port, const std::string& data) {
        int n = 0;
        port.Lock();
        const int rc = port.Write(data.data(), static_cast<unsigned>(data.size()), n);
        port.Unlock();
        return rc;
    }
    std::vector<uint32_t> Events() const {
        std::vector<uint32_t> out;
        for (const auto& e : t.queue.events())
            if (e.msg != POSM_SYS_DEVICE_ONLINE) out.push_back(e.msg);
        return out;
    }
    bussim::Rs232Model* Model() { return t.ModelAs<bussim::Rs232Model>(kAddress); }
    void Close(std::unique_ptr<Port>& port, int expected = 0) {
        if (port->IsHolding()) NvTerminal::Release(*port);
        int remaining = 0;
        EXPECT_EQ(port->Close(remaining), expected);
        port.reset();
    }

    NvTerminal t;
};

const std::vector<PosArg> k9600 = {{"baudRate", 9600}, {"dataBits", 8}, {"parity", 0}, {"stopBits", 10},
                                   {"timeoutChar", 16}};

TEST_F(Rs232Port, AcquireSendsTheSetupAndReleaseDropsTheLines) {
    Online();
    auto port = Acquired(k9600);
    t.Run(10);
    ASSERT_FALSE(Model()->received().empty());
    EXPECT_EQ(Hex(Model()->received().back()), "01 05 4E 27 00 BF 01");
    NvTerminal::Release(*port);
    t.Run(10);
    EXPECT_EQ(Hex(Model()->received().back()), "01 05 4E 00 00 BF 01");
    Close(port);
}

TEST_F(Rs232Port, TimeoutCharactersAreCheckedAtCreationOnly) {
    Online();
    std::vector<PosArg> args = k9600;
    args.back().value = 6685;
    int rc = -1;
    auto refused = Open(args, &rc);
    EXPECT_EQ(rc, POSERR_RS232_INVALID_TIMEOUT_CHAR);
    args.back().value = 6684;
    auto taken = Open(args, &rc);
    ASSERT_EQ(rc, 0);
    PosArg later{"timeoutChar", 100000};
    taken->Lock();
    EXPECT_EQ(taken->SetValues(&later, 1), 0);
    PosArg badBaud{"baudRate", 9601};
    EXPECT_EQ(taken->SetValues(&badBaud, 1), POSERR_RS232_INVALID_BAUD_RATE);
    taken->Unlock();
    EXPECT_EQ(taken->GetSettings().timeoutChars, 100000);
    EXPECT_EQ(taken->GetSettings().baud, 9600);
    Close(taken);
}

TEST_F(Rs232Port, OneTransmitAtATimeCompletesOrAbortsAtItsDeadline) {
    Online();
    auto port = Acquired(k9600);
    t.Run(10);
    EXPECT_EQ(Write(*port, std::string(248, 'x')), 318);
    ASSERT_EQ(Write(*port, std::string(247, 'y')), 0);
    EXPECT_EQ(Write(*port, "z"), POSERR_RS232_PREV_NOT_COMPLETE);
    t.Run(10);
    EXPECT_EQ(Model()->transmitted(), Bytes(247, 'y'));
    EXPECT_EQ(Events(), std::vector<uint32_t>{POSM_RS232_XMIT_COMPLETE});

    // Held by the port past its deadline (the line time of 5 characters and 10 s).
    Model()->setHold(true);
    ASSERT_EQ(Write(*port, "HELLO"), 0);
    t.Run(10);
    EXPECT_TRUE(t.adapter.sentInfo.size() > 0);
    for (int i = 0; i < 990; ++i) t.Cycle();
    EXPECT_EQ(Events().size(), 1u); // 9.9 s: still waiting
    for (int i = 0; i < 30; ++i) t.Cycle();
    EXPECT_EQ(Events(), (std::vector<uint32_t>{POSM_RS232_XMIT_COMPLETE, POSM_RS232_XMIT_ABORT}));
    // The next transmit may go.
    Model()->setHold(false);
    t.Run(10);
    EXPECT_EQ(Write(*port, "again"), 0);
    Close(port);
}

// The transmit deadline made in the ten seconds before the clock wraps falls after the wrap,
// and the held transmit is aborted when it comes: not before, and not never.
class Rs232NearWrap : public Rs232Port, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(Rs232NearWrap, AHeldTransmitIsAbortedAtItsDeadlineAcrossTheWrap) {
    ovkhost::setClock(nearwrap::Clock(GetParam()));
    Online();
    auto port = Acquired(k9600);
    t.Run(10);
    Model()->setHold(true);
    const int32_t written = chTime();
    ASSERT_EQ(Write(*port, "HELLO"), 0);
    // The line time of 5 characters at 9600 baud (5 ms), and 10 s.
    const int32_t deadline = chTimeAdd(written, 10005);
    ASSERT_LT(chTimeDiff(written, nearwrap::WrapAfter(GetParam())), 0);
    ASSERT_GE(chTimeDiff(deadline, nearwrap::WrapAfter(GetParam())), 0);
    while (Events().empty() && chTimeDiff(chTime(), deadline) < 1000) t.Cycle();
    // The cycle that aborted ran 10 ms before the clock stands now (it moves the clock on last).
    const int32_t aborted = chTimeAdd(chTime(), -10);
    ASSERT_EQ(Events(), std::vector<uint32_t>{POSM_RS232_XMIT_ABORT});
    // The first cycle at or after the deadline (a cycle every 10 ms) aborts.
    EXPECT_GE(chTimeDiff(aborted, deadline), 0);
    EXPECT_LT(chTimeDiff(aborted, deadline), 10);
    // The next transmit goes and completes.
    Model()->setHold(false);
    t.Run(10);
    ASSERT_EQ(Write(*port, "again"), 0);
    t.Run(10);
    EXPECT_EQ(Events(), (std::vector<uint32_t>{POSM_RS232_XMIT_ABORT, POSM_RS232_XMIT_COMPLETE}));
    Close(port);
}

INSTANTIATE_TEST_SUITE_P(Starts, Rs232NearWrap, nearwrap::kStarts, nearwrap::StartName);

// A transmit the port rejects never reached the line: the holder gets the abort, never the
// completion, and the next transmit goes out once the setup is sent again (rejected too
// with two rejects) and completes.
class Rs232Reject : public Rs232Port, public ::testing::WithParamInterface<int> {};

TEST_P(Rs232Reject, RejectedTransmitIsAbortedAndTheNextOneGoesOut) {
    Online();
    auto port = Acquired(k9600);
    t.Run(10);
    Model()->reject(GetParam());
    ASSERT_EQ(Write(*port, "LOST"), 0);
    t.Run(20);
    EXPECT_TRUE(Model()->transmitted().empty());
    EXPECT_EQ(Events(), std::vector<uint32_t>{POSM_RS232_XMIT_ABORT});
    ASSERT_EQ(Write(*port, "SENT"), 0);
    t.Run(20);
    EXPECT_EQ(Model()->transmitted(), Bytes({'S', 'E', 'N', 'T'}));
    EXPECT_EQ(Events(), (std::vector<uint32_t>{POSM_RS232_XMIT_ABORT, POSM_RS232_XMIT_COMPLETE}));
    const auto& commands = Model()->received();
    ASSERT_GE(commands.size(), 2u);
    EXPECT_EQ(Hex(commands[commands.size() - 2]), "01 05 4E 27 00 BF 01");
    Close(port);
}

INSTANTIATE_TEST_SUITE_P(Rejects, Rs232Reject, ::testing::Values(1, 2));

// A port that keeps rejecting its setup gets it again at once three times, then once a
// second; a write meanwhile ends with the abort at its deadline (run from the write, though
// its data never went), a later write is taken, and once the port takes the setup it goes.
TEST_F(Rs232Port, APortRejectingItsSetupIsPacedAndAWriteEndsAtItsDeadline) {
    Online();
    Model()->reject(1000);
    auto port = Acquired(k9600);
    auto setups = [&] {
        size_t n = 0;
        for (const Bytes& c : Model()->received()) n += !c.empty() && c[0] == 0x01;
        return n;
    };
    t.Run(40); // 0.4 s
    // The acquire's setup (after the one of the start) and three times again at once.
    const size_t atOnce = setups();
    EXPECT_GE(atOnce, 4u);
    EXPECT_LE(atOnce, 5u);
    t.Run(100); // 1.4 s
    EXPECT_EQ(setups(), atOnce + 1);
    const int32_t written = chTime();
    ASSERT_EQ(Write(*port, "HELLO"), 0);
    const int32_t deadline = chTimeAdd(written, 10005);
    while (Events().empty() && chTimeDiff(chTime(), deadline) < 2000) t.Cycle();
    EXPECT_EQ(Events(), std::vector<uint32_t>{POSM_RS232_XMIT_ABORT});
    EXPECT_GE(chTimeDiff(chTime(), deadline), 0);
    EXPECT_LE(chTimeDiff(chTime(), deadline), 1010) << "the abort waits at most for the pace";
    EXPECT_TRUE(Model()->transmitted().empty());
    // Every frame counts: a few at once, then about one a second (and the write's own).
    const double seconds = chTimeDiff(chTime(), written) / 1000.0 + 1.4;
    EXPECT_LE(static_cast<double>(Model()->received().size()), 6 + seconds + 1);
    ASSERT_EQ(Write(*port, "AGAIN"), 0);
    Model()->reject(0);
    t.Run(110);
    EXPECT_EQ(Model()->transmitted(), Bytes({'A', 'G', 'A', 'I', 'N'}));
    EXPECT_EQ(Events(), (std::vector<uint32_t>{POSM_RS232_XMIT_ABORT, POSM_RS232_XMIT_COMPLETE}));
    Close(port);
}

// A port rejecting for good while its holder reads the status every 20 ms: a status read
// sends nothing, so it frees nothing, and the port still gets about one frame a second.
TEST_F(Rs232Port, StatusReadsEvery20MsFreeNoFrameOfAPortRejectingForGood) {
    RS232CP* cp = Online();
    ASSERT_NE(cp, nullptr);
    Model()->reject(1000000);
    auto port = Acquired(k9600);
    t.Run(10);
    const uint32_t requests = cp->GetRejectPacer().Requests();
    const int32_t start = chTime();
    const size_t before = Model()->received().size();
    for (int ms = 0; ms < 5000; ms += 20) {
        EXPECT_EQ(NvTerminal::Ioctl(*port, POS_SYS_GET_VALUES, {{"rs232Status", 0}}), 0);
        t.Run(2); // 20 ms
    }
    const double seconds = chTimeDiff(chTime(), start) / 1000.0;
    const size_t frames = Model()->received().size() - before;
    EXPECT_LE(static_cast<double>(frames), RejectPacer::kAtOnce + 2 + seconds + 1)
        << frames << " frames in " << seconds << " s";
    EXPECT_EQ(cp->GetRejectPacer().Requests(), requests) << "a status read is no request to send";
    Model()->reject(0);
    Close(port);
}

// Messages with the reject bit that answer no command reject nothing: the port gets no
// command again and the pace counts none of them.
TEST_F(Rs232Port, AnUnaskedRejectSendsNothingAgain) {
    RS232CP* cp = Online();
    ASSERT_NE(cp, nullptr);
    auto port = Acquired(k9600);
    t.Run(20);
    const size_t before = Model()->received().size();
    ASSERT_GE(before, 2u); // the status request, the acquire's setup
    for (int i = 0; i < 5; ++i) {
        Model()->unasked();
        t.Run(100); // a second each
    }
    EXPECT_EQ(Model()->received().size(), before) << "an unasked reject answers no command";
    EXPECT_EQ(cp->GetRejectPacer().Streak(), 0);
    ASSERT_EQ(Write(*port, "OK"), 0);
    t.Run(20);
    EXPECT_EQ(Model()->transmitted(), Bytes({'O', 'K'}));
    Close(port);
}

TEST_F(Rs232Port, ReceivedBlocksAreReadWholeAndLineBreakComesFirst) {
    Online();
    auto port = Acquired(k9600);
    t.Run(10);
    Model()->queueReceived({0x68, 0x69, 0x0D}, false, 0);
    Model()->queueReceived({0x41}, true, 0x48); // break, and flag 1
    t.Run(10);
    EXPECT_EQ(Events(), (std::vector<uint32_t>{POSM_RS232_DATA_AVAIL, POSM_RS232_BREAK_DETECTED,
                                               POSM_RS232_DATA_AVAIL}));
    EXPECT_EQ(t.queue.events().back().p2, 5u);
    char buffer[16] = {};
    int n = -1;
    port->Lock();
    EXPECT_EQ(port->Read(buffer, 6, n), 312);
    EXPECT_EQ(port->Read(buffer, 7, n), 0);
    EXPECT_EQ(Hex(Bytes(buffer, buffer + n)), "00 00 03 00 68 69 0D");
    EXPECT_EQ(port->Read(buffer, sizeof buffer, n), 0);
    EXPECT_EQ(Hex(Bytes(buffer, buffer + n)), "01 00 01 00 41");
    EXPECT_EQ(port->Read(buffer, sizeof buffer, n), 0);
    EXPECT_EQ(n, 0);
    port->Unlock();

    Model()->queueReceived({0x01}, false, 0);
    t.Run(10);
    EXPECT_EQ(port->QueuedBlocks(), 1);
    Close(port, 320);
}

TEST_F(Rs232Port, TransmitWaitsForTheInputLines) {
    Online();
    auto port = Acquired(k9600);
    t.Run(10);
    Model()->setLines(false);
    Model()->queueReceived({0x30}, false, 0); // tells the host the lines dropped
    t.Run(10);
    ASSERT_EQ(Write(*port, "wait"), 0);
    t.Run(20);
    EXPECT_TRUE(Model()->transmitted().empty());
    Model()->setLines(true);
    Model()->queueReceived({0x31}, false, 0);
    t.Run(20);
    EXPECT_EQ(Model()->transmitted(), Bytes({'w', 'a', 'i', 't'}));
    Close(port, 320);
}

} // namespace
} // namespace nvtest
