// The NVRAM devices on the bus against the simulated NVRAM stations: the exact commands of
// each write, reading records back, the edge cases of the record format, the journal's
// start-up recovery and the power device.
#include <gtest/gtest.h>

#include <cstring>

#include "NVCOPP.h"
#include "NVOCRP.h"
#include "NvTerminal.h"

namespace nvtest {
namespace {

class NvramBus : public ::testing::Test {
protected:
    // The bus device of typeId at address with its station, online.
    template <class P>
    P* Online(unsigned short typeId, uint8_t address, bussim::NvramModel::Options model) {
        P* p = t.Attach<P>(typeId, address, &model);
        EXPECT_NE(p, nullptr);
        t.Run();
        EXPECT_TRUE(p && p->Confirmed(address));
        return p;
    }
    // The data of the information frames sent since `from`, in hex.
    std::vector<std::string> SentSince(size_t from) const {
        std::vector<std::string> out;
        for (size_t i = from; i < t.adapter.sentInfo.size(); ++i) out.push_back(Hex(t.adapter.sentInfo[i]));
        return out;
    }
    NvTerminal t;
};

TEST_F(NvramBus, SmallNvramDirectWriteSendsOneCommandAndReadsBack) {
    Online<NVCOPP>(NVCOPP_TYPE_ID, 0x50, cop());
    auto v = t.Nvram(0x50);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->GetSize(), 1024);
    EXPECT_EQ(v->GetMaxDataLength(), 60);
    const size_t from = t.adapter.sentInfo.size();
    ASSERT_EQ(t.Write(*v, "AB"), 0);
    EXPECT_EQ(SentSince(from), std::vector<std::string>{"03 00 01 06 02 00 41 42 00 FB"});
    EXPECT_EQ(v->GetCursor(), 6);

    t.Release(*v);
    auto r = t.Nvram(0x50);
    EXPECT_EQ(t.Read(*r), "AB");
    EXPECT_EQ(r->GetCursor(), 6);
}

TEST_F(NvramBus, SmallNvramSequentialRecordsEndWithTheMarker) {
    Online<NVCOPP>(NVCOPP_TYPE_ID, 0x50, cop());
    auto v = t.Nvram(0x50, NVRAM_MODE_SEQUENTIAL);
    const size_t from = t.adapter.sentInfo.size();
    ASSERT_EQ(t.Write(*v, "A"), 0);
    ASSERT_EQ(t.Write(*v, "BC"), 0);
    EXPECT_EQ(SentSince(from), (std::vector<std::string>{"03 00 01 09 01 00 41 9D CF 14 0A AA AA",
                                                         "03 05 01 0A 02 00 42 43 E1 C0 14 0A AA AA"}));
    t.Release(*v);
    auto r = t.Nvram(0x50, NVRAM_MODE_SEQUENTIAL);
    EXPECT_EQ(t.Read(*r), "A");
    EXPECT_EQ(t.Read(*r), "BC");
    EXPECT_EQ(t.Read(*r), "#4103");
    EXPECT_EQ(r->GetCursor(), 11);
}

TEST_F(NvramBus, JournalledWriteGoesHeaderStageStateCopyAndIsDoneOnlyAfterTheCopy) {
    Online<NVOCRP>(NVOCRP_TYPE_ID, 0x51, ocr());
    auto v = t.Nvram(0x51);
    EXPECT_EQ(v->GetSize(), 16384);
    const size_t from = t.adapter.sentInfo.size();
    ASSERT_EQ(t.Write(*v, "AB"), 0);
    EXPECT_EQ(SentSince(from),
              (std::vector<std::string>{"03 00 4C 10 00 01 00 00 00 0C 00 00 06 00 00 00 00 00 00 00 00",
                                        "03 10 4C 06 00 02 00 41 42 00 FB", "03 00 4C 01 00 02",
                                        "40 00 0C 06 00 10 4C"}));
    // Reported done: the copy reached the record's place.
    Bytes placed;
    ASSERT_TRUE(t.Model(0x51)->dump(0xC00, 6, placed));
    EXPECT_EQ(Hex(placed), "02 00 41 42 00 FB");
    t.Release(*v);
    auto r = t.Nvram(0x51);
    EXPECT_EQ(t.Read(*r), "AB");
}

TEST_F(NvramBus, RoomAtTheEndAndRecordChecks) {
    Online<NVCOPP>(NVCOPP_TYPE_ID, 0x50, cop());
    // size - 4 - cursor bytes fit; one more does not.
    auto fits = t.Nvram(0x50, NVRAM_MODE_DIRECT, 1024 - 4 - 60);
    EXPECT_EQ(t.Write(*fits, std::string(60, 'x')), 0);
    t.Release(*fits);
    auto over = t.Nvram(0x50, NVRAM_MODE_DIRECT, 1024 - 4 - 59);
    EXPECT_EQ(t.Write(*over, std::string(60, 'x')), POSERR_NVRAM_NOT_ENOUGH_ROOM);
    EXPECT_EQ(t.Write(*over, std::string(61, 'x')), 318);
    t.Release(*over);

    // A record read at the end asks for no byte past the NVRAM.
    auto tail = t.Nvram(0x50, NVRAM_MODE_DIRECT, 1024 - 4 - 60);
    EXPECT_EQ(t.Read(*tail), std::string(60, 'x'));
    t.Release(*tail);
    auto raw = t.Nvram(0x50, NVRAM_MODE_RAW, 1020);
    const std::string last = t.Read(*raw);
    ASSERT_EQ(last.size(), 4u); // two data bytes and the check bytes
    EXPECT_EQ(last.substr(0, 2), "xx");
    EXPECT_EQ(Hex(t.adapter.sentInfo.back()), "02 FC 04 04");
    EXPECT_EQ(raw->GetCursor(), 1020);
}

TEST_F(NvramBus, ChangedCheckByteIsRefusedAndTheCursorStays) {
    Online<NVCOPP>(NVCOPP_TYPE_ID, 0x50, cop());
    auto v = t.Nvram(0x50);
    ASSERT_EQ(t.Write(*v, "AB"), 0); // bytes 0-5
    ASSERT_EQ(t.Write(*v, ""), 0);   // an empty record: length 0 and its check bytes, 6-9
    bussim::NvramStore& memory = t.Model(0x50)->store();
    const uint8_t changed = 0x01, original = 0x00, huge[2] = {0xFF, 0x00};
    memory.write(4, &changed, 1);
    t.Release(*v);
    auto r = t.Nvram(0x50);
    EXPECT_EQ(t.Read(*r), "#4106");
    EXPECT_EQ(r->GetCursor(), 0);
    memory.write(4, &original, 1);
    EXPECT_EQ(t.Read(*r, 1), "#312"); // the client's buffer is too small
    EXPECT_EQ(r->GetCursor(), 0);
    EXPECT_EQ(t.Read(*r), "AB");
    EXPECT_EQ(t.Read(*r), "");
    EXPECT_EQ(r->GetCursor(), 10);
    // A stored length beyond the largest record.
    memory.write(20, huge, 2);
    t.Release(*r);
    auto h = t.Nvram(0x50, NVRAM_MODE_DIRECT, 20);
    EXPECT_EQ(t.Read(*h), "#4105");
}

TEST_F(NvramBus, ReplyWithoutTheSoundBitIsLoggedAndHandled) {
    NVCOPP* p = Online<NVCOPP>(NVCOPP_TYPE_ID, 0x50, cop());
    ovkhost::clearCaptures();
    p->Lock();
    const Bytes reply{0x28, 0x00, 0x00, 0x00, 0x00};
    p->NewMsgRcvd(reply.data(), static_cast<int>(reply.size()));
    p->Unlock();
    bool logged = false;
    for (const auto& e : ovkhost::errorLog()) logged = logged || (e.logId == 8402 && e.rc == 4107);
    EXPECT_TRUE(logged);
}

TEST_F(NvramBus, RepliesOfTheWrongLengthAreNotTakenAndFiveGiveTheDeviceUp) {
    NVOCRP* p = Online<NVOCRP>(NVOCRP_TYPE_ID, 0x51, ocr());
    ovkhost::clearCaptures();
    // Says two data bytes, carries one: not taken.
    const Bytes bad{0x29, 0x00, 0x00, 0x00, 0x02, 0x00, 0x41};
    const Bytes good{0x29, 0x00, 0x00, 0x00, 0x00, 0x00};
    p->Lock();
    for (int i = 0; i < 4; ++i) p->NewMsgRcvd(bad.data(), static_cast<int>(bad.size()));
    EXPECT_EQ(p->GetBadReplies(), 4);
    EXPECT_FALSE(ovkhost::errorLogged(8308));
    p->NewMsgRcvd(good.data(), static_cast<int>(good.size()));
    EXPECT_EQ(p->GetBadReplies(), 0);
    for (int i = 0; i < 5; ++i) p->NewMsgRcvd(bad.data(), static_cast<int>(bad.size()));
    EXPECT_TRUE(ovkhost::errorLogged(8308));
    // From now on every reply gives its command up, until the device starts again.
    p->NewMsgRcvd(good.data(), static_cast<int>(good.size()));
    EXPECT_EQ(p->GetBadReplies(), 5);
    p->Unlock();
}

TEST_F(NvramBus, JournalledWriteThatFailsLeavesNoStepPending) {
    NVOCRP* p = Online<NVOCRP>(NVOCRP_TYPE_ID, 0x51, ocr());
    auto v = t.Nvram(0x51);
    t.StationAt(0x51)->takeAway();
    // The link gives the device up, offline, before the 30 s end: the write fails with 317.
    EXPECT_EQ(t.Write(*v, "AB"), 317);
    for (int slot = NVOCRP::kSlotHeader; slot <= NVOCRP::kSlotCopy; ++slot) EXPECT_FALSE(p->IsPending(slot)) << slot;
    EXPECT_EQ(v->GetCursor(), 0);
}

// A device that stops answering while a client waits for it: once the link gives it up and
// takes it offline, the client gets 317 then (the time-out would give 329, 30 s on), the
// request's commands are dropped, and back again the device takes the next write.
struct GoneCase {
    const char* name;
    uint8_t address; // 0x50 the small NVRAM, 0x51 the journalled one
    bool write;
};

void PrintTo(const GoneCase& c, std::ostream* os) { *os << c.name; }

class NvramGone : public NvramBus, public ::testing::WithParamInterface<GoneCase> {};

TEST_P(NvramGone, TheWaitingClientIsToldOnceTheDeviceGoesOffline) {
    const GoneCase& c = GetParam();
    t.pollTimeoutsWhenAway = true;
    NVSIOP* p = c.address == 0x51 ? static_cast<NVSIOP*>(Online<NVOCRP>(NVOCRP_TYPE_ID, 0x51, ocr()))
                                  : Online<NVCOPP>(NVCOPP_TYPE_ID, 0x50, cop());
    ASSERT_NE(p, nullptr);
    auto v = t.Nvram(c.address);
    ASSERT_TRUE(v);
    t.StationAt(c.address)->takeAway();
    if (c.write)
        EXPECT_EQ(t.Write(*v, "AB"), 317);
    else
        EXPECT_EQ(t.Read(*v), "#317");
    EXPECT_FALSE(p->Confirmed(c.address));
    bool offline = false;
    for (const auto& e : t.queue.events())
        offline = offline || (e.msg == POSM_SYS_DEVICE_OFFLINE && ((e.p1 >> 8) & 0xFF) == c.address);
    EXPECT_TRUE(offline);
    // Nothing of the request is left to go out later; the status request may be.
    EXPECT_EQ(p->GetPendingMask() & ~(1u << NVSIOP::kSlotStatus), 0u);
    EXPECT_EQ(v->GetCursor(), 0);

    t.StationAt(c.address)->bringBack();
    for (int i = 0; i < 2000 && !p->Confirmed(c.address); ++i) t.Cycle();
    ASSERT_TRUE(p->Confirmed(c.address));
    EXPECT_EQ(t.Write(*v, "CD"), 0);
    EXPECT_EQ(v->GetCursor(), 6);
}

INSTANTIATE_TEST_SUITE_P(Models, NvramGone,
                         ::testing::Values(GoneCase{"SmallWrite", 0x50, true}, GoneCase{"SmallRead", 0x50, false},
                                           GoneCase{"JournalledWrite", 0x51, true},
                                           GoneCase{"JournalledRead", 0x51, false}),
                         [](const ::testing::TestParamInfo<GoneCase>& info) { return std::string(info.param.name); });

// A device that acknowledges the client's command and then is gone: it leaves the bus, or
// it is behind a bus driver node that is lost (the adapter manager forces the device
// offline; nothing comes from the bus any more). The offline wakes the waiting client with
// 317, not 329 at the end of its 30 s, and nothing of its request is left to go.
struct AwayCase {
    const char* name;
    uint8_t address;
    bool nodeLost;
};

void PrintTo(const AwayCase& c, std::ostream* os) { *os << c.name; }

class NvramAway : public NvramBus, public ::testing::WithParamInterface<AwayCase> {};

TEST_P(NvramAway, TheOfflineEndsTheClientsWaitWith317) {
    const AwayCase& c = GetParam();
    NVSIOP* p = c.address == 0x51 ? static_cast<NVSIOP*>(Online<NVOCRP>(NVOCRP_TYPE_ID, 0x51, ocr()))
                                  : Online<NVCOPP>(NVCOPP_TYPE_ID, 0x50, cop());
    ASSERT_NE(p, nullptr);
    auto v = t.Nvram(c.address);
    ASSERT_TRUE(v);
    bussim::Station* station = t.StationAt(c.address);
    t.pollTimeoutsWhenAway = !c.nodeLost;
    station->leaveAfterAcknowledging();
    bool forced = false;
    t.beforeCycle = [&] {
        if (forced || !c.nodeLost || station->present()) return;
        forced = true;
        p->Lock();
        p->ForceOffline();
        p->Unlock();
    };
    // 317 comes from the offline itself, which wakes the client (its time-out gives 329).
    EXPECT_EQ(t.Write(*v, "AB"), 317);
    t.beforeCycle = nullptr;
    EXPECT_FALSE(p->Confirmed(c.address));
    EXPECT_EQ(forced, c.nodeLost);
    EXPECT_EQ(p->GetPendingMask() & ~(1u << NVSIOP::kSlotStatus), 0u);
    EXPECT_EQ(v->GetCursor(), 0);

    station->bringBack();
    for (int i = 0; i < 2000 && !p->Confirmed(c.address); ++i) t.Cycle();
    ASSERT_TRUE(p->Confirmed(c.address));
    EXPECT_EQ(t.Write(*v, "CD"), 0);
}

INSTANTIATE_TEST_SUITE_P(Roads, NvramAway,
                         ::testing::Values(AwayCase{"SmallLeftAfterAcknowledging", 0x50, false},
                                           AwayCase{"SmallBehindALostNode", 0x50, true},
                                           AwayCase{"JournalledLeftAfterAcknowledging", 0x51, false},
                                           AwayCase{"JournalledBehindALostNode", 0x51, true}),
                         [](const ::testing::TestParamInfo<AwayCase>& info) { return std::string(info.param.name); });

TEST_F(NvramBus, StartUpPlaysAStagedJournalAgain) {
    // A journal as a cut left it after the state 02: header, staged record, old place.
    bussim::NvramModel::Options o = ocr();
    NVOCRP* p = t.Attach<NVOCRP>(NVOCRP_TYPE_ID, 0x51, &o);
    ASSERT_NE(p, nullptr);
    bussim::NvramStore& memory = t.Model(0x51)->store();
    const Bytes header{0x02, 0, 0, 0x10, 0x0C, 0, 0, 0x06, 0, 0, 0, 0, 0, 0, 0, 0};
    const Bytes staged{0x02, 0x00, 0x41, 0x42, 0x00, 0xFB};
    memory.write(0x4000, header.data(), header.size());
    memory.write(0x4010, staged.data(), staged.size());
    t.Run(80);
    Bytes placed;
    ASSERT_TRUE(t.Model(0x51)->dump(0xC10, 6, placed));
    EXPECT_EQ(Hex(placed), "02 00 41 42 00 FB");
    std::vector<std::string> sent;
    for (const Bytes& b : t.adapter.sentInfo) sent.push_back(Hex(b));
    EXPECT_EQ(std::vector<std::string>(sent.begin() + 1, sent.end()),
              (std::vector<std::string>{"02 00 4C 10 00", "02 10 4C 06 00", "03 10 0C 06 00 02 00 41 42 00 FB"}));
    auto v = t.Nvram(0x51, NVRAM_MODE_DIRECT, 0x10);
    EXPECT_EQ(t.Read(*v), "AB");
}

TEST_F(NvramBus, StartUpIgnoresAJournalStillBeingWritten) {
    bussim::NvramModel::Options o = ocr();
    ASSERT_NE(t.Attach<NVOCRP>(NVOCRP_TYPE_ID, 0x51, &o), nullptr);
    const Bytes header{0x01, 0, 0, 0x10, 0x0C, 0, 0, 0x06, 0, 0, 0, 0, 0, 0, 0, 0};
    t.Model(0x51)->store().write(0x4000, header.data(), header.size());
    t.Run(80);
    std::vector<std::string> sent;
    for (const Bytes& b : t.adapter.sentInfo) sent.push_back(Hex(b));
    EXPECT_EQ(sent, (std::vector<std::string>{"00 80", "02 00 4C 10 00"}));
}

TEST_F(NvramBus, PowerDeviceHasItsOwnHolderAndSendsPowerOff) {
    NVOCRP* p = Online<NVOCRP>(NVOCRP_TYPE_ID, 0x51, ocr());
    unsigned char type = 0;
    long vdevType = 0;
    ASSERT_EQ(p->GetVdevInfo(POWER_ADDRESS_B, type, vdevType), 0);
    EXPECT_EQ(type, POWER_DEVICE_CLASS);
    EXPECT_EQ(vdevType, NVPOWERV_TYPE_ID);
    EXPECT_TRUE(p->Confirmed(POWER_ADDRESS_B));
    bool announced = false;
    for (const auto& e : t.queue.events())
        announced = announced || (e.msg == POSM_SYS_DEVICE_ONLINE && (e.p1 & 0xFFFF) == 0x8600 + POWER_DEVICE_CLASS);
    EXPECT_TRUE(announced);

    int rc = -1;
    auto power = t.Open<NVPOWERV>(NVPOWERV_TYPE_ID, POWER_ADDRESS_B, &rc);
    ASSERT_EQ(rc, 0);
    auto other = t.Open<NVPOWERV>(NVPOWERV_TYPE_ID, POWER_ADDRESS_B, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(t.Ioctl(*power, POS_POWER_OFF), 315);
    ASSERT_EQ(t.Ioctl(*power, POS_SYS_ACQUIRE_DEVICE), 0);
    EXPECT_EQ(t.Ioctl(*other, POS_SYS_ACQUIRE_DEVICE), 313);
    // The NVRAM itself is held apart from the power device.
    auto nvram = t.Nvram(0x51);
    EXPECT_EQ(p->GetPowerHolder(), power.get());

    ASSERT_EQ(t.Ioctl(*power, POS_POWER_OFF), 0);
    t.Run(10);
    EXPECT_EQ(Hex(t.adapter.sentInfo.back()), "80 00 00");
    EXPECT_TRUE(t.Model(0x51)->powerOff());
    EXPECT_EQ(t.Ioctl(*power, POS_POWER_SET_ALARM, {{"powerAlarm", 0}}), 316);
}

} // namespace
} // namespace nvtest
