// Process event queue, the released-device notification table, and DBCS tables.
#include <gtest/gtest.h>

#include <chrono>

#include "DbcsTable.h"
#include "Notification.h"
#include "RoadFakes.h"

namespace {

using namespace road;

int Write(POSQ& q, uint32_t msg, uint32_t p1, uint32_t p2, int& count) {
    uint32_t words[3] = {msg, p1, p2};
    return q.Write(reinterpret_cast<unsigned char*>(words), sizeof words, count);
}

TEST(Posq, OnlineEventIsTwentyBytesOnTheConnection) {
    ClientEnd client;
    POSQ q(client.connection(), "POSQ");
    EXPECT_STREQ(q.NameTag(), "<<POSQ    >>");
    int count = -1;
    ASSERT_EQ(Write(q, 0x420D, 0x01113503, 0x12, count), 0);
    EXPECT_EQ(count, 16);
    std::array<uint8_t, 20> raw{};
    ASSERT_TRUE(client.nextRaw(raw));
    const std::array<uint8_t, 20> golden{0x01, 0x00, 0x00, 0xCE, 0x00, 0x00, 0x00, 0x00, 0x0D, 0x42,
                                         0x00, 0x00, 0x03, 0x35, 0x11, 0x01, 0x12, 0x00, 0x00, 0x00};
    EXPECT_EQ(raw, golden);
    EXPECT_TRUE(client.drain().empty());
}

TEST(Posq, ShortOrMissingDataIsRefused) {
    ClientEnd client;
    POSQ q(client.connection(), "POSQ");
    unsigned char eight[8] = {};
    int count = -1;
    EXPECT_EQ(q.Write(eight, sizeof eight, count), 310);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(q.Write(nullptr, 12, count), 310);
    EXPECT_TRUE(client.drain().empty());
}

TEST(Posq, WriteToAClientThatHasGoneIs320) {
    ClientEnd client;
    POSQ q(client.connection(), "POSQ");
    client.hangUp();
    int count = -1;
    EXPECT_EQ(Write(q, 0x420D, 1, 2, count), 320);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(Write(q, 0x420D, 1, 2, count), 320);

    POSQ none(nullptr, "POSQ");
    EXPECT_EQ(Write(none, 0x420D, 1, 2, count), 320);
}

// A client that never reads: events are dropped with 320 within the write time-out instead
// of blocking the poster, and the client still receives whole messages.
TEST(Posq, ClientThatDoesNotReadDoesNotBlockThePoster) {
    ClientEnd client;
    int small = 4096;
    ::setsockopt(client.clientFd(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    client.connection()->setWriteTimeout(50);
    POSQ q(client.connection(), "POSQ");
    const auto start = std::chrono::steady_clock::now();
    int sent = 0, refused = 0;
    for (int i = 0; i < 200000 && refused < 5; ++i) {
        int count = 0;
        int rc = Write(q, 0x4203, static_cast<uint32_t>(i), 0, count);
        if (rc == 0) ++sent;
        else if (rc == 320) ++refused;
        else FAIL() << rc;
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(refused, 5);
    EXPECT_GT(sent, 0);
    EXPECT_LT(elapsed, std::chrono::seconds(5));

    // Every message that arrives is whole and in order.
    std::vector<Event> got = client.drain();
    ASSERT_FALSE(got.empty());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].type, 0xCE000001u);
        EXPECT_EQ(got[i].msg, 0x4203u);
    }
}

// A connection set to wait without limit is still held to the event bound.
TEST(Posq, UnboundedConnectionIsBoundedForEvents) {
    ClientEnd client;
    int small = 4096;
    ::setsockopt(client.clientFd(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    client.connection()->setWriteTimeout(-1);
    POSQ q(client.connection(), "POSQ");
    int rc = 0;
    for (int i = 0; i < 200000 && rc == 0; ++i) {
        int count = 0;
        rc = Write(q, 0x4203, static_cast<uint32_t>(i), 0, count);
    }
    EXPECT_EQ(rc, 320);
    EXPECT_EQ(client.connection()->setWriteTimeout(-1), -1); // the connection's own setting
}

TEST(Posq, LimitsAndTimeouts) {
    POSQ q(nullptr, "POSQ");
    EXPECT_EQ(q.SetMessageLimit(4), 0);
    EXPECT_EQ(q.GetMessageLimit(), 16);
    q.SetMessageLimit(200);
    EXPECT_EQ(q.GetMessageLimit(), 200);
    EXPECT_EQ(q.SetReadTimeout(0xFFFFFFFFul), 0);
    EXPECT_EQ(q.GetReadTimeout(), 0);
    q.SetReadTimeout(500);
    EXPECT_EQ(q.GetReadTimeout(), 500);
    char buffer[4];
    int count = -1;
    EXPECT_EQ(q.Read(buffer, sizeof buffer, count), 0);
    EXPECT_EQ(count, 0);
}

// ---------------------------------------------------------------------------------------
// Notification table.

class NotificationTest : public ::testing::Test {
protected:
    void SetUp() override { ovkhost::clearCaptures(); }
    std::unique_ptr<TestPrinterV> Attached(int handle) {
        auto v = std::make_unique<TestPrinterV>(DeviceID(1, 0x11, 0x35), handle);
        v->StoreProcessInformation(5, &queue, database);
        EXPECT_EQ(v->Open(u("shop.r"), u("PosPrinter"), nullptr, 0), 0);
        return v;
    }
    static void Detach(VDEV& v) {
        int remaining = 0;
        v.Close(remaining);
    }
    Terminal terminal;
    ClientEnd client;
    POSQ queue{client.connection(), "POSQ"};
    XrmDatabase database = nullptr;
};

TEST_F(NotificationTest, NotifyPostsOnceToEachWaitingDevice) {
    Notification table(8);
    auto a = Attached(2);
    auto b = Attached(7);
    table.Insert(a.get());
    table.Insert(b.get());
    EXPECT_EQ(table.WaitedForAt(2), terminal.printer.GetDeviceID());

    table.Notify(DeviceID(1, 0x11, 0x34), 0x35); // another device
    table.Notify(terminal.printer.GetDeviceID(), 0x36); // another address
    EXPECT_TRUE(client.drain().empty());

    table.Notify(terminal.printer.GetDeviceID(), 0x35);
    table.Notify(terminal.printer.GetDeviceID(), 0x35);
    auto events = client.drain();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].msg, 0x4213u);
    EXPECT_EQ(events[0].p1, 2u);
    EXPECT_EQ(events[0].p2, 0u);
    EXPECT_EQ(events[1].p1, 7u);
    EXPECT_EQ(table.DeviceAt(2), nullptr);
    Detach(*a);
    Detach(*b);
}

TEST_F(NotificationTest, HandlesOutsideTheTableAreIgnored) {
    Notification table(4);
    auto zero = Attached(0);
    auto beyond = Attached(4);
    auto last = Attached(3);
    table.Insert(zero.get());
    table.Insert(beyond.get());
    table.Insert(nullptr);
    table.Insert(last.get());
    EXPECT_EQ(table.DeviceAt(0), nullptr);
    EXPECT_EQ(table.DeviceAt(3), last.get());
    // Only the rows that exist are looked at.
    table.Notify(terminal.printer.GetDeviceID(), 0x35);
    auto events = client.drain();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].p1, 3u);
    Detach(*zero);
    Detach(*beyond);
    Detach(*last);
}

TEST_F(NotificationTest, AnotherDeviceInTheRowIsLogged) {
    Notification table(8);
    auto first = Attached(2);
    auto second = Attached(2);
    table.Insert(first.get());
    table.Insert(second.get());
    EXPECT_TRUE(ovkhost::errorLogged(551));
    EXPECT_EQ(table.DeviceAt(2), first.get());

    table.Remove(second.get());
    EXPECT_TRUE(ovkhost::errorLogged(552));
    EXPECT_EQ(table.DeviceAt(2), nullptr); // cleared all the same
    EXPECT_EQ(table.WaitedForAt(2), DeviceID());
    table.Insert(first.get());
    ovkhost::clearCaptures();
    table.Remove(first.get());
    EXPECT_TRUE(ovkhost::errorLog().empty());
    EXPECT_EQ(table.DeviceAt(2), nullptr);
    Detach(*first);
    Detach(*second);
}

// ---------------------------------------------------------------------------------------
// DBCS tables.

TEST(Dbcs, RangesEndAtAZeroPairOrAfterSixteenPairs) {
    DbcsTable t;
    // Exactly 32 bytes on the heap: a read past them would be caught.
    std::vector<unsigned char> ranges(32, 0);
    for (int pair = 0; pair < 16; ++pair) {
        ranges[2 * pair] = static_cast<unsigned char>(0x81 + 4 * pair);
        ranges[2 * pair + 1] = static_cast<unsigned char>(0x81 + 4 * pair + 1);
    }
    EXPECT_EQ(t.Build(ranges.data()), 1);
    EXPECT_EQ(t.isdbcs1(0x81), 1);
    EXPECT_EQ(t.isdbcs1(0x82), 1);
    EXPECT_EQ(t.isdbcs1(0x83), 0);
    EXPECT_EQ(t.isdbcs1(0x81 + 60), 1);
    EXPECT_EQ(t.upper[0x81 - 128], 1);

    std::vector<unsigned char> early(32, 0);
    early[0] = 0xA0;
    early[1] = 0xA1;
    early[4] = 0xB0; // after the 0, 0 pair: not used
    early[5] = 0xB1;
    EXPECT_EQ(t.Build(early.data()), 1);
    EXPECT_EQ(t.isdbcs1(0xA0), 1);
    EXPECT_EQ(t.isdbcs1(0x81), 0); // rebuilt from scratch
    EXPECT_EQ(t.isdbcs1(0xB0), 0);

    std::vector<unsigned char> none(32, 0);
    EXPECT_EQ(t.Build(none.data()), 0);
    EXPECT_EQ(t.Build(nullptr), 0);
}

TEST(Dbcs, CharacterTypeAndSearch) {
    DbcsTable t;
    unsigned char ranges[32] = {0x81, 0x9F};
    t.Build(ranges);
    const unsigned char s[] = {'a', 0x81, 'b', 'b', 0x82, 0x40, 0};
    EXPECT_EQ(t.getctype(s, 0), 0);
    EXPECT_EQ(t.getctype(s, 1), 1);
    EXPECT_EQ(t.getctype(s, 2), 2); // 'b' is the second byte of 0x81 'b'
    EXPECT_EQ(t.getctype(s, 3), 0);
    EXPECT_EQ(t.getctype(s, 5), 2);

    const unsigned char b[] = {'b', 0};
    EXPECT_EQ(t.ms_strchr(s, b), s + 3); // skips the 'b' inside the double-byte character
    const unsigned char dbl[] = {0x82, 0x40, 0};
    EXPECT_EQ(t.ms_strchr(s, dbl), s + 4);
    const unsigned char nul[] = {0};
    EXPECT_EQ(t.ms_strchr(s, nul), s + 6);
    const unsigned char z[] = {'z', 0};
    EXPECT_EQ(t.ms_strchr(s, z), nullptr);
    const unsigned char cut[] = {'x', 0x81, 0};
    const unsigned char x81[] = {0x81, 0};
    EXPECT_EQ(t.ms_strchr(cut, x81), nullptr); // a lead byte before the end ends the walk

    DbcsTable plain;
    EXPECT_EQ(plain.ms_strchr(s, b), s + 2);
}

} // namespace
