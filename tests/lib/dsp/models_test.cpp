// The character display models: operator, alphanumeric operator and shopper displays, from
// the client's request to the bytes the simulated display receives.
#include <gtest/gtest.h>

#include <cstring>

#include "ANOP.h"
#include "DspTerminal.h"
#include "OPER.h"
#include "SHOP.h"

namespace dsptest {
namespace {

using Kind = bussim::DisplayModel::Kind;

bussim::DisplayModel::Options model(Kind kind, uint8_t ec = 0x10, uint8_t type = 1) {
    bussim::DisplayModel::Options o;
    o.kind = kind;
    o.ecLevel = ec;
    o.type = type;
    o.configuration = 0x5A;
    return o;
}

int Acquire(VDEV* v) {
    int out = 0;
    return v->IOCtl(POS_SYS_ACQUIRE_DEVICE, nullptr, 0, out);
}

int Write(VDEV* v, const std::string& s, int* written = nullptr) {
    int n = 0;
    int rc = v->Write(s.data(), static_cast<unsigned>(s.size()), n);
    if (written) *written = n;
    return rc;
}

Bytes RowCommand(uint8_t row, const std::string& text) {
    Bytes b{row, 0x28};
    std::string padded = text;
    padded.resize(20, ' ');
    b.insert(b.end(), padded.begin(), padded.end());
    return b;
}

// Commands the display received from index `from` on.
std::vector<Bytes> Since(const bussim::DisplayModel* m, size_t from) {
    const auto& c = m->commands();
    return std::vector<Bytes>(c.begin() + static_cast<long>(std::min(from, c.size())), c.end());
}

// ---------------------------------------------------------------------------------------
// Operator display.

class OperatorDisplay : public ::testing::Test {
protected:
    void SetUp() override {
        oper = t.Attach<OPERP>(OPERP_TYPE_ID, 0x22, model(Kind::Operator));
        t.Run();
        ASSERT_TRUE(oper->Confirmed(0x22));
        int rc = -1;
        v = t.OpenVirtual<OPERV>(OPERV_TYPE_ID, 0x22, &rc);
        ASSERT_EQ(rc, 0);
        display = t.Model(0x22);
    }

    DspTerminal t;
    OPERP* oper = nullptr;
    VdevPtr<OPERV> v;
    bussim::DisplayModel* display = nullptr;
};

TEST_F(OperatorDisplay, HelloSendsTheRowCommand) {
    ASSERT_EQ(Acquire(v.get()), 0);
    t.Run();
    // Acquiring sends the whole text and the user-defined characters, in slot order.
    auto acquired = Since(display, 11);
    ASSERT_EQ(acquired.size(), 9u);
    EXPECT_EQ(acquired[0], RowCommand(0x81, ""));
    EXPECT_EQ(acquired[1], RowCommand(0x82, ""));
    EXPECT_EQ(acquired[2], (Bytes{0x40, 0x01, 0, 0, 0, 0, 0, 0, 0, 0}));

    const size_t mark = display->commands().size();
    int written = 0;
    ASSERT_EQ(Write(v.get(), "HELLO", &written), 0);
    EXPECT_EQ(written, 5);
    t.Run();
    const auto sent = Since(display, mark);
    ASSERT_EQ(sent.size(), 1u);
    const Bytes want{0x81, 0x28, 'H', 'E', 'L', 'L', 'O', ' ', ' ', ' ', ' ', ' ', ' ',
                     ' ',  ' ',  ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    EXPECT_EQ(sent[0], want);
    EXPECT_EQ(display->text(0), "HELLO               ");
}

TEST_F(OperatorDisplay, WriteAcrossTheRowsAndMappedCharacters) {
    ASSERT_EQ(Acquire(v.get()), 0);
    PosArg cursor{"displayCursor", 17};
    ASSERT_EQ(v->SetValues(&cursor, 1), 0);
    // u-umlaut loses its accent; 0xD5 of 858 is the euro sign, user character 0.
    ASSERT_EQ(Write(v.get(), "ab\x81\xD5z"), 0);
    t.Run();
    EXPECT_EQ(display->text(0), std::string(17, ' ') + "abu");
    EXPECT_EQ(display->rowBytes(1)[0], 0x00);
    EXPECT_EQ(display->text(1), "*z" + std::string(18, ' '));
}

TEST_F(OperatorDisplay, LostRowIsSentAgain) {
    ASSERT_EQ(Acquire(v.get()), 0);
    t.Run();
    t.slot->adapter.loseInfoFrames = 1;
    ovkhost::clearCaptures();
    ASSERT_EQ(Write(v.get(), "SALE 1.99"), 0);
    t.Run(5);
    ASSERT_EQ(t.slot->adapter.lost.size(), 1u);
    EXPECT_EQ(t.slot->adapter.lost[0], RowCommand(0x81, "SALE 1.99"));
    EXPECT_TRUE(oper->GetRowInFlight().inFlight);
    EXPECT_EQ(display->text(0), std::string(20, ' '));

    ovkhost::advanceClock(600); // no acknowledgement within the wait: lost
    t.Run();
    EXPECT_TRUE(ovkhost::errorLogged(4202));
    EXPECT_EQ(display->text(0), "SALE 1.99           ");
    EXPECT_FALSE(oper->GetRowInFlight().inFlight);
    EXPECT_FALSE(oper->IsPending(OPERP::kRow1));
}

TEST_F(OperatorDisplay, RowWrittenAgainWhileInFlightShowsTheNewText) {
    ASSERT_EQ(Acquire(v.get()), 0);
    t.Run();
    t.slot->adapter.loseInfoFrames = 1;
    ASSERT_EQ(Write(v.get(), "FIRST"), 0);
    t.Run(3);
    PosArg home{"displayCursor", 0};
    ASSERT_EQ(v->SetValues(&home, 1), 0);
    ASSERT_EQ(Write(v.get(), "SECOND"), 0);
    ovkhost::advanceClock(600);
    t.Run();
    EXPECT_EQ(display->text(0), "SECOND              ");
}

TEST_F(OperatorDisplay, DefiningEightCharactersKeepsSeven) {
    unsigned char patterns[8][8];
    PosArg args[8];
    for (int i = 0; i < 8; ++i) {
        std::memset(patterns[i], 0x10 + i, 8);
        args[i].name = reinterpret_cast<const char*>(static_cast<uintptr_t>(0x0100 | ('a' + i)));
        args[i].value = reinterpret_cast<intptr_t>(patterns[i]);
    }
    args[3].value = 0; // not readable: skipped
    int out = -1;
    // Not acquired: kept for the next acquire.
    ASSERT_EQ(v->IOCtl(POS_DSP_DEFINE_CHARACTERS, args, 8, out), 0);
    EXPECT_EQ(v->GetUserChars().Lookup('a'), 1);
    EXPECT_EQ(v->GetUserChars().Lookup('c'), 3);
    EXPECT_EQ(v->GetUserChars().Lookup('d'), 0);
    EXPECT_EQ(v->GetUserChars().Lookup('h'), 0); // the eighth
    ASSERT_EQ(Acquire(v.get()), 0);
    t.Run();
    for (int n = 1; n <= 7; ++n) {
        std::array<uint8_t, 8> want{};
        if (n != 4) want.fill(static_cast<uint8_t>(0x10 + n - 1));
        EXPECT_EQ(display->pattern(n), want) << n;
    }
    ASSERT_EQ(Write(v.get(), "abcd"), 0);
    t.Run();
    EXPECT_EQ(Bytes(display->rowBytes(0).begin(), display->rowBytes(0).begin() + 4),
              (Bytes{1, 2, 3, 'd'}));
    // A new definition replaces the old one, and goes at once while acquired.
    const size_t mark = display->commands().size();
    ASSERT_EQ(v->IOCtl(POS_DSP_DEFINE_CHARACTERS, args + 7, 1, out), 0);
    t.Run();
    EXPECT_EQ(Since(display, mark).size(), 7u);
    EXPECT_EQ(v->GetUserChars().Lookup('a'), 0);
    EXPECT_EQ(v->GetUserChars().Lookup('h'), 1);
}

TEST_F(OperatorDisplay, ClearBlanksTheTextAndHomesTheCursor) {
    ASSERT_EQ(Acquire(v.get()), 0);
    ASSERT_EQ(Write(v.get(), "TOTAL"), 0);
    int out = -1;
    EXPECT_EQ(v->IOCtl(POS_DSP_CLEAR_SCREEN, nullptr, 0, out), 0);
    EXPECT_EQ(v->GetCursor(), 0);
    t.Run();
    EXPECT_EQ(display->text(0), std::string(20, ' '));
    EXPECT_EQ(display->text(1), std::string(20, ' '));
}

// ---------------------------------------------------------------------------------------
// Alphanumeric operator display.

class AnopDisplay : public ::testing::Test {
protected:
    void Bring(uint8_t type, uint8_t ec) {
        anop = t.Attach<ANOPP>(ANOPP_TYPE_ID, 0x24, model(Kind::Alphanumeric, ec, type));
        t.Run();
        ASSERT_TRUE(anop->Confirmed(0x24));
        display = t.Model(0x24);
    }
    VdevPtr<ANOPV> Open(unsigned short codePage, const char* resources = nullptr, int expect = 0,
                        const unsigned char* ranges = nullptr) {
        int rc = -1;
        auto v = t.OpenVirtual<ANOPV>(ANOPV_TYPE_ID, 0x24, &rc, codePage, resources, {}, ranges);
        EXPECT_EQ(rc, expect);
        return v;
    }

    DspTerminal t;
    ANOPP* anop = nullptr;
    bussim::DisplayModel* display = nullptr;
};

TEST_F(AnopDisplay, TypeAndSubtypeFromTheDeviceInformation) {
    struct Case {
        uint8_t type, ec, subtype;
        long ackWait;
    } cases[] = {
        {6, 0x10, 246, 500}, {7, 0x20, 247, 500}, {6, 15, 6, 500}, {1, 0x30, 1, 100},
        {3, 0x01, 3, 100},   {2, 0x01, 2, 500},
    };
    uint8_t address = 0x24;
    for (const Case& c : cases) {
        DspTerminal term;
        ANOPP* p = term.Attach<ANOPP>(ANOPP_TYPE_ID, address, model(Kind::Alphanumeric, c.ec, c.type));
        term.Run();
        ASSERT_TRUE(p->Confirmed(address)) << int(c.type);
        EXPECT_EQ(p->GetDisplayType(), c.subtype);
        EXPECT_EQ(p->GetDeviceSubtype(), c.subtype);
        EXPECT_EQ(p->GetConfiguration(), 0x5A);
        EXPECT_EQ(p->GetECLevel(), c.ec);
        EXPECT_EQ(p->GetAckWaitTime(), c.ackWait);
        auto online = term.OnlineEvents();
        ASSERT_EQ(online.size(), 1u);
        EXPECT_EQ(online[0].p1, 0x01112402u);
        EXPECT_EQ(online[0].p2, c.subtype);
        EXPECT_EQ(term.slot->adapter.lastTiming[address], std::make_pair(uint8_t(96), uint8_t(72)));
    }
}

TEST_F(AnopDisplay, ShortAnswersAreLoggedAndNotReadBeyond) {
    anop = t.Attach<ANOPP>(ANOPP_TYPE_ID, 0x24); // answers by hand
    anop->SetECLevel(9);
    std::unique_ptr<unsigned char[]> info(new unsigned char[5]{0x10, 1, 6, 0, 0});
    anop->NewMsgRcvd(info.get(), 5);
    EXPECT_TRUE(ovkhost::errorLogged(5205));
    EXPECT_FALSE(anop->Confirmed(0x24));
    std::unique_ptr<unsigned char[]> ec(new unsigned char[1]{0x20});
    anop->NewMsgRcvd(ec.get(), 1);
    EXPECT_TRUE(ovkhost::errorLogged(5204));
    EXPECT_EQ(anop->GetECLevel(), 9);
    const Bytes reject{0x80};
    anop->NewMsgRcvd(reject.data(), 1);
    EXPECT_TRUE(ovkhost::errorLogged(5202));
}

TEST_F(AnopDisplay, MapFollowsTheDisplayType) {
    struct Case {
        uint8_t type, ec;
        uint8_t uUmlaut, euro; // what 0x81 and 0xD5 (code page 858) become
    } cases[] = {
        {1, 0x10, 'u', 0x00},   // liquid crystal
        {6, 0x0F, 0x81, 0x00},  // vacuum fluorescent
        {6, 0x20, 0x81, 0xD5},  // with code pages, following the client's 858 (no index)
        {9, 0x10, 'u', 0x00},   // unknown types: liquid crystal
    };
    for (const Case& c : cases) {
        DspTerminal term;
        ANOPP* p = term.Attach<ANOPP>(ANOPP_TYPE_ID, 0x24, model(Kind::Alphanumeric, c.ec, c.type));
        term.Run();
        int rc = -1;
        auto v = term.OpenVirtual<ANOPV>(ANOPV_TYPE_ID, 0x24, &rc, 858);
        ASSERT_EQ(rc, 0);
        ASSERT_EQ(Acquire(v.get()), 0);
        ASSERT_EQ(Write(v.get(), "A\x81\xD5"), 0);
        term.Run();
        const Bytes& row = term.Model(0x24)->rowBytes(0);
        EXPECT_EQ(Bytes(row.begin(), row.begin() + 3), (Bytes{'A', c.uUmlaut, c.euro}))
            << int(p->GetDisplayType());
    }
}

TEST_F(AnopDisplay, CodePageOfAnLcVfdDisplay) {
    Bring(6, 0x20); // 246
    // The client's 850 is index 2: the display selects it and takes the bytes unmapped.
    auto v = Open(850);
    EXPECT_EQ(v->GetCodePageIndex(), 2);
    EXPECT_EQ(v->SelectionByte(), 2);
    ASSERT_EQ(Acquire(v.get()), 0);
    t.Run();
    EXPECT_EQ(display->codePage(), 2);
    ASSERT_EQ(Write(v.get(), "\x81\xD5"), 0);
    t.Run();
    EXPECT_EQ(Bytes(display->rowBytes(0).begin(), display->rowBytes(0).begin() + 2), (Bytes{0x81, 0xD5}));

    // A supported index by name, then refused values.
    PosArg args[] = {{"displayCodePage", 3}};
    ASSERT_EQ(v->SetValues(args, 1), 0);
    t.Run();
    EXPECT_EQ(display->codePage(), 3);
    PosArg get[] = {{"displayCodePage", 0}};
    ASSERT_EQ(v->GetValues(get, 1), 0);
    EXPECT_EQ(get[0].value, 3);
    for (intptr_t bad : {12, -1, 100}) {
        args[0].value = bad;
        EXPECT_EQ(v->SetValues(args, 1), POSERR_DSP_INVALID_CODE_PAGE) << bad;
    }
    EXPECT_EQ(v->GetCodePageIndex(), 3);
    // The client's own code page changes: the display follows it again (no index).
    PosArg client[] = {{"codePage", 437}};
    ASSERT_EQ(v->SetValues(client, 1), 0);
    EXPECT_EQ(v->GetCodePageIndex(), ANOP_CP_FOLLOW_CLIENT);
    t.Run();
    EXPECT_EQ(display->codePage(), 0);
}

TEST_F(AnopDisplay, CodePageResourceOfAnLcVfdDisplay) {
    Bring(7, 0x20); // 247
    const int before = anop->OpenCount();
    {
        auto v = Open(850, "display.displayCodePage: 12\n", POSERR_DSP_INVALID_CODE_PAGE);
        EXPECT_EQ(v->GetPhysical(), nullptr);
    }
    EXPECT_EQ(anop->OpenCount(), before);
    auto named = Open(437, "display.displayCodePage: DSP_CP_NORDIC\n");
    EXPECT_EQ(named->GetCodePageIndex(), 9);
    auto follow = Open(858, "display.displayCodePage: -5\n");
    EXPECT_EQ(follow->GetCodePageIndex(), ANOP_CP_FOLLOW_CLIENT);
    EXPECT_EQ(follow->SelectionByte(), 0);
}

TEST_F(AnopDisplay, CodePageIsNotSelectableOnOtherTypes) {
    Bring(1, 0x10);
    auto v = Open(850, "display.displayCodePage: 12\n"); // not looked at
    PosArg args[] = {{"displayCodePage", 99}};
    EXPECT_EQ(v->SetValues(args, 1), 0);
    EXPECT_EQ(v->GetCodePageIndex(), ANOP_CP_FOLLOW_CLIENT);
    // A double-byte client on this display is served as single-byte.
    const unsigned char ranges[32] = {0x81, 0x9F, 0xE0, 0xFC};
    auto dbcs = Open(858, nullptr, 0, ranges);
    EXPECT_EQ(dbcs->GetCodePageIndex(), 1);
    ASSERT_EQ(Acquire(dbcs.get()), 0);
    ASSERT_EQ(Write(dbcs.get(), "\x81"), 0);
    t.Run();
    EXPECT_EQ(display->rowBytes(0)[0], 'u'); // mapped
}

TEST_F(AnopDisplay, DoubleByteClientOnVfdSendsBytesAndSelection) {
    Bring(6, 0x0F);
    const unsigned char ranges[32] = {0x81, 0x9F};
    auto v = Open(858, nullptr, 0, ranges);
    EXPECT_EQ(v->SelectionByte(), 1);
    ASSERT_EQ(Acquire(v.get()), 0);
    ASSERT_EQ(Write(v.get(), "\x82\xA0"), 0);
    t.Run();
    EXPECT_EQ(display->codePage(), 1);
    EXPECT_EQ(Bytes(display->rowBytes(0).begin(), display->rowBytes(0).begin() + 2), (Bytes{0x82, 0xA0}));
}

TEST_F(AnopDisplay, LightsGoAsFourBytes) {
    Bring(6, 0x20);
    auto v = Open(858, "display.displayLightsOn: 0x0F5A0E3C\n");
    EXPECT_EQ(v->GetLights(), 0x0F5A0E3C);
    ASSERT_EQ(Acquire(v.get()), 0);
    t.Run();
    EXPECT_EQ(display->lights(), (std::array<uint8_t, 4>{0x03, 0x5A, 0x02, 0x3C}));
    PosArg args[] = {{"displayLightsOn", 0x01020304}};
    ASSERT_EQ(v->SetValues(args, 1), 0);
    t.Run();
    EXPECT_EQ(display->lights(), (std::array<uint8_t, 4>{0x01, 0x02, 0x03, 0x04}));
    PosArg get[] = {{"displayLightsOn", 0}};
    ASSERT_EQ(v->GetValues(get, 1), 0);
    EXPECT_EQ(get[0].value, 0x01020304);
}

TEST_F(AnopDisplay, ClearUsesTheClearRowCommands) {
    Bring(1, 0x10);
    auto v = Open(858);
    ASSERT_EQ(Acquire(v.get()), 0);
    ASSERT_EQ(Write(v.get(), std::string(30, '#')), 0);
    t.Run();
    const size_t mark = display->commands().size();
    int out = -1;
    ASSERT_EQ(v->IOCtl(POS_DSP_CLEAR_SCREEN, nullptr, 0, out), 0);
    t.Run();
    EXPECT_EQ(Since(display, mark), (std::vector<Bytes>{{0x01, 0x28}, {0x02, 0x28}}));
    EXPECT_EQ(display->text(0), std::string(20, ' '));
    EXPECT_EQ(display->text(1), std::string(20, ' '));
    // The rows kept in the device object are blank too: a later write of row 2 alone
    // does not bring back old text.
    PosArg cursor{"displayCursor", 20};
    ASSERT_EQ(v->SetValues(&cursor, 1), 0);
    ASSERT_EQ(Write(v.get(), "X"), 0);
    t.Run();
    EXPECT_EQ(display->text(1), "X" + std::string(19, ' '));
}

TEST_F(AnopDisplay, LostRowIsResentFromItsCopy) {
    Bring(1, 0x10);
    auto v = Open(858);
    ASSERT_EQ(Acquire(v.get()), 0);
    t.Run();
    t.slot->adapter.loseInfoFrames = 1;
    ovkhost::clearCaptures();
    ASSERT_EQ(Write(v.get(), "PAID"), 0);
    t.Run(3);
    ovkhost::advanceClock(600);
    t.Run();
    EXPECT_TRUE(ovkhost::errorLogged(5206));
    EXPECT_EQ(display->text(0), "PAID                ");
}

TEST_F(AnopDisplay, AnswerToARowKeepsARowWrittenMeanwhile) {
    anop = t.Attach<ANOPP>(ANOPP_TYPE_ID, 0x24); // no station: the display's side by hand
    auto v = Open(858);
    ASSERT_EQ(Acquire(v.get()), 0);
    anop->PowerOnResetInProgress();
    anop->ResetComplete();
    const Bytes status{0x20, 0x01};
    const Bytes info{0x10, 0x00, 0x01, 0x00, 0x00, 0x01};
    anop->SendAnyPendingMessage();      // status request
    anop->NewMsgRcvd(status.data(), 2); // -> configuration query
    anop->NewMsgRcvd(info.data(), 6);   // online -> the next command
    anop->SetStatusBits(PDEV_PRESENT);  // the link is up
    for (int i = 0; i < 20 && anop->GetLastSent() != ANOPP::kRow1; ++i) {
        anop->LastMsgAcked();
        anop->SendAnyPendingMessage();
    }
    ASSERT_EQ(anop->GetLastSent(), ANOPP::kRow1);

    // Row 1 is written again while it is out; then the display answers the row command.
    ASSERT_EQ(Write(v.get(), "NEW"), 0);
    const Bytes plain{0x00};
    anop->NewMsgRcvd(plain.data(), 1);
    for (int i = 0; i < 20 && anop->GetPendingMask() != 0; ++i) {
        anop->LastMsgAcked();
        anop->SendAnyPendingMessage();
    }
    Bytes lastRow1;
    for (const Bytes& f : t.slot->adapter.sentInfo)
        if (!f.empty() && f[0] == 0x81) lastRow1 = f;
    EXPECT_EQ(lastRow1, RowCommand(0x81, "NEW"));
}

// ---------------------------------------------------------------------------------------
// Shopper display.

TEST(ShopperLine, SeparatorRule) {
    struct Case {
        const char* cells; // the 12 cells
        const char* shown;
    } cases[] = {
        {"0123456789AB", "013568AB    "}, // digits in cells 2, 4, 7, 9 drop out
        {"1234,67.9,AB", "124,67.9,AB "}, // separators in their cells are kept
        {"12,345.67   ", "12,35 7     "}, // elsewhere a period shows as a space
        {"  .  ,  .  .", "            "}, // a period in cell 2 is not shown
    };
    for (const Case& c : cases) {
        uint16_t glyphs[13] = {};
        for (int i = 0; i < 12; ++i) glyphs[i] = static_cast<unsigned char>(c.cells[i]);
        unsigned char out[12];
        SHOPP::FormatLine(glyphs, out);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 12), c.shown) << c.cells;
    }
}

TEST(ShopperDisplay, LineAndLightsReachTheDisplay) {
    DspTerminal t;
    SHOPP* shop = t.Attach<SHOPP>(SHOPP_TYPE_ID, 0x26, model(Kind::Shopper));
    t.Run();
    ASSERT_TRUE(shop->Confirmed(0x26));
    bussim::DisplayModel* display = t.Model(0x26);
    EXPECT_EQ(display->text(0), "U007        ");

    int rc = -1;
    auto v = t.OpenVirtual<SHOPV>(SHOPV_TYPE_ID, 0x26, &rc, 858, "display.displayLightsOn: 5\n");
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(v->GetLights(), 5);
    ASSERT_EQ(Acquire(v.get()), 0);
    int written = 0;
    ASSERT_EQ(Write(v.get(), "12,34.56 total", &written), 0);
    EXPECT_EQ(written, 12);
    EXPECT_EQ(v->GetCursor(), 0);
    t.Run();
    // "12,34.56 tot": the digit in cell 4 and the letter in cell 9 drop out, the period
    // in cell 5 shows as a space, letters as capitals.
    EXPECT_EQ(display->text(0), "12,3 5 OT   ");
    EXPECT_EQ(display->shopperLights(), 5);

    PosArg lights{"displayLightsOn", 0x81};
    ASSERT_EQ(v->SetValues(&lights, 1), 0);
    t.Run();
    EXPECT_EQ(display->shopperLights(), 0x81);
    PosArg get{"displayLightsOn", 0};
    ASSERT_EQ(v->GetValues(&get, 1), 0);
    EXPECT_EQ(get.value, 0x81);
    // Short records and unknown requests are refused.
    EXPECT_EQ(shop->TellPhys(v.get(), DSP_REQ_UPDATE_TEXT, nullptr, 0), 321);
    EXPECT_TRUE(ovkhost::errorLogged(4501));
}

// ---------------------------------------------------------------------------------------
// A rejected command goes again: at once three times in a row, then once a second until the
// display takes it, so that a display that rejects a line now and then still shows it, and
// one that rejects every command is not flooded.

struct RejectCase {
    int rejects;
    bool shownAtOnce;
};
void PrintTo(const RejectCase& c, std::ostream* os) { *os << c.rejects << " rejects"; }

class RejectedLine : public ::testing::TestWithParam<RejectCase> {
protected:
    // Writes "PAID" with the display rejecting the next `rejects` commands; what row 0 shows
    // and how many commands for row 0 (or the shopper line) went out.
    template <class P, class V>
    // `shown` and `next`: what the display shows of the two lines (the shopper display drops
    // the letter in its separator cell 2).
    void Run(int pType, int vType, uint8_t address, Kind kind, uint8_t lineCommand, const std::string& shown,
             const std::string& next) {
        DspTerminal t;
        P* p = t.Attach<P>(pType, address, model(kind));
        t.Run();
        ASSERT_TRUE(p->Confirmed(address));
        bussim::DisplayModel* display = t.Model(address);
        int rc = -1;
        auto v = t.OpenVirtual<V>(vType, address, &rc);
        ASSERT_EQ(rc, 0);
        ASSERT_EQ(Acquire(v.get()), 0);
        t.Run();
        const size_t mark = display->commands().size();
        ovkhost::clearCaptures();
        const int rejects = GetParam().rejects;
        display->reject(rejects);
        ASSERT_EQ(Write(v.get(), "PAID"), 0);
        auto lines = [&] {
            size_t n = 0;
            for (const Bytes& c : Since(display, mark)) n += !c.empty() && c[0] == lineCommand;
            return n;
        };
        t.Run();
        EXPECT_EQ(display->text(0).substr(0, shown.size()) == shown, GetParam().shownAtOnce) << display->text(0);
        EXPECT_EQ(lines(), static_cast<size_t>(std::min(rejects, 3) + 1));
        EXPECT_TRUE(ovkhost::errorLogged(kind == Kind::Alphanumeric ? 5202 : 4401));
        // After the third reject in a row the line waits a second, and is not dropped.
        t.Run(70);
        EXPECT_EQ(display->text(0).substr(0, shown.size()), shown);
        EXPECT_EQ(lines(), static_cast<size_t>(rejects + 1));

        // Accepted, the pace is over: the next line goes again at once when it is rejected.
        display->reject(1);
        PosArg home{"displayCursor", 0};
        ASSERT_EQ(v->SetValues(&home, 1), 0);
        ASSERT_EQ(Write(v.get(), "NEXT"), 0);
        t.Run(5);
        EXPECT_EQ(display->text(0).substr(0, next.size()), next);
    }
};

TEST_P(RejectedLine, OperatorDisplay) {
    Run<OPERP, OPERV>(OPERP_TYPE_ID, OPERV_TYPE_ID, 0x22, Kind::Operator, 0x81, "PAID", "NEXT");
}
TEST_P(RejectedLine, AlphanumericDisplay) {
    Run<ANOPP, ANOPV>(ANOPP_TYPE_ID, ANOPV_TYPE_ID, 0x24, Kind::Alphanumeric, 0x81, "PAID", "NEXT");
}
TEST_P(RejectedLine, ShopperDisplay) {
    Run<SHOPP, SHOPV>(SHOPP_TYPE_ID, SHOPV_TYPE_ID, 0x26, Kind::Shopper, 0x80, "PAD ", "NET ");
}

INSTANTIATE_TEST_SUITE_P(Rejects, RejectedLine,
                         ::testing::Values(RejectCase{1, true}, RejectCase{2, true}, RejectCase{3, true},
                                           RejectCase{4, false}));

// A display that rejects every command: a write over both rows goes again at once three
// times, then once a second, the rows taking turns and counting as rejects in a row; a new
// write goes at once; once the display takes a command both rows show and the pace is over.
template <class P, class V>
void RejectsWithoutEnd(int pType, int vType, uint8_t address, Kind kind) {
    DspTerminal t;
    P* p = t.Attach<P>(pType, address, model(kind));
    t.Run();
    ASSERT_TRUE(p->Confirmed(address));
    bussim::DisplayModel* display = t.Model(address);
    int rc = -1;
    auto v = t.OpenVirtual<V>(vType, address, &rc);
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(Acquire(v.get()), 0);
    t.Run();
    const size_t mark = display->commands().size();
    auto sent = [&] { return Since(display, mark).size(); };
    display->reject(1000);
    ASSERT_EQ(Write(v.get(), std::string(20, 'A') + std::string(20, 'B')), 0);
    t.Run(40); // 0.4 s
    EXPECT_EQ(sent(), 4u) << "sent, then three times again at once";
    t.Run(110); // 1.5 s
    EXPECT_EQ(sent(), 5u);
    t.Run(100); // 2.5 s
    EXPECT_EQ(sent(), 6u);
    // A new write goes at once, once.
    PosArg home{"displayCursor", 0};
    ASSERT_EQ(v->SetValues(&home, 1), 0);
    ASSERT_EQ(Write(v.get(), "C"), 0);
    t.Run(2);
    EXPECT_EQ(sent(), 7u);
    t.Run(50); // 3.0 s
    EXPECT_EQ(sent(), 7u);
    EXPECT_EQ(display->text(0), std::string(20, ' '));
    // The display takes commands again: within a second both rows show, without a new write.
    display->reject(0);
    t.Run(110);
    EXPECT_EQ(display->text(0), "C" + std::string(19, 'A'));
    EXPECT_EQ(display->text(1), std::string(20, 'B'));
    EXPECT_FALSE(p->GetRejectPacer().Pacing());
}

TEST(DisplayRejectingEveryCommand, OperatorDisplay) {
    RejectsWithoutEnd<OPERP, OPERV>(OPERP_TYPE_ID, OPERV_TYPE_ID, 0x22, Kind::Operator);
}
TEST(DisplayRejectingEveryCommand, AlphanumericDisplay) {
    RejectsWithoutEnd<ANOPP, ANOPV>(ANOPP_TYPE_ID, ANOPV_TYPE_ID, 0x24, Kind::Alphanumeric);
}

// A display that rejects its status request as it starts: the request goes again at once
// three times, then once a second, and the display comes online once it answers.
TEST(DisplayRejectingEveryCommand, TheStatusRequestIsPacedAndTheDisplayComesOnline) {
    DspTerminal t;
    OPERP* p = t.Attach<OPERP>(OPERP_TYPE_ID, 0x22, model(Kind::Operator));
    bussim::DisplayModel* display = t.Model(0x22);
    display->reject(1000);
    auto requests = [&] {
        size_t n = 0;
        for (const Bytes& c : display->commands()) n += c == Bytes{0x00, 0x80};
        return n;
    };
    t.Run(40);
    EXPECT_EQ(requests(), 4u);
    t.Run(200);
    EXPECT_EQ(requests(), 6u);
    EXPECT_FALSE(p->Confirmed(0x22));
    EXPECT_EQ(display->commands().size(), requests()) << "nothing else goes before the answer";
    display->reject(0);
    t.Run(110);
    EXPECT_TRUE(p->Confirmed(0x22));
    EXPECT_EQ(display->text(1), "U007" + std::string(16, ' '));
}

// A message with the reject bit that answers no command sends nothing again.
TEST(DisplayRejectingEveryCommand, AnUnaskedRejectSendsNothing) {
    DspTerminal t;
    OPERP* p = t.Attach<OPERP>(OPERP_TYPE_ID, 0x22, model(Kind::Operator));
    t.Run();
    ASSERT_TRUE(p->Confirmed(0x22));
    bussim::DisplayModel* display = t.Model(0x22);
    int rc = -1;
    auto v = t.OpenVirtual<OPERV>(OPERV_TYPE_ID, 0x22, &rc);
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(Acquire(v.get()), 0);
    ASSERT_EQ(Write(v.get(), std::string(20, 'A') + std::string(20, 'B')), 0);
    t.Run();
    const size_t mark = display->commands().size();
    for (int i = 0; i < 5; ++i) {
        display->unasked();
        t.Run(5);
    }
    EXPECT_TRUE(Since(display, mark).empty());
    EXPECT_EQ(p->GetRejectPacer().Streak(), 0);
}

// ---------------------------------------------------------------------------------------
// A write asks the adapter for a send turn at once, so that the line goes out in the next
// round rather than after the polling thread's idle interval.

template <class P, class V>
void WriteAsksForASendTurn(int pType, int vType, uint8_t address, Kind kind) {
    DspTerminal t;
    P* p = t.Attach<P>(pType, address, model(kind));
    t.Run();
    ASSERT_TRUE(p->Confirmed(address));
    int rc = -1;
    auto v = t.OpenVirtual<V>(vType, address, &rc);
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(Acquire(v.get()), 0);
    t.Run();
    const int turns = t.slot->adapter.sendTurns;
    ASSERT_EQ(Write(v.get(), "PAID"), 0);
    EXPECT_EQ(t.slot->adapter.sendTurns, turns + 1);
}

TEST(DisplayWrite, OperatorDisplayAsksForASendTurn) {
    WriteAsksForASendTurn<OPERP, OPERV>(OPERP_TYPE_ID, OPERV_TYPE_ID, 0x22, Kind::Operator);
}
TEST(DisplayWrite, AlphanumericDisplayAsksForASendTurn) {
    WriteAsksForASendTurn<ANOPP, ANOPV>(ANOPP_TYPE_ID, ANOPV_TYPE_ID, 0x24, Kind::Alphanumeric);
}
TEST(DisplayWrite, ShopperDisplayAsksForASendTurn) {
    WriteAsksForASendTurn<SHOPP, SHOPV>(SHOPP_TYPE_ID, SHOPV_TYPE_ID, 0x26, Kind::Shopper);
}

} // namespace
} // namespace dsptest
