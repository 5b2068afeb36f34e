// The graphic display end to end: an application opens the display at 0x2A, acquires it,
// writes text at the cursor and then a bitmap, and the simulated display's picture shows
// the glyphs and the bitmap's rows.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "SimulatedTerminal.h"
#include "ovknls.h"

namespace {

constexpr uint32_t kOnline = 0x420D;
constexpr int kAcquire = 301;
constexpr int kSetValues = 305;

const char kTerminal[] =
    "slot 0 planar\n"
    "slot 1 rs485 type 5 kind 5 ports 2\n"
    "station 1 0x11 0x2a apa\n";

// The picture the display should show, as the picture command prints it.
std::string PictureText(const std::vector<std::vector<uint8_t>>& rows) {
    std::string out;
    char b[3];
    for (size_t y = 0; y < rows.size(); ++y) {
        if (y) out += ' ';
        for (uint8_t v : rows[y]) {
            std::snprintf(b, sizeof b, "%02x", v);
            out += b;
        }
    }
    return out;
}

class ApaE2E : public TerminalTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(StartTerminal(kTerminal, ""));
        ASSERT_TRUE(WaitForEvent(kOnline, DeviceWord(1, 0x11, 0x2A, 2))) << Seen();
    }
};

TEST_F(ApaE2E, TextAndBitmapReachThePicture) {
    PosArg at[] = {{"slotNumber", 1}, {"portNumber", 0x11}, {"deviceNumber", 0x2A}};
    char name[] = "display", cls[] = "PosDisplay";
    const int h = PosOpen(name, cls, at, 3);
    ASSERT_GT(h, 0) << PosErrno();
    ASSERT_EQ(PosIOCtl(h, kAcquire, nullptr, 0), 0) << PosErrno();

    char text[] = "HI";
    ASSERT_EQ(PosWrite(h, text, 2), 2) << PosErrno();

    // A 16 x 2 bitmap at pixel (0, 20): its first row (all lit) at the bottom, row 21.
    PosArg mode[] = {{"displayMode", 1}, {"pixelX", 0}, {"pixelY", 20}};
    ASSERT_EQ(PosIOCtl(h, kSetValues, mode, 3), 0) << PosErrno();
    unsigned char bitmap[16] = {};
    const int32_t head[3] = {1, 16, 2};
    std::memcpy(bitmap, head, sizeof head);
    bitmap[12] = 0xFF;
    bitmap[13] = 0xFF;
    bitmap[14] = 0x80;
    bitmap[15] = 0x01;
    ASSERT_EQ(PosWrite(h, bitmap, sizeof bitmap), static_cast<int>(sizeof bitmap)) << PosErrno();

    std::vector<std::vector<uint8_t>> rows(36, std::vector<uint8_t>(20, 0));
    for (int r = 0; r < 16; ++r) {
        rows[r][0] = gc8x16map.at('H')[r];
        rows[r][1] = gc8x16map.at('I')[r];
    }
    rows[21][0] = rows[21][1] = 0xFF;
    rows[20][0] = 0x80;
    rows[20][1] = 0x01;
    const std::string want = "ok " + PictureText(rows);
    std::string shown;
    EXPECT_TRUE(WaitForReply("picture 1 0x11 0x2a", want, 10000, &shown)) << shown;
    EXPECT_EQ(PosClose(h), 0) << PosErrno();
}

} // namespace
