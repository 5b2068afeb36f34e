// The readers on the link: each model against the simulated reader of its kind, from the
// reader's messages to what Read hands the application, and the encoder's road.
#include <gtest/gtest.h>

#include <string>

#include "MS1TKP.h"
#include "MS2TKP.h"
#include "MS3TKP.h"
#include "MSJTKP.h"
#include "MsrBench.h"

namespace msrtest {
namespace {

using K = bussim::MsrModel::Kind;

constexpr uint8_t kPort = DspTerminal::kPort;

class LinkReader : public ::testing::Test {
protected:
    template <class P>
    P* Bring(unsigned short type, uint8_t address, const bussim::MsrModel::Options& options) {
        auto m = std::make_unique<bussim::MsrModel>(options);
        model = m.get();
        P* p = t.AttachModel<P>(type, address, std::move(m));
        t.Run();
        EXPECT_TRUE(p && p->Confirmed(address));
        return p;
    }
    // The payloads the reader received, in hex.
    std::vector<std::string> Payloads() const {
        std::vector<std::string> out;
        for (const Bytes& p : model->received()) out.push_back(bussim::hexBytes(p));
        return out;
    }
    void Swipe(const bussim::MsrModel::Track& a, const bussim::MsrModel::Track& b,
               const bussim::MsrModel::Track& c = None()) {
        ASSERT_TRUE(model->swipe(a, b, c));
        t.Run(6);
    }
    void Push(const Bytes& message) {
        model->push(message);
        t.Run(6);
    }

    DspTerminal t;
    bussim::MsrModel* model = nullptr;
};

// ---------------------------------------------------------------------------------------
// The three-track reader.

TEST_F(LinkReader, ThreeTrackReaderComesOnlineAndTakesACard) {
    auto* r = Bring<MS3TKP>(MS3TKP_TYPE_ID, 0x48, Kind(K::THREE));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(Payloads(), (std::vector<std::string>{"0080", "000001", "010f"}));
    EXPECT_EQ(r->PendingMask(), 0u);
    EXPECT_EQ(r->GetECLevel(), 0x21);
    EXPECT_EQ(r->GetVdevType(), MSV_TYPE_ID);
    ASSERT_FALSE(t.OnlineEvents().empty());
    EXPECT_EQ(t.OnlineEvents()[0].p1 & 0xFF, MSR_DEVICE_TYPE);

    Reader<MSV> v(1, kPort, 0x48);
    ASSERT_NO_FATAL_FAILURE(v.ready());
    EXPECT_FALSE(r->Stopped());
    Swipe(T("ABC"), T("12"), None());
    EXPECT_EQ(v.swipes(), (std::vector<uint32_t>{21}));
    EXPECT_TRUE(r->Stopped());

    // A second card before the unlock is not taken: the first card's tracks stay.
    Swipe(T("XYZW"), T("9"), T("7"));
    EXPECT_TRUE(v.swipes().empty());
    Bytes data;
    ASSERT_EQ(v.read(data), 0);
    EXPECT_EQ(data, Join({Track(1, 0, "ABC"), Track(2, 0, "12")}));
    // Read hands the tracks over once; the reader stays locked.
    EXPECT_EQ(v.read(data), POSERR_SYS_LOCKED_NO_DATA_READ);

    ASSERT_EQ(v.ioctl(POS_SYS_UNLOCK_DEVICE), 0);
    Swipe(T("XYZW"), T("9"), T("7"));
    EXPECT_EQ(v.swipes(), (std::vector<uint32_t>{12 + 9 + 9}));
    ASSERT_EQ(v.read(data), 0);
    EXPECT_EQ(data, Join({Track(1, 0, "XYZW"), Track(2, 0, "9"), Track(4, 0, "7")}));
}

TEST_F(LinkReader, OverlongAndUnreadableTracksGiveErrorHeaders) {
    Bring<MS3TKP>(MS3TKP_TYPE_ID, 0x48, Kind(K::THREE));
    Reader<MSV> v(1, kPort, 0x48);
    ASSERT_NO_FATAL_FAILURE(v.ready());
    // Track 2 holds at most 46 characters.
    const std::string track2(47, '5');
    Swipe(T("AB"), T(track2.c_str()), T("XYZ"));
    EXPECT_EQ(v.swipes(), (std::vector<uint32_t>{(2 + 8) + 8 + (3 + 8)}));
    Bytes data;
    ASSERT_EQ(v.read(data), 0);
    EXPECT_EQ(data, Join({Track(1, 0, "AB"), Track(2, 1, ""), Track(4, 0, "XYZ")}));

    // The reader's own error bit, and an empty block that contributes nothing.
    ASSERT_EQ(v.ioctl(POS_SYS_UNLOCK_DEVICE), 0);
    model->trackError(1);
    Swipe(T("AB"), T(""), None());
    EXPECT_EQ(v.swipes(), (std::vector<uint32_t>{8}));
    ASSERT_EQ(v.read(data), 0);
    EXPECT_EQ(data, Track(1, 1, ""));
}

TEST_F(LinkReader, BlocksRunningPastTheMessageEndTheExtraction) {
    Bring<MS3TKP>(MS3TKP_TYPE_ID, 0x48, Kind(K::THREE));
    Reader<MSV> v(1, kPort, 0x48);
    ASSERT_NO_FATAL_FAILURE(v.ready());
    // Track 1 good, track 2 announces 9 bytes of which 2 came; track 3 is not read.
    Push({0x00, 0x02, 0x01, 'A', 0x09, '1', '2'});
    EXPECT_EQ(v.swipes(), (std::vector<uint32_t>{9 + 8}));
    Bytes data;
    ASSERT_EQ(v.read(data), 0);
    EXPECT_EQ(data, Join({Track(1, 0, "A"), Track(2, 1, "")}));
    // A message that ends before its first block has no tracks.
    ASSERT_EQ(v.ioctl(POS_SYS_UNLOCK_DEVICE), 0);
    Push({0x00, 0x02});
    EXPECT_EQ(v.swipes(), (std::vector<uint32_t>{0}));
}

TEST_F(LinkReader, ReadResults) {
    auto* r = Bring<MS3TKP>(MS3TKP_TYPE_ID, 0x48, Kind(K::THREE));
    Reader<MSV> v(1, kPort, 0x48);
    ASSERT_EQ(v.open(), 0);
    Bytes data;
    EXPECT_EQ(v.read(data), 315); // not acquired
    ASSERT_EQ(v.ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    EXPECT_EQ(v.read(data), POSERR_SYS_LOCKED_NO_DATA_READ); // starts locked, no card
    // A swipe before the first unlock is not taken.
    Swipe(T("ABC"), T("12"), None());
    EXPECT_TRUE(v.swipes().empty());
    ASSERT_EQ(v.ioctl(POS_SYS_UNLOCK_DEVICE), 0);
    EXPECT_EQ(v.read(data), 0); // unlocked: nothing, no error
    EXPECT_TRUE(data.empty());

    Swipe(T("ABC"), T("12"), None());
    ASSERT_EQ(v.swipes(), (std::vector<uint32_t>{21}));
    // One byte short: refused, and the card stays for a read that fits.
    EXPECT_EQ(v.read(data, 20), POSERR_SYS_BUFFER_TOO_SMALL);
    EXPECT_TRUE(data.empty());
    ASSERT_EQ(v.read(data, 21), 0);
    EXPECT_EQ(data.size(), 21u);

    // Offline (the reader not ready): 317.
    model->setNotReady(true);
    t.Run(6);
    EXPECT_FALSE(r->Confirmed(0x48));
    EXPECT_EQ(v.read(data), POSERR_SYS_DEVICE_OFFLINE);
    model->setNotReady(false);
    t.Run(6);
    EXPECT_TRUE(r->Confirmed(0x48));
    std::vector<uint32_t> changes;
    for (const Event& e : t.queue.events())
        if (e.msg == POSM_SYS_DEVICE_OFFLINE || e.msg == POSM_SYS_DEVICE_ONLINE) changes.push_back(e.msg);
    EXPECT_EQ(changes, (std::vector<uint32_t>{POSM_SYS_DEVICE_ONLINE, POSM_SYS_DEVICE_OFFLINE,
                                              POSM_SYS_DEVICE_ONLINE}));
}

TEST_F(LinkReader, JisTrackThenTrackTwo) {
    Bring<MS3TKP>(MS3TKP_TYPE_ID, 0x48, Kind(K::THREE));
    Reader<MSV> v(1, kPort, 0x48);
    ASSERT_NO_FATAL_FAILURE(v.ready());
    Push({0x20, 0x02, 0x03, 'J', 'I', 'S', 0x02, '1', '2'});
    EXPECT_EQ(v.swipes(), (std::vector<uint32_t>{11 + 10}));
    EXPECT_EQ(v.Slot(0).length, 0);
    EXPECT_EQ(v.Slot(2).length, 0);
    Bytes data;
    ASSERT_EQ(v.read(data), 0);
    EXPECT_EQ(data, Join({Track(2, 0, "12"), Track(8, 0, "JIS")}));
}

TEST_F(LinkReader, InformationAnswerOfTheWrongLengthKeepsTheReaderType) {
    auto* r = Bring<MS3TKP>(MS3TKP_TYPE_ID, 0x48, Kind(K::THREE));
    ovkhost::clearCaptures();
    Push({0x01, 0x00, 0x00, 0x05, 0x0F, 0x00});
    EXPECT_TRUE(ovkhost::errorLogged(10402));
    EXPECT_FALSE(r->HasEncoder());
    EXPECT_EQ(r->GetVdevType(), MSV_TYPE_ID);
    // Nothing to encode without an encoder.
    unsigned char timeout = 5;
    EXPECT_EQ(r->TellPhys(nullptr, MSR_REQ_ENCODE_TIMEOUT, &timeout, 1), 0);
    EXPECT_EQ(r->PendingMask(), 0u);
}

// ---------------------------------------------------------------------------------------
// The encoder.

class Encoder : public LinkReader {
protected:
    void SetUp() override {
        r = Bring<MS3TKP>(MS3TKP_TYPE_ID, 0x48, Kind(K::THREE, true));
        ASSERT_NE(r, nullptr);
        ASSERT_TRUE(r->HasEncoder());
    }
    MS3TKP* r = nullptr;
};

TEST_F(Encoder, WritesReachTheReaderAndTheirOutcomeIsPosted) {
    EXPECT_EQ(r->GetVdevType(), MSEV_TYPE_ID);
    EXPECT_EQ(r->GetDeviceSubtype(), 1);
    bool said = false;
    for (const std::string& line : ovkhost::printedLines()) said = said || line.find("MSR with Encoder") != std::string::npos;
    EXPECT_TRUE(said);

    Reader<MSEV> v(1, kPort, 0x48);
    ASSERT_NO_FATAL_FAILURE(v.ready());
    model->setEncodeWorks(true);
    const size_t before = model->received().size();
    int written = 0;
    ASSERT_EQ(v.Write("ABC", 3, written), 0);
    EXPECT_EQ(written, 3);
    t.Run(10);
    const std::vector<std::string> all = Payloads();
    std::vector<std::string> sent(all.begin() + static_cast<long>(before), all.end());
    EXPECT_EQ(sent, (std::vector<std::string>{"018064", "100003414243"}));
    std::vector<uint32_t> events;
    for (const Event& e : v.queue.take()) events.push_back(e.msg);
    EXPECT_EQ(events, (std::vector<uint32_t>{MSR_WRITE_SUCCESS}));
    EXPECT_EQ(r->PendingMask(), 0u);

    model->setEncodeWorks(false);
    PosArg timeout{"msrEncodeTimeout", 0x10030};
    int out = 0;
    ASSERT_EQ(v.IOCtl(POS_SYS_SET_VALUES, &timeout, 1, out), 0);
    EXPECT_EQ(v.EncodeTimeout(), 0x30);
    ASSERT_EQ(v.Write("Z", 1, written), 0);
    t.Run(10);
    EXPECT_EQ(bussim::hexBytes(model->received()[model->received().size() - 2]), "018030");
    events.clear();
    for (const Event& e : v.queue.take()) events.push_back(e.msg);
    EXPECT_EQ(events, (std::vector<uint32_t>{MSR_WRITE_FAILED}));
}

TEST_F(Encoder, WritesThatCannotGoSendNothing) {
    Reader<MSEV> v(1, kPort, 0x48);
    ASSERT_NO_FATAL_FAILURE(v.ready());
    const size_t before = model->received().size();
    int written = -1;
    // The length goes in one byte.
    const std::string big(256, 'x');
    EXPECT_EQ(v.Write(big.data(), 256, written), POSERR_SYS_INVALID_LENGTH);
    EXPECT_EQ(written, 0);
    model->setNotReady(true);
    t.Run(6);
    EXPECT_EQ(v.Write("ABC", 3, written), POSERR_SYS_DEVICE_OFFLINE);
    t.Run(6);
    EXPECT_EQ(model->received().size(), before);
    EXPECT_EQ(r->PendingMask(), 0u);
    // The encoder's answers are not swipes.
    model->setNotReady(false);
    Push({0x00, 0x30});
    EXPECT_TRUE(v.swipes().empty());
}

// Card data queued for the encoder when the reader goes offline (here its driver node is
// lost) is dropped: once the reader answers again, nothing is written onto the next card.
TEST_F(Encoder, AWriteQueuedAsTheReaderGoesOfflineIsNeverSent) {
    Reader<MSEV> v(1, kPort, 0x48);
    ASSERT_NO_FATAL_FAILURE(v.ready());
    model->setEncodeWorks(true);
    const size_t before = model->received().size();
    int written = 0;
    ASSERT_EQ(v.Write("ABC", 3, written), 0); // queued, not yet sent
    r->Lock();
    r->ForceOffline();
    r->Unlock();
    EXPECT_FALSE(r->Confirmed(0x48));
    EXPECT_EQ(r->PendingMask() & (1u << MSP_SLOT_ENCODE_TIMEOUT | 1u << MSP_SLOT_ENCODE_DATA), 0u);
    Push({0x00, 0x00}); // the reader answers again: online
    EXPECT_TRUE(r->Confirmed(0x48));
    t.Run(10);
    const std::vector<std::string> all = Payloads();
    for (size_t i = before; i < all.size(); ++i)
        EXPECT_TRUE(all[i] != "018064" && all[i] != "100003414243") << "sent after the offline: " << all[i];
    for (const Event& e : v.queue.take()) EXPECT_NE(e.msg, uint32_t(MSR_WRITE_SUCCESS));
}

// ---------------------------------------------------------------------------------------
// The other link readers.

TEST_F(LinkReader, TwoTrackReaderSendsTheSecondBlockToTrackOneOrThree) {
    auto* r = Bring<MS2TKP>(MS2TKP_TYPE_ID, 0x46, Kind(K::TWO));
    EXPECT_EQ(Payloads(), (std::vector<std::string>{"0080", "05"}));
    EXPECT_EQ(r->PendingMask(), 0u);
    Reader<MSV> v(1, kPort, 0x46);
    ASSERT_NO_FATAL_FAILURE(v.ready());
    Swipe(T("ABC"), T("12"), None()); // byte 0 bit 6: the second block is track 1
    Bytes data;
    ASSERT_EQ(v.read(data), 0);
    EXPECT_EQ(data, Join({Track(1, 0, "ABC"), Track(2, 0, "12")}));
    ASSERT_EQ(v.ioctl(POS_SYS_UNLOCK_DEVICE), 0);
    model->trackError(2);
    Swipe(None(), T("12"), T("XY"));
    ASSERT_EQ(v.read(data), 0);
    EXPECT_EQ(data, Join({Track(2, 1, ""), Track(4, 0, "XY")}));
    ovkhost::clearCaptures();
    Push({0x02});
    EXPECT_TRUE(ovkhost::errorLogged(10304));
}

TEST_F(LinkReader, OneTrackReaderTakesTheWholeMessageAsTrackTwo) {
    auto* r = Bring<MS1TKP>(MS1TKP_TYPE_ID, 0x40, Kind(K::ONE));
    EXPECT_EQ(Payloads(), (std::vector<std::string>{"0080", "0100"}));
    EXPECT_EQ(r->PendingMask(), 0u);
    EXPECT_EQ(r->GetECLevel(), 0x21);
    Reader<MSV> v(1, kPort, 0x40);
    ASSERT_NO_FATAL_FAILURE(v.ready());
    Swipe(None(), T("1234"), None());
    Bytes data;
    ASSERT_EQ(v.read(data), 0);
    EXPECT_EQ(data, Track(2, 0, "1234"));
    // More than the slot holds: an error header, the slot untouched beyond it.
    ASSERT_EQ(v.ioctl(POS_SYS_UNLOCK_DEVICE), 0);
    Bytes big(1 + 141, '9');
    big[0] = 0x00;
    Push(big);
    ASSERT_EQ(v.read(data), 0);
    EXPECT_EQ(data, Track(2, 1, ""));
}

TEST_F(LinkReader, JisReaderConfirmsItsCommandsAndReadsTrackTwoAndJis) {
    auto* r = Bring<MSJTKP>(MSJTKP_TYPE_ID, 0x40, Kind(K::JIS));
    // Each command goes once: the answer confirms it.
    EXPECT_EQ(Payloads(), (std::vector<std::string>{"8100", "05"}));
    EXPECT_EQ(r->PendingMask(), 0u);
    Reader<MSV> v(1, kPort, 0x40);
    ASSERT_NO_FATAL_FAILURE(v.ready());
    Swipe(None(), T("12"), T("JIS"));
    Bytes data;
    ASSERT_EQ(v.read(data), 0);
    EXPECT_EQ(data, Join({Track(2, 0, "12"), Track(8, 0, "JIS")}));
}

// ---------------------------------------------------------------------------------------
// A reader answering every command with its error bit.

struct ErrorCase {
    const char* name;
    K kind;
    bool encoder;       // the command refused is an encode the application asks for
    unsigned short type;
    uint8_t address;
    const char* command; // the command refused, in hex
};

void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.name; }

class ErrorWithoutEnd : public LinkReader, public ::testing::WithParamInterface<ErrorCase> {};

// The refused command goes again at once three times, then about once a second for as long
// as the reader keeps answering with its error bit; once it stops, the command is taken.
TEST_P(ErrorWithoutEnd, TheRefusedCommandGoesAgainPacedUntilTheReaderTakesIt) {
    const ErrorCase& c = GetParam();
    auto m = std::make_unique<bussim::MsrModel>(Kind(c.kind, c.encoder));
    model = m.get();
    MSP* r = t.AttachModel<MSP>(c.type, c.address, std::move(m));
    ASSERT_NE(r, nullptr);
    std::unique_ptr<Reader<MSEV>> writer;
    if (c.encoder) {
        t.Run();
        ASSERT_TRUE(r->Confirmed(c.address));
        writer = std::make_unique<Reader<MSEV>>(1, kPort, c.address);
        ASSERT_NO_FATAL_FAILURE(writer->ready());
        model->reject(1 << 30);
        int written = 0;
        ASSERT_EQ(writer->Write("ABC", 3, written), 0);
    } else {
        model->reject(1 << 30);
    }
    size_t seen = model->received().size();
    int refused = 0;
    std::vector<int32_t> paced; // when each command went after the third refusal
    const int32_t start = chTime();
    while (chTimeDiff(chTime(), start) < 8000) {
        t.Cycle();
        const auto& all = model->received();
        ASSERT_LT(all.size(), bussim::MsrModel::kReceivedLimit);
        for (; seen < all.size(); ++seen) {
            if (bussim::hexBytes(all[seen]) != c.command) continue;
            if (refused >= 3) paced.push_back(chTime());
            ++refused;
        }
    }
    ASSERT_GE(refused, 3);
    EXPECT_GE(paced.size(), 6u);
    EXPECT_LE(paced.size(), 9u);
    for (size_t i = 1; i < paced.size(); ++i) EXPECT_GE(chTimeDiff(paced[i], paced[i - 1]), 1000) << i;
    EXPECT_TRUE(ovkhost::errorLogged(c.kind == K::JIS ? 10501 : c.kind == K::ONE ? 10201 : c.kind == K::TWO ? 10301 : 10401));
    EXPECT_NE(r->PendingMask(), 0u);

    model->reject(0);
    t.Run(200);
    EXPECT_EQ(r->PendingMask(), 0u);
    if (c.encoder) {
        ASSERT_FALSE(model->written().empty());
        EXPECT_EQ(bussim::hexBytes(model->written().back()), "414243");
        std::vector<uint32_t> events;
        for (const Event& e : writer->queue.take()) events.push_back(e.msg);
        EXPECT_EQ(events, (std::vector<uint32_t>{MSR_WRITE_SUCCESS}));
    }
    seen = model->received().size();
    t.Run(200);
    EXPECT_EQ(model->received().size(), seen);
}

INSTANTIATE_TEST_SUITE_P(
    Readers, ErrorWithoutEnd,
    ::testing::Values(ErrorCase{"ThreeTrackInformation", K::THREE, false, MS3TKP_TYPE_ID, 0x48, "000001"},
                      ErrorCase{"ThreeTrackEncode", K::THREE, true, MS3TKP_TYPE_ID, 0x48, "018064"},
                      ErrorCase{"TwoTrack", K::TWO, false, MS2TKP_TYPE_ID, 0x46, "05"},
                      ErrorCase{"OneTrack", K::ONE, false, MS1TKP_TYPE_ID, 0x40, "0100"}),
    [](const ::testing::TestParamInfo<ErrorCase>& i) { return std::string(i.param.name); });

} // namespace
} // namespace msrtest
