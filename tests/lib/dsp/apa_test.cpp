// The graphic display: from the client's text, bitmaps and settings to the commands and the
// picture the simulated display receives, and the display's replies.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "APA2.h"
#include "DspTerminal.h"
#include "apamodel.h"

namespace dsptest {
namespace {

constexpr uint8_t kAddress = 0x2A;

int Acquire(VDEV* v) {
    int out = 0;
    return v->IOCtl(POS_SYS_ACQUIRE_DEVICE, nullptr, 0, out);
}

int Write(VDEV* v, const Bytes& data, int* written = nullptr) {
    int n = 0;
    int rc = v->Write(data.data(), static_cast<unsigned>(data.size()), n);
    if (written) *written = n;
    return rc;
}

int Write(VDEV* v, const std::string& s, int* written = nullptr) { return Write(v, Bytes(s.begin(), s.end()), written); }

int Set(VDEV* v, std::vector<PosArg> args) { return v->SetValues(args.data(), static_cast<int>(args.size())); }

// A client bitmap: format, width, height, then the rows.
Bytes Bitmap(int32_t format, int32_t width, int32_t height, const Bytes& rows) {
    Bytes b(12 + rows.size());
    std::memcpy(b.data(), &format, 4);
    std::memcpy(b.data() + 4, &width, 4);
    std::memcpy(b.data() + 8, &height, 4);
    for (size_t i = 0; i < rows.size(); ++i) b[12 + i] = rows[i];
    return b;
}

std::vector<Bytes> Since(const bussim::ApaModel* m, size_t from) {
    const auto& c = m->commands();
    return std::vector<Bytes>(c.begin() + static_cast<long>(std::min(from, c.size())), c.end());
}

class GraphicDisplay : public ::testing::Test {
protected:
    void Start(uint8_t type = 0x80) {
        bussim::ApaModel::Options o;
        o.type = type;
        o.ecLevel = 0x21;
        apa = t.AttachModel<APA2P>(APA2P_TYPE_ID, kAddress, std::make_unique<bussim::ApaModel>(o));
        ASSERT_NE(apa, nullptr);
        t.Run();
        display = t.ModelAs<bussim::ApaModel>(kAddress);
    }
    VdevPtr<APA2V> Open(const unsigned char* ranges = nullptr, const char* resources = nullptr) {
        int rc = -1;
        auto v = t.OpenVirtual<APA2V>(APA2V_TYPE_ID, kAddress, &rc, 858, resources, {}, ranges);
        EXPECT_EQ(rc, 0);
        return v;
    }
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(Start()); }

    DspTerminal t;
    APA2P* apa = nullptr;
    bussim::ApaModel* display = nullptr;
};

TEST(GraphicDisplayOnline, SubtypeFollowsTheDisplayType) {
    const struct {
        uint8_t type, subtype;
    } cases[] = {{0x80, 17}, {0x81, 18}, {0x82, 0x82}, {0x05, 0x05}};
    for (const auto& c : cases) {
        DspTerminal term;
        bussim::ApaModel::Options o;
        o.type = c.type;
        auto* p = term.AttachModel<APA2P>(APA2P_TYPE_ID, kAddress, std::make_unique<bussim::ApaModel>(o));
        ASSERT_NE(p, nullptr);
        EXPECT_FALSE(p->Confirmed(kAddress));
        term.Run();
        EXPECT_TRUE(p->Confirmed(kAddress)) << int(c.type);
        EXPECT_EQ(p->GetDeviceSubtype(), c.subtype);
        EXPECT_EQ(p->GetDisplayType(), c.type);
        ASSERT_EQ(term.OnlineEvents().size(), 1u);
    }
}

TEST_F(GraphicDisplay, StartUpQueriesAndSendsModeAndTextLine) {
    // After the power-on reset: status, configuration, mode query, clear, set mode, text
    // line, set mode again, the picture and the lights, in slot order.
    Bytes textLine{0x40, 0x00, 0x28};
    textLine.resize(43, 0);
    Bytes picture{0x08, 0x00, 0x00, 0x03, 0x20};
    picture.resize(805, 0);
    const std::vector<Bytes> want{{0x00, 0x80}, {0x00, 0x00, 0x01}, {0xB1, 0x00}, {0x01, 0x40},
                                  {0xA1, 0x10}, textLine, {0xA1, 0x10}, picture,
                                  {0x10, 0x00, 0, 0, 0, 0}};
    EXPECT_EQ(display->commands(), want);
    EXPECT_EQ(apa->GetPendingMask(), 0u);
    EXPECT_EQ(apa->GetModeByte(), 0x10);
    EXPECT_EQ(apa->GetECLevel(), 0x21);
}

TEST_F(GraphicDisplay, BitmapIsDrawnWithItsFirstRowAtTheBottom) {
    auto v = Open();
    ASSERT_EQ(Acquire(v.get()), 0);
    t.Run();
    ASSERT_EQ(Set(v.get(), {{"displayMode", 1}}), 0);
    const size_t mark = display->commands().size();
    int written = 0;
    const Bytes bitmap = Bitmap(1, 16, 2, {0xFF, 0x00, 0x00, 0x01});
    ASSERT_EQ(Write(v.get(), bitmap, &written), 0);
    EXPECT_EQ(written, 16);
    t.Run();
    Bytes want{0x08, 0x00, 0x00, 0x03, 0x20, 2, 2, 2, 2, 2, 2, 2, 2, 0, 0, 0, 0, 0, 0, 0, 1};
    want.resize(805, 0);
    const auto sent = Since(display, mark);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0], (Bytes{0xA1, 0x10}));
    EXPECT_EQ(sent[1], want);
    EXPECT_EQ(display->pictureRow(0)[1], 0x01);
    EXPECT_EQ(display->pictureRow(1)[0], 0xFF);
    EXPECT_TRUE(apa->NotBlank());

    // One byte short, and the other malformed headers.
    const struct {
        Bytes data;
        int rc;
    } bad[] = {
        {Bitmap(1, 16, 2, {0xFF, 0x00, 0x00}), POSERR_DSP_BAD_BITMAP},
        {Bitmap(2, 16, 2, {0xFF, 0x00, 0x00, 0x01}), POSERR_DSP_UNSUPPORTED_BITMAP},
        {Bitmap(1, 0, 2, {}), POSERR_DSP_BAD_BITMAP},
        {Bitmap(1, -8, -1, {0x01}), POSERR_DSP_BAD_BITMAP},
        {Bitmap(1, INT_MAX, INT_MAX, {0x01}), POSERR_DSP_BAD_BITMAP},
        {Bytes{1, 0, 0, 0, 8, 0}, POSERR_DSP_BAD_BITMAP},
    };
    for (const auto& c : bad) {
        written = -1;
        EXPECT_EQ(Write(v.get(), c.data, &written), c.rc);
        EXPECT_EQ(written, 0);
    }
}

TEST_F(GraphicDisplay, BitmapAtAnOriginIsClippedToThePicture) {
    auto v = Open();
    ASSERT_EQ(Acquire(v.get()), 0);
    ASSERT_EQ(Set(v.get(), {{"displayMode", 1}, {"pixelX", 156}, {"pixelY", 34}}), 0);
    // Four rows of two bytes: rows 0 and 1 fall below the picture's last shown row (35).
    ASSERT_EQ(Write(v.get(), Bitmap(1, 16, 4, {0xFF, 0xFF, 0xAA, 0xAA, 0x0F, 0xF0, 0x81, 0x81})), 0);
    t.Run();
    EXPECT_EQ(v->GetBitmap()[34 * 20 + 19], 0x08); // row 3 (81 81): its first pixel at x 156
    EXPECT_EQ(v->GetBitmap()[35 * 20 + 19], 0x00); // row 2 (0F F0): x 156-159 are dark
    EXPECT_EQ(display->pictureRow(34)[19], 0x08);
    EXPECT_EQ(display->pictureRow(33)[19], 0x00);
}

TEST_F(GraphicDisplay, GlyphLeftOfThePictureShowsItsRightColumns) {
    auto v = Open();
    ASSERT_EQ(Acquire(v.get()), 0);
    // A lit background first, to see which pixels the glyph leaves alone.
    ASSERT_EQ(Set(v.get(), {{"displayMode", 1}}), 0);
    ASSERT_EQ(Write(v.get(), Bitmap(1, 16, 16, Bytes(32, 0xFF))), 0);
    ASSERT_EQ(Set(v.get(), {{"displayMode", 2}, {"pixelX", -3}, {"pixelY", 0}}), 0);
    int written = 0;
    ASSERT_EQ(Write(v.get(), "L", &written), 0);
    EXPECT_EQ(written, 1);
    t.Run();
    const unsigned char* glyph = gc8x16map.at('L');
    for (int r = 0; r < 16; ++r) {
        const auto want = static_cast<uint8_t>(((glyph[r] << 3) & 0xFF) | 0x07);
        EXPECT_EQ(v->GetBitmap()[r * 20], want) << "row " << r;
        EXPECT_EQ(display->pictureRow(r)[0], want) << "row " << r;
        EXPECT_EQ(display->pictureRow(r)[1], 0xFF) << "row " << r;
    }
    // Wholly left of the picture, or below it: nothing is drawn.
    const Bytes before(v->GetBitmap(), v->GetBitmap() + APA2_BITMAP_BYTES);
    ASSERT_EQ(Set(v.get(), {{"pixelX", -8}}), 0);
    ASSERT_EQ(Write(v.get(), "W"), 0);
    ASSERT_EQ(Set(v.get(), {{"pixelX", 0}, {"pixelY", 36}}), 0);
    ASSERT_EQ(Write(v.get(), "W"), 0);
    EXPECT_EQ(Bytes(v->GetBitmap(), v->GetBitmap() + APA2_BITMAP_BYTES), before);
}

TEST_F(GraphicDisplay, GlyphAcrossTwoByteColumnsAndAtTheRightEdge) {
    auto v = Open();
    ASSERT_EQ(Acquire(v.get()), 0);
    ASSERT_EQ(Set(v.get(), {{"displayMode", 2}, {"pixelX", 5}, {"charSize", 1}}), 0);
    ASSERT_EQ(Write(v.get(), "H"), 0);
    const unsigned char* h = gc5x12map.at('H');
    for (int r = 0; r < 12; ++r) {
        EXPECT_EQ(v->GetBitmap()[r * 20], h[r] >> 5) << r;
        EXPECT_EQ(v->GetBitmap()[r * 20 + 1], (h[r] << 3) & 0xFF) << r;
    }
    ASSERT_EQ(Set(v.get(), {{"pixelX", 157}}), 0);
    ASSERT_EQ(Write(v.get(), "H"), 0);
    for (int r = 0; r < 12; ++r) EXPECT_EQ(v->GetBitmap()[r * 20 + 19], h[r] >> 5) << r;
}

TEST_F(GraphicDisplay, TextAtTheCursorWrapsToTheNextGlyphRow) {
    auto v = Open();
    ASSERT_EQ(Acquire(v.get()), 0);
    EXPECT_EQ(v->GetColumns(), 20);
    EXPECT_EQ(v->GetRows(), 2);
    ASSERT_EQ(Set(v.get(), {{"displayCursor", 19}}), 0);
    int written = 0;
    ASSERT_EQ(Write(v.get(), "AB", &written), 0);
    EXPECT_EQ(written, 2);
    EXPECT_EQ(v->GetCursor(), 21);
    t.Run();
    const unsigned char* a = gc8x16map.at('A');
    const unsigned char* b = gc8x16map.at('B');
    for (int r = 0; r < 16; ++r) {
        EXPECT_EQ(display->pictureRow(r)[19], a[r]) << r;
        if (16 + r < 36) {
            EXPECT_EQ(display->pictureRow(16 + r)[0], b[r]) << r;
        }
    }
    // The last cells: the write is cut there and the cursor goes home.
    ASSERT_EQ(Set(v.get(), {{"displayCursor", 38}}), 0);
    ASSERT_EQ(Write(v.get(), "XYZ", &written), 0);
    EXPECT_EQ(written, 2);
    EXPECT_EQ(v->GetCursor(), 0);
}

TEST_F(GraphicDisplay, CharacterSizeSetsTheCellCount) {
    auto v = Open();
    EXPECT_EQ(v->GetCellCount(), 40);
    EXPECT_EQ(Set(v.get(), {{"charSize", 0}, {"displayCursor", 95}}), POSERR_DSP_INVALID_CURSOR);
    EXPECT_EQ(Set(v.get(), {{"charSize", 1}, {"displayCursor", 95}}), 0);
    EXPECT_EQ(v->GetCellCount(), 96);
    EXPECT_EQ(v->GetColumns(), 32);
    EXPECT_EQ(v->GetRows(), 3);
    EXPECT_EQ(v->GetGlyphWidth(), 5);
    EXPECT_EQ(Set(v.get(), {{"displayCursor", 95}}), 0);
    EXPECT_EQ(v->GetCursor(), 95);
    EXPECT_EQ(Set(v.get(), {{"charSize", 2}}), POSERR_DSP_INVALID_SIZE);
    EXPECT_EQ(Set(v.get(), {{"displayMode", 3}, {"charSize", 0}}), POSERR_DSP_INVALID_MODE);
    EXPECT_EQ(Set(v.get(), {{"displayMode", -1}}), POSERR_DSP_INVALID_MODE);
    EXPECT_EQ(v->GetCellCount(), 96); // nothing applied

    PosArg got[] = {{"charSize", -1}, {"displayMode", -1}, {"direction", -1}, {"displayCursor", -1}};
    ASSERT_EQ(v->GetValues(got, 4), 0);
    EXPECT_EQ(got[0].value, 1);
    EXPECT_EQ(got[1].value, 0);
    EXPECT_EQ(got[2].value, 0);
    EXPECT_EQ(got[3].value, 95);
}

TEST_F(GraphicDisplay, BadResourcesRefuseTheOpen) {
    const struct {
        const char* resources;
        int rc;
    } cases[] = {{"*display.charSize: 2\n", POSERR_DSP_INVALID_SIZE},
                 {"*display.displayMode: 3\n", POSERR_DSP_INVALID_MODE},
                 {"*display.displayCursor: 40\n", POSERR_DSP_INVALID_CURSOR}};
    for (const auto& c : cases) {
        int rc = -1;
        auto v = t.OpenVirtual<APA2V>(APA2V_TYPE_ID, kAddress, &rc, 858, c.resources);
        EXPECT_EQ(rc, c.rc) << c.resources;
    }
    int rc = -1;
    auto v = t.OpenVirtual<APA2V>(APA2V_TYPE_ID, kAddress, &rc, 858,
                                  "*display.charSize: 1\n*display.displayCursor: 90\n");
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(v->GetCursor(), 90);
}

TEST_F(GraphicDisplay, UpsideDownAndLightsAreSentAtOnce) {
    auto v = Open();
    ASSERT_EQ(Acquire(v.get()), 0);
    t.Run();
    size_t mark = display->commands().size();
    ASSERT_EQ(Set(v.get(), {{"displayUpsideDown", 1}}), 0);
    t.Run();
    EXPECT_EQ(apa->GetModeByte(), 0x50);
    auto sent = Since(display, mark);
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(sent[0], (Bytes{0x01, 0x40}));
    EXPECT_EQ(sent[1], (Bytes{0xA1, 0x50}));
    EXPECT_EQ(display->mode(), 0x50);

    mark = display->commands().size();
    ASSERT_EQ(Set(v.get(), {{"displayLightsOn", 0x01020304}}), 0);
    t.Run();
    sent = Since(display, mark);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0], (Bytes{0x10, 0x00, 0x01, 0x02, 0x03, 0x04}));
    // Unchanged values send nothing.
    mark = display->commands().size();
    ASSERT_EQ(Set(v.get(), {{"displayLightsOn", 0x01020304}, {"displayUpsideDown", 1}}), 0);
    t.Run();
    EXPECT_TRUE(Since(display, mark).empty());
}

TEST_F(GraphicDisplay, ClearBlanksPictureAndTextLine) {
    auto v = Open();
    ASSERT_EQ(Acquire(v.get()), 0);
    ASSERT_EQ(Write(v.get(), "HELLO"), 0);
    t.Run();
    EXPECT_TRUE(apa->NotBlank());
    int out = -1;
    EXPECT_EQ(v->IOCtl(POS_DSP_CLEAR_SCREEN, nullptr, 0, out), 0);
    t.Run();
    EXPECT_FALSE(apa->NotBlank());
    EXPECT_EQ(v->GetCursor(), 0);
    EXPECT_EQ(display->commands().back(), (Bytes{0x01, 0x40}));
    EXPECT_EQ(display->picture(), bussim::ApaModel(bussim::ApaModel::Options{}).picture());
}

TEST_F(GraphicDisplay, DoubleByteTextGoesToTheTextLine) {
    const unsigned char ranges[32] = {0x81, 0x9F, 0xE0, 0xFC};
    auto v = Open(ranges);
    ASSERT_EQ(Acquire(v.get()), 0);
    t.Run();
    EXPECT_EQ(Set(v.get(), {{"charSize", 1}, {"displayCursor", 39}}), 0);
    EXPECT_EQ(v->GetCellCount(), 40); // mode 0 keeps the 40 characters of the line
    ASSERT_EQ(Set(v.get(), {{"displayCursor", 36}}), 0);
    int written = 0;
    const size_t mark = display->commands().size();
    ASSERT_EQ(Write(v.get(), Bytes{0x81, 0x40, 0x41, 0x42, 0x43, 0x44}, &written), 0);
    EXPECT_EQ(written, 4);
    EXPECT_EQ(v->GetCursor(), 0);
    t.Run();
    Bytes want{0x40, 0x00, 0x28};
    want.resize(39, 0);
    want.insert(want.end(), {0x81, 0x40, 0x41, 0x42});
    const auto sent = Since(display, mark);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0], want);
    EXPECT_EQ(display->textLine()[36], 0x81);
}

TEST_F(GraphicDisplay, DefineCharacters) {
    // An 8-bit code page: refused.
    auto single = Open();
    int out = 0;
    unsigned char pattern[32];
    for (int i = 0; i < 32; ++i) pattern[i] = static_cast<unsigned char>(i + 1);
    PosArg arg{reinterpret_cast<const char*>(static_cast<uintptr_t>(0x12348140)),
               reinterpret_cast<intptr_t>(pattern)};
    EXPECT_EQ(single->IOCtl(POS_DSP_DEFINE_CHARACTERS, &arg, 1, out), 311);
    single.reset();

    const unsigned char ranges[32] = {0x81, 0x9F};
    auto v = Open(ranges);
    ASSERT_EQ(Acquire(v.get()), 0);
    t.Run();
    const size_t mark = display->commands().size();
    PosArg bad[] = {arg, {arg.name, 0}};
    EXPECT_EQ(v->IOCtl(POS_DSP_DEFINE_CHARACTERS, bad, 2, out), 334);
    EXPECT_FALSE(apa->CharactersDefined());
    ASSERT_EQ(v->IOCtl(POS_DSP_DEFINE_CHARACTERS, &arg, 1, out), 0);
    t.Run();
    EXPECT_TRUE(apa->CharactersDefined());
    const auto sent = Since(display, mark);
    ASSERT_EQ(sent.size(), 5u);
    Bytes block0{0xA0, 0x00, 0x81, 0x40};
    block0.insert(block0.end(), pattern, pattern + 32);
    block0.resize(770, 0);
    EXPECT_EQ(sent[0], block0);
    EXPECT_EQ(sent[4].size(), 386u);
    EXPECT_EQ(sent[4][1], 0x04);

    // After a power-on reset the blocks go again.
    apa->PowerOnResetInProgress();
    for (int slot : {1, 2, 3, 4, 5, 9, 10, 11, 12, 13}) EXPECT_TRUE(apa->IsPending(slot)) << slot;
}

TEST_F(GraphicDisplay, DoubleByteClientOnASingleByteDisplay) {
    DspTerminal term;
    bussim::ApaModel::Options o;
    o.type = 0x05;
    term.AttachModel<APA2P>(APA2P_TYPE_ID, 0x2B, std::make_unique<bussim::ApaModel>(o));
    term.Run();
    const unsigned char ranges[32] = {0x81, 0x9F};
    int rc = -1;
    auto v = term.OpenVirtual<APA2V>(APA2V_TYPE_ID, 0x2B, &rc, 858, nullptr, {}, ranges);
    ASSERT_EQ(rc, 0);
    int out = 0;
    EXPECT_EQ(v->IOCtl(POS_DSP_DEFINE_CHARACTERS, nullptr, 0, out), 311);
    EXPECT_EQ(Set(v.get(), {{"charSize", 1}}), 0);
    EXPECT_EQ(v->GetCellCount(), 96);
}

// A display that rejects every command: the picture goes again at once three times, then
// once a second; it is never dropped, and shows once the display takes commands again.
TEST_F(GraphicDisplay, ARejectedPictureGoesAgainPacedUntilTheDisplayTakesIt) {
    auto v = Open();
    ASSERT_EQ(Acquire(v.get()), 0);
    t.Run();
    const size_t mark = display->commands().size();
    ovkhost::clearCaptures();
    display->reject(1000);
    char text[] = "HI";
    int written = 0;
    ASSERT_EQ(v->Write(text, 2, written), 0);
    auto sent = [&] { return Since(display, mark).size(); };
    t.Run(40); // 0.4 s
    EXPECT_EQ(sent(), 4u) << "sent, then three times again at once";
    t.Run(200); // 2.4 s
    EXPECT_EQ(sent(), 6u);
    EXPECT_TRUE(ovkhost::errorLogged(4802));
    EXPECT_NE(apa->GetPendingMask(), 0u);
    const std::string blank = display->picture();
    display->reject(0);
    t.Run(110);
    EXPECT_EQ(apa->GetPendingMask(), 0u);
    EXPECT_NE(display->picture(), blank);
    EXPECT_FALSE(apa->GetRejectPacer().Pacing());
}

TEST_F(GraphicDisplay, RepliesAreReadWithinTheirLength) {
    ovkhost::clearCaptures();
    const struct {
        Bytes reply;
        uint32_t log;
    } cases[] = {{{0x04, 0x10}, 4805}, {{0x10, 0, 0, 0x80, 0}, 4806}, {{0x20}, 4804},
                 {{0x40}, 4801}, {{0x80}, 4802}};
    for (const auto& c : cases) {
        std::vector<uint8_t> exact(c.reply); // exactly the reply's bytes
        apa->NewMsgRcvd(exact.data(), static_cast<int>(exact.size()));
        EXPECT_TRUE(ovkhost::errorLogged(c.log)) << c.log;
    }
    apa->NewMsgRcvd(nullptr, 0);
    EXPECT_EQ(apa->TellPhys(nullptr, 9, nullptr, 0), 321);
    EXPECT_TRUE(ovkhost::errorLogged(4803));
    EXPECT_EQ(apa->TellPhys(nullptr, APA2_REQ_UPDATE, nullptr, 0), 315);
}

} // namespace
} // namespace dsptest
