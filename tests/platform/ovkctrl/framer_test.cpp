// Framing of requests from a byte stream: exactly the bytes each step needs, nothing beyond
// the message buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "RequestFramer.h"
#include "ovkwire.h"

using namespace ovkwire;

namespace {

// Feeds `bytes` the way the connection does (exactly wanted() at a time); the status after
// the last step, and how many bytes were taken.
RequestFramer::Status feed(RequestFramer& f, const std::vector<uint8_t>& bytes, size_t& taken,
                           Request& out) {
    taken = 0;
    for (;;) {
        const size_t want = f.wanted();
        if (taken + want > bytes.size()) return RequestFramer::NeedMore;
        std::memcpy(f.space(), bytes.data() + taken, want);
        taken += want;
        RequestFramer::Status s = f.Received(out);
        if (s != RequestFramer::NeedMore) return s;
    }
}

std::vector<uint8_t> words(std::initializer_list<uint32_t> w) {
    std::vector<uint8_t> out(w.size() * 4);
    size_t i = 0;
    for (uint32_t v : w) putU32(out.data() + 4 * i++, v);
    return out;
}

template <class R>
std::vector<uint8_t> encoded(const R& r) {
    std::vector<uint8_t> out(MESSAGE_BUFFER_SIZE);
    out.resize(encodeRequest(out.data(), out.size(), r));
    return out;
}

TEST(RequestFramer, TakesOneRequestAtATimeAndNothingOfTheNext) {
    InitializeRequest init;
    init.handle = 7;
    init.applName = "shop";
    init.resFile = "shop.res";
    std::vector<uint8_t> stream = encoded(init);
    const size_t first = stream.size();
    std::vector<uint8_t> close = encoded(CloseRequest{8, 3});
    stream.insert(stream.end(), close.begin(), close.end());

    RequestFramer f;
    Request r;
    size_t taken = 0;
    ASSERT_EQ(feed(f, stream, taken, r), RequestFramer::Ready);
    EXPECT_EQ(taken, first);
    ASSERT_TRUE(std::holds_alternative<InitializeRequest>(r));
    EXPECT_EQ(std::get<InitializeRequest>(r).applName, "shop");

    f.Next();
    std::vector<uint8_t> rest(stream.begin() + static_cast<long>(first), stream.end());
    ASSERT_EQ(feed(f, rest, taken, r), RequestFramer::Ready);
    EXPECT_EQ(taken, rest.size());
    ASSERT_TRUE(std::holds_alternative<CloseRequest>(r));
    EXPECT_EQ(std::get<CloseRequest>(r).device, 3);
}

TEST(RequestFramer, RefusesWhatCannotBeARequest) {
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    std::vector<uint8_t> oversizedIoctl = words({REQ_IOCTL, 1, 0, 0xFFFF});     // block 0xFFFF
    std::vector<uint8_t> oversizedWrite = words({REQ_WRITE, 1, 0xFFFF0001, 0}); // 65535 bytes
    std::vector<uint8_t> oversizedInit = words({REQ_INITIALIZE, 1, 0xFFFF0001, 0x00000004, 0,
                                                INITIALIZE_MAGIC});
    oversizedInit.resize(INITIALIZE_FIXED_SIZE, 0);
    const Case cases[] = {
        {"unknown type", words({0xCE000010, 1})},
        {"a reply sent to the daemon", words({MSG_REPLY, 1, 0, 0, 0})},
        {"argument block beyond the message buffer", oversizedIoctl},
        {"write beyond the message buffer", oversizedWrite},
        {"names beyond the message buffer", oversizedInit},
    };
    for (const Case& c : cases) {
        RequestFramer f;
        Request r;
        size_t taken = 0;
        EXPECT_EQ(feed(f, c.bytes, taken, r), RequestFramer::Invalid) << c.what;
        EXPECT_LE(f.gathered(), MESSAGE_BUFFER_SIZE) << c.what;
        // It stays refused: no later bytes make it a request.
        EXPECT_EQ(f.wanted(), 0u) << c.what;
        f.Next();
        EXPECT_EQ(f.Received(r), RequestFramer::Invalid) << c.what;
    }
}

TEST(RequestFramer, AsksForTheWholeRequestItsLengthsAnnounce) {
    uint8_t data[10] = {};
    WriteRequest w;
    w.data = ByteSpan(data, sizeof data);
    std::vector<uint8_t> bytes = encoded(w);
    RequestFramer f;
    Request r;
    EXPECT_EQ(f.wanted(), REQUEST_HEADER_SIZE);
    std::memcpy(f.space(), bytes.data(), f.wanted());
    ASSERT_EQ(f.Received(r), RequestFramer::NeedMore);
    EXPECT_EQ(f.gathered(), REQUEST_HEADER_SIZE);
    EXPECT_EQ(f.wanted(), WRITE_FIXED_SIZE - REQUEST_HEADER_SIZE);
    std::memcpy(f.space(), bytes.data() + 8, f.wanted());
    ASSERT_EQ(f.Received(r), RequestFramer::NeedMore);
    EXPECT_EQ(f.wanted(), bytes.size() - WRITE_FIXED_SIZE);
}

} // namespace
