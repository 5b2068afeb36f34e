// Scanner models 8612 and 8634 on the simulated link: start-up, the status thresholds of
// their replies, and their configure command.
#include <gtest/gtest.h>

#include "SCF8612P.h"
#include "SCF8612V.h"
#include "ScanTerminal.h"

namespace scantest {
namespace {

const Bytes kDefault8612{0x20, 0x02, 0x00, 0x00, 0xDD, 0x00, 0x00, 0x00, 0x1B, 0x46};

ScannerModel::Options Model(ScannerModel::Kind kind) {
    ScannerModel::Options o;
    o.kind = kind;
    return o;
}

class Scanner8612 : public ::testing::Test {
protected:
    template <class P>
    P* Up(unsigned short typeId, ScannerModel::Kind kind) {
        P* p = t.Attach<P>(typeId, Model(kind));
        EXPECT_NE(p, nullptr);
        EXPECT_TRUE(t.RunUntilOnline());
        t.Run(30);
        return p;
    }
    Bytes Configure(const SCV& v) { return Bytes(v.ConfigureBuffer(), v.ConfigureBuffer() + v.ConfigureLength()); }
    ScanTerminal t;
};

TEST_F(Scanner8612, StartsUpAndGoesOnlineOnTheConfiguresAcceptance) {
    auto* p = Up<SCF8612P>(SCF8612P_TYPE_ID, ScannerModel::Kind::Scan8612);
    EXPECT_EQ(t.Commands(), (std::vector<Bytes>{{0x00, 0x80}, {0x12}, kDefault8612, {0x14}}));
    EXPECT_EQ(t.events.take(), (std::vector<Event>{{POSM_SYS_DEVICE_ONLINE, 0x01114A04, 2}}));
    EXPECT_EQ(p->PendingMask(), 0u);
    EXPECT_EQ(p->GetECLevel(), 0x21);
}

TEST_F(Scanner8612, StatusThresholdsOfTheReplies) {
    auto* p = Up<SCF8612P>(SCF8612P_TYPE_ID, ScannerModel::Kind::Scan8612);
    ovkhost::clearCaptures();
    t.Send({0x10, 0x10, 0x00}); // status 1 of 0x10: no error for this model
    t.Run(5);
    EXPECT_FALSE(ovkhost::errorLogged(12902));
    EXPECT_EQ(p->PendingMask(), 0u);
    t.Send({0x11, 0x00, 0x00}); // EC level announced in 3 bytes: acknowledged, nothing read
    t.Run(5);
    EXPECT_EQ(p->GetECLevel(), 0x21);
    EXPECT_TRUE(ovkhost::errorLog().empty());
    t.Send({0x12, 0x00, 0x00}); // diagnostics failed
    t.Run(5);
    EXPECT_TRUE(ovkhost::errorLogged(12903));
    t.Send({0x10, 0x20, 0x00}); // 0x20: an error, the scanner is reset
    t.Run(20);
    EXPECT_TRUE(ovkhost::errorLogged(12902));
    EXPECT_EQ(t.Commands().back(), (Bytes{0x00, 0x40}));
    ASSERT_TRUE(t.RunUntilOnline(2000));
}

TEST_F(Scanner8612, InterleavedLengthsCountOnlyWithThatGroup) {
    Up<SCF8612P>(SCF8612P_TYPE_ID, ScannerModel::Kind::Scan8612);
    auto c = t.MakeClient<SCF8612V>();
    EXPECT_EQ(c->open({{"barCodes2", LGROUP_INT_2_OF_5}, {"iTFLength1", 34}}), 5716);
    ASSERT_EQ(c->open({{"iTFLength1", 34}}), 0);
    EXPECT_EQ(c->get("iTFLength1"), 0);
    auto d = t.MakeClient<SCF8612V>(2);
    ASSERT_EQ(d->open({{"barCodes2", LGROUP_INT_2_OF_5}, {"iTFLength1", 12}, {"scansPerRead", 4}}), 0);
    c.reset();
    ASSERT_EQ(d->ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    EXPECT_EQ(Configure(*d), (Bytes{0x20, 0x42, 0x00, 0x0C, 0xD9, 0x00, 0x00, 0x00, 0x1B, 0x0E}));
    t.Run(20);
    EXPECT_EQ(t.model->configure(), Configure(*d));
}

TEST_F(Scanner8612, Model8634AddsTheSecondLengthAndNarrowsTheFirstGroup) {
    auto* p = Up<SCF8634P>(SCF8634P_TYPE_ID, ScannerModel::Kind::Scan8634);
    EXPECT_EQ(p->GetDeviceSubtype(), 3);
    auto c = t.MakeClient<SCF8634V>();
    EXPECT_EQ(c->open({{"barCodes1", LGROUP_UPC_EAN_PLUS_5}}), 5702);
    EXPECT_EQ(c->open({{"barCodes2", LGROUP_INT_2_OF_5}, {"iTFLength1", 8}, {"iTFLength2", 5}}), 5717);
    ASSERT_EQ(c->open({{"barCodes2", LGROUP_INT_2_OF_5}, {"iTFLength1", 8}, {"iTFLength2", 10}}), 0);
    ASSERT_EQ(c->ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    const Bytes conf = Configure(*c);
    EXPECT_EQ(conf[3], 8);
    EXPECT_EQ(conf[5], 10);
    EXPECT_EQ(conf[8], 0x9B);
}

} // namespace
} // namespace scantest
