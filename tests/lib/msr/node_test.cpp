// The readers behind the keyboard node: open and configuration on the node, the messages
// read in each service turn, the two-byte block lengths, and the stop flag.
#include <gtest/gtest.h>

#include <cstring>

#include "MS2TKPSP.h"
#include "MS3TKPSP.h"
#include "MSPSP.h"
#include "MsrBench.h"
#include "kbdnode.h"
#include "sydevnode.h"

namespace msrtest {
namespace {

constexpr uint8_t kPort = DspTerminal::kPort;
constexpr uint8_t kAddress = 0x82;

class NodeReader : public ::testing::Test {
protected:
    void SetUp() override {
        bussim::KeyboardState state;
        state.type = 8;
        state.msrEcLevel = 0x33;
        node.set(state);
        chSetDevNodeBackend(&node);
    }
    // The reader as the planar sniffer makes it: attached and opened without a client.
    template <class P>
    P* Make(unsigned short type) {
        P* p = t.Attach<P>(type, kAddress);
        EXPECT_NE(p, nullptr);
        if (p) {
            EXPECT_EQ(p->Open(nullptr), 0);
        }
        return p;
    }
    void Turn(MSPSP* r, const Bytes& message) {
        ASSERT_TRUE(node.pushReader(message));
        r->Lock();
        r->ProcessOutput(0);
        r->Unlock();
    }
    static Bytes Blocks3(const std::string& a, const std::string& b, const std::string& c) {
        Bytes m{0x00, 0x02};
        for (const std::string* s : {&a, &b, &c}) {
            m.push_back(static_cast<uint8_t>(s->size()));
            m.push_back(0);
            m.insert(m.end(), s->begin(), s->end());
        }
        return m;
    }

    bussim::KeyboardNode node; // outlives the terminal, whose readers close it
    DspTerminal t;
};

TEST_F(NodeReader, OpensTheNodeOnceAndConfiguresTheReader) {
    ovkhost::clearCaptures();
    auto* r = Make<MS3TKPSP>(MS3TKPSP_TYPE_ID);
    ASSERT_NE(r, nullptr);
    // Online from construction.
    EXPECT_TRUE(r->Confirmed(kAddress));
    EXPECT_EQ(r->GetECLevel(), 0x33);
    EXPECT_EQ(node.queries(), 1);
    // Six fields after the driver's four bytes: 16, 1, 1, 1, 1, and 1 for keyboard type 8.
    EXPECT_EQ(bussim::hexBytes(node.readerConfiguration()), "00000000100001000100010001000100");
    // Both requests were traced: request, length, result, record.
    int traced = 0;
    for (const auto& tr : ovkhost::traces())
        if (tr.minor == 705 && tr.data.size() == 12 + 16) ++traced;
    EXPECT_EQ(traced, 2);
    EXPECT_GE(MSPSP::NodeHandle(), 0);
    EXPECT_EQ(MSPSP::NodeUsers(), 1);

    {
        Reader<MSV> v(1, kPort, kAddress);
        ASSERT_NO_FATAL_FAILURE(v.ready());
        EXPECT_EQ(MSPSP::NodeUsers(), 2);
        EXPECT_EQ(node.queries(), 1);
    }
    EXPECT_EQ(MSPSP::NodeUsers(), 1);
    int remaining = 0;
    EXPECT_EQ(r->Close(nullptr, remaining), 0);
    EXPECT_EQ(MSPSP::NodeUsers(), 0);
    EXPECT_EQ(MSPSP::NodeHandle(), -1);
}

TEST_F(NodeReader, SwipesArriveOnlyWhileUnlocked) {
    auto* r = Make<MS3TKPSP>(MS3TKPSP_TYPE_ID);
    Reader<MSV> v(1, kPort, kAddress);
    ASSERT_NO_FATAL_FAILURE(v.ready(false));
    // Locked: the slots stay empty.
    Turn(r, Blocks3("ABC", "12", ""));
    EXPECT_TRUE(v.swipes().empty());
    EXPECT_EQ(v.Slot(0).length, 0);
    ASSERT_EQ(v.ioctl(POS_SYS_UNLOCK_DEVICE), 0);
    ovkhost::clearCaptures();
    Turn(r, Blocks3("ABC", "12", ""));
    EXPECT_EQ(v.swipes(), (std::vector<uint32_t>{21}));
    bool traced = false;
    for (const auto& tr : ovkhost::traces()) traced = traced || (tr.minor == 0xC00002BE && tr.data.size() == 13);
    EXPECT_TRUE(traced);
    // A second card while the first waits leaves the first.
    Turn(r, Blocks3("XYZ", "99", "7"));
    EXPECT_TRUE(v.swipes().empty());
    Bytes data;
    ASSERT_EQ(v.read(data), 0);
    EXPECT_EQ(data, Join({Track(1, 0, "ABC"), Track(2, 0, "12")}));
    // An empty node delivers nothing.
    r->ProcessOutput(0);
    EXPECT_TRUE(v.swipes().empty());
}

TEST_F(NodeReader, TwoByteBlockLengthsAreSummed) {
    auto* r = Make<MS3TKPSP>(MS3TKPSP_TYPE_ID);
    Reader<MSV> v(1, kPort, kAddress);
    ASSERT_NO_FATAL_FAILURE(v.ready());
    // Track 3 announced as 0x30 + 0x10 = 64 bytes.
    Bytes m{0x00, 0x02, 0x00, 0x00, 0x01, 0x01, '1', '2', 0x30, 0x10};
    const std::string track3(64, '3');
    m.insert(m.end(), track3.begin(), track3.end());
    Turn(r, m);
    EXPECT_EQ(v.swipes(), (std::vector<uint32_t>{10 + 72}));
    Bytes data;
    ASSERT_EQ(v.read(data), 0);
    EXPECT_EQ(data, Join({Track(2, 0, "12"), Track(4, 0, track3)}));
    // A length byte pair cut off by the message's end: the track is unreadable.
    ASSERT_EQ(v.ioctl(POS_SYS_UNLOCK_DEVICE), 0);
    Turn(r, {0x00, 0x02, 0x01, 0x00, 'A', 0x05});
    ASSERT_EQ(v.read(data), 0);
    EXPECT_EQ(data, Join({Track(1, 0, "A"), Track(2, 1, "")}));
    ovkhost::clearCaptures();
    Turn(r, {0x00});
    EXPECT_TRUE(ovkhost::errorLogged(10703));
}

TEST_F(NodeReader, TwoTrackReaderComesOnlineWithItsFirstMessage) {
    auto* r = Make<MS2TKPSP>(MS2TKPSP_TYPE_ID);
    EXPECT_FALSE(r->Confirmed(kAddress));
    Reader<MSV> v(1, kPort, kAddress);
    ASSERT_NO_FATAL_FAILURE(v.ready());
    // Byte 0 bit 5: the second block is track 1.
    Turn(r, {0x20, 0x02, 0x02, '1', '2', 0x03, 'A', 'B', 'C'});
    EXPECT_TRUE(r->Confirmed(kAddress));
    EXPECT_EQ(v.swipes(), (std::vector<uint32_t>{21}));
    Bytes data;
    ASSERT_EQ(v.read(data), 0);
    EXPECT_EQ(data, Join({Track(1, 0, "ABC"), Track(2, 0, "12")}));
}

// A node whose driver says it delivered more than was asked for.
class BoastingNode : public DevNodeBackend {
public:
    int open(const char*, int& fd) override {
        fd = 9;
        return 0;
    }
    void ioctl(int, unsigned long request, void* record, size_t size) override {
        auto* rec = static_cast<uint8_t*>(record);
        std::memset(rec, 0, size);
        if (request != MSPSP::kReadReader) return;
        std::memset(rec + 8, 'x', size - 8);
        rec[4] = 0xFF;
        rec[5] = 0xFF;
        rec[6] = 0xFF;
    }
    int close(int) override { return 0; }
};

TEST_F(NodeReader, ReadBoundsTheDriversCount) {
    BoastingNode boasting;
    chSetDevNodeBackend(&boasting);
    auto* r = Make<MS3TKPSP>(MS3TKPSP_TYPE_ID);
    unsigned char buffer[40];
    int length = 32;
    ASSERT_EQ(r->ReadMSRData(buffer, length), 0);
    EXPECT_EQ(length, 32);
    int remaining = 0;
    r->Close(nullptr, remaining);
    chSetDevNodeBackend(&node);
}

TEST_F(NodeReader, NoNodeNoReader) {
    bussim::KeyboardState state;
    state.driver = false;
    node.set(state);
    MS3TKPSP* r = t.Attach<MS3TKPSP>(MS3TKPSP_TYPE_ID, kAddress);
    ASSERT_NE(r, nullptr);
    EXPECT_NE(r->Open(nullptr), 0);
    EXPECT_EQ(MSPSP::NodeHandle(), -1);
    EXPECT_EQ(MSPSP::NodeUsers(), 0);
}

} // namespace
} // namespace msrtest
