// The raw-access protocol on its own: frames, the tag parser, commands built from client
// bodies and events built for clients.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "SdiMessages.h"
#include "ovkhost.h"

namespace {

using Bytes = std::vector<unsigned char>;

// The binary body of a client's "<rs485>": header, then `data` (the declared length may
// differ from the data given).
Bytes commandBody(char letter, uint8_t options, uint32_t messageId, int declared,
                  const Bytes& data) {
    Bytes b(11 + data.size());
    const unsigned char header[11] = {
        static_cast<unsigned char>(letter), 0, options,
        static_cast<unsigned char>(messageId >> 24), static_cast<unsigned char>(messageId >> 16),
        static_cast<unsigned char>(messageId >> 8), static_cast<unsigned char>(messageId),
        7, 9, static_cast<unsigned char>(declared >> 8), static_cast<unsigned char>(declared)};
    std::memcpy(b.data(), header, sizeof header);
    if (!data.empty()) std::memcpy(b.data() + 11, data.data(), data.size());
    return b;
}

TEST(SdiFrame, LengthTextAndEndByte) {
    unsigned char out[sdi::kFrameBuffer];
    ASSERT_EQ(sdi::BuildFrame("<query></query>", 15, out), 18);
    EXPECT_EQ(out[0], 0x00);
    EXPECT_EQ(out[1], 0x0F);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out + 2), 15), "<query></query>");
    EXPECT_EQ(out[17], 0x16);
    const std::string longest(sdi::kMaxText, 'x');
    EXPECT_EQ(sdi::BuildFrame(longest.data(), sdi::kMaxText, out), sdi::kFrameBuffer);
    EXPECT_EQ(sdi::BuildFrame(longest.data(), sdi::kMaxText + 1, out), 0);
}

TEST(SdiParser, TagsBodiesAndMissingClosingTags) {
    struct Case {
        const char* text;
        sdi::MessageType type;
        const char* body;
        bool malformed;
    } cases[] = {
        {"<status></status>", sdi::kStatus, "", false},
        {"<open>N 0</open>", sdi::kOpen, "N 0", false},
        {"<rs485>abc", sdi::kRs485, "", true},
        {"<ack>OK 3</ack>", sdi::kAck, "OK 3", false},
        {"<close>", sdi::kClose, "", true},
        {"<opened>", sdi::kUnknown, "", false},
        {"hello", sdi::kUnknown, "", false},
        {"", sdi::kUnknown, "", false},
    };
    for (const Case& c : cases) {
        const sdi::Parsed p = sdi::ParseDeviceServerMessage(c.text, static_cast<int>(std::strlen(c.text)));
        EXPECT_EQ(p.type, c.type) << c.text;
        EXPECT_EQ(std::string(p.body ? p.body : "", static_cast<size_t>(p.length)), c.body) << c.text;
        EXPECT_EQ(p.malformed, c.malformed) << c.text;
    }
    // The query server knows "<query>" even without its closing tag.
    const sdi::Parsed q = sdi::ParseQueryServerMessage("<query>", 7);
    EXPECT_EQ(q.type, sdi::kQuery);
    EXPECT_TRUE(q.malformed);
    EXPECT_EQ(sdi::ParseQueryServerMessage("<open>N 0</open>", 16).type, sdi::kUnknown);
}

TEST(SdiCommand, FieldsOptionsAndLengths) {
    const SDICMD plain(7, 13, commandBody('W', 0x01 | 0x02, 42, 2, {0x00, 0x80}).data());
    EXPECT_EQ(plain.GetCID(), 7u);
    EXPECT_EQ(plain.GetCommand(), 'W');
    EXPECT_EQ(plain.GetQueueID(), 1);
    EXPECT_EQ(plain.GetFlags(), SDICMD_NO_HOLD);
    EXPECT_EQ(plain.GetMessageID(), 42u);
    EXPECT_EQ(plain.GetAWait(), 7);
    EXPECT_EQ(plain.GetBWait(), 9);
    ASSERT_EQ(plain.GetLength(), 2);
    EXPECT_EQ(plain.GetBuffer()[1], 0x80);

    // 00 40 as two or three bytes: released at once, no wait for the acknowledgement.
    const SDICMD reset(1, 13, commandBody('W', 0, 1, 2, {0x00, 0x40}).data());
    EXPECT_EQ(reset.GetFlags(), SDICMD_RELEASE | SDICMD_NO_ACK_WAIT);
    const SDICMD longer(1, 15, commandBody('W', 0, 1, 4, {0x00, 0x40, 1, 2}).data());
    EXPECT_EQ(longer.GetFlags(), 0);

    // 2000 declared bytes: cut to the maximum and marked.
    const Bytes big = commandBody('W', 0, 9, 2000, Bytes(2000, 0x55));
    const SDICMD cut(1, static_cast<int>(big.size()), big.data());
    EXPECT_EQ(cut.GetLength(), sdi::kMaxData);
    EXPECT_TRUE(cut.GetFlags() & SDICMD_TOO_LONG);

    // Declared data missing from the body: only what is there.
    const Bytes shortBody = commandBody('W', 0, 5, 100, {1, 2, 3});
    const SDICMD partial(1, static_cast<int>(shortBody.size()), shortBody.data());
    EXPECT_EQ(partial.GetLength(), 3);

    // A body shorter than the header is read no further than itself.
    const Bytes five = {'W', 0, 0, 0, 0};
    const SDICMD tiny(1, 5, five.data());
    EXPECT_EQ(tiny.GetLength(), 0);
    EXPECT_EQ(tiny.GetMessageID(), 0u);
}

TEST(SdiEvent, HeaderDataAndCut) {
    const Bytes data = {0x81, 0x00};
    SDIMSG event('N', 42, 3, 5, data.data(), 2, true);
    const unsigned char* t = event.GetBuffer();
    ASSERT_EQ(event.GetLength(), 34);
    const Bytes head(t, t + 24);
    EXPECT_EQ(head, (Bytes{'<', 'r', 's', '4', '8', '5', '>', 'N', 0, 1, 0, 0, 0, 3, 0, 0, 0, 42,
                           0, 0, 0, 5, 0, 2}));
    EXPECT_EQ(t[24], 0x81);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(t + 26), 8), "</rs485>");

    const Bytes many(1800, 0x11);
    SDIMSG cut('N', 0, 1, 0, many.data(), 1800, false);
    EXPECT_EQ(cut.GetLength(), sdi::kMaxData + 32);
    EXPECT_EQ(cut.GetFlags(), SDIMSG_CUT);
    EXPECT_EQ(sdi::be16(cut.GetBuffer() + 22), static_cast<uint32_t>(sdi::kMaxData));
    EXPECT_EQ(sdi::be16(cut.GetBuffer() + 8), SDIMSG_CUT);
}

TEST(SdiEvent, UnacknowledgedEventIsResentOnceThenDropped) {
    ovkhost::useManualClock(true);
    ovkhost::setClock(5000);
    SDIMSG event('A', 1, 1, 1, nullptr, 0, false);
    EXPECT_EQ(event.CheckForNonAcknowledgedMessage(), 0);
    ovkhost::advanceClock(SDIMSG::kAckWaitMs);
    EXPECT_EQ(event.CheckForNonAcknowledgedMessage(), 2);
    EXPECT_TRUE(event.GetRetransmitFlag());
    EXPECT_EQ(sdi::be16(event.GetBuffer() + 8), SDIMSG_RETRANSMIT);
    EXPECT_EQ(event.CheckForNonAcknowledgedMessage(), 0);
    ovkhost::advanceClock(SDIMSG::kAckWaitMs);
    EXPECT_EQ(event.CheckForNonAcknowledgedMessage(), 1);
    ovkhost::useManualClock(false);
}

TEST(SdiClassNames, ByDeviceType) {
    EXPECT_STREQ(sdi::ClassName(6), "CASH_DRAWER");
    EXPECT_STREQ(sdi::ClassName(13), "TOUCH_SCREEN");
    EXPECT_STREQ(sdi::ClassName(1), "UNKNOWN");
    EXPECT_STREQ(sdi::ClassName(99), "UNKNOWN");
}

} // namespace
