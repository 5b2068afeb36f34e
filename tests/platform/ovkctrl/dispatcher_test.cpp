// The request dispatcher against a stand-in core: what reaches the core, in which order, and
// what the replies carry.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "RequestDispatcher.h"
#include "StandIns.h"
#include "ovkargs.h"
#include "ovkwire.h"

using namespace ovkwire;
using ctrltest::CoreLog;
using ctrltest::StandInHost;

namespace {

constexpr int kPid = 4242;

struct Reply {
    ReplyHeader header;
    std::vector<uint8_t> data;
};

class DispatcherTest : public ::testing::Test {
protected:
    // Encodes the request as a client would, decodes it as the daemon does, answers it.
    template <class R>
    Reply Call(const R& request) {
        std::vector<uint8_t> wire(MESSAGE_BUFFER_SIZE);
        size_t n = encodeRequest(wire.data(), wire.size(), request);
        EXPECT_GT(n, 0u);
        Request decoded;
        EXPECT_EQ(decodeRequest(wire.data(), n, decoded).status, DecodeResult::Ok);
        std::vector<uint8_t> out(REPLY_BUFFER_SIZE);
        size_t len = dispatcher.Dispatch(decoded, out.data());
        ServerMessage m;
        DecodeResult r = decodeServerMessage(out.data(), len, m);
        EXPECT_EQ(r.status, DecodeResult::Ok);
        EXPECT_EQ(r.bytes, len);
        EXPECT_EQ(m.kind, ServerMessage::Reply);
        EXPECT_EQ(m.reply.handle, request.handle);
        return Reply{m.reply, std::vector<uint8_t>(m.data.data, m.data.data + m.data.size)};
    }

    Reply Initialize(const char* appl = "shop", uint16_t codePage = 858) {
        InitializeRequest r;
        r.handle = 1;
        r.applName = appl;
        r.resFile = "shop.res";
        r.codePage = codePage;
        leadByteRanges(codePage, r.leadBytes);
        return Call(r);
    }

    static void ExpectFailure(const Reply& r, int code) {
        EXPECT_EQ(r.header.rc, -1);
        EXPECT_EQ(r.header.error, code);
        EXPECT_EQ(r.header.dataLength, 0u);
    }

    CoreLog log;
    StandInHost host{log};
    RequestDispatcher dispatcher{host, nullptr, kPid};
};

TEST_F(DispatcherTest, BeforeInitializeOnlyVersionIsAnsweredAndTheCoreIsNotCalled) {
    uint8_t bytes[4] = {1, 2, 3, 4};
    OpenRequest open;
    open.deviceName = "receipt";
    open.className = "PosPrinter";
    IOCtlRequest ioctl;
    ioctl.request = 302;
    ReadRequest read;
    read.device = 1;
    read.data = ByteSpan(bytes, sizeof bytes);
    WriteRequest write;
    write.device = 1;
    write.data = ByteSpan(bytes, sizeof bytes);
    CloseRequest close;
    close.device = 1;
    ExpectFailure(Call(open), 302);
    ExpectFailure(Call(ioctl), 302);
    ExpectFailure(Call(read), 302);
    ExpectFailure(Call(write), 302);
    ExpectFailure(Call(close), 302);
    EXPECT_TRUE(log.calls.empty());

    Reply v = Call(VersionRequest{9});
    EXPECT_EQ(v.header.rc, 0);
    VersionInfo info = decodeVersionData(ByteSpan(v.data.data(), v.data.size()));
    EXPECT_EQ(info.version, RequestDispatcher::DaemonVersion().version);
    EXPECT_EQ(info.release, RequestDispatcher::DaemonVersion().release);
    EXPECT_EQ(v.data.size(), VERSION_DATA_SIZE);
    EXPECT_TRUE(log.calls.empty());
}

TEST_F(DispatcherTest, InitializeMakesTheProcessThenListsItOnlyAfterSuccess) {
    Reply r = Initialize("shop", 932);
    EXPECT_EQ(r.header.rc, 0);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"new 4242", "environment 4242",
                                                   "initialize shop shop.res 0", "add 4242"}));
    EXPECT_EQ(log.codePage, 932);
    const uint8_t cp932[] = {0x81, 0x9F, 0xE9, 0xFC, 0x00};
    EXPECT_EQ(std::memcmp(log.ranges, cp932, sizeof cp932), 0);
    EXPECT_TRUE(dispatcher.Initialized());

    // A second Initialize goes to the same process, which refuses it; nothing is redone.
    log.calls.clear();
    ExpectFailure(Initialize(), 304);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"initialize shop shop.res 0"}));
    EXPECT_EQ(log.processes, 1);
}

TEST_F(DispatcherTest, AFailedInitializeLeavesNoProcessBehind) {
    log.initRc = 330;
    ExpectFailure(Initialize(), 330);
    EXPECT_FALSE(log.has("add 4242"));
    EXPECT_EQ(log.processes, 0);
    ExpectFailure(Call(CloseRequest{3, 1}), 302);

    // The core lists the process but refuses it (its id is listed already).
    log.initRc = 0;
    log.addRc = 321;
    ExpectFailure(Initialize(), 321);
    EXPECT_EQ(log.processes, 0);
    EXPECT_FALSE(dispatcher.Initialized());

    // The core breaks off with an exception: 321, and the half-made process does not
    // outlive the next Initialize.
    log.addRc = 0;
    log.initThrows = true;
    ExpectFailure(Initialize(), 321);
    EXPECT_FALSE(dispatcher.Initialized());
    log.initThrows = false;

    log.calls.clear();
    EXPECT_EQ(Initialize().header.rc, 0);
    EXPECT_EQ(log.calls.front(), "delete 4242");
    EXPECT_EQ(log.calls[1], "new 4242");
    EXPECT_EQ(log.processes, 1);
}

TEST_F(DispatcherTest, RepliesCarryTheResultsOfTheEntryPoints) {
    ASSERT_EQ(Initialize().header.rc, 0);

    OpenRequest open;
    open.handle = 2;
    open.deviceName = "receipt";
    open.className = "PosPrinter";
    EXPECT_EQ(Call(open).header.rc, 5);
    EXPECT_TRUE(log.has("open receipt PosPrinter"));
    log.openRc = 326;
    ExpectFailure(Call(open), 326);

    IOCtlRequest ioctl;
    ioctl.device = 5;
    ioctl.request = 4000;
    log.ioctlOut = 7;
    EXPECT_EQ(Call(ioctl).header.rc, 7);
    log.ioctlOut = -9; // a negative rc would read as a failure on the client
    EXPECT_EQ(Call(ioctl).header.rc, 0);
    log.ioctlRc = 316;
    ExpectFailure(Call(ioctl), 316);
    EXPECT_TRUE(log.has("ioctl 5 4000"));

    uint8_t data[5] = {1, 2, 3, 4, 5};
    WriteRequest write;
    write.device = 5;
    write.data = ByteSpan(data, sizeof data);
    EXPECT_EQ(Call(write).header.rc, 5);
    EXPECT_EQ(log.written, std::vector<uint8_t>(data, data + 5));
    log.writeRc = 311;
    write.device = 0;
    ExpectFailure(Call(write), 311);

    EXPECT_EQ(Call(CloseRequest{4, 5}).header.rc, 0);
    log.closeRc = 311;
    ExpectFailure(Call(CloseRequest{4, 0}), 311);
    EXPECT_TRUE(log.has("close 0"));
}

TEST_F(DispatcherTest, ReadGivesTheCoreACopyOfTheClientBufferAndReturnsAtMostThat) {
    ASSERT_EQ(Initialize().header.rc, 0);
    uint8_t asStands[6] = {9, 8, 7, 6, 5, 4};
    ReadRequest read;
    read.device = 3;
    read.data = ByteSpan(asStands, sizeof asStands);
    Reply r = Call(read);
    EXPECT_EQ(log.readBuffer, std::vector<uint8_t>(asStands, asStands + 6));
    EXPECT_EQ(r.header.rc, 6);
    EXPECT_EQ(r.data, (std::vector<uint8_t>{0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5}));

    log.readCount = 2;
    r = Call(read);
    EXPECT_EQ(r.header.rc, 2);
    EXPECT_EQ(r.data.size(), 2u);

    log.readCount = 500; // a count beyond the buffer is never believed
    r = Call(read);
    EXPECT_EQ(r.header.rc, 6);
    EXPECT_EQ(r.data.size(), 6u);

    log.readRc = 303;
    ExpectFailure(Call(read), 303);

    // The largest read a request can carry still fits one reply.
    std::vector<uint8_t> big(MAX_WRITE_BYTES, 0);
    read.data = ByteSpan(big.data(), big.size());
    log.readRc = 0;
    log.readCount = -1;
    r = Call(read);
    EXPECT_EQ(static_cast<size_t>(r.header.rc), MAX_READ_BYTES);
    EXPECT_EQ(log.readBuffer.size(), MAX_READ_BYTES);
}

TEST_F(DispatcherTest, GetValuesRepliesWithTheValuesInRequestOrder) {
    ASSERT_EQ(Initialize().header.rc, 0);
    char name[31] = "ab";
    PosArg args[] = {{"slotNumber", 3}, {"unknownName", 1}, {"deviceName", 0}};
    args[2].value = reinterpret_cast<intptr_t>(name);
    std::vector<uint8_t> block(1024);
    int len = apiSerializePosArgs(block.data(), static_cast<unsigned>(block.size()), args, 3, 0);
    ASSERT_GT(len, 0);
    IOCtlRequest ioctl;
    ioctl.request = 302;
    ioctl.argBlock = ByteSpan(block.data(), static_cast<size_t>(len));
    ioctl.nargs = 3;
    Reply r = Call(ioctl);
    ASSERT_EQ(r.header.rc, 0);
    EXPECT_EQ(r.data.size(), static_cast<size_t>(len)); // one item per argument, same forms

    std::memset(name, 0, sizeof name);
    ASSERT_EQ(apiDeserializePosArgs(r.data.data(), static_cast<unsigned>(r.data.size()), args, 3), 0);
    EXPECT_EQ(args[0].value, 100);
    EXPECT_EQ(args[1].value, 1); // empty item: left alone
    EXPECT_STREQ(name, "core");

    // A failed get-values carries no block.
    log.ioctlRc = 310;
    ExpectFailure(Call(ioctl), 310);
}

TEST_F(DispatcherTest, EndTakesTheProcessOffTheListBeforeDeletingIt) {
    dispatcher.End(); // nothing to end yet
    EXPECT_TRUE(log.calls.empty());
    ASSERT_EQ(Initialize().header.rc, 0);
    log.calls.clear();
    dispatcher.End();
    EXPECT_EQ(log.calls, (std::vector<std::string>{"remove 4242", "delete 4242"}));
    EXPECT_EQ(log.processes, 0);
    dispatcher.End();
    EXPECT_EQ(log.calls.size(), 2u);
    ExpectFailure(Call(CloseRequest{5, 1}), 302);
}

} // namespace
