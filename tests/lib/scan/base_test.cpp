// The scanner base on its own and on model 96's link: label parsing and joining, the
// reset policy, the scan queue of the client and the hand-over of scans kept without owner.
#include <gtest/gtest.h>

#include "SCFB96P.h"
#include "SCFB96V.h"
#include "ScanTerminal.h"

namespace scantest {
namespace {

// A bare scanner for the base's own operations: acknowledges every reply.
class BareScanner : public SCP {
public:
    BareScanner() : SCP(DeviceID(kSlot, kPort, kAddress), "BARESCAN") {}
    int NewMsgRcvd(const unsigned char*, int) override { return 0; }
    void set(bool enabled, bool beep) {
        enabled_ = enabled;
        beep_ = beep;
    }
    void setPreviousComplete(bool complete) { previousComplete_ = complete; }
    int32_t previousComplete() const { return previousComplete_; }
};

std::string Text(const ScannerLabel* l) { return std::string(reinterpret_cast<char*>(l->data), l->length); }

TEST(ScannerBase, PowerOnReplacesThePendingMaskByTheStartUpCommands) {
    ovkhost::useManualClock(true);
    struct Case {
        bool enabled, beep;
        uint32_t mask;
    } cases[] = {{true, true, 0x4484}, {false, true, 0x40A4}, {true, false, 0x2484}, {false, false, 0x20A4}};
    for (const Case& c : cases) {
        BareScanner s;
        s.set(c.enabled, c.beep);
        EXPECT_EQ(s.PendingMask(), 0x40A4u); // as constructed
        s.PowerOnResetInProgress();
        EXPECT_EQ(s.PendingMask(), c.mask) << c.enabled << c.beep;
        EXPECT_TRUE(s.Outstanding());
        EXPECT_TRUE(s.ResetWait());
        EXPECT_EQ(s.LastSentSlot(), -1);
    }
    ovkhost::useManualClock(false);
}

TEST(ScannerBase, ParsesLabelsByTheirWrapper) {
    struct Case {
        Bytes message;
        int rc;
        int32_t type;
        std::string data;
        int complete;
    } cases[] = {
        // UPC-A: twelve digits and 0x0D.
        {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 1, 0x0D}, 0, LABEL_UPC_A, "012345678901", 1},
        // UPC-A + 2: fourteen digits, marker, identifier 0x16 and the trailer 0x0B.
        {{1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 1, 2, 3, 4, 0x00, 0x16, 0x0B}, 0, LABEL_UPC_A_PLUS_2, "12345678901234", 1},
        // A marker 0x10 leaves the label open; no length check then.
        {{1, 2, 3, 0x10, 0x11}, 0, LABEL_UPC_D1, "123", 0},
        // An unknown identifier keeps every byte, trailer included.
        {{'A', 'B', 0x7F, 0x0B}, 0, LABEL_NO_CHECK, std::string("AB\x7F\x0B", 4), 1},
        // One data byte where twelve are expected.
        {{0x01, 0x0D}, POSERR_SCAN_LABEL_TOO_SHORT, 0, "", 1},
        // Nothing but an identifier.
        {{0x0D}, POSERR_SCAN_LABEL_TOO_SHORT, 0, "", 1},
        // Code 39 of any length: data, marker, identifier 0x0A, trailer.
        {{'X', '1', 0x00, 0x0A, 0x0B}, 0, LABEL_CODE_39, "X1", 1},
    };
    for (const Case& c : cases) {
        ovkhost::clearCaptures();
        BareScanner s;
        ScannerLabel* label = nullptr;
        int complete = -1;
        EXPECT_EQ(s.ParseLabelData(c.message.data(), static_cast<int>(c.message.size()), label, complete), c.rc);
        if (c.rc != 0) {
            EXPECT_EQ(label, nullptr);
            EXPECT_TRUE(ovkhost::errorLogged(12003));
            continue;
        }
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->type, c.type);
        EXPECT_EQ(Text(label), c.data);
        EXPECT_EQ(label->flags, LABEL_FLAG_LAST);
        EXPECT_EQ(complete, c.complete);
        FreeLabelChain(label);
    }
}

TEST(ScannerBase, AShortBlockIsAcceptedWhenItContinuesAnOpenLabel) {
    BareScanner s;
    const Bytes shortBlock{0x01, 0x0D};
    s.setPreviousComplete(false);
    ScannerLabel* label = nullptr;
    int complete = 0;
    ASSERT_EQ(s.ParseLabelData(shortBlock.data(), 2, label, complete), 0);
    EXPECT_EQ(Text(label), "1");
    FreeLabelChain(label);
}

TEST(ScannerBase, ALongerLabelThanExpectedIsKeptAndLogged) {
    ovkhost::clearCaptures();
    BareScanner s;
    const Bytes m{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 1, 2, 0x0D};
    ScannerLabel* label = nullptr;
    int complete = 0;
    ASSERT_EQ(s.ParseLabelData(m.data(), static_cast<int>(m.size()), label, complete), 0);
    EXPECT_EQ(label->length, 13);
    EXPECT_TRUE(ovkhost::errorLogged(12002));
    FreeLabelChain(label);
}

TEST(ScannerBase, WithoutOwnerScansAreKeptMarkedAndAPartialOneOnAReset) {
    BareScanner s;
    const Bytes a{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 1, 0x0D};
    ASSERT_EQ(s.LabelDataRcvd(a.data(), static_cast<int>(a.size()), 1), 0);
    const Bytes open{1, 2, 3, 0x10, 0x11};
    ASSERT_EQ(s.LabelDataRcvd(open.data(), static_cast<int>(open.size()), 1), 0);
    EXPECT_EQ(s.StoredScans(), 1);
    ASSERT_NE(s.PartialChain(), nullptr);
    s.CommandResetInProgress();
    EXPECT_EQ(s.StoredScans(), 2);
    EXPECT_EQ(s.PartialChain(), nullptr);
    EXPECT_EQ(s.previousComplete(), 1);
}

TEST(ScannerBase, AScanThatKeepsGrowingIsRefusedBeforeNoReadCanCarryIt) {
    ovkhost::clearCaptures();
    BareScanner s;
    // Blocks that never close their label, each 1000 data bytes.
    Bytes block(1000, 0x05);
    block.push_back(0x10);
    block.push_back(0x11);
    int rc = 0, blocks = 0;
    while (rc == 0 && blocks < 100) {
        rc = s.LabelDataRcvd(block.data(), static_cast<int>(block.size()), 1);
        ++blocks;
    }
    EXPECT_EQ(rc, POSERR_SCAN_LABEL_TOO_LONG);
    EXPECT_EQ(blocks, 33); // 32 blocks (32000 bytes) fit one read record, the 33rd does not
    EXPECT_EQ(s.PartialChain(), nullptr);
    EXPECT_EQ(s.StoredScans(), 0);
    bool found = false;
    for (const auto& e : ovkhost::errorLog()) found = found || (e.logId == 12003 && e.rc == 5723);
    EXPECT_TRUE(found);
    // The next scan is read as usual.
    const Bytes a{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 1, 0x0D};
    EXPECT_EQ(s.LabelDataRcvd(a.data(), static_cast<int>(a.size()), 1), 0);
    EXPECT_EQ(s.StoredScans(), 1);
}

// ---------------------------------------------------------------------------------------
// On model 96's link with a client.

class ScanBase : public ::testing::Test {
protected:
    void SetUp() override {
        scanner = t.Attach<SCFB96P>(SCFB96P_TYPE_ID, ScannerModel::Options{});
        ASSERT_NE(scanner, nullptr);
        ASSERT_TRUE(t.RunUntilOnline());
        t.Run(20);
    }
    std::unique_ptr<Client<SCFB96V>> Acquired(std::vector<PosArg> args = {}) {
        auto c = t.MakeClient<SCFB96V>();
        EXPECT_EQ(c->open(std::move(args)), 0);
        EXPECT_EQ(c->ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
        t.Run(20);
        return c;
    }
    // A UPC-A scan as model 96 sends it (enabled, beep on).
    static Bytes Upca(uint8_t last = 1) { return {0x10, 0x02, 0x00, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, last, 0x0D}; }
    static Bytes Record(int16_t flags, uint8_t last = 1) {
        Bytes r{0x00, 0x80, 0x00, 0x00, static_cast<uint8_t>(flags), 0x00, 0x0C, 0x00};
        for (char c : std::string("01234567890")) r.push_back(static_cast<uint8_t>(c));
        r.push_back(static_cast<uint8_t>('0' + last));
        return r;
    }

    ScanTerminal t;
    SCFB96P* scanner = nullptr;
};

TEST_F(ScanBase, AnUnlockedClientGetsTheEventAndReadsTheRecord) {
    auto c = Acquired();
    ASSERT_EQ(c->ioctl(POS_SYS_UNLOCK_DEVICE), 0);
    t.Run(20);
    EXPECT_TRUE(scanner->Enabled());
    t.Send(Upca());
    t.Run(10);
    EXPECT_EQ(c->queue.take(), (std::vector<Event>{{POSM_SCAN_DATA_AVAIL, 1, 20}}));
    Bytes out;
    ASSERT_EQ(c->read(out), 0);
    EXPECT_EQ(out, Record(1));
    // Nothing left: an enabled scanner that is online reads 0 bytes.
    EXPECT_EQ(c->read(out), 0);
    EXPECT_TRUE(out.empty());
}

TEST_F(ScanBase, ALabelInTwoBlocksIsOneLabel) {
    auto c = Acquired();
    ASSERT_EQ(c->ioctl(POS_SYS_UNLOCK_DEVICE), 0);
    t.Run(20);
    t.Send({0x10, 0x02, 0x00, 1, 2, 3, 4, 5, 6, 7, 0x10, 0x11});
    t.Send({0x10, 0x02, 0x00, 8, 9, 0, 1, 2, 3, 4, 0x00, 0x11});
    t.Run(20);
    EXPECT_EQ(c->queue.take(), (std::vector<Event>{{POSM_SCAN_DATA_AVAIL, 1, 22}}));
    Bytes out;
    ASSERT_EQ(c->read(out), 0);
    Bytes want{0x00, 0x08, 0x00, 0x00, 0x01, 0x00, 0x0E, 0x00};
    for (char ch : std::string("12345678901234")) want.push_back(static_cast<uint8_t>(ch));
    EXPECT_EQ(out, want);
}

TEST_F(ScanBase, ASupplementLabelIsReadWithoutItsTrailer) {
    auto c = Acquired();
    ASSERT_EQ(c->ioctl(POS_SYS_UNLOCK_DEVICE), 0);
    t.Run(20);
    t.Send({0x10, 0x02, 0x00, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 1, 2, 3, 0x00, 0x16, 0x0B});
    t.Run(10);
    Bytes out;
    ASSERT_EQ(c->read(out), 0);
    ASSERT_EQ(out.size(), 8u + 14u);
    EXPECT_EQ(out[0] | out[1] << 8, 0x8002);
    EXPECT_EQ(std::string(out.begin() + 8, out.end()), "01234567890123");
}

TEST_F(ScanBase, ScansWithoutOwnerReachTheNextOwnerOldestFirst) {
    t.Send(Upca(1));
    t.Send(Upca(2));
    t.Run(20);
    EXPECT_EQ(scanner->StoredScans(), 2);
    auto c = Acquired();
    EXPECT_EQ(scanner->StoredScans(), 0);
    EXPECT_EQ(c->get("labelsQueued"), 2);
    EXPECT_EQ(c->queue.take(), (std::vector<Event>{{POSM_SCAN_DATA_AVAIL, 1, 20}, {POSM_SCAN_DATA_AVAIL, 1, 20}}));
    ASSERT_EQ(c->ioctl(POS_SYS_UNLOCK_DEVICE), 0);
    Bytes out;
    ASSERT_EQ(c->read(out), 0);
    EXPECT_EQ(out, Record(LABEL_FLAG_LAST | LABEL_FLAG_DISABLED, 1));
    EXPECT_EQ(c->get("labelsQueued"), 1);
    ASSERT_EQ(c->read(out), 0);
    EXPECT_EQ(out, Record(LABEL_FLAG_LAST | LABEL_FLAG_DISABLED, 2));
}

TEST_F(ScanBase, ATooSmallBufferKeepsTheScan) {
    auto c = Acquired();
    ASSERT_EQ(c->ioctl(POS_SYS_UNLOCK_DEVICE), 0);
    t.Run(20);
    t.Send(Upca());
    t.Run(10);
    Bytes out;
    EXPECT_EQ(c->read(out, 19), 312);
    ASSERT_EQ(c->read(out, 20), 0);
    EXPECT_EQ(out, Record(1));
}

TEST_F(ScanBase, ReadsOnAnEmptyQueue) {
    auto c = t.MakeClient<SCFB96V>();
    ASSERT_EQ(c->open(), 0);
    Bytes out;
    EXPECT_EQ(c->read(out), 315); // not acquired
    ASSERT_EQ(c->ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    EXPECT_EQ(c->read(out), 335); // locked
    ASSERT_EQ(c->ioctl(POS_SYS_UNLOCK_DEVICE), 0);
    EXPECT_EQ(c->read(out), 0);
}

TEST_F(ScanBase, DiscardAndCloseDropTheQueue) {
    auto c = Acquired();
    t.Send(Upca(1));
    t.Send(Upca(2));
    t.Run(20);
    EXPECT_EQ(c->get("labelsQueued"), 2);
    EXPECT_EQ(c->ioctl(POS_SCAN_DISCARD_DATA), 0);
    EXPECT_EQ(c->get("labelsQueued"), 0);
    t.Send(Upca(3));
    t.Run(10);
    ASSERT_EQ(c->ioctl(POS_SYS_RELEASE_DEVICE), 0);
    int remaining = 0;
    EXPECT_EQ(c->Close(remaining), 320);
}

TEST_F(ScanBase, ADisabledScannerDropsLabelsWhenQueueAllIsOff) {
    auto c = Acquired({{"queueAllLabels", 0}});
    EXPECT_FALSE(scanner->QueueAllLabels());
    t.Send(Upca());
    t.Run(10);
    EXPECT_EQ(c->get("labelsQueued"), 0);
    EXPECT_TRUE(c->queue.take().empty());
}

TEST_F(ScanBase, EnableWhileEnabledChangesNothing) {
    auto c = Acquired();
    ASSERT_EQ(c->ioctl(POS_SYS_UNLOCK_DEVICE), 0);
    t.Run(20);
    const uint32_t before = scanner->PendingMask();
    const int turns = t.slot->adapter.sendTurns;
    EXPECT_EQ(scanner->TellPhys(c.get(), SCP_REQ_ENABLE, nullptr, 0), 0);
    EXPECT_EQ(scanner->PendingMask(), before);
    EXPECT_EQ(t.slot->adapter.sendTurns, turns);
    // Anyone but the owner is refused.
    auto other = t.MakeClient<SCFB96V>(2);
    EXPECT_EQ(scanner->TellPhys(other.get(), SCP_REQ_DISABLE, nullptr, 0), 315);
}

TEST_F(ScanBase, AutoDisableTurnsTheScannerOffAfterALabel) {
    auto c = Acquired({{"autoDisable", 1}});
    ASSERT_EQ(c->ioctl(POS_SYS_UNLOCK_DEVICE), 0);
    t.Run(20);
    t.Send(Upca());
    t.Run(20);
    EXPECT_FALSE(scanner->Enabled());
    EXPECT_FALSE(t.model->enabled());
    EXPECT_EQ(t.Commands().back(), Bytes{0x12});
}

TEST_F(ScanBase, ACommandUnansweredForTwoSecondsBecomesAReset) {
    ovkhost::clearCaptures();
    auto c = Acquired();
    // The enable is acknowledged on the link but never answered.
    t.slot->adapter.swallowCommands = 1;
    ASSERT_EQ(c->ioctl(POS_SYS_UNLOCK_DEVICE), 0);
    t.Run(195); // 1.95 s
    EXPECT_FALSE(ovkhost::errorLogged(12005));
    EXPECT_TRUE(scanner->Outstanding());
    t.Run(10);
    EXPECT_TRUE(ovkhost::errorLogged(12005));
    // The reset command goes out; the scanner starts again and comes back.
    t.Run(5);
    EXPECT_EQ(t.Commands().back(), (Bytes{0x00, 0x40}));
    ASSERT_TRUE(t.RunUntilOnline(2000));
    t.Run(50);
    // Back online the scanner is enabled again, as the client left it.
    EXPECT_TRUE(t.model->enabled());
}

TEST_F(ScanBase, TheScannersResetCommandPowersItOnAndItComesBack) {
    auto c = Acquired();
    ASSERT_EQ(c->ioctl(POS_SYS_UNLOCK_DEVICE), 0);
    t.Run(20);
    const int resets = t.model->resets();
    ASSERT_TRUE(t.model->fault("hw"));
    t.Run(20);
    EXPECT_TRUE(ovkhost::errorLogged(13402));
    EXPECT_GT(t.model->resets(), resets);
    ASSERT_TRUE(t.RunUntilOnline(2000));
    t.Run(50);
    EXPECT_TRUE(t.model->enabled());
    EXPECT_EQ(scanner->PendingMask(), 0u);
}

} // namespace
} // namespace scantest
