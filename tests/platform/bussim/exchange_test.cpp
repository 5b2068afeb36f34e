// The exchange-buffer codec and the node's refusal of malformed buffers from the core.
#include "CoreSide.h"

#include <random>

namespace bussimtest {
namespace {

void put16(Buffer& b, size_t off, uint16_t v) {
    b[off] = static_cast<uint8_t>(v);
    b[off + 1] = static_cast<uint8_t>(v >> 8);
}

TEST(ExchangeCodec, CoreOutputRoundTrip) {
    CoreOutput out;
    out.flags = exch::kFlagFrames | exch::kFlagPollList | exch::kFlagPortConfig | exch::kFlagTiming;
    out.portConfig = 0xA4;
    out.timing = {0xEB, 0xFA, 0x20};
    out.pollList = pollListOf({{0x11, 0x00}, {0x22, 0x5C}});
    out.frames = {OutFrame::make(0x11, 0x5C, 0x83), OutFrame::make(0x22, 0x10, 0x20, {1, 2, 3}, 0x40, 0x02),
                  OutFrame::broadcastReset(0x22)};
    Buffer buf;
    ASSERT_TRUE(encodeCoreOutput(out, buf));
    EXPECT_EQ(buf[5], 3);
    EXPECT_EQ(buf[6], 0x2F);
    EXPECT_EQ(buf[7], 0x01);
    EXPECT_EQ(buf[17], 0x22);
    EXPECT_EQ(buf[18], 0x5C);
    // First record: 04 00 11 1E 00 5C 83 crc.
    EXPECT_EQ(Bytes(buf.begin() + 303, buf.begin() + 310), (Bytes{0x04, 0x00, 0x11, 30, 0x00, 0x5C, 0x83}));

    CoreOutput back;
    std::string why;
    ASSERT_TRUE(decodeCoreOutput(buf.data(), buf.size(), back, why)) << why;
    EXPECT_EQ(back.portConfig, 0xA4);
    EXPECT_EQ(back.timing, out.timing);
    EXPECT_EQ(back.pollList[1], (PollEntry{0x22, 0x5C}));
    ASSERT_EQ(back.frames.size(), 3u);
    EXPECT_TRUE(back.frames[0].checkOk);
    EXPECT_EQ(back.frames[1].data, (Bytes{1, 2, 3}));
    EXPECT_EQ(back.frames[1].addressWait, 0x40);
    EXPECT_EQ(back.frames[1].byteWait, 0x02);
    EXPECT_TRUE(back.frames[2].broadcast());
    EXPECT_EQ(back.frames[2].check, 0x4000);

    // Parts the flags do not announce are not read.
    buf[0] = exch::kFlagPollList;
    ASSERT_TRUE(decodeCoreOutput(buf.data(), buf.size(), back, why));
    EXPECT_TRUE(back.frames.empty());
    EXPECT_EQ(back.portConfig, 0);
}

TEST(ExchangeCodec, FrameAreaHoldsExactly1743Bytes) {
    // One record filling the frame area to its last byte.
    CoreOutput out;
    out.flags = exch::kFlagFrames;
    out.frames = {OutFrame::make(0x11, 0x20, 0x00, Bytes(exch::kOutFrameAreaSize - 9, 0x55))};
    Buffer buf;
    ASSERT_TRUE(encodeCoreOutput(out, buf));
    CoreOutput back;
    std::string why;
    ASSERT_TRUE(decodeCoreOutput(buf.data(), buf.size(), back, why)) << why;
    ASSERT_EQ(back.frames.size(), 1u);
    EXPECT_TRUE(back.frames[0].checkOk);
    out.frames[0].data.push_back(0x55);
    EXPECT_FALSE(encodeCoreOutput(out, buf));
    EXPECT_FALSE(decodeCoreOutput(buf.data(), buf.size() - 1, back, why));
}

TEST(ExchangeCodec, ZeroLengthEndsTheFrameRecords) {
    CoreOutput out;
    out.flags = exch::kFlagFrames;
    out.frames = {OutFrame::make(0x11, 0x20, 0x83)};
    Buffer buf;
    ASSERT_TRUE(encodeCoreOutput(out, buf));
    buf[5] = 4; // more records counted than written: the zeroes after the first end them
    CoreOutput back;
    std::string why;
    ASSERT_TRUE(decodeCoreOutput(buf.data(), buf.size(), back, why)) << why;
    EXPECT_EQ(back.frames.size(), 1u);
}

TEST(ExchangeCodec, NodeInputLayoutAndLimits) {
    NodeInput in;
    in.errors = {{0x13, 0x11, 0x20, {}}, {0x21, 0x22, 0x30, {7, 8}}};
    Buffer buf;
    ASSERT_TRUE(encodeNodeInput(in, buf));
    EXPECT_EQ(buf[12], 1 << exch::kEventErrors);
    EXPECT_EQ(buf[271], 10);
    EXPECT_EQ(Bytes(buf.begin() + 273, buf.begin() + 283), (Bytes{3, 0x13, 0x11, 0x20, 5, 0x21, 0x22, 0x30, 7, 8}));
    NodeInput back;
    std::string why;
    ASSERT_TRUE(decodeNodeInput(buf.data(), buf.size(), back, why)) << why;
    EXPECT_EQ(back.errors, in.errors);

    // The error area ends at 303.
    in.errors.push_back({0x20, 0x11, 0x21, Bytes(17, 0)});
    EXPECT_FALSE(encodeNodeInput(in, buf));
    // A frame of the largest size fits (record of 1742 bytes), one byte more does not.
    NodeInput big;
    big.frame = InFrame{0x11, 0x20, 0x00, Bytes(exch::kInFrameAreaSize - 7, 1), 0, false};
    ASSERT_TRUE(encodeNodeInput(big, buf));
    ASSERT_TRUE(decodeNodeInput(buf.data(), buf.size(), back, why)) << why;
    EXPECT_TRUE(back.frame->checkOk);
    big.frame->data.push_back(1);
    EXPECT_FALSE(encodeNodeInput(big, buf));
    // A status byte and a frame would share offset 305.
    NodeInput both;
    both.events = 1 << exch::kEventStatus;
    both.frame = InFrame{0x11, 0x20, 0x0F, {}, 0, false};
    EXPECT_FALSE(encodeNodeInput(both, buf));

    // Malformed delivered buffers are refused by the decoder.
    Buffer raw{};
    raw[12] = 1 << exch::kEventErrors;
    put16(raw, 271, 31);
    EXPECT_FALSE(decodeNodeInput(raw.data(), raw.size(), back, why));
    put16(raw, 271, 4);
    raw[273] = 9; // record longer than the area
    EXPECT_FALSE(decodeNodeInput(raw.data(), raw.size(), back, why));
    raw = Buffer{};
    raw[12] = 1 << exch::kEventFrame;
    put16(raw, 303, 2);
    EXPECT_FALSE(decodeNodeInput(raw.data(), raw.size(), back, why));
}

using Refusal = CoreSide;

TEST_F(Refusal, MalformedReturnedBuffersAreRefusedWhole) {
    auto m = std::make_unique<ScriptedModel>();
    ScriptedModel* model = m.get();
    ASSERT_NE(engine->attach(kSlot, 0x11, 0x20, std::move(m)), nullptr);
    bringUp({{0x11, 0x20}});
    NodeInput in;
    ASSERT_EQ(wait(in), 0u);
    ASSERT_TRUE(in.frame); // ROL

    // Each buffer starts with a good SNRM record, then goes wrong.
    const std::vector<uint8_t> snrm = encodeOutFrame(OutFrame::make(0x11, 0x20, 0x83));
    struct Case {
        const char* name;
        void (*spoil)(Buffer&, size_t second);
    };
    const Case cases[] = {
        {"length below 4", [](Buffer& b, size_t o) { put16(b, o, 3); }},
        {"record past the area", [](Buffer& b, size_t o) { put16(b, o, 1800); }},
        {"last record one byte too long",
         [](Buffer& b, size_t o) { put16(b, o, static_cast<uint16_t>(exch::kFrameArea + exch::kOutFrameAreaSize - o - 4)); }},
        {"count beyond the area",
         [](Buffer& b, size_t o) {
             // Records fill the area to its last byte; the count asks for more.
             b[5] = 255;
             put16(b, o, 10);
             for (size_t off = o + 15; off < exch::kFrameArea + exch::kOutFrameAreaSize; off += 9) put16(b, off, 4);
         }},
    };
    for (const Case& c : cases) {
        Buffer buf{};
        buf[0] = exch::kFlagFrames;
        buf[5] = 2;
        std::copy(snrm.begin(), snrm.end(), buf.begin() + 303);
        c.spoil(buf, 303 + snrm.size());
        EXPECT_EQ(giveBackRaw(buf), res::kInvalid) << c.name;
        const ReturnedBuffer log = engine->returnedBuffers(kSlot).back();
        EXPECT_FALSE(log.accepted) << c.name;
        EXPECT_FALSE(log.refusal.empty()) << c.name;
        // Nothing of it reached the bus, and the node has the buffer again.
        EXPECT_FALSE(engine->bufferWithCore(kSlot)) << c.name;
        ASSERT_EQ(result(req::kRequestBuffer), 0u);
        ASSERT_EQ(wait(in), 0u) << c.name;
        EXPECT_FALSE(in.frame) << c.name;
        EXPECT_EQ(engine->received(kSlot, 0x11, 0x20).size(), 0u) << c.name;
    }
    // A short record is refused before anything is read.
    std::vector<uint8_t> rec = call(req::kReturnBuffer, kSlot, 100);
    EXPECT_EQ(word(rec, 0), res::kInvalid);
    EXPECT_TRUE(engine->bufferWithCore(kSlot));

    // The node still works: SNRM gets NSA.
    NodeInput answer;
    ASSERT_EQ(exchange(framesOut({OutFrame::make(0x11, 0x20, 0x83)}), answer), 0u);
    ASSERT_TRUE(answer.frame);
    EXPECT_EQ(answer.frame->control, ctl::kNSA);
    EXPECT_TRUE(model->received().empty());
}

TEST_F(Refusal, RandomReturnedBuffersNeverBreakTheNode) {
    for (uint8_t a : {0x20, 0x21, 0x5C}) ASSERT_NE(engine->attach(kSlot, 0x11, a, std::make_unique<ScriptedModel>()), nullptr);
    bringUp({{0x11, 0x20}, {0x11, 0x21}, {0x11, 0x5C}, {0x11, 0x30}});
    std::mt19937 rng(1234);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 2000; ++round) {
        ASSERT_EQ(result(req::kRequestBuffer), 0u);
        ASSERT_EQ(wait(), 0u);
        Buffer buf;
        for (uint8_t& b : buf) b = static_cast<uint8_t>(byte(rng));
        // Mostly frames, with plausible lengths now and then.
        if (round % 2) buf[0] = static_cast<uint8_t>(exch::kFlagFrames | (buf[0] & 0x6A));
        if (round % 3 == 0) {
            buf[5] = static_cast<uint8_t>(1 + round % 5);
            put16(buf, 303, static_cast<uint16_t>(4 + round % 40));
        }
        const uint32_t r = giveBackRaw(buf);
        ASSERT_TRUE(r == res::kOk || r == res::kInvalid) << round;
        ASSERT_FALSE(engine->bufferWithCore(kSlot));
    }
}

} // namespace
} // namespace bussimtest
