#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "sycrc.h"

namespace {

unsigned short crcOf(const char* text) {
    return CalculateCRC(reinterpret_cast<const unsigned char*>(text), static_cast<int>(std::strlen(text)));
}

TEST(CalculateCRC, KnownCheckValues) {
    EXPECT_EQ(crcOf("123456789"), 0x906E);
    EXPECT_EQ(crcOf("abc"), 0x9E25);
    EXPECT_EQ(crcOf(""), 0x0000);
}

TEST(CalculateCRC, NoBytesToReadGiveTheEmptyValue) {
    const unsigned char byte = 0x5A;
    EXPECT_EQ(CalculateCRC(nullptr, 5), 0x0000);
    EXPECT_EQ(CalculateCRC(&byte, 0), 0x0000);
    EXPECT_EQ(CalculateCRC(&byte, -3), 0x0000);
}

// A frame with its check bytes appended low byte first leaves the X.25 residue 0xF0B8 in
// the register, which shows as 0x0F47 once complemented.
TEST(CalculateCRC, FrameWithCheckBytesGivesTheResidue) {
    std::vector<unsigned char> frame = {0x5C, 0x83};
    unsigned short crc = CalculateCRC(frame.data(), static_cast<int>(frame.size()));
    frame.push_back(static_cast<unsigned char>(crc & 0xFF));
    frame.push_back(static_cast<unsigned char>(crc >> 8));
    EXPECT_EQ(CalculateCRC(frame.data(), static_cast<int>(frame.size())), 0x0F47);
}

} // namespace
