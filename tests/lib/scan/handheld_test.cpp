// Hand-held scanner models 1, 2 and 20 and their identifier on the simulated link: start-up
// after the power-on status, block reads, scans without label, auto-disable's pause, the
// reject counter, the properties and their configure commands, and the identifier's probes.
#include <gtest/gtest.h>

#include "Oracle_4B.h"
#include "SCHH1P.h"
#include "SCHH1V.h"
#include "SCHH20P.h"
#include "SCHH20V.h"
#include "ScanTerminal.h"

namespace scantest {
namespace {

const Bytes kDefaultHandHeld{0x20, 0x00, 0x24, 0x00, 0x00, 0x00};

ScannerModel::Options Model(ScannerModel::Kind kind) {
    ScannerModel::Options o;
    o.kind = kind;
    return o;
}

int Count(uint32_t id) {
    int n = 0;
    for (const auto& e : ovkhost::errorLog()) n += e.logId == id;
    return n;
}

class HandHeld : public ::testing::Test {
protected:
    template <class P>
    P* Up(unsigned short typeId, ScannerModel::Kind kind) {
        P* p = t.Attach<P>(typeId, Model(kind));
        EXPECT_NE(p, nullptr);
        EXPECT_TRUE(t.RunUntilOnline());
        t.Run(30);
        return p;
    }
    // An acquired, enabled client.
    template <class V>
    std::unique_ptr<Client<V>> Scanning(std::vector<PosArg> args = {}) {
        auto c = t.MakeClient<V>();
        EXPECT_EQ(c->open(args), 0);
        EXPECT_EQ(c->ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
        EXPECT_EQ(c->ioctl(POS_SYS_UNLOCK_DEVICE), 0);
        t.Run(20);
        c->queue.take();
        return c;
    }
    Bytes Configure(const SCV& v) { return Bytes(v.ConfigureBuffer(), v.ConfigureBuffer() + v.ConfigureLength()); }
    ScanTerminal t;
};

// Acquiring a scanner while it is offline fails with 317 and holds nothing: asked again it is
// not "already acquired", another client acquires it once it is back, and no state of the
// failed acquire (an enable, a configure) goes to the scanner.
TEST_F(HandHeld, AnAcquireWhileOfflineFailsAndHoldsNothing) {
    auto* p = Up<SCHH2P>(SCHH2P_TYPE_ID, ScannerModel::Kind::HandHeld2);
    auto a = t.MakeClient<SCHH2V>(1);
    auto b = t.MakeClient<SCHH2V>(2);
    ASSERT_EQ(a->open(), 0);
    ASSERT_EQ(b->open(), 0);
    t.pollTimeoutsWhenAway = true;
    t.station->takeAway();
    for (int i = 0; i < 3000 && p->Confirmed(kAddress); ++i) t.Cycle();
    ASSERT_FALSE(p->Confirmed(kAddress));
    EXPECT_EQ(a->ioctl(POS_SYS_ACQUIRE_DEVICE), 317);
    EXPECT_FALSE(a->IsHolding());
    EXPECT_EQ(p->GetOwner(), nullptr);
    EXPECT_EQ(a->ioctl(POS_SYS_ACQUIRE_DEVICE), 317);
    t.station->bringBack();
    ASSERT_TRUE(t.RunUntilOnline());
    EXPECT_EQ(b->ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    EXPECT_EQ(p->GetOwner(), b.get());
}

TEST_F(HandHeld, Model2StartsAfterThePowerOnStatusWithoutAnError) {
    auto* p = Up<SCHH2P>(SCHH2P_TYPE_ID, ScannerModel::Kind::HandHeld2);
    // The first answer after power-on is status 1 = 80: no error, no reset.
    EXPECT_TRUE(ovkhost::errorLog().empty());
    EXPECT_FALSE(p->PowerOnSeen());
    EXPECT_EQ(t.Commands(), (std::vector<Bytes>{{0x00, 0x80}, {0x12, 0x00}, kDefaultHandHeld, {0x14, 0x00}}));
    EXPECT_EQ(t.events.take(), (std::vector<Event>{{POSM_SYS_DEVICE_ONLINE, 0x01114A04, 2}}));
    EXPECT_EQ(p->PendingMask(), 0u);
    EXPECT_EQ(p->GetECLevel(), 0x21);
}

TEST_F(HandHeld, ABlockReadIsOneScanOfThreeRecords) {
    Up<SCHH2P>(SCHH2P_TYPE_ID, ScannerModel::Kind::HandHeld2);
    auto c = Scanning<SCHH2V>({{"blockReadMode", 3}});
    t.model->scan({{1, 2, 3, 4, 5, 6, 7, 0, 0x0C}, {0, 1, 2, 3, 4, 5, 6, 5, 0x0C}, {9, 8, 7, 6, 5, 4, 3, 1, 0x0C}});
    t.Run(10);
    EXPECT_EQ(c->queue.take(), (std::vector<Event>{{POSM_SCAN_DATA_AVAIL, 1, 3 * 16}}));
    Bytes out;
    ASSERT_EQ(c->read(out), 0);
    ASSERT_EQ(out.size(), 48u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(out[16 * i] | out[16 * i + 1] << 8, LABEL_EAN_8);
        EXPECT_EQ(out[16 * i + 4], i == 2 ? 1 : 0) << i; // flags 0, 0, 1
    }
    EXPECT_EQ(std::string(out.begin() + 8, out.begin() + 16), "12345670");
    EXPECT_EQ(std::string(out.begin() + 40, out.begin() + 48), "98765431");
    EXPECT_EQ(c->read(out), 0);
    EXPECT_TRUE(out.empty());
}

TEST_F(HandHeld, AScanWithoutLabelIsAnEmptyRecord) {
    Up<SCHH1P>(SCHH1P_TYPE_ID, ScannerModel::Kind::HandHeld1);
    auto c = Scanning<SCHH1V>();
    ASSERT_TRUE(t.model->noRead());
    t.Run(10);
    Bytes out;
    ASSERT_EQ(c->read(out), 0);
    EXPECT_EQ(out, (Bytes{0x00, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00}));
}

TEST_F(HandHeld, AutoDisableCostsAPauseAndDisablesTheScanner) {
    Up<SCHH1P>(SCHH1P_TYPE_ID, ScannerModel::Kind::HandHeld1);
    auto c = Scanning<SCHH1V>({{"autoDisable", 1}});
    ASSERT_TRUE(t.model->enabled());
    const int32_t before = chTime();
    ASSERT_TRUE(t.model->label("upca", "012345678905"));
    t.Run(1); // the label's turn: one cycle of 10 ms and the pause
    t.Run(1);
    EXPECT_GE(chTimeDiff(chTime(), before), 250 + 20);
    t.Run(10);
    EXPECT_FALSE(t.model->enabled());
    Bytes out;
    ASSERT_EQ(c->read(out), 0);
    EXPECT_EQ(out.size(), 20u);
}

TEST_F(HandHeld, AnAnnouncedEcLevelThatIsMissingIsALengthError) {
    auto* p = Up<SCHH1P>(SCHH1P_TYPE_ID, ScannerModel::Kind::HandHeld1);
    auto c = Scanning<SCHH1V>();
    t.Send({0x01, 0x01, 0x00}); // EC level announced in 3 bytes, and a byte of label
    t.Run(5);
    EXPECT_TRUE(ovkhost::errorLogged(12201));
    EXPECT_EQ(p->GetECLevel(), 0x21);
    EXPECT_EQ(c->QueuedScans(), 0);
    t.Send({0x00}); // too short altogether
    t.Run(5);
    EXPECT_EQ(Count(12201), 2);
}

TEST_F(HandHeld, ThreeRejectionsRestoreTheDefaultConfiguration) {
    auto* p = Up<SCHH1P>(SCHH1P_TYPE_ID, ScannerModel::Kind::HandHeld1);
    auto c = t.MakeClient<SCHH1V>();
    ASSERT_EQ(c->open({{"barCodes1", LGROUP_UPC_EAN_CODE_39}}), 0);
    ASSERT_EQ(c->ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    t.Run(20);
    const Bytes mine{0x20, 0x00, 0x30, 0x00, 0x00, 0x00};
    ASSERT_EQ(t.model->configure(), mine);
    ovkhost::clearCaptures();
    // Rejections one after the other: each logged and a reset queued; the third brings the
    // default back, and later ones are no longer logged.
    const unsigned char rejected[] = {0x00, 0x82};
    p->Lock();
    for (int i = 0; i < 4; ++i) {
        p->NewMsgRcvd(rejected, 2);
        EXPECT_EQ(p->Rejections(), i + 1);
        EXPECT_EQ(Bytes(p->Configure(), p->Configure() + 6), i < 2 ? mine : kDefaultHandHeld) << i;
        EXPECT_TRUE(p->PendingMask() & 1u);
    }
    p->Unlock();
    EXPECT_EQ(Count(12202), 3);
    // The scanner is reset and configured with the default, paced after the fourth reject
    // in a row; a clean answer clears the count.
    ASSERT_TRUE(t.RunUntilOnline());
    t.Run(500);
    EXPECT_EQ(t.model->configure(), kDefaultHandHeld);
    EXPECT_EQ(p->Rejections(), 0);
}

// A hand-held scanner that rejects every command from its power-on (one returning to the bus
// while it rejects): its start-up goes again at once three times, then once a second, never
// a loop of resets and configures; once the rejects stop it comes online without a request.
TEST(HandHeldRejecting, AScannerRejectingItsStartUpIsPacedAndComesOnlineOnceItAnswers) {
    const struct Case {
        const char* name;
        unsigned short type;
        ScannerModel::Kind kind;
    } cases[] = {
        {"model 1", SCHH1P_TYPE_ID, ScannerModel::Kind::HandHeld1},
        {"model 2", SCHH2P_TYPE_ID, ScannerModel::Kind::HandHeld2},
        {"model 20", SCHH20P_TYPE_ID, ScannerModel::Kind::HandHeld20},
    };
    for (const Case& c : cases) {
        ScanTerminal t;
        ScannerModel::Options o = Model(c.kind);
        ASSERT_NE(t.Attach<PDEV>(c.type, o), nullptr) << c.name;
        t.model->reject(1000);
        t.Run(300); // 3 s
        const size_t frames = t.Commands().size();
        // A round of start-up commands for each of the first three refusals, then one frame
        // a second: far below a frame per poll cycle.
        EXPECT_LE(frames, 20u) << c.name;
        EXPECT_FALSE(t.device->Confirmed(kAddress)) << c.name;
        t.model->reject(0);
        EXPECT_TRUE(t.RunUntilOnline(300)) << c.name;
    }
}

TEST_F(HandHeld, ModelOneRefusesModelTwosGroupsOnTheWire) {
    auto* p = Up<SCHH1P>(SCHH1P_TYPE_ID, ScannerModel::Kind::HandHeld1);
    ovkhost::clearCaptures();
    auto c = t.MakeClient<SCHH1V>();
    ASSERT_EQ(c->open(), 0);
    ASSERT_EQ(c->ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    const unsigned char model2[] = {0x20, 0x00, 0x70, 0x00, 0x00, 0x00};
    // As a client of model 2 would configure it: refused, logged, the scanner reset.
    p->Lock();
    EXPECT_EQ(p->TellPhys(c.get(), SCP_REQ_CONFIGURE, const_cast<unsigned char*>(model2), 6), 0);
    p->Unlock();
    t.Run(100);
    EXPECT_TRUE(ovkhost::errorLogged(12202));
    EXPECT_GE(t.model->resets(), 2);
    // After the third refusal the default configuration goes, and the scanner takes it: the
    // clean answers of the start-up commands between the refusals do not restart the count.
    EXPECT_EQ(Count(12202), 3);
    EXPECT_EQ(p->Rejections(), 0);
    EXPECT_EQ(Bytes(p->Configure(), p->Configure() + 6), kDefaultHandHeld);
    const size_t settled = t.Commands().size();
    t.Run(300);
    EXPECT_EQ(t.Commands().size(), settled);
}

TEST_F(HandHeld, PropertiesAndTheirRules) {
    Up<SCHH2P>(SCHH2P_TYPE_ID, ScannerModel::Kind::HandHeld2);
    struct Case {
        std::vector<PosArg> args;
        int rc;
    } cases[] = {
        {{{"dTouchMode", 1}, {"blockReadMode", 2}}, 5709},
        {{{"block1Type", LABEL_UPC_D3}, {"blockReadMode", 3}}, 5709},
        {{{"barCodes1", LGROUP_PLUS_2_5_ONLY}, {"block1Type", LABEL_EAN_8_PLUS_5}, {"blockReadMode", 2}}, 5709},
        {{{"blockReadMode", 4}}, 5709},
        {{{"barCodes1", LGROUP_UPC_EAN}}, 5702},
        {{{"block1Type", LABEL_CODE_39}}, 5710},                             // not with D3
        {{{"blockReadMode", 2}, {"block2Type", LABEL_UPC_D3}}, 5711},        // block 1 only
        {{{"blockReadMode", 2}, {"block3Type", LABEL_UPC_D3}}, 0},           // block 3 unused
        {{{"blockReadMode", 3}, {"block3Type", LABEL_CODE_128}}, 5712},
        {{{"barCodes1", LGROUP_CODE_128}, {"blockReadMode", 3}, {"block3Type", LABEL_CODE_128}}, 0},
        {{{"checkModulo", 2}}, 5713},
        {{{"dTouchMode", 2}}, 5715},
    };
    for (Case& k : cases) {
        auto c = t.MakeClient<SCHH2V>();
        EXPECT_EQ(c->open(k.args), k.rc) << k.args[0].name << " " << k.args.size();
    }
    // Model 1 takes neither model 2's groups nor its block types.
    auto one = t.MakeClient<SCHH1V>();
    EXPECT_EQ(one->open({{"barCodes1", LGROUP_CODE_128}}), 5702);
    EXPECT_EQ(one->open({{"barCodes1", LGROUP_UPC_EAN_ITF}, {"block1Type", LABEL_CODE_93}}), 5710);
}

TEST_F(HandHeld, PropertiesAreCodedIntoTheConfigureCommand) {
    Up<SCHH2P>(SCHH2P_TYPE_ID, ScannerModel::Kind::HandHeld2);
    auto c = Scanning<SCHH2V>({{"barCodes1", LGROUP_UPC_EAN_2_5_CODABAR},
                               {"blockReadMode", 3},
                               {"block1Type", LABEL_CODABAR},
                               {"block2Type", LABEL_EAN_13},
                               {"block3Type", LABEL_UPC_A},
                               {"checkModulo", 1}});
    EXPECT_EQ(Configure(*c), (Bytes{0x20, 0x00, 0x77, 0x2E, 0x16, 0x0D}));
    EXPECT_EQ(t.model->configure(), Configure(*c));
    auto d = t.MakeClient<SCHH2V>(2);
    ASSERT_EQ(d->open({{"barCodes1", LGROUP_PLUS_2_5_ONLY}, {"block1Type", LABEL_UPC_A_PLUS_2},
                       {"blockReadMode", 1}, {"block2Type", LABEL_UPC_A}, {"dTouchMode", 1}}), 0);
    d->UpdateConfigData();
    EXPECT_EQ(Configure(*d), (Bytes{0x20, 0x00, 0xC8, 0x36, 0x00, 0x00}));
}

TEST_F(HandHeld, Model20StartsWithItsHeadBeepAndSwitchesItWithTheBeep) {
    auto* p = Up<SCHH20P>(SCHH20P_TYPE_ID, ScannerModel::Kind::HandHeld20);
    // The head beep pending from construction gives way to the power-on's start-up commands.
    EXPECT_EQ(t.Commands(), (std::vector<Bytes>{{0x00, 0x80}, {0x12}, {0x31, 0x80}, {0x14}}));
    EXPECT_EQ(t.events.take(), (std::vector<Event>{{POSM_SYS_DEVICE_ONLINE, 0x01114A04, 3}}));
    EXPECT_EQ(p->PendingMask(), 0u);
    auto c = Scanning<SCHH20V>({{"beepState", 0}});
    const std::vector<Bytes> sent = t.Commands();
    EXPECT_NE(std::find(sent.begin(), sent.end(), Bytes{0x21}), sent.end());
    EXPECT_NE(std::find(sent.begin(), sent.end(), Bytes{0x18}), sent.end());
    EXPECT_EQ(p->PendingMask(), 0u);
    EXPECT_TRUE(ovkhost::errorLog().empty());

    ASSERT_TRUE(t.model->noRead());
    ASSERT_TRUE(t.model->label("ean8", "12345670"));
    t.Run(10);
    Bytes out;
    ASSERT_EQ(c->read(out), 0);
    EXPECT_EQ(out, (Bytes{0x00, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00}));
    ASSERT_EQ(c->read(out), 0);
    EXPECT_EQ(out.size(), 16u);
}

TEST_F(HandHeld, Model20PropertiesAndConfigure) {
    Up<SCHH20P>(SCHH20P_TYPE_ID, ScannerModel::Kind::HandHeld20);
    auto bad = t.MakeClient<SCHH20V>();
    EXPECT_EQ(bad->open({{"barCodes1", LGROUP_NONE}}), 5702);
    EXPECT_EQ(bad->open({{"barCodes2", LGROUP_CODABAR}}), 5703);
    EXPECT_EQ(bad->open({{"barCodes3", LGROUP_UPC_EAN_D3}}), 5747);
    EXPECT_EQ(bad->open({{"barCodes4", LGROUP_CODE_128}}), 5748);
    EXPECT_EQ(bad->open({{"barCodes3", LGROUP_INT_2_OF_5}, {"iTFLength1", 32}}), 5716);
    EXPECT_EQ(bad->open({{"barCodes4", LGROUP_INT_2_OF_5}, {"iTFLength1", 0}}), 5716);

    auto c = t.MakeClient<SCHH20V>();
    ASSERT_EQ(c->open(), 0);
    c->UpdateConfigData();
    EXPECT_EQ(Configure(*c), (Bytes{0x31, 0xC0})); // UPC/EAN and D1 to D5
    auto d = t.MakeClient<SCHH20V>(2);
    ASSERT_EQ(d->open({{"barCodes2", LGROUP_CODE_39}, {"barCodes3", LGROUP_INT_2_OF_5}, {"iTFLength1", 30}}), 0);
    ASSERT_EQ(d->ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    EXPECT_EQ(Configure(*d), (Bytes{0x31, 0xBF}));
    t.Run(20);
    EXPECT_EQ(t.model->configure(), Configure(*d));
    // A length that counts for nothing stays within its four bits.
    auto e = t.MakeClient<SCHH20V>(3);
    ASSERT_EQ(e->open({{"iTFLength1", 34}}), 0);
    e->UpdateConfigData();
    EXPECT_EQ(Configure(*e), (Bytes{0x31, 0xC1}));
}

// ---------------------------------------------------------------------------------------
// The identifier.

class Judged : public Oracle_4B {
public:
    Judged() : Oracle_4B(DeviceID(kSlot, kPort, 0x4B)) {}
    // The state after an answer to probe in state.
    int32_t After(int32_t state, const unsigned char* probe, const Bytes& answer) {
        state_ = state;
        lastSent_ = probe;
        pending_ = nullptr;
        pendingLength_ = 0;
        Judge(answer.data(), static_cast<int>(answer.size()));
        return state_;
    }
    const unsigned char* Next() const { return pending_; }
    // The state after the whole reply handling of an answer in state.
    int32_t Receive(int32_t state, const unsigned char* probe, const Bytes& answer) {
        state_ = state;
        lastSent_ = probe;
        NewMsgRcvd(answer.data(), static_cast<int>(answer.size()));
        return state_;
    }
};

TEST(HandHeldIdentifier, TheStateTable) {
    const unsigned char* m20 = Oracle_4B::kModel20Probe;
    const unsigned char* m2 = Oracle_4B::kModel2Probe;
    struct Case {
        int32_t state;
        const unsigned char* probe;
        Bytes answer;
        int32_t next;
        const unsigned char* sends;
    } cases[] = {
        {1, m20, {0x00, 0x00, 0x00}, Oracle_4B::MODEL_20, nullptr},
        {1, m20, {0x00, 0x00, 0x00, 0x00}, Oracle_4B::MODEL_20, nullptr},
        {1, m20, {0x40, 0x00, 0x00, 0x00}, 1, m2},
        {1, m20, {0x00, 0x00}, 1, m2},
        {1, m20, {0x00, 0x80}, 2, m20},
        {1, m20, {0x00, 0x10, 0x00}, 2, m20},
        {2, m20, {0x00, 0x00}, Oracle_4B::MODEL_20, nullptr}, // the state-2 case
        {2, m20, {0x00, 0x40}, 1, m2},
        {2, m20, {0x40, 0x00, 0x00, 0x00}, 1, m2},
        {1, m2, {0x00, 0x00}, Oracle_4B::MODEL_2, nullptr},
        {2, m2, {0x00, 0x00}, Oracle_4B::MODEL_2, nullptr},
        {1, m2, {0x00, 0x80}, 2, m2},
        {2, m2, {0x00, 0x80}, Oracle_4B::MODEL_1, nullptr},
    };
    int i = 0;
    for (const Case& k : cases) {
        Judged o;
        EXPECT_EQ(o.After(k.state, k.probe, k.answer), k.next) << "case " << i;
        EXPECT_EQ(o.Next(), k.sends) << "case " << i;
        ++i;
    }
}

long Identify(ScannerModel::Kind kind, std::vector<Bytes>* commands = nullptr) {
    ScanTerminal t;
    auto* o = t.Attach<Oracle_4B>(ORACLE_4B_TYPE_ID, Model(kind));
    EXPECT_NE(o, nullptr);
    if (!o) return 0;
    t.Run(400);
    if (commands) *commands = t.Commands();
    return t.slot->madeType;
}

TEST(HandHeldIdentifier, TellsTheSimulatedModelsApart) {
    std::vector<Bytes> commands;
    EXPECT_EQ(Identify(ScannerModel::Kind::HandHeld20, &commands), 34400);
    EXPECT_EQ(commands, (std::vector<Bytes>{{0x31, 0x80}}));
    const Bytes m20{0x31, 0x80}, m2{0x20, 0x00, 0x70, 0x00, 0x00, 0x00};
    // Models 1 and 2 refuse the first probe in their power-on state and answer the second
    // as not model 20.
    EXPECT_EQ(Identify(ScannerModel::Kind::HandHeld2, &commands), 12400);
    EXPECT_EQ(commands, (std::vector<Bytes>{m20, m20, m2}));
    EXPECT_EQ(Identify(ScannerModel::Kind::HandHeld1, &commands), 12200);
    EXPECT_EQ(commands, (std::vector<Bytes>{m20, m20, m2, m2}));
}

TEST(HandHeldIdentifier, AShortAnswerIsLoggedAndChangesNothing) {
    ovkhost::clearCaptures();
    Judged o;
    EXPECT_EQ(o.Receive(Oracle_4B::RETRYING, Oracle_4B::kModel2Probe, {0x00}), Oracle_4B::RETRYING);
    EXPECT_TRUE(ovkhost::errorLogged(12601));
}

} // namespace
} // namespace scantest
