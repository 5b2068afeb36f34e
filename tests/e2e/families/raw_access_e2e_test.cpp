// Raw access end to end: the daemon lists the cash-drawer unit on its query port and serves
// it raw on the next port; a raw client writes to the unit and gets its events, while bad
// raw clients end only their own connections and applications are served on.
#include <string>
#include <vector>

#include "SdiClient.h"
#include "SimulatedTerminal.h"

namespace {

constexpr uint32_t kOnline = 0x420D;

const char kTerminal[] =
    "slot 0 planar\n"
    "slot 1 rs485 type 5 kind 5 ports 2\n"
    "station 1 0x11 0x54 drawer\n";

const char kResources[] =
    "terminal.till.slotNumber:   SLOT_1\n"
    "terminal.till.portNumber:   PORT_1\n"
    "terminal.till.deviceNumber: DEVICE_CASH_DRAWER_A\n";

class RawAccessE2E : public TerminalTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(StartTerminal(kTerminal, kResources));
        ASSERT_TRUE(WaitForEvent(kOnline, DeviceWord(1, 0x11, 0x83, 6))) << Seen();
        query_ = root_.queryPort();
    }

    // The device list, once the unit's server listens.
    std::string DeviceList() {
        SdiClient q;
        if (!q.Connect(query_)) return "";
        std::string list;
        for (int i = 0; i < 100; ++i) {
            if (!q.Send("<query></query>")) return "";
            list = q.ReceiveStarting("<query>");
            if (list != "<query></query>") return list;
        }
        return list;
    }

    // A raw client through its version and open.
    void OpenRaw(SdiClient& c) {
        ASSERT_TRUE(c.Connect(query_ + 1));
        std::string version;
        ASSERT_TRUE(c.Receive(version));
        EXPECT_EQ(version.compare(0, 21, "<version>CASH_DRAWER("), 0) << version;
        EXPECT_EQ(version.substr(version.size() - 18), " 0.0.1.0</version>") << version;
        ASSERT_TRUE(c.Send("<version>e2e 1.0.0 0 0</version>"));
        ASSERT_TRUE(c.Send("<open>N 0</open>"));
        const std::string open = c.ReceiveStarting("<open>");
        EXPECT_EQ(open.compare(0, 9, "<open>OK "), 0) << open;
        EXPECT_EQ(open.size(), 20u) << open;
    }

    int query_ = 0;
};

TEST_F(RawAccessE2E, UnitListedWrittenRawAndAnswering) {
    const std::string list = DeviceList();
    EXPECT_EQ(list, "<query><device><slotNumber>1</slotNumber><portNumber>17</portNumber>"
                    "<deviceNumber>84</deviceNumber><tcpPort>" + std::to_string(query_ + 1) +
                    "</tcpPort></device></query>")
        << daemon_.Output();

    SdiClient c;
    ASSERT_NO_FATAL_FAILURE(OpenRaw(c));
    ASSERT_TRUE(c.SendCommand('W', 0, 42, {0x00, 0x80}));
    EXPECT_EQ(c.ReceiveStarting("<ack>"), "<ack>OK 0042</ack>");
    EXPECT_TRUE(WaitForReply("received 1 0x11 0x54", ":0080")) << Sim("received 1 0x11 0x54");

    // The unit's acknowledgement ("A" with the command) and its answer ("N").
    bool acked = false, answered = false;
    for (int i = 0; i < 50 && !(acked && answered); ++i) {
        SdiEvent e;
        const std::string text = c.ReceiveStarting("<rs485>");
        if (!ParseSdiEvent(text, e)) break;
        if (e.letter == 'A' && e.messageId == 42) acked = true;
        if (e.letter == 'N' && !e.data.empty()) answered = true;
        c.Send("<ack>OK " + std::to_string(e.serverId) + "</ack>");
    }
    EXPECT_TRUE(acked);
    EXPECT_TRUE(answered);
    c.Send("<status></status>");
    EXPECT_EQ(c.ReceiveStarting("<status>"), "<status>ONLINE 1.17.84 raw 1</status>");
    c.Send("<close>0</close>");
    EXPECT_FALSE(c.ReceiveStarting("<close>").empty());
}

TEST_F(RawAccessE2E, BadRawClientsEndOnlyTheirOwnConnection) {
    ASSERT_NE(DeviceList(), "");
    SdiClient good;
    ASSERT_NO_FATAL_FAILURE(OpenRaw(good));

    const std::vector<std::vector<uint8_t>> bad = {
        {'g', 'a', 'r', 'b', 'a', 'g', 'e', '!', '!'},
        {0xFF, 0xFF, 0x00},
        {0x00, 0x40, '<', 'r', 's'},
    };
    for (const auto& bytes : bad) {
        SdiClient c;
        ASSERT_TRUE(c.Connect(query_ + 1));
        std::string version;
        ASSERT_TRUE(c.Receive(version));
        ASSERT_TRUE(c.SendRaw(bytes));
        EXPECT_TRUE(c.ClosedByPeer(10000)) << bytes.size();
    }
    // A five-byte command body is refused and the connection goes on.
    SdiClient shortBody;
    ASSERT_NO_FATAL_FAILURE(OpenRaw(shortBody));
    ASSERT_TRUE(shortBody.Send(std::string("<rs485>W\0\0\0\0</rs485>", 20)));
    EXPECT_EQ(shortBody.ReceiveStarting("<ack>"), "<ack>FAIL 0000</ack>");

    // A client that never reads what it asked for.
    SdiClient silent;
    ASSERT_NO_FATAL_FAILURE(OpenRaw(silent));
    for (int i = 0; i < 5000; ++i)
        if (!silent.Send("<status></status>")) break;

    good.Send("<status></status>");
    EXPECT_EQ(good.ReceiveStarting("<status>", 10000).compare(0, 15, "<status>ONLINE "), 0);
    // The application is served on.
    char name[] = "till", cls[] = "PosDrawer";
    const int h = PosOpen(name, cls, nullptr, 0);
    EXPECT_GT(h, 0) << PosErrno();
    if (h > 0) {
        EXPECT_EQ(PosClose(h), 0);
    }
}

} // namespace
