// The display base: command slots and the status answer on the link (through the numeric
// and operator displays, whose physical sides keep the base's handling), and the virtual
// base's cells, cursor, clear and acquire (through the numeric display, whose virtual side
// is the base's).
#include <gtest/gtest.h>

#include <cstring>

#include "ANUM.h"
#include "DspTerminal.h"
#include "OPER.h"

namespace dsptest {
namespace {

using Kind = bussim::DisplayModel::Kind;

bussim::DisplayModel::Options model(Kind kind, uint8_t ec = 0x10) {
    bussim::DisplayModel::Options o;
    o.kind = kind;
    o.ecLevel = ec;
    return o;
}

class DisplayBase : public ::testing::Test {
protected:
    DspTerminal t;
};

// ---------------------------------------------------------------------------------------
// Physical side.

TEST_F(DisplayBase, StatusAnswerBringsDisplayOnlineWithEcLevel) {
    ANUMP* anum = t.Attach<ANUMP>(ANUMP_TYPE_ID, 0x20, model(Kind::Numeric, 0x2A));
    OPERP* oper = t.Attach<OPERP>(OPERP_TYPE_ID, 0x22, model(Kind::Operator, 0x11));
    ASSERT_TRUE(anum && oper);
    EXPECT_FALSE(anum->Confirmed(0x20));
    t.Run();

    EXPECT_TRUE(anum->Confirmed(0x20));
    EXPECT_TRUE(oper->Confirmed(0x22));
    EXPECT_EQ(anum->GetECLevel(), 0x2A);
    EXPECT_EQ(oper->GetECLevel(), 0x11);
    EXPECT_FALSE(anum->IsPending(0));
    // The first command after the link reset is the status request.
    ASSERT_FALSE(t.Model(0x22)->commands().empty());
    EXPECT_EQ(t.Model(0x22)->commands().front(), (Bytes{0x00, 0x80}));

    auto online = t.OnlineEvents();
    ASSERT_EQ(online.size(), 2u);
    EXPECT_EQ(online[0].p1, 0x01112002u); // slot 1, port 0x11, address 0x20, type 2
    EXPECT_EQ(online[0].p2, 0u);
    EXPECT_EQ(online[1].p1, 0x01112202u);
    // Each display's own timing values went with its frames.
    EXPECT_EQ(t.slot->adapter.lastTiming[0x20], std::make_pair(uint8_t(96), uint8_t(0)));
    EXPECT_EQ(t.slot->adapter.lastTiming[0x22], std::make_pair(uint8_t(35), uint8_t(16)));
}

TEST_F(DisplayBase, PowerOnSendsStartupCommands) {
    t.Attach<ANUMP>(ANUMP_TYPE_ID, 0x20, model(Kind::Numeric));
    t.Attach<OPERP>(OPERP_TYPE_ID, 0x22, model(Kind::Operator));
    t.Run();

    // Numeric: both rows, row 2 with the built-in pattern in its first four cells.
    const bussim::DisplayModel* anum = t.Model(0x20);
    ASSERT_EQ(anum->commands().size(), 3u);
    EXPECT_EQ(anum->commands()[1].size(), 202u);
    EXPECT_EQ(anum->text(0), std::string(20, ' '));
    EXPECT_EQ(anum->text(1), "####" + std::string(16, ' '));
    const Bytes& row2 = anum->rowBytes(1);
    EXPECT_EQ(Bytes(row2.begin(), row2.begin() + 10),
              (Bytes{0x78, 0x80, 0x80, 0x80, 0x78, 0x78, 0x00, 0x00, 0x00, 0x78}));
    EXPECT_EQ(Bytes(row2.begin() + 30, row2.begin() + 40),
              (Bytes{0x08, 0xC8, 0x28, 0x08, 0x18, 0x00, 0x60, 0x00, 0x10, 0x08}));

    // Operator: status, rows, euro sign, seven empty user characters.
    const bussim::DisplayModel* oper = t.Model(0x22);
    ASSERT_EQ(oper->commands().size(), 11u);
    EXPECT_EQ(oper->text(0), std::string(20, ' '));
    EXPECT_EQ(oper->text(1), "U007" + std::string(16, ' '));
    EXPECT_EQ(oper->commands()[3], (Bytes{0x40, 0x00, 0x06, 0x09, 0x1C, 0x08, 0x1C, 0x09, 0x06, 0x00}));
    for (int n = 1; n <= 7; ++n) {
        Bytes want(10, 0);
        want[0] = 0x40;
        want[1] = static_cast<uint8_t>(n);
        EXPECT_EQ(oper->commands()[3 + n], want);
    }
}

TEST_F(DisplayBase, StatusBitsAreLoggedAndBit5DeclaresOnline) {
    OPERP* oper = t.Attach<OPERP>(OPERP_TYPE_ID, 0x22); // no station: the answers come by hand
    struct Case {
        uint8_t status;
        std::vector<uint32_t> logs;
        bool online;
    } cases[] = {
        {0x10, {4402}, false},
        {0x40, {4403}, false},
        {0x80, {4401}, false},
        {0xA0, {4401}, true}, // online and a command reject
        {0x0F, {}, false},
    };
    for (const Case& c : cases) {
        ovkhost::clearCaptures();
        oper->NowNotConfirmed();
        const Bytes answer{c.status, 0x07};
        oper->NewMsgRcvd(answer.data(), static_cast<int>(answer.size()));
        std::vector<uint32_t> logged;
        for (const auto& e : ovkhost::errorLog()) logged.push_back(e.logId);
        EXPECT_EQ(logged, c.logs) << std::hex << int(c.status);
        EXPECT_EQ(oper->Confirmed(0x22), c.online) << std::hex << int(c.status);
        for (const auto& e : ovkhost::errorLog()) {
            const uint32_t rc = e.logId == 4401 ? 322 : e.logId == 4402 ? 323 : 324;
            EXPECT_EQ(e.rc, rc);
            ASSERT_EQ(e.blocks.size(), 2u);
            EXPECT_EQ(e.blocks[1], answer); // the received message
        }
        EXPECT_FALSE(oper->AwaitingReply());
    }
}

TEST_F(DisplayBase, ShortOrEmptyStatusAnswerIsReadWithinItsLength) {
    OPERP* oper = t.Attach<OPERP>(OPERP_TYPE_ID, 0x22);
    oper->SetECLevel(0x33);
    // One byte: online, but no EC level to read.
    std::unique_ptr<unsigned char[]> one(new unsigned char[1]{0x20});
    oper->NewMsgRcvd(one.get(), 1);
    EXPECT_TRUE(oper->Confirmed(0x22));
    EXPECT_EQ(oper->GetECLevel(), 0x33);
    // Nothing at all.
    oper->NowNotConfirmed();
    oper->NewMsgRcvd(nullptr, 0);
    EXPECT_FALSE(oper->Confirmed(0x22));
}

TEST_F(DisplayBase, OneCommandAtATimeInSlotOrderAndKeepSlotWaitsForAnswer) {
    OPERP* oper = t.Attach<OPERP>(OPERP_TYPE_ID, 0x22);
    oper->PowerOnResetInProgress();
    EXPECT_TRUE(oper->AwaitingReply());
    EXPECT_EQ(oper->SendAnyPendingMessage(), -1); // the link reset is under way
    oper->ResetComplete();

    EXPECT_EQ(oper->SendAnyPendingMessage(), 0); // slot 0, a keep slot
    EXPECT_EQ(oper->GetLastSent(), 0);
    EXPECT_TRUE(oper->IsPending(0));
    EXPECT_TRUE(oper->AwaitingReply());
    EXPECT_EQ(oper->SendAnyPendingMessage(), -1);

    const Bytes answer{0x20, 0x01};
    EXPECT_EQ(oper->NewMsgRcvd(answer.data(), 2), 1); // answered and the next command sent
    EXPECT_FALSE(oper->IsPending(0));
    EXPECT_EQ(oper->GetLastSent(), 1);
    EXPECT_FALSE(oper->IsPending(1));
    EXPECT_FALSE(oper->AwaitingReply()); // row slots do not wait for an answer
}

TEST_F(DisplayBase, BothRowsPendingGoAlternately) {
    OPERP* oper = t.Attach<OPERP>(OPERP_TYPE_ID, 0x22);
    oper->PowerOnResetInProgress();
    oper->ResetComplete();
    const Bytes answer{0x20, 0x01};
    oper->SendAnyPendingMessage();               // status
    oper->NewMsgRcvd(answer.data(), 2);          // -> row 1
    ASSERT_EQ(oper->GetLastSent(), 1);
    // Row 1 becomes pending again before row 2 went: row 2 goes first.
    oper->PowerOnResetInProgress();
    oper->ResetComplete();
    oper->SendAnyPendingMessage();               // status again
    oper->NewMsgRcvd(answer.data(), 2);
    EXPECT_EQ(oper->GetLastSent(), 2);
    oper->LastMsgAcked();
    oper->SendAnyPendingMessage();
    EXPECT_EQ(oper->GetLastSent(), 1);
}

TEST_F(DisplayBase, LostCommandIsSentAgain) {
    ANUMP* anum = t.Attach<ANUMP>(ANUMP_TYPE_ID, 0x20, model(Kind::Numeric));
    t.slot->adapter.loseInfoFrames = 1; // the status request
    t.Run(10);
    EXPECT_FALSE(anum->Confirmed(0x20));
    ovkhost::advanceClock(600); // beyond the acknowledgement wait
    t.Run();
    EXPECT_TRUE(anum->Confirmed(0x20));
    EXPECT_EQ(t.slot->adapter.lost.size(), 1u);
}

// ---------------------------------------------------------------------------------------
// Virtual side.

class DisplayBaseVirtual : public DisplayBase {
protected:
    void SetUp() override {
        anum = t.Attach<ANUMP>(ANUMP_TYPE_ID, 0x20, model(Kind::Numeric));
        t.Run();
        ASSERT_TRUE(anum->Confirmed(0x20));
    }
    VdevPtr<ANUMV> Open(const char* resources = nullptr, int expect = 0) {
        int rc = -1;
        auto v = t.OpenVirtual<ANUMV>(ANUMV_TYPE_ID, 0x20, &rc, 858, resources);
        EXPECT_EQ(rc, expect);
        return v;
    }
    static int Acquire(VDEV* v) {
        int out = 0;
        return v->IOCtl(POS_SYS_ACQUIRE_DEVICE, nullptr, 0, out);
    }
    static int Write(VDEV* v, const std::string& s, int& written) {
        return v->Write(s.data(), static_cast<unsigned>(s.size()), written);
    }
    // The text shown on the numeric display, cell by cell through the dot data.
    std::string Shown(int row) {
        std::string out;
        const Bytes& r = t.Model(0x20)->rowBytes(row);
        for (int c = 0; c < 20; ++c) {
            int ch = nlsSliceAscii(r.data() + c * 10);
            out += ch < 0 ? '?' : static_cast<char>(ch);
        }
        return out;
    }

    ANUMP* anum = nullptr;
};

TEST_F(DisplayBaseVirtual, WriteNeedsTheDeviceAcquired) {
    auto v = Open();
    int written = -1;
    EXPECT_EQ(Write(v.get(), "AB", written), 315);
    EXPECT_EQ(written, 0);
    EXPECT_EQ(v->GetCursor(), 0);
    // Write is traced with the display's trace point whether or not it is taken.
    bool traced = false;
    for (const auto& r : ovkhost::traces())
        if (r.component == 93 && r.minor == 301 && r.data == Bytes{'A', 'B'}) traced = true;
    EXPECT_TRUE(traced);
}

TEST_F(DisplayBaseVirtual, WriteFillsCellsAndWrapsAfterTheSend) {
    auto v = Open();
    ASSERT_EQ(Acquire(v.get()), 0);
    t.Run();
    int written = 0;
    ASSERT_EQ(Write(v.get(), "HELLO", written), 0);
    EXPECT_EQ(written, 5);
    EXPECT_EQ(v->GetCursor(), 5);
    t.Run();
    EXPECT_EQ(Shown(0), "HELLO" + std::string(15, ' '));

    // 50 bytes at cursor 5 of 40 cells: 35 taken, back home.
    ASSERT_EQ(Write(v.get(), std::string(50, 'x'), written), 0);
    EXPECT_EQ(written, 35);
    EXPECT_EQ(v->GetCursor(), 0);
    t.Run();
    EXPECT_EQ(Shown(1), std::string(20, 'x'));

    // One byte at the last cell: sent as cell 39 alone, then home.
    PosArg cursor{"displayCursor", 39};
    ASSERT_EQ(v->SetValues(&cursor, 1), 0);
    ASSERT_EQ(Write(v.get(), "Z", written), 0);
    EXPECT_EQ(written, 1);
    EXPECT_EQ(v->GetCursor(), 0);
    t.Run();
    EXPECT_EQ(Shown(1), std::string(19, 'x') + "Z");
    EXPECT_EQ(Shown(0), "HELLO" + std::string(15, 'x'));
}

TEST_F(DisplayBaseVirtual, CursorOutsideTheCellsIsRefused) {
    auto v = Open();
    PosArg args[] = {{"displayCursor", 40}};
    EXPECT_EQ(v->SetValues(args, 1), POSERR_DSP_INVALID_CURSOR);
    args[0].value = -1;
    EXPECT_EQ(v->SetValues(args, 1), POSERR_DSP_INVALID_CURSOR);
    args[0].value = 12;
    EXPECT_EQ(v->SetValues(args, 1), 0);
    PosArg get[] = {{"displayCursor", 0}};
    EXPECT_EQ(v->GetValues(get, 1), 0);
    EXPECT_EQ(get[0].value, 12);
    // The argument was traced.
    const auto lines = ovkhost::printedLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "displayCursor, 0xc(12)\n"), lines.end());
}

TEST_F(DisplayBaseVirtual, OpenRefusesAnInvalidCursorResourceAndClosesAgain) {
    const int before = anum->OpenCount();
    {
        auto v = Open("display.displayCursor: 40\n", POSERR_DSP_INVALID_CURSOR);
        EXPECT_EQ(v->GetPhysical(), nullptr);
        EXPECT_EQ(anum->OpenCount(), before);
    }
    // The same through an argument of the open.
    int rc = 0;
    auto w = t.OpenVirtual<ANUMV>(ANUMV_TYPE_ID, 0x20, &rc, 858, nullptr, {{"displayCursor", 40}});
    EXPECT_EQ(rc, POSERR_DSP_INVALID_CURSOR);
    EXPECT_EQ(anum->OpenCount(), before);
    // A valid resource is the starting cursor.
    auto x = Open("display.displayCursor: 0x15\n");
    EXPECT_EQ(x->GetCursor(), 21);
}

TEST_F(DisplayBaseVirtual, ClearWorksWithoutAcquireAndReacquireShowsTheLastPicture) {
    auto v = Open();
    int out = -1;
    PosArg cursor{"displayCursor", 7};
    ASSERT_EQ(v->SetValues(&cursor, 1), 0);
    EXPECT_EQ(v->IOCtl(POS_DSP_CLEAR_SCREEN, nullptr, 0, out), 0);
    EXPECT_EQ(v->GetCursor(), 0);
    for (int i = 0; i < 40; ++i) EXPECT_EQ(v->GetCells()[i], ' ');

    ASSERT_EQ(Acquire(v.get()), 0);
    int written = 0;
    ASSERT_EQ(Write(v.get(), "AB", written), 0);
    t.Run();
    ASSERT_EQ(Shown(0), "AB" + std::string(18, ' '));
    // Another client's picture replaces it while this one has released the display.
    ASSERT_EQ(v->IOCtl(POS_SYS_RELEASE_DEVICE, nullptr, 0, out), 0);
    auto other = Open();
    ASSERT_EQ(Acquire(other.get()), 0);
    ASSERT_EQ(Write(other.get(), "ZZZ", written), 0);
    t.Run();
    ASSERT_EQ(Shown(0), "ZZZ" + std::string(17, ' ')); // the rest is the initial blank
    other.reset();
    ASSERT_EQ(Acquire(v.get()), 0);
    t.Run();
    EXPECT_EQ(Shown(0), "AB" + std::string(18, ' '));
}

TEST_F(DisplayBaseVirtual, UpdateFromAnotherDeviceOrWhileOfflineIsRefused) {
    auto holder = Open();
    auto other = Open();
    ASSERT_EQ(Acquire(holder.get()), 0);
    DspTextRecord record;
    record.cells = holder->GetCells();
    record.count = 1;
    EXPECT_EQ(anum->TellPhys(other.get(), DSP_REQ_UPDATE_TEXT, reinterpret_cast<unsigned char*>(&record),
                             sizeof record),
              315);
    const int turns = t.slot->adapter.sendTurns;
    EXPECT_EQ(anum->TellPhys(holder.get(), DSP_REQ_UPDATE_TEXT, reinterpret_cast<unsigned char*>(&record),
                             sizeof record),
              0);
    EXPECT_EQ(t.slot->adapter.sendTurns, turns + 1);
    EXPECT_EQ(record.taken, 1);
    anum->NowNotConfirmed();
    EXPECT_EQ(anum->TellPhys(holder.get(), DSP_REQ_UPDATE_TEXT, reinterpret_cast<unsigned char*>(&record),
                             sizeof record),
              317);
    // A record too short for the request, or an unknown request: logged, 321.
    ovkhost::clearCaptures();
    EXPECT_EQ(anum->TellPhys(holder.get(), DSP_REQ_UPDATE_TEXT, reinterpret_cast<unsigned char*>(&record), 8),
              321);
    EXPECT_EQ(anum->TellPhys(holder.get(), 77, nullptr, 0), 321);
    EXPECT_EQ(ovkhost::errorLog().size(), 2u);
    EXPECT_TRUE(ovkhost::errorLogged(4001));
    // The link timing values still reach the link.
    unsigned char byte = 0;
    EXPECT_EQ(anum->TellPhys(holder.get(), TELLPHYS_GET_ADDRESS_WAIT, &byte, 1), 0);
    EXPECT_EQ(byte, 96);
}

TEST_F(DisplayBaseVirtual, GlyphsComeFromTheCodePageTableWithinItsLength) {
    t.root.write("/usr/share/pos/fonts/cp00437.fon", std::string("\x41\x00\x42", 3)); // 1.5 entries
    int rc = -1;
    auto v = t.OpenVirtual<ANUMV>(ANUMV_TYPE_ID, 0x20, &rc, 437);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(v->Glyph(0), 0x41);    // from the table
    EXPECT_EQ(v->Glyph(1), 1);       // beyond the table: the byte itself
    EXPECT_EQ(v->Glyph(0xD5), 0xD5);
    auto w = Open();                 // 858: the euro sign
    EXPECT_EQ(w->Glyph(0xD5), NLS_GLYPH_EURO);
}

} // namespace
} // namespace dsptest
