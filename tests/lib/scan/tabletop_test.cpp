// The table-top scanner models on the simulated link: start-up and online, the configure
// command built from the client's properties and its checks, the replies that refuse a
// configuration, the two-label flag configuration of models 97 and 98, and model 87.
#include <gtest/gtest.h>

#include <algorithm>

#include "SCFB87.h"
#include "SCFB96P.h"
#include "SCFB96V.h"
#include "SCFB97P.h"
#include "SCFB97V.h"
#include "SCFB98P.h"
#include "SCFB98V.h"
#include "NearWrap.h"
#include "ScanTerminal.h"

namespace scantest {
namespace {

const Bytes kDefault96{0x20, 0x02, 0x00, 0x00, 0xD9, 0x00, 0x51, 0x04, 0x03, 0xA2, 0x00, 0x00};
const Bytes kDefault98{0x20, 0x02, 0x40, 0x00, 0x19, 0x00, 0x51, 0x04, 0x03, 0xA2, 0x00, 0x00};
const Bytes kDefaultFlags{0x23, 0x21, 0x22, 0x21, 0x28, 0x21, 0x29, 0x21, 0x22};

ScannerModel::Options Model(ScannerModel::Kind kind) {
    ScannerModel::Options o;
    o.kind = kind;
    return o;
}

Bytes Configure(const SCV& v) {
    return Bytes(v.ConfigureBuffer(), v.ConfigureBuffer() + v.ConfigureLength());
}

TEST(Tabletop96, StartsUpInOrderAndGoesOnlineOnTheConfiguresAcceptance) {
    ScanTerminal t;
    auto* p = t.Attach<SCFB96P>(SCFB96P_TYPE_ID, Model(ScannerModel::Kind::Scan96));
    ASSERT_NE(p, nullptr);
    ASSERT_TRUE(t.RunUntilOnline());
    // Online on the configure's acceptance (the reply that confirms it asks for the echo).
    EXPECT_EQ(t.Commands(), (std::vector<Bytes>{{0x00, 0x80}, {0x12}, kDefault96, {0x21}}));
    EXPECT_TRUE(p->Outstanding());
    EXPECT_EQ(t.events.take(), (std::vector<Event>{{POSM_SYS_DEVICE_ONLINE, 0x01114A04, 4}}));
    t.Run(20);
    EXPECT_EQ(t.Commands(), (std::vector<Bytes>{{0x00, 0x80}, {0x12}, kDefault96, {0x21}, {0x14}}));
    EXPECT_EQ(p->PendingMask(), 0u);
    EXPECT_EQ(p->GetECLevel(), 0x21);
    EXPECT_EQ(Bytes(p->Echo(), p->Echo() + 11), Bytes(kDefault96.begin() + 1, kDefault96.end()));
    EXPECT_FALSE(ovkhost::errorLogged(13403));
}

TEST(Tabletop96, NothingGoesOutBeforeTheResetHasSettledForThreeSeconds) {
    ScanTerminal t;
    t.Attach<SCFB96P>(SCFB96P_TYPE_ID, Model(ScannerModel::Kind::Scan96));
    t.Run(280); // the link comes up within a few cycles; 2.8 s in all
    EXPECT_TRUE(t.Commands().empty());
    ASSERT_TRUE(t.RunUntilOnline(100));
}

class Tabletop : public ::testing::Test {
protected:
    template <class P>
    P* Up(unsigned short typeId, ScannerModel::Options options) {
        P* p = t.Attach<P>(typeId, options);
        EXPECT_NE(p, nullptr);
        EXPECT_TRUE(t.RunUntilOnline());
        t.Run(30);
        sent = t.Commands().size();
        return p;
    }
    // Commands since the last call.
    std::vector<Bytes> NewCommands() {
        std::vector<Bytes> all = t.Commands();
        std::vector<Bytes> out(all.begin() + static_cast<long>(sent), all.end());
        sent = all.size();
        return out;
    }
    template <class V>
    std::unique_ptr<Client<V>> Opened(std::vector<PosArg> args, int* rc) {
        auto c = t.MakeClient<V>();
        *rc = c->open(std::move(args));
        return c;
    }

    ScanTerminal t;
    size_t sent = 0;
};

TEST_F(Tabletop, DefaultPropertiesRebuildTheDefaultCommandSoAcquireSendsNone) {
    auto* p = Up<SCFB96P>(SCFB96P_TYPE_ID, Model(ScannerModel::Kind::Scan96));
    int rc = -1;
    auto c = Opened<SCFB96V>({}, &rc);
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(c->ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    EXPECT_EQ(Configure(*c), kDefault96);
    t.Run(30);
    EXPECT_TRUE(NewCommands().empty());
    EXPECT_EQ(p->PendingMask(), 0u);
}

TEST_F(Tabletop, ALowBeepVolumeIsSentAsZero) {
    Up<SCFB96P>(SCFB96P_TYPE_ID, Model(ScannerModel::Kind::Scan96));
    t.Resources("scanner.beepVolume: LOW\n");
    int rc = -1;
    auto c = Opened<SCFB96V>({}, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(c->get("beepVolume"), 1);
    ASSERT_EQ(c->ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    t.Run(30);
    Bytes want = kDefault96;
    want[4] = 0xC1;
    EXPECT_EQ(NewCommands(), (std::vector<Bytes>{want}));
    EXPECT_EQ(t.model->configure(), want);
}

TEST_F(Tabletop, AConfigureThatChangesOnlyTheBeepStateQueuesNothing) {
    auto* p = Up<SCFB96P>(SCFB96P_TYPE_ID, Model(ScannerModel::Kind::Scan96));
    int rc = -1;
    auto c = Opened<SCFB96V>({}, &rc);
    ASSERT_EQ(c->ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    t.Run(10);
    NewCommands();
    ASSERT_EQ(c->ioctl(POS_SYS_SET_VALUES, {{"beepState", 0}}), 0);
    EXPECT_EQ(p->Configure()[4], 0xD8);
    t.Run(30);
    EXPECT_EQ(NewCommands(), (std::vector<Bytes>{{0x18}})); // the beep command alone
}

TEST_F(Tabletop, PropertiesAreCodedIntoTheConfigureCommand) {
    Up<SCFB96P>(SCFB96P_TYPE_ID, Model(ScannerModel::Kind::Scan96));
    struct Case {
        const char* name;
        intptr_t value;
        int byte;
        uint8_t want;
    } cases[] = {
        {"laserTimeout", 15, 8, 0x03},      // 15 is sent as 0
        {"laserTimeout", 10, 8, 0x13},
        {"motorTimeout", 60, 8, 0x00},      // 60 is sent as 0
        {"motorTimeout", 30, 8, 0x04},
        {"uPCEScansPerRead", 1, 6, 0x55},   // second rule: 1 is 1
        {"uPCEScansPerRead", 2, 6, 0x51},   // and 2 is 0
        {"uPCAScansPerRead", 0, 6, 0x51},   // first rule: 0 is sent as 1
        {"uPCAScansPerRead", 4, 6, 0x53},
        {"barCodes1", LGROUP_UPC_EAN, 1, 0x01},
        {"decodeAlgorithm", 0, 7, 0x44},
        {"verifyPriceChk", 2, 2, 0x80},
        {"uPCExpansion", 5, 2, 0x14},
        {"beepFreq", 1, 4, 0x19},           // 1 is sent as 0
        {"dReadTimeout", 2, 8, 0x43},
        {"blinkLength", 0, 9, 0xA0},
        {"bVolSwitchState", 0, 9, 0x82},
    };
    for (const Case& k : cases) {
        int rc = -1;
        auto c = Opened<SCFB96V>({{k.name, k.value}}, &rc);
        ASSERT_EQ(rc, 0) << k.name;
        ASSERT_EQ(c->ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
        EXPECT_EQ(Configure(*c)[static_cast<size_t>(k.byte)], k.want) << k.name << "=" << k.value;
    }
}

TEST_F(Tabletop, BadValuesAreRefusedAtOpen) {
    Up<SCFB96P>(SCFB96P_TYPE_ID, Model(ScannerModel::Kind::Scan96));
    struct Case {
        const char* name;
        intptr_t value;
        int rc;
    } cases[] = {
        {"barCodes1", LGROUP_NONE, 5702}, {"beepFreq", 4, 5704},       {"beepVolume", -1, 5707},
        {"bVolSwitchState", 2, 5725},     {"decodeAlgorithm", 2, 5726}, {"dReadTimeout", 3, 5714},
        {"laserTimeout", 20, 5718},       {"blinkLength", 3, 5708},     {"motorTimeout", 45, 5719},
        {"eAN13ScansPerRead", 5, 5727},   {"eAN8ScansPerRead", 5, 5728}, {"storeScansPerRead", 5, 5729},
        {"uPCAScansPerRead", 5, 5730},    {"uPCDScansPerRead", 5, 5731}, {"uPCEScansPerRead", 5, 5732},
        {"uPCExpansion", 6, 5733},        {"verifyPriceChk", 3, 5734},  {"beepState", 2, 5706},
        {"queueAllLabels", 2, 5735},      {"autoDisable", 2, 5754},
    };
    for (const Case& k : cases) {
        int rc = -1;
        auto c = Opened<SCFB96V>({{k.name, k.value}}, &rc);
        EXPECT_EQ(rc, k.rc) << k.name;
        EXPECT_EQ(c->OpenCount(), 0) << k.name;
    }
    // A bad value from the resource file closes the device again as well.
    t.Resources("scanner.motorTimeout: 7\n");
    int rc = -1;
    auto c = Opened<SCFB96V>({}, &rc);
    EXPECT_EQ(rc, 5719);
    EXPECT_EQ(c->OpenCount(), 0);
}

TEST_F(Tabletop, ARejectedConfigurationFallsBackToTheDefaultOnce) {
    auto* p = Up<SCFB96P>(SCFB96P_TYPE_ID, Model(ScannerModel::Kind::Scan96));
    t.model->reject(1);
    int rc = -1;
    auto c = Opened<SCFB96V>({{"beepVolume", 0}}, &rc);
    ASSERT_EQ(c->ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    t.Run(30);
    Bytes asked = kDefault96;
    asked[4] = 0xC1;
    EXPECT_EQ(NewCommands(), (std::vector<Bytes>{asked, kDefault96}));
    EXPECT_EQ(t.model->configure(), kDefault96);
    EXPECT_EQ(p->PendingMask(), 0u);
    EXPECT_FALSE(ovkhost::errorLogged(13405));
}

// A refused default stays pending: it goes again at once three times in a row, then once a
// second, and the commands after it wait; once the scanner takes it, they go.
TEST_F(Tabletop, ARefusedDefaultGoesAgainPacedUntilTheScannerTakesIt) {
    auto* p = Up<SCFB96P>(SCFB96P_TYPE_ID, Model(ScannerModel::Kind::Scan96));
    t.model->reject(1000);
    int rc = -1;
    auto c = Opened<SCFB96V>({{"beepVolume", 0}}, &rc);
    ASSERT_EQ(c->ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    ASSERT_EQ(c->ioctl(POS_SYS_UNLOCK_DEVICE), 0);
    t.Run(40); // 0.4 s
    Bytes asked = kDefault96;
    asked[4] = 0xC1;
    // The client's configure, then the default at once three times.
    EXPECT_EQ(NewCommands(), (std::vector<Bytes>{asked, kDefault96, kDefault96, kDefault96}));
    EXPECT_TRUE(ovkhost::errorLogged(13405));
    t.Run(200); // 2.4 s
    EXPECT_EQ(NewCommands(), (std::vector<Bytes>{kDefault96, kDefault96}));
    EXPECT_NE(p->PendingMask() & (1u << SCP_SLOT_CONFIGURE), 0u);
    t.model->reject(0);
    t.Run(110);
    const std::vector<Bytes> after = NewCommands();
    ASSERT_GE(after.size(), 2u);
    EXPECT_EQ(after[0], kDefault96);
    EXPECT_NE(std::find(after.begin(), after.end(), Bytes{0x11}), after.end());
    EXPECT_EQ(t.model->configure(), kDefault96);
    EXPECT_EQ(p->PendingMask(), 0u);
}

// The start-up configure refused once (a scanner that returns, a daemon restarting): it goes
// again and the scanner comes online.
TEST(Tabletop96, AStartUpConfigureRefusedOnceStillBringsTheScannerOnline) {
    ScanTerminal t;
    auto* p = t.Attach<SCFB96P>(SCFB96P_TYPE_ID, Model(ScannerModel::Kind::Scan96));
    ASSERT_NE(p, nullptr);
    t.model->reject(1);
    ASSERT_TRUE(t.RunUntilOnline());
    EXPECT_EQ(t.Commands(), (std::vector<Bytes>{{0x00, 0x80}, {0x12}, kDefault96, kDefault96, {0x21}}));
}

TEST_F(Tabletop, AnEchoThatDiffersIsLoggedAndOneCutShortIsNotReadPast) {
    auto* p = Up<SCFB96P>(SCFB96P_TYPE_ID, Model(ScannerModel::Kind::Scan96));
    ovkhost::clearCaptures();
    Bytes echo = kDefault96;
    echo[4] = 0x00;     // the beep and volume bits differ
    echo[0] = 0x00;     // status 2
    echo.insert(echo.begin(), {0x12, 0x00}); // status 0 (echo follows, beep), status 1
    t.Send(echo);
    t.Run(5);
    EXPECT_TRUE(ovkhost::errorLogged(13403));
    ovkhost::clearCaptures();
    t.Send({0x12, 0x00, 0x00, 0x02, 0x00}); // announces 11 bytes, carries 2
    t.Run(5);
    EXPECT_TRUE(ovkhost::errorLogged(13401));
    EXPECT_EQ(p->StoredScans(), 0);
}

TEST_F(Tabletop, Model97SendsItsFlagConfigurationAndChecksTheEcho) {
    auto* p = Up<SCFB97P>(SCFB97P_TYPE_ID, Model(ScannerModel::Kind::Scan97));
    EXPECT_EQ(t.Commands(), (std::vector<Bytes>{{0x00, 0x80}, {0x12}, kDefault96, {0x21}, kDefaultFlags,
                                                 {0x34}, {0x14}}));
    EXPECT_EQ(t.events.take(), (std::vector<Event>{{POSM_SYS_DEVICE_ONLINE, 0x01114A04, 5}}));
    EXPECT_EQ(p->PendingMask(), 0u);
    EXPECT_EQ(Bytes(p->FlagEcho(), p->FlagEcho() + 8), Bytes(kDefaultFlags.begin() + 1, kDefaultFlags.end()));
    // The client's defaults rebuild both commands.
    int rc = -1;
    auto c = Opened<SCFB97V>({}, &rc);
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(c->ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    t.Run(20);
    EXPECT_TRUE(NewCommands().empty());
    // New flag pairs go out as a flag configuration.
    auto d = t.MakeClient<SCFB97V>(2);
    c.reset();
    ASSERT_EQ(d->open({{"jANTwoLabelDecode", 1}, {"twoLabelFlagPair1", 0x2324}}), 0);
    ASSERT_EQ(d->ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    t.Run(20);
    Bytes conf = kDefault96;
    conf[8] |= 0x80;
    Bytes flags = kDefaultFlags;
    flags[1] = 0x23;
    flags[2] = 0x24;
    EXPECT_EQ(NewCommands(), (std::vector<Bytes>{conf, flags}));
}

TEST_F(Tabletop, Model97WithoutTheTwoLabelFeatureDropsItsFlagCommandsQuietly) {
    ScannerModel::Options o = Model(ScannerModel::Kind::Scan97);
    o.twoLabel = false;
    auto* p = Up<SCFB97P>(SCFB97P_TYPE_ID, o);
    EXPECT_EQ(p->PendingMask(), 0u);
    EXPECT_FALSE(ovkhost::errorLogged(34002));
    EXPECT_FALSE(ovkhost::errorLogged(34006));
    EXPECT_EQ(t.model->resets(), 1);
}

TEST_F(Tabletop, Model97ChecksItsDependentProperties) {
    Up<SCFB97P>(SCFB97P_TYPE_ID, Model(ScannerModel::Kind::Scan97));
    struct Case {
        std::vector<PosArg> args;
        int rc;
    } cases[] = {
        // A pair that begins with the flag the pair before it ends with.
        {{{"jANTwoLabelDecode", 1}, {"twoLabelFlagPair1", 0x2122}, {"twoLabelFlagPair2", 0x2221}}, 5739},
        // A flag byte that is no two decimal digits.
        {{{"jANTwoLabelDecode", 1}, {"twoLabelFlagPair1", 0x212A}}, 5740},
        {{{"jANTwoLabelDecode", 1}, {"twoLabelFlagPair2", 0x212A}}, 5741},
        {{{"jANTwoLabelDecode", 1}, {"twoLabelFlagPair4", 0x2A21}}, 5743},
        // Flag pairs count only with two-label decoding.
        {{{"twoLabelFlagPair2", 0x212A}}, 0},
        // Lengths of interleaved 2 of 5 only with that group.
        {{{"iTFLength1", 34}}, 0},
        {{{"barCodes2", LGROUP_INT_2_OF_5}, {"iTFLength1", 34}}, 5716},
        {{{"barCodes2", LGROUP_INT_2_OF_5}, {"iTFLength1", 10}, {"iTFLength2", 7}}, 5717},
        {{{"barCodes2", LGROUP_INT_2_OF_5}, {"iTFLength1", 10}, {"iTFLength2", 0}}, 0},
        {{{"barCodes2", LGROUP_UPC_EAN}}, 5703},
        {{{"scansPerRead", 0}}, 5721},
        {{{"jANTwoLabelDecode", 2}}, 5738},
    };
    for (Case& k : cases) {
        int rc = -1;
        auto c = Opened<SCFB97V>(k.args, &rc);
        EXPECT_EQ(rc, k.rc) << k.args[0].name;
    }
}

TEST_F(Tabletop, Model97CodesItsGroupsLengthsAndTheUniversalScansPerRead) {
    Up<SCFB97P>(SCFB97P_TYPE_ID, Model(ScannerModel::Kind::Scan97));
    int rc = -1;
    auto c = Opened<SCFB97V>({{"barCodes2", LGROUP_INT_2_OF_5},
                              {"iTFLength1", 10},
                              {"iTFLength2", 14},
                              {"scansPerRead", 4},
                              {"uPCAScansPerRead", 0},
                              {"uPCEScansPerRead", 0}},
                             &rc);
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(c->ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    const Bytes conf = Configure(*c);
    EXPECT_EQ(conf[1], 0x42);        // D1 to D5, interleaved 2 of 5
    EXPECT_EQ(conf[3], 0x80 | 10);   // length 1 and the second length's bit
    EXPECT_EQ(conf[5], 14);
    EXPECT_EQ(conf[6], 0x5F);        // UPC-A 4 - 1 = 3; UPC-E second rule with 4: 3
    EXPECT_EQ(conf[7], 0x44);        // decode bit set with a second group
}

TEST_F(Tabletop, Model98StartsWithItsOwnCommandAndTakesTheSupplements) {
    auto* p = Up<SCFB98P>(SCFB98P_TYPE_ID, Model(ScannerModel::Kind::Scan98));
    EXPECT_EQ(t.Commands()[2], kDefault98);
    EXPECT_EQ(p->GetDeviceSubtype(), 6);
    int rc = -1;
    auto c = Opened<SCFB98V>({{"barCodes1", LGROUP_UPC_EAN_PLUS_2_5},
                              {"barCodes3", LGROUP_CODE_39},
                              {"barCodes4", LGROUP_CODE_128},
                              {"beepFreq", 9},
                              {"code128ScansPerRead", 4}},
                             &rc);
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(c->ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    const Bytes conf = Configure(*c);
    EXPECT_EQ(conf[1], 0x11 | 0x20); // plus 2 and 5; Code 39 in the group field
    EXPECT_EQ(conf[2], 0x40 | 0x02); // the model's bit; Code 128
    EXPECT_EQ(conf[4] & 0xC0, 0);    // no beep frequency
    EXPECT_EQ(conf[10], 0x35);       // Code 39 1, ITF 1, Code 128 3
    auto bad = t.MakeClient<SCFB98V>(3);
    EXPECT_EQ(bad->open({{"barCodes2", LGROUP_CODE_93}}), 5703);
    EXPECT_EQ(bad->open({{"barCodes3", LGROUP_CODABAR}}), 5747);
    EXPECT_EQ(bad->open({{"barCodes4", LGROUP_CODE_93}}), 5748);
    EXPECT_EQ(bad->open({{"barCodes3", LGROUP_INT_2_OF_5}, {"iTFLength1", 3}}), 5716);
}

TEST(Tabletop87, GoesOnlineOnItsEcLevelOnceWarmedUp) {
    ScanTerminal t;
    ScannerModel::Options o = Model(ScannerModel::Kind::Scan87);
    o.warmupMs = 8000;
    auto* p = t.Attach<SCFB87P>(SCFB87P_TYPE_ID, o);
    ASSERT_NE(p, nullptr);
    t.Run(500); // 5 s
    // Online on the EC level, but not ready: nothing more is asked, nothing is logged.
    EXPECT_TRUE(p->Confirmed(kAddress));
    EXPECT_EQ(t.events.take(), (std::vector<Event>{{POSM_SYS_DEVICE_ONLINE, 0x01114A04, 1}}));
    EXPECT_EQ(t.Commands(), (std::vector<Bytes>{{0x00, 0x80}}));
    EXPECT_EQ(p->PendingMask(), 0u);
    EXPECT_TRUE(p->PowerOnSeen());
    EXPECT_FALSE(ovkhost::errorLogged(12702));
    t.Run(400); // ready after 8 s: the start-up commands go out
    EXPECT_FALSE(p->PowerOnSeen());
    EXPECT_EQ(t.Commands(), (std::vector<Bytes>{{0x00, 0x80}, {0x00, 0x80}, {0x12}, {0x14}}));
    EXPECT_EQ(p->PendingMask(), 0u);

    auto c = t.MakeClient<SCFB87V>();
    ASSERT_EQ(c->open(), 0);
    ASSERT_EQ(c->ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    ASSERT_EQ(c->ioctl(POS_SYS_UNLOCK_DEVICE), 0);
    t.Run(10);
    ASSERT_TRUE(t.model->label("ean8", "12345670"));
    t.Run(10);
    Bytes out;
    ASSERT_EQ(c->read(out), 0);
    EXPECT_EQ(out.size(), 16u);
    EXPECT_EQ(out[0] | out[1] << 8, LABEL_EAN_8);

    ASSERT_TRUE(t.model->fault("diag"));
    t.Run(5);
    EXPECT_TRUE(ovkhost::errorLogged(12703));
}

// A scanner that powers on five seconds before the clock wraps is ready 8 s later, after
// the wrap: not before.
class Tabletop87NearWrap : public ::testing::TestWithParam<uint32_t> {};

TEST_P(Tabletop87NearWrap, WarmsUpForItsTimeAcrossTheWrap) {
    ScanTerminal t;
    ovkhost::setClock(chTimeAdd(nearwrap::WrapAfter(GetParam()), -5000));
    ScannerModel::Options o = Model(ScannerModel::Kind::Scan87);
    o.warmupMs = 8000;
    auto* p = t.Attach<SCFB87P>(SCFB87P_TYPE_ID, o);
    ASSERT_NE(p, nullptr);
    t.Run(750); // 7.5 s
    EXPECT_TRUE(p->Confirmed(kAddress));
    EXPECT_TRUE(p->PowerOnSeen());
    EXPECT_EQ(t.Commands(), (std::vector<Bytes>{{0x00, 0x80}}));
    t.Run(150); // 9 s
    EXPECT_FALSE(p->PowerOnSeen());
    EXPECT_EQ(t.Commands(), (std::vector<Bytes>{{0x00, 0x80}, {0x00, 0x80}, {0x12}, {0x14}}));
}

INSTANTIATE_TEST_SUITE_P(Starts, Tabletop87NearWrap, nearwrap::kStarts, nearwrap::StartName);

} // namespace
} // namespace scantest
