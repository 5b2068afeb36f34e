// The magnetic stripe readers end to end: ovksim plays a three-track reader at 0x48 (and one
// with an encoder), the daemon brings it online; an application opens it by name, acquires
// and unlocks it, gets the card that a script swipes, and encodes tracks. The reader behind
// the system keyboard comes online through the planar side and delivers its swipes too.
#include <cstring>
#include <string>

#include "SimulatedTerminal.h"

namespace {

constexpr uint32_t kOnline = 0x420D;
constexpr uint32_t kOffline = 0x420C;
constexpr uint32_t kDataAvail = 0x4203;
constexpr uint32_t kWriteSuccess = 0x4218;
constexpr uint32_t kWriteFailed = 0x4219;
constexpr int kAcquire = 301;
constexpr int kUnlock = 306;
constexpr uint32_t kHandleBits = 0xFFFF;
constexpr uint32_t kMsrClass = 5;

const char kResources[] =
    "terminal.msr.slotNumber:      SLOT_1\n"
    "terminal.msr.portNumber:      PORT_1\n"
    "terminal.msr.deviceNumber:    DEVICE_MSR_3_TRACK_A\n"
    "terminal.sysmsr.slotNumber:   SLOT_0\n"
    "terminal.sysmsr.portNumber:   PORT_0\n"
    "terminal.sysmsr.deviceNumber: DEVICE_SYSTEM_ATTACHED_MSR\n";

// The card of the swipe "ABC 12 -" as Read hands it out: track 1 "ABC", track 2 "12".
const unsigned char kCard[] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x41, 0x42, 0x43,
                               0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x31, 0x32};

class ReaderE2E : public TerminalTest {
protected:
    // Opens the reader by name, acquires and unlocks it.
    int OpenReader(const char* which) {
        char name[16], cls[] = "PosMsr";
        std::strncpy(name, which, sizeof name - 1);
        name[sizeof name - 1] = '\0';
        const int h = PosOpen(name, cls, nullptr, 0);
        EXPECT_GT(h, 0) << PosErrno();
        if (h <= 0) return h;
        EXPECT_EQ(PosIOCtl(h, kAcquire, nullptr, 0), 0) << PosErrno();
        EXPECT_EQ(PosIOCtl(h, kUnlock, nullptr, 0), 0) << PosErrno();
        return h;
    }
    std::string ReadCard(int h) {
        unsigned char buffer[256] = {};
        const int n = PosRead(h, buffer, sizeof buffer);
        EXPECT_GT(n, 0) << PosErrno();
        return n > 0 ? std::string(reinterpret_cast<char*>(buffer), static_cast<size_t>(n)) : std::string();
    }
    static std::string Card() { return std::string(reinterpret_cast<const char*>(kCard), sizeof kCard); }
};

TEST_F(ReaderE2E, ASwipedCardReachesTheApplicationOnce) {
    ASSERT_NO_FATAL_FAILURE(StartTerminal("slot 0 planar\n"
                                          "slot 1 rs485 type 5 kind 5 ports 2\n"
                                          "station 1 0x11 0x48 msr\n",
                                          kResources));
    const uint32_t device = DeviceWord(1, 0x11, 0x48, kMsrClass);
    ASSERT_TRUE(WaitForEvent(kOnline, device)) << Seen();
    const int h = OpenReader("msr");
    ASSERT_GT(h, 0);

    EXPECT_EQ(Sim("swipe 1 0x11 0x48 ABC 12 -"), "ok swipe 00020341424302313200");
    ASSERT_TRUE(WaitForEvent(kDataAvail, static_cast<uint32_t>(h), 10000, kHandleBits)) << Seen();
    EXPECT_EQ(seen_.back().p2, sizeof kCard);

    // A second card before the unlock is not taken. The reader going offline behind it
    // shows that the daemon had it.
    EXPECT_EQ(Sim("swipe 1 0x11 0x48 XYZ 99 7"), "ok swipe 00020358595a0239390137");
    EXPECT_EQ(Sim("notready 1 0x11 0x48 on"), "ok notready on");
    ASSERT_TRUE(WaitForEvent(kOffline, device)) << Seen();
    EXPECT_EQ(Sim("notready 1 0x11 0x48 off"), "ok notready off");
    ASSERT_TRUE(WaitForEvent(kOnline, device)) << Seen();
    EXPECT_EQ(ReadCard(h), Card());

    // Unlocked again, the next card comes.
    ASSERT_EQ(PosIOCtl(h, kUnlock, nullptr, 0), 0) << PosErrno();
    EXPECT_EQ(Sim("swipe 1 0x11 0x48 XYZ 99 7"), "ok swipe 00020358595a0239390137");
    ASSERT_TRUE(WaitForEvent(kDataAvail, static_cast<uint32_t>(h), 10000, kHandleBits)) << Seen();
    EXPECT_EQ(seen_.back().p2, 11u + 10u + 9u);
    EXPECT_EQ(PosClose(h), 0) << PosErrno();
}

TEST_F(ReaderE2E, TheEncoderWritesTracks) {
    ASSERT_NO_FATAL_FAILURE(StartTerminal("slot 0 planar\n"
                                          "slot 1 rs485 type 5 kind 5 ports 2\n"
                                          "station 1 0x11 0x48 msr encoder=1\n",
                                          kResources));
    ASSERT_TRUE(WaitForEvent(kOnline, DeviceWord(1, 0x11, 0x48, kMsrClass))) << Seen();
    // The information answer (which shows the encoder) has been taken once 01 0F went out.
    std::string last;
    ASSERT_TRUE(WaitForReply("payloads 1 0x11 0x48", " 010f", 10000, &last)) << last;
    const int h = OpenReader("msr");
    ASSERT_GT(h, 0);

    char abc[] = "ABC";
    EXPECT_EQ(PosWrite(h, abc, 3), 3) << PosErrno();
    ASSERT_TRUE(WaitForEvent(kWriteSuccess, static_cast<uint32_t>(h), 10000, kHandleBits)) << Seen();
    EXPECT_TRUE(WaitForReply("payloads 1 0x11 0x48", " 018064 100003414243", 10000, &last)) << last;
    EXPECT_EQ(Sim("written 1 0x11 0x48"), "ok 1 414243");

    EXPECT_EQ(Sim("encode 1 0x11 0x48 fail"), "ok encode fail");
    EXPECT_EQ(PosWrite(h, abc, 3), 3) << PosErrno();
    ASSERT_TRUE(WaitForEvent(kWriteFailed, static_cast<uint32_t>(h), 10000, kHandleBits)) << Seen();
    EXPECT_EQ(PosClose(h), 0) << PosErrno();
}

TEST_F(ReaderE2E, TheReaderOfTheSystemKeyboardDeliversItsSwipes) {
    ASSERT_NO_FATAL_FAILURE(StartTerminal("slot 0 planar\n"
                                          "keyboard id=0x87AB type=1 msr=1 msrec=0x12\n",
                                          kResources));
    ASSERT_TRUE(WaitForEvent(kOnline, DeviceWord(0, 0, 0x82, kMsrClass))) << Seen();
    const int h = OpenReader("sysmsr");
    ASSERT_GT(h, 0);
    // The reader was configured on the node: sixteen bytes, the fields 16, 1, 1, 1, 1, 0.
    EXPECT_NE(Sim("keyboard").find(" config=00000000100001000100010001000000"), std::string::npos);

    EXPECT_EQ(Sim("nodeswipe ABC 12 -"), "ok queued 00020300414243020031320000");
    ASSERT_TRUE(WaitForEvent(kDataAvail, static_cast<uint32_t>(h), 10000, kHandleBits)) << Seen();
    EXPECT_EQ(seen_.back().p2, sizeof kCard);
    EXPECT_EQ(ReadCard(h), Card());
    EXPECT_EQ(PosClose(h), 0) << PosErrno();
}

} // namespace
