// The RS-485 adapter manager against a scripted driver node, on the settable clock: the
// start-up order, running, stopping, the adapter without 8051, input and output edge cases.
#include <gtest/gtest.h>

#include <memory>

#include "SioFakes.h"
#include "TempRoot.h"
#include "ovkhost.h"

using namespace siotest;

namespace {
// The adapter classes of the table rows for adapter types 5 (3800) and 661 (37000), in
// place of their plug-ins.
ObjectSupport objectTestAdapter3800(3800, _CreateTestAdapter);
ObjectSupport objectTestAdapter37000(37000, _CreateTestAdapter);
} // namespace

namespace {

class SioamTest : public ::testing::Test {
protected:
    virtual unsigned short adapterType() const { return 5; }

    void SetUp() override {
        ovkhost::useManualClock(true);
        ovkhost::setClock(100000);
        ovkhost::clearCaptures();
        ResetLoadedFlagsForTest();
        markAdapterRowsLoaded();
        node_.slotTypes[1] = SLOT_TYPE_RS485;
        node_.adapterTypes[1] = adapterType();
        chSetDevNodeBackend(&node_);
        comd_ = std::make_unique<COMD>();
        slot_ = pcomd->GetSlot(1);
        ASSERT_NE(slot_, nullptr);
        am_ = dynamic_cast<TestAdapter*>(slot_->GetAdapter());
        ASSERT_NE(am_, nullptr);
        sniffer_ = useTestSniffer(slot_);
        ASSERT_NE(sniffer_, nullptr);
    }
    void TearDown() override {
        comd_.reset();
        chSetDevNodeBackend(nullptr);
        ovkhost::useManualClock(false);
        ResetLoadedFlagsForTest();
    }

    int cycle() {
        ovkhost::advanceClock(10);
        return slot_->ServiceAdapter(0);
    }
    // Cycles until the state is reached (false when it is not within max cycles).
    bool runTo(uint32_t state, int max = 60) {
        for (int i = 0; i < max; ++i)
            if (static_cast<uint32_t>(cycle()) == state) return true;
        return am_->GetState() == state;
    }
    // Running with the poll list sent, the returned buffers taken.
    void startRunning() {
        ASSERT_TRUE(runTo(SIOAM_RUNNING));
        for (int i = 0; i < 6 && am_->GetPendingFlags() != 0; ++i) cycle();
        for (int i = 0; i < 4; ++i) cycle();
        ASSERT_EQ(am_->GetPendingFlags(), 0);
        node_.takeReturned();
        ovkhost::clearCaptures();
    }
    TestLinkDevice* addDevice(uint8_t port, uint8_t address) {
        auto* d = new TestLinkDevice(DeviceID(1, port, address));
        EXPECT_EQ(d->Init(), 0);
        EXPECT_EQ(slot_->LinkinPhysical(d), 0);
        EXPECT_EQ(d->Open(nullptr), 0);
        return d;
    }
    // The next returned buffer that carries frames, within a few cycles.
    std::vector<std::vector<uint8_t>> nextFrames() {
        for (int i = 0; i < 8; ++i) {
            cycle();
            for (const Buffer& b : node_.takeReturned())
                if (b[0] & 0x10) return framesOf(b);
        }
        return {};
    }

    TempRoot root_;
    ScriptedNode node_;
    std::unique_ptr<COMD> comd_;
    Slot* slot_ = nullptr;
    TestAdapter* am_ = nullptr;
    TestSniffer* sniffer_ = nullptr;
};

const std::vector<uint8_t> kPort1Reset = {0x04, 0x00, 0x11, 0x60, 0x00, 0x7A, 0x03, 0x00, 0x40};
const std::vector<uint8_t> kPort2Reset = {0x04, 0x00, 0x22, 0x60, 0x00, 0x7A, 0x03, 0x00, 0x40};

TEST_F(SioamTest, StartUpSendsItsBuffersInOrderAndRuns) {
    EXPECT_EQ(am_->GetState(), SIOAM_CREATED);
    EXPECT_EQ(am_->GetPortCount(), 2); // from the adapter information at slot start-up
    std::vector<uint32_t> states;
    std::vector<Buffer> returned;
    for (int i = 0; i < 40 && returned.size() < 7; ++i) {
        states.push_back(static_cast<uint32_t>(cycle()));
        for (const Buffer& b : node_.takeReturned()) returned.push_back(b);
    }
    EXPECT_EQ(node_.count(DCS_RESET_ADAPTER), 1);
    ASSERT_EQ(returned.size(), 7u);
    std::vector<int> flags;
    for (const Buffer& b : returned) flags.push_back(b[0]);
    EXPECT_EQ(flags, (std::vector<int>{0x80, 0x02, 0x20, 0x10, 0x20, 0x10, 0x68}));

    EXPECT_EQ(returned[2][1], 0x48); // configuration for the broadcast
    EXPECT_EQ(framesOf(returned[3]), std::vector<std::vector<uint8_t>>{kPort1Reset});
    EXPECT_EQ(returned[3][6], 0x2F);
    EXPECT_EQ(returned[3][7], 0x01);
    EXPECT_EQ(framesOf(returned[5]), std::vector<std::vector<uint8_t>>{kPort2Reset});

    // Configuration, poll list and timing once running.
    const Buffer& run = returned[6];
    EXPECT_EQ(run[1], 0xA4);
    EXPECT_EQ((std::vector<int>{run[2], run[3], run[4]}), (std::vector<int>{0xEB, 0xFA, 0x20}));
    std::vector<uint8_t> list(run.begin() + 15, run.begin() + 15 + 24);
    EXPECT_EQ(list, (std::vector<uint8_t>{0x11, 0, 0x22, 0, 0x11, 0, 0x11, 0, 0x11, 0, 0x11, 0,
                                          0x22, 0, 0x22, 0, 0x22, 0, 0x22, 0, 0, 0, 0, 0}));
    EXPECT_EQ(am_->GetState(), SIOAM_RUNNING);
    EXPECT_EQ(am_->GetLastAdapterStatus(), 0x5A);
    // The states passed through, in order.
    std::vector<uint32_t> seen;
    for (uint32_t s : states)
        if (seen.empty() || seen.back() != s) seen.push_back(s);
    EXPECT_EQ(seen, (std::vector<uint32_t>{1, 2, 3, 4, 5}));
    EXPECT_FALSE(ovkhost::errorLogged(810));
    EXPECT_FALSE(ovkhost::errorLogged(811));
}

TEST_F(SioamTest, WithoutTheReadyReportOtherAdapterTypesGoOnAfterTenSeconds) {
    node_.adapter = false; // the adapter never reports its reset
    ASSERT_TRUE(runTo(SIOAM_WAIT_ADAPTER));
    for (int i = 0; i < 20; ++i) cycle();
    EXPECT_EQ(am_->GetState(), SIOAM_WAIT_ADAPTER);
    ovkhost::advanceClock(10000);
    EXPECT_TRUE(runTo(SIOAM_BROADCAST, 10));
}

TEST_F(SioamTest, StopGoesThroughTheFinalBroadcastToStopped) {
    startRunning();
    auto* dev = addDevice(0x11, 0x30);
    slot_->StopAdapter();
    EXPECT_EQ(am_->GetState(), SIOAM_STOPPING);
    EXPECT_EQ(am_->GetRunFlag(), 0);

    // While stopping, the manager answers the devices itself.
    node_.deliver(Input().frame(0x11, 0x30, 0x46, {1, 2})); // I-frame, N(S) 3
    node_.deliver(Input().frame(0x11, 0x31, 0x0F));       // request online
    std::vector<uint32_t> states;
    std::vector<Buffer> returned;
    for (int i = 0; i < 40 && am_->GetState() != SIOAM_STOPPED; ++i) {
        states.push_back(static_cast<uint32_t>(cycle()));
        for (const Buffer& b : node_.takeReturned()) returned.push_back(b);
    }
    ASSERT_EQ(am_->GetState(), SIOAM_STOPPED);
    EXPECT_TRUE(dev->inputs.empty());

    std::vector<std::vector<uint8_t>> frames;
    for (const Buffer& b : returned)
        for (auto& f : framesOf(b)) frames.push_back(f);
    auto answer = [](uint8_t address, uint8_t control) {
        const auto& row = ObjectSupport::SIOAddresses[address];
        std::vector<uint8_t> r{0x04, 0x00, 0x11, row.addressWaitTime, row.byteWaitTime, address, control};
        unsigned short crc = CalculateCRC(r.data() + 5, 2);
        r.push_back(static_cast<uint8_t>(crc));
        r.push_back(static_cast<uint8_t>(crc >> 8));
        return r;
    };
    ASSERT_GE(frames.size(), 4u);
    EXPECT_EQ(frames[0], answer(0x30, 0x81)); // RR with N(R) 4
    EXPECT_EQ(frames[1], answer(0x31, 0x83)); // SNRM
    EXPECT_EQ(frames[frames.size() - 2], kPort1Reset);
    EXPECT_EQ(frames.back(), kPort2Reset);

    std::vector<uint32_t> seen;
    for (uint32_t s : states)
        if (seen.empty() || seen.back() != s) seen.push_back(s);
    EXPECT_EQ(seen, (std::vector<uint32_t>{6, 7, 8, 9}));

    // Stopped: no more requests of the node.
    size_t before = node_.requests.size();
    for (int i = 0; i < 5; ++i) EXPECT_EQ(cycle(), static_cast<int>(SIOAM_STOPPED));
    EXPECT_EQ(node_.requests.size(), before);
}

TEST_F(SioamTest, StoppingEndsAfterASecondEvenWithTraffic) {
    startRunning();
    addDevice(0x11, 0x30);
    slot_->StopAdapter();
    ovkhost::advanceClock(1001);
    node_.deliver(Input().frame(0x11, 0x30, 0x00));
    cycle();
    EXPECT_GE(am_->GetState(), static_cast<uint32_t>(SIOAM_FINAL_BROADCAST));
}

TEST_F(SioamTest, StopBeforeRunningStopsAtOnce) {
    ASSERT_TRUE(runTo(SIOAM_WAIT_ADAPTER));
    slot_->StopAdapter();
    EXPECT_EQ(am_->GetState(), SIOAM_STOPPED);
    EXPECT_EQ(cycle(), static_cast<int>(SIOAM_STOPPED));
}

TEST_F(SioamTest, ConfigurationGoesFirstAndFramesInTheNextBuffer) {
    startRunning();
    auto* dev = addDevice(0x11, 0x30);
    // The adapter reports a reset while running and a frame waits in the same cycle.
    ASSERT_EQ(dev->send(0x10, {7}), 0);
    node_.deliver(Input().events(0x80));
    cycle();
    auto first = node_.takeReturned();
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0][0], 0x68);
    EXPECT_EQ(first[0][5], 0);
    EXPECT_EQ(first[0][1], 0xA4);
    auto frames = nextFrames();
    EXPECT_EQ(frames, std::vector<std::vector<uint8_t>>{outRecord(0x11, 0x30, 0x10, {7})});
}

TEST_F(SioamTest, SendFrameBeyondTheFreeSpaceIsRefusedAndChangesNothing) {
    startRunning();
    auto* dev = addDevice(0x11, 0x30);
    auto big = outRecord(0x11, 0x30, 0x10, std::vector<uint8_t>(1700, 0xAB));
    ASSERT_EQ(am_->SendFrame(big.data(), static_cast<int>(big.size())), 0);
    int bytes = am_->GetFrameBytes();
    auto more = outRecord(0x11, 0x30, 0x10, std::vector<uint8_t>(40, 0xCD));
    EXPECT_EQ(am_->SendFrame(more.data(), static_cast<int>(more.size())), 607);
    EXPECT_EQ(am_->GetFrameBytes(), bytes);
    EXPECT_EQ(am_->GetFrameCount(), 1);
    EXPECT_EQ(am_->GetSentFrameCount(), 1);
    // A record whose length word disagrees with its size is refused too.
    auto bad = outRecord(0x11, 0x30, 0x10, {1});
    bad[0] = 9;
    EXPECT_EQ(am_->SendFrame(bad.data(), static_cast<int>(bad.size())), 607);
    EXPECT_EQ(am_->SendFrame(nullptr, 9), 607);
    (void)dev;
}

TEST_F(SioamTest, QueuedFramesAreFoundByPortAndAddress) {
    startRunning();
    auto* a = addDevice(0x11, 0x30);
    auto* b = addDevice(0x22, 0x30);
    a->send(0x10, {1, 2, 3});
    EXPECT_EQ(am_->QuerySentMessage(DeviceID(1, 0x11, 0x30)), 1);
    EXPECT_EQ(am_->QuerySentMessage(DeviceID(1, 0x22, 0x30)), 0);
    b->send(0x01);
    EXPECT_EQ(am_->QuerySentMessage(DeviceID(1, 0x22, 0x30)), 1);
    EXPECT_EQ(am_->QuerySentMessage(DeviceID(1, 0x11, 0x31)), 0);
}

TEST_F(SioamTest, ReceivedFrameGoesToItsDeviceWhichThenSkipsItsTimers) {
    startRunning();
    auto* dev = addDevice(0x11, 0x30);
    cycle();
    int outputs = dev->outputs;
    EXPECT_GT(outputs, 0);
    Input in;
    in.frame(0x11, 0x30, 0x00, {9, 8});
    node_.deliver(in);
    cycle();
    ASSERT_EQ(dev->inputs.size(), 1u);
    // The whole record: length, port, address, control, data, check (L + 3 bytes).
    EXPECT_EQ(dev->inputs[0], std::vector<uint8_t>(in.b.begin() + 303, in.b.begin() + 303 + 9));
    EXPECT_EQ(dev->outputs, outputs); // timers skipped after a handled frame
    cycle();
    EXPECT_EQ(dev->outputs, outputs + 1);
}

TEST_F(SioamTest, FrameForAnAddressWithoutDeviceIsLogged) {
    startRunning();
    node_.deliver(Input().frame(0x11, 0x33, 0x00));
    cycle();
    EXPECT_TRUE(ovkhost::errorLogged(804));
}

TEST_F(SioamTest, ErrorRecordsAreHandledAndTheFrameInTheSameBufferDropped) {
    startRunning();
    auto* dev = addDevice(0x11, 0x30);
    auto* other = addDevice(0x22, 0x40);
    Input in;
    in.frame(0x11, 0x30, 0x00, {1});
    in.errors({{0x13, 0x11, 0x30}, {0x20, 0x22, 0x40, 0x99}, {0x20, 0x11, 0x77}, {0x55, 0x11, 0x30}});
    node_.deliver(in);
    cycle();
    EXPECT_TRUE(dev->inputs.empty());
    EXPECT_EQ(dev->errors, (std::vector<uint8_t>{0x13}));
    EXPECT_EQ(other->errors, (std::vector<uint8_t>{0x20}));
    auto log = ovkhost::errorLog();
    std::vector<std::pair<uint32_t, uint32_t>> ids;
    for (const auto& e : log) ids.emplace_back(e.logId, e.extra);
    // 0x20 for an address without a device, and an unknown code (no port or address).
    EXPECT_EQ(ids, (std::vector<std::pair<uint32_t, uint32_t>>{{802, 0x201177}, {803, 0x55FFFF}}));
    // Poll time-outs are not traced; the other records are (slot, length, code...).
    int traced = 0;
    for (const auto& t : ovkhost::traces())
        if (t.component == 93 && t.minor == 34) {
            ++traced;
            EXPECT_EQ(t.data[0], 1);
        }
    EXPECT_EQ(traced, 3);
}

TEST_F(SioamTest, ErrorWalkStaysInsideTheErrorArea) {
    startRunning();
    auto* dev = addDevice(0x11, 0x30);
    // The driver claims a huge error area: only the 30 bytes of the area are read. A record
    // that runs past the area's end is not used.
    Input in;
    in.errors({{0x13, 0x11, 0x30}}, 0xFFFF);
    in.b[277] = 40; // a record of 40 bytes right after the first one
    in.b[278] = 0x13;
    in.b[279] = 0x11;
    in.b[280] = 0x30;
    node_.deliver(in);
    cycle();
    EXPECT_EQ(dev->errors, (std::vector<uint8_t>{0x13}));
    // Records of length 0 advance by one byte and a walk over zeros ends.
    Input zeros;
    zeros.errors({}, 30);
    node_.deliver(zeros);
    cycle();
    EXPECT_EQ(dev->errors.size(), 1u);
}

TEST_F(SioamTest, FramesShorterThanTheirHeaderOrLongerThanTheAreaAreDropped) {
    startRunning();
    auto* dev = addDevice(0x11, 0x30);
    for (int length : {0, 3, 1740}) {
        Input in;
        in.frame(0x11, 0x30, 0x00);
        in.b[303] = static_cast<uint8_t>(length);
        in.b[304] = static_cast<uint8_t>(length >> 8);
        node_.deliver(in);
        ovkhost::clearCaptures();
        cycle();
        EXPECT_TRUE(ovkhost::errorLogged(806)) << length;
    }
    EXPECT_TRUE(dev->inputs.empty());
    Input ok;
    ok.frame(0x11, 0x30, 0x00);
    node_.deliver(ok);
    cycle();
    EXPECT_EQ(dev->inputs.size(), 1u);
}

TEST_F(SioamTest, CrossedFrameDropsOnlyThatDevicesFramesAndRequeuesTheOthers) {
    startRunning();
    auto* a = addDevice(0x11, 0x30);
    auto* b = addDevice(0x11, 0x40);
    auto* c = addDevice(0x22, 0x50);
    // Queued in one cycle: b, a, c (a in the middle); then a's frame crosses on the wire.
    ASSERT_EQ(b->send(0x10, {0xB1}), 0);
    ASSERT_EQ(a->send(0x12, {0xA1}), 0);
    ASSERT_EQ(c->send(0x14, {0xC1}), 0);
    ASSERT_EQ(b->send(0x01), 0);
    EXPECT_EQ(am_->GetSentFrameCount(), 4);
    node_.deliver(Input().frame(0x11, 0x30, 0x20, {0x55}));
    const auto frames = nextFrames();
    EXPECT_EQ(frames, (std::vector<std::vector<uint8_t>>{outRecord(0x11, 0x40, 0x10, {0xB1}),
                                                       outRecord(0x22, 0x50, 0x14, {0xC1}),
                                                       outRecord(0x11, 0x40, 0x01)}));
    EXPECT_TRUE(ovkhost::errorLogged(826));
    EXPECT_EQ(a->events, (std::vector<std::string>{"PassingInTheNight", "input", "ClearPassingInTheNight"}));
    EXPECT_TRUE(b->events.empty());
    EXPECT_EQ(am_->GetResendFlag(), 0);
    EXPECT_EQ(am_->GetSentFrameCount(), 0); // freed with the transmission

    // After the walk, new frames are tracked again.
    ASSERT_EQ(c->send(0x16), 0);
    EXPECT_EQ(am_->GetSentFrameCount(), 1);
}

TEST_F(SioamTest, PollListFollowsTheDevicesAndTheDockedState) {
    startRunning();
    addDevice(0x11, 0x30);
    addDevice(0x22, 0x42);
    addDevice(0x11, 0x54); // flag bit 0: not counted towards the five entries of port 1
    sniffer_->pollByte = 0x60;
    am_->RebuildPollList();
    std::vector<uint8_t> list(am_->GetPollListImage(), am_->GetPollListImage() + 24);
    EXPECT_EQ(list, (std::vector<uint8_t>{0x11, 0, 0x22, 0, 0x11, 0x54, 0x22, 0x42, 0x11, 0x30,
                                          0x11, 0, 0x11, 0, 0x11, 0, 0x22, 0, 0x22, 0, 0x22, 0, 0, 0}));
    EXPECT_EQ(am_->GetPendingFlags() & 0x48, 0x48); // list and the new poll byte
    auto frames = nextFrames();
    (void)frames;

    // Undocked: only the not-docked addresses (and the sniffer).
    am_->ResetDockedState();
    am_->AddNotDockedAddress(0x42);
    am_->RebuildPollList();
    std::vector<uint8_t> undocked(am_->GetPollListImage(), am_->GetPollListImage() + 8);
    EXPECT_EQ(undocked, (std::vector<uint8_t>{0x11, 0, 0x22, 0, 0x22, 0x42, 0x11, 0}));
}

TEST_F(SioamTest, RemovingADeviceRebuildsThePollListAndDeletesQueuedDevices) {
    startRunning();
    auto* dev = addDevice(0x11, 0x30);
    am_->RebuildPollList();
    cycle();
    cycle();
    node_.takeReturned();
    am_->PdevReadyToBeDeleted(dev);
    am_->SetPollListStale();
    cycle();
    PDEV* found = nullptr;
    slot_->FindPhysical(DeviceID(1, 0x11, 0x30), found);
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(am_->GetPollListStale(), 0);
    EXPECT_EQ(am_->GetPendingFlags() & 0x08, 0x08);
    // The sniffer heard of the departure.
    ASSERT_EQ(sniffer_->departed.size(), 1u);
    EXPECT_EQ(sniffer_->departed[0], DeviceID(1, 0x11, 0x30));
}

TEST_F(SioamTest, SuspendAndResumeStartOver) {
    startRunning();
    auto* dev = addDevice(0x11, 0x30);
    EXPECT_EQ(slot_->Suspend(), 0);
    EXPECT_EQ(am_->GetState(), SIOAM_SUSPENDED);
    EXPECT_EQ(dev->events, std::vector<std::string>{"suspend"});
    size_t requests = node_.requests.size();
    cycle();
    EXPECT_EQ(node_.requests.size(), requests); // the node is closed: nothing is asked
    EXPECT_EQ(slot_->Resume(), 0);
    EXPECT_EQ(dev->events, (std::vector<std::string>{"suspend", "resume"}));
    EXPECT_EQ(am_->GetState(), SIOAM_CREATED);
    EXPECT_EQ(am_->GetPollListStale(), 1);
    EXPECT_TRUE(runTo(SIOAM_RUNNING));
    EXPECT_EQ(node_.count(DCS_RESET_ADAPTER), 2);
}

TEST_F(SioamTest, NvramRequestsUseTheInformationDescriptor) {
    std::vector<uint8_t> record(2064, 0);
    record[4] = 0x85;
    node_.nvramResult = 7;
    EXPECT_EQ(am_->NvramRead(record.data(), static_cast<int>(record.size())), 7);
    EXPECT_EQ(am_->NvramWrite(record.data(), static_cast<int>(record.size())), 7);
    ASSERT_EQ(node_.nvramRecords.size(), 2u);
    EXPECT_EQ(node_.nvramRecords[0].size(), 2064u);
    EXPECT_EQ(node_.nvramRecords[0][4], 0x85);
    // A short record is neither read nor written past its end.
    std::vector<uint8_t> small(16, 0);
    EXPECT_EQ(am_->NvramRead(small.data(), static_cast<int>(small.size())), 7);
    EXPECT_EQ(small[0], 7);
    EXPECT_EQ(am_->PowerRequest(nullptr, 0), 0);
}

TEST_F(SioamTest, AdapterAndNvramInformation) {
    unsigned short kind = 0, ports = 0;
    EXPECT_EQ(am_->GetDCSInfo(kind, ports), 0);
    EXPECT_EQ(kind, 5);
    EXPECT_EQ(ports, 2);
    NvramInfoStruct info;
    unsigned short flag = 9;
    EXPECT_EQ(am_->GetNVRAMInfo(info, flag), 0);
    EXPECT_EQ(info.driverValue[0], 0x48u);
    EXPECT_EQ(info.driverValue[1], 0x24u);
    EXPECT_EQ(info.driverValue[2], 0x20u);
    EXPECT_EQ(flag, 0);
    struct Case {
        uint8_t result;
        int rc;
        uint32_t log;
    };
    for (Case c : {Case{250, 327, 0}, Case{251, 326, 0}, Case{17, 301, 814}}) {
        ovkhost::clearCaptures();
        node_.dcsResult = c.result;
        EXPECT_EQ(am_->GetDCSInfo(kind, ports), c.rc);
        EXPECT_EQ(c.log != 0, ovkhost::errorLogged(814));
    }
    node_.dcsResult = 254; // no adapter still reports kind and ports
    EXPECT_EQ(am_->GetDCSInfo(kind, ports), 0);
    EXPECT_EQ(ports, 2);
    for (Case c : {Case{250, 327, 0}, Case{251, 326, 0}, Case{99, 301, 815}}) {
        ovkhost::clearCaptures();
        node_.nvramInfoResult = c.result;
        EXPECT_EQ(am_->GetNVRAMInfo(info, flag), c.rc);
        EXPECT_EQ(c.log != 0, ovkhost::errorLogged(815));
    }
}

// The local NVRAM description from the adapter kind, the port count and the flag.
TEST_F(SioamTest, LocalNvramInformationFromTheAdapterKind) {
    struct Case {
        uint32_t kind, ports;
        uint16_t flag;
        uint8_t infoResult;
        int portCount;
        std::vector<uint8_t> valid;
        uint8_t port;
        int32_t cls;
    };
    const Case cases[] = {
        {5, 2, 0, 0, 2, {0x11, 0x22, 0xFF, 0xFF}, 0x11, 8100},
        {0x917D, 1, 0, 0, 1, {0x11, 0xFF, 0xFF, 0xFF}, 0x11, 8100},
        {8, 2, 1, 0, 2, {0x11, 0x22, 0xFF, 0xFF}, 0x00, -1},
        {2, 2, 0, 0, 3, {0x00, 0x11, 0x22, 0xFF}, 0x00, 8100},
        {2, 1, 0, 0, 2, {0x00, 0x11, 0xFF, 0xFF}, 0x00, 8100},
        {5, 2, 0, 99, 2, {0x11, 0xFF, 0xFF, 0xFF}, 0x00, -1},
    };
    for (const Case& c : cases) {
        TestAdapter fresh(1, 5);
        node_.dcsKind = c.kind;
        node_.dcsPorts = c.ports;
        node_.nvramFlag = c.flag;
        node_.nvramInfoResult = c.infoResult;
        NvramInfoStruct info;
        fresh.GetLocalNvramInfo(info);
        EXPECT_EQ(fresh.GetPortCount(), c.portCount) << c.kind;
        EXPECT_EQ(std::vector<uint8_t>(fresh.GetValidPorts(), fresh.GetValidPorts() + 4), c.valid) << c.kind;
        EXPECT_EQ(info.port, c.port) << c.kind;
        EXPECT_EQ(info.deviceClass, c.cls) << c.kind;
        EXPECT_EQ(info.size, c.cls == -1 ? 0u : 1024u) << c.kind;
    }
}

TEST_F(SioamTest, DriverFailuresAreLoggedAndTheManagerGoesOn) {
    startRunning();
    node_.waitResult = 17;
    cycle();
    EXPECT_TRUE(ovkhost::errorLogged(811));
    node_.waitResult = 0;
    node_.requestResult = 9;
    auto* dev = addDevice(0x11, 0x30);
    ovkhost::clearCaptures();
    dev->send(0x10);
    EXPECT_TRUE(ovkhost::errorLogged(809));
    node_.requestResult = 0;
    EXPECT_EQ(nextFrames().size(), 1u);
    EXPECT_EQ(am_->GetState(), SIOAM_RUNNING);
}

TEST_F(SioamTest, ExceptionInADevicesTimersIsLoggedAndTheCycleGoesOn) {
    startRunning();
    struct Throwing : TestLinkDevice {
        using TestLinkDevice::TestLinkDevice;
        void ProcessOutput(long) override { throw 1; }
    };
    auto* bad = new Throwing(DeviceID(1, 0x11, 0x31));
    ASSERT_EQ(bad->Init(), 0);
    ASSERT_EQ(slot_->LinkinPhysical(bad), 0);
    ASSERT_EQ(bad->Open(nullptr), 0);
    auto* good = addDevice(0x11, 0x30);
    cycle();
    EXPECT_TRUE(ovkhost::errorLogged(825));
    EXPECT_GT(good->outputs, 0);
    EXPECT_FALSE(slot_->LockHeldByCaller());
}

// Adapter type 661 without an 8051 adapter.
class Sioam661Test : public SioamTest {
protected:
    unsigned short adapterType() const override { return 661; }
};

TEST_F(Sioam661Test, NoReadyReportWithinTwoSecondsPrintsTheBannerAndStops) {
    node_.adapter = false;
    ASSERT_TRUE(runTo(SIOAM_WAIT_ADAPTER));
    ovkhost::clearCaptures();
    ovkhost::advanceClock(2001);
    EXPECT_TRUE(runTo(SIOAM_NO_ADAPTER, 10));
    auto lines = ovkhost::printedLines();
    int banner = 0;
    for (const auto& l : lines) banner += l.find("No 8051 Adapter") != std::string::npos;
    EXPECT_EQ(banner, 1);
    size_t requests = node_.requests.size();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(cycle(), static_cast<int>(SIOAM_NO_ADAPTER));
    EXPECT_EQ(node_.requests.size(), requests);
}

TEST_F(Sioam661Test, ResetAnsweredWithNoAdapterStops) {
    node_.resetResult = 254;
    EXPECT_TRUE(runTo(SIOAM_NO_ADAPTER, 5));
    EXPECT_FALSE(ovkhost::errorLogged(801));
}

TEST_F(Sioam661Test, ReportsInTimeReachRunning) { EXPECT_TRUE(runTo(SIOAM_RUNNING)); }

TEST_F(SioamTest, FailedResetIsLoggedAndTheBroadcastStarts) {
    // A fresh manager whose 8051 reset fails.
    node_.resetResult = 5;
    TestAdapter fresh(1, 5);
    fresh.AttachSlot(slot_);
    node_.inputs.clear();
    node_.nodeHolds = true;
    node_.requested = true;
    node_.takeReturned();
    fresh.Run(1, 0);
    EXPECT_TRUE(ovkhost::errorLogged(801));
    // Straight to the broadcast in the same cycle (port 2 is not known valid: one step).
    EXPECT_EQ(fresh.GetState(), SIOAM_BROADCAST_SENT);
    EXPECT_EQ(fresh.GetBufferHeld(), 0); // the buffer went back with the cycle
    auto returned = node_.takeReturned();
    ASSERT_EQ(returned.size(), 1u);
    EXPECT_EQ(returned[0][0], 0x20);
    EXPECT_EQ(fresh.GetFrameCount(), 1);
}

TEST_F(SioamTest, NoAdapterAnswerToTheBufferRequest) {
    node_.requestResult = 254;
    TestAdapter fresh(1, 5);
    EXPECT_EQ(fresh.GetState(), SIOAM_NO_ADAPTER);
    EXPECT_EQ(fresh.RequestBuffer(), 301);
}

TEST_F(SioamTest, NodeThatCannotBeOpenedIsLogged) {
    node_.openFailures = 1;
    TestAdapter fresh(1, 5);
    EXPECT_TRUE(ovkhost::errorLogged(816));
    unsigned short kind, ports;
    EXPECT_EQ(fresh.GetDCSInfo(kind, ports), 327);
    NvramInfoStruct info;
    unsigned short flag;
    EXPECT_EQ(fresh.GetNVRAMInfo(info, flag), 327);
    EXPECT_EQ(fresh.NvramRead(nullptr, 0), 321);
}

} // namespace
