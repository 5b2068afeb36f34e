// The model-6397 command table and command object: rows, building frames from the caller's
// bytes and a row, the run-time patches and their lock.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "PRNTCMD63.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes frameOf(const PRNTCMD63& c) {
    return c.frame ? Bytes(c.frame, c.frame + c.frameLength) : Bytes{};
}

TEST(Prn63Table, RowsAndBounds) {
    const CmdRow* last = PRNTCMD63::GetCmd(187);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->classWord, 0x8001);
    EXPECT_EQ(Bytes(last->bytes, last->bytes + last->length), (Bytes{0x1B, 0x53, 0x37}));
    EXPECT_EQ(PRNTCMD63::GetCmd(188), nullptr);
    EXPECT_EQ(PRNTCMD63::GetCmd(0xFFFF), nullptr);
    // Every row: at most 13 fixed bytes, zero after them.
    for (unsigned short i = 0; i <= 187; ++i) {
        const CmdRow* row = PRNTCMD63::GetCmd(i);
        ASSERT_LE(row->length, 13) << i;
        for (unsigned b = row->length; b < 13; ++b) ASSERT_EQ(row->bytes[b], 0) << i;
    }
    EXPECT_EQ(PRNTCMD63::GetCmd(44)->length, 9);
    EXPECT_EQ(PRNTCMD63::GetCmd(6)->classWord, 0x7001);
    EXPECT_EQ(PRNTCMD63::GetCmd(133)->length, 1);
}

TEST(Prn63Command, SetBuildsFramesFromTheCallersBytesThenTheRow) {
    struct Case {
        unsigned short code;
        Bytes data;
        unsigned short station;
        int rc;
        Bytes frame;
        unsigned short classWord;
    } cases[] = {
        {43, {0x41, 0x42, 0x43, 0x44, 0x45}, 0, 0, {0x41, 0x42, 0x43, 0x44, 0x45, 0x0A}, 0x0000},
        {105, {}, 0, 0, {0x00, 0x20, 0x00}, 0x0001},
        {1, {}, 0, 0, {}, 0x0010},
        {101, {0x01, 0x02, 0x03, 0x04}, 2, 0, {0x01, 0x02, 0x03, 0x04}, 0x6000},
        {102, {}, 1, 0, {}, 0x0000},
        {20, {}, 0, 0, {0x1B, 0x63, 0x30, 0x02, 0x1B, 0x63, 0x31, 0x02}, 0x0000},
        {97, {0x10}, 0, 0, {0x10, 0x1B, 0x53, 0x00}, 0x8001},
    };
    for (const Case& c : cases) {
        PRNTCMD63 command;
        int owner = 0;
        EXPECT_EQ(command.Set(c.code, &owner, static_cast<unsigned short>(c.data.size()),
                              c.data.empty() ? nullptr : c.data.data(), c.station), c.rc) << c.code;
        EXPECT_EQ(frameOf(command), c.frame) << c.code;
        EXPECT_EQ(command.frameLength, c.frame.size()) << c.code;
        EXPECT_EQ(command.frame == nullptr, c.frame.empty()) << c.code; // no bytes, no frame
        EXPECT_EQ(command.classFlags, c.classWord) << c.code;
        EXPECT_EQ(command.station, c.station) << c.code;
        EXPECT_EQ(command.code, c.code);
        EXPECT_EQ(command.owner, &owner);
    }
    // A code above the table changes nothing; a system code is the base's.
    PRNTCMD63 beyond;
    EXPECT_EQ(beyond.Set(188, nullptr, 0, nullptr, 1), 321);
    EXPECT_EQ(beyond.code, 0);
    EXPECT_EQ(beyond.station, 0);
    PRNTCMD63 chase;
    EXPECT_EQ(chase.Set(0x8001, &beyond, 0, nullptr, 2), 0);
    EXPECT_EQ(chase.classFlags, PRNTCMD_CHASE);
    EXPECT_EQ(chase.station, 0);
    EXPECT_EQ(chase.frame, nullptr);
}

TEST(Prn63Command, PatchedRowsAreSeenByLaterUsersAndStayWithinTheRow) {
    const unsigned char dbcs[2] = {0x81, 0x9F};
    ASSERT_TRUE(PRNTCMD63::PatchRow(96, 3, dbcs, 2));
    PRNTCMD63 c;
    ASSERT_EQ(c.Set(96, nullptr, 0, nullptr, 0), 0);
    EXPECT_EQ(frameOf(c), (Bytes{0x1B, 0x4D, 0x10, 0x81, 0x9F}));
    EXPECT_FALSE(PRNTCMD63::PatchRow(96, 4, dbcs, 2)); // past the row's five bytes
    EXPECT_FALSE(PRNTCMD63::PatchRow(188, 0, dbcs, 1));
    const unsigned char zero[2] = {0, 0};
    ASSERT_TRUE(PRNTCMD63::PatchRow(96, 3, zero, 2));
}

TEST(Prn63Command, APatchAndABuildOnTwoThreadsNeverMix) {
    // One thread writes equal pairs into row 96; the other builds from it: every frame
    // holds an equal pair.
    std::atomic<bool> stop{false};
    std::thread patcher([&] {
        for (unsigned i = 0; !stop; ++i) {
            const unsigned char pair[2] = {static_cast<unsigned char>(i), static_cast<unsigned char>(i)};
            PRNTCMD63::PatchRow(96, 3, pair, 2);
        }
    });
    int mixed = 0;
    for (int i = 0; i < 20000; ++i) {
        PRNTCMD63 c;
        c.Set(96, nullptr, 0, nullptr, 0);
        if (c.frameLength != 5 || c.frame[3] != c.frame[4]) ++mixed;
    }
    stop = true;
    patcher.join();
    EXPECT_EQ(mixed, 0);
    const unsigned char zero[2] = {0, 0};
    PRNTCMD63::PatchRow(96, 3, zero, 2);
}

} // namespace
