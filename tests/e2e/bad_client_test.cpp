// Clients that break the protocol: each loses its own connection at most, and the daemon
// keeps serving everyone else.
#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "DaemonTest.h"
#include "RawClient.h"
#include "ovkargs.h"
#include "ovkwire.h"

using namespace ovkwire;

namespace {

class BadClient : public DaemonTest {
protected:
    // A client that behaves, connected before the bad ones come.
    void SetUp() override {
        DaemonTest::SetUp();
        ASSERT_TRUE(good_.Connect(daemon_.SocketPath()));
        ASSERT_EQ(good_.Initialize("goodclient").rc, 0);
    }

    // The good client still gets its answers.
    void ExpectServed() {
        ReplyHeader h = good_.Call(VersionRequest{});
        EXPECT_EQ(h.rc, 0);
        IOCtlRequest r;
        r.request = 4000;
        h = good_.Call(std::move(r));
        EXPECT_EQ(h.rc, -1);
        EXPECT_EQ(h.error, 316);
    }

    // Sends `bytes` on a connection of its own and expects the daemon to close it.
    void ExpectRefused(const std::vector<uint8_t>& bytes, const char* what) {
        RawClient c;
        ASSERT_TRUE(c.Connect(daemon_.SocketPath())) << what;
        ASSERT_TRUE(c.Send(bytes)) << what;
        EXPECT_TRUE(c.ClosedByPeer()) << what;
    }

    static std::vector<uint8_t> IOCtlWithBlock(const std::vector<uint8_t>& block, uint16_t nargs,
                                               uint16_t request = 302) {
        std::vector<uint8_t> out(IOCTL_FIXED_SIZE + block.size(), 0);
        putU32(out.data(), REQ_IOCTL);
        putU32(out.data() + 4, 77);
        putU16(out.data() + 10, request);
        putU16(out.data() + 12, static_cast<uint16_t>(block.size()));
        putU16(out.data() + 14, nargs);
        std::memcpy(out.data() + IOCTL_FIXED_SIZE, block.data(), block.size());
        return out;
    }

    // One argument item: header, name with NUL padded, value bytes padded.
    static std::vector<uint8_t> Item(uint8_t type, const char* name, std::vector<uint8_t> value,
                                     int nameLenField = -1, int valueLenField = -1) {
        const size_t nameLen = std::strlen(name) + 1;
        std::vector<uint8_t> out(4 + pad4(nameLen) + pad4(value.size()), 0);
        out[0] = type;
        out[1] = static_cast<uint8_t>(nameLenField < 0 ? nameLen : nameLenField);
        putU16(out.data() + 2, static_cast<uint16_t>(valueLenField < 0 ? value.size() : valueLenField));
        std::memcpy(out.data() + 4, name, nameLen);
        std::memcpy(out.data() + 4 + pad4(nameLen), value.data(), value.size());
        return out;
    }

    RawClient good_;
};

TEST_F(BadClient, TruncatedRequestsOnlyEndTheirOwnConnection) {
    InitializeRequest init;
    init.handle = 1;
    init.applName = "truncated";
    init.resFile = "truncated.res";
    std::vector<uint8_t> bytes(MESSAGE_BUFFER_SIZE);
    bytes.resize(encodeRequest(bytes.data(), bytes.size(), init));
    for (size_t cut : {size_t(1), size_t(7), size_t(8), size_t(30), size_t(60), bytes.size() - 1}) {
        RawClient c;
        ASSERT_TRUE(c.Connect(daemon_.SocketPath()));
        ASSERT_TRUE(c.Send(bytes.data(), cut));
        c.Close();
    }
    ExpectServed();
}

TEST_F(BadClient, OversizedAndUnknownRequestsCloseTheConnection) {
    auto words = [](std::initializer_list<uint32_t> w) {
        std::vector<uint8_t> out;
        for (uint32_t v : w) {
            out.resize(out.size() + 4);
            putU32(out.data() + out.size() - 4, v);
        }
        return out;
    };
    std::vector<uint8_t> longInit = words({REQ_INITIALIZE, 1, 0xFFFF0001, 0x00000004, 0, INITIALIZE_MAGIC});
    longInit.resize(INITIALIZE_FIXED_SIZE, 0);
    std::vector<uint8_t> longOpen = words({REQ_OPEN, 1, 0x00050100, 0});    // name of 256 bytes
    std::vector<uint8_t> longIoctl = words({REQ_IOCTL, 1, 0, 0x0001FFFC}); // block 65532 bytes
    std::vector<uint8_t> longWrite = words({REQ_WRITE, 1, 0xFFFF0001});    // 65535 bytes
    std::vector<uint8_t> badMagic = words({REQ_INITIALIZE, 1, 0x00040001, 0x4, 0, 0x12345678});
    badMagic.resize(INITIALIZE_FIXED_SIZE + 8, 0);
    ExpectRefused(longInit, "application name beyond the message buffer");
    ExpectRefused(longOpen, "device name longer than 33");
    ExpectRefused(longIoctl, "argument block beyond the message buffer");
    ExpectRefused(longWrite, "write beyond the message buffer");
    ExpectRefused(badMagic, "initialise without its constant");
    ExpectRefused(words({0xCE000010, 1}), "unknown type");
    ExpectRefused(words({MSG_EVENT, 0, 0x420D, 0, 0}), "an event sent to the daemon");
    ExpectRefused(std::vector<uint8_t>(64, 0xFF), "noise");
    ExpectServed();
}

TEST_F(BadClient, ArgumentItemsMustAgreeWithTheResourceNameTable) {
    const std::vector<uint8_t> int4 = {1, 0, 0, 0};
    const std::vector<uint8_t> bytes24(24, 0x41);
    struct Case {
        const char* what;
        std::vector<uint8_t> block;
        uint16_t nargs;
    };
    const Case cases[] = {
        {"name crossing the block end", Item(1, "slotNumber", int4, 200), 1},
        {"value crossing the block end", Item(1, "slotNumber", int4, -1, 4000), 1},
        {"integer item for a string name", Item(1, "vitalProductData", int4), 1},
        {"string item for an integer name", Item(2, "slotNumber", bytes24), 1},
        {"string of the wrong length", Item(2, "vitalProductData", std::vector<uint8_t>(8, 1)), 1},
        {"names the core dereferences", Item(2, "pollList", bytes24), 1},
        {"names the core dereferences", Item(2, "subsystemVersion", std::vector<uint8_t>(16, 1)), 1},
        {"unknown name", Item(1, "noSuchName", int4), 1},
        {"name without its NUL", Item(1, "slotNumber", int4, 10), 1},
        {"more arguments than items", Item(1, "slotNumber", int4), 2},
        {"bytes left after the items", [&] {
             std::vector<uint8_t> b = Item(1, "slotNumber", int4);
             b.resize(b.size() + 4, 0);
             return b;
         }(), 1},
        {"a character definition outside its requests", [] {
             std::vector<uint8_t> b(84, 0);
             b[0] = 3;
             b[1] = 2;
             b[2] = 74;
             return b;
         }(), 1},
    };
    for (const Case& c : cases) ExpectRefused(IOCtlWithBlock(c.block, c.nargs), c.what);
    ExpectServed();

    // The same items, well formed, are answered.
    unsigned char vpd[24];
    std::memset(vpd, 0x55, sizeof vpd);
    PosArg args[] = {{"vitalProductData", 0}, {"slotNumber", 9}};
    args[0].value = reinterpret_cast<intptr_t>(vpd);
    std::vector<uint8_t> block(256);
    int len = apiSerializePosArgs(block.data(), static_cast<unsigned>(block.size()), args, 2, 0);
    block.resize(static_cast<size_t>(len));
    IOCtlRequest r;
    r.request = 302;
    r.argBlock = ByteSpan(block.data(), block.size());
    r.nargs = 2;
    std::vector<uint8_t> data;
    ReplyHeader h = good_.Call(std::move(r), &data);
    ASSERT_EQ(h.rc, 0);
    ASSERT_EQ(apiDeserializePosArgs(data.data(), static_cast<unsigned>(data.size()), args, 2), 0);
    for (unsigned char b : vpd) EXPECT_EQ(b, 0);
    EXPECT_EQ(args[1].value, 9); // not a system value: left as it was
}

TEST_F(BadClient, RequestsOutOfOrderAndOnHandleZero) {
    RawClient c;
    ASSERT_TRUE(c.Connect(daemon_.SocketPath()));
    uint8_t four[4] = {1, 2, 3, 4};
    OpenRequest open;
    open.deviceName = "receipt";
    open.className = "PosPrinter";
    ReadRequest read;
    read.data = ByteSpan(four, 4);
    WriteRequest write;
    write.data = ByteSpan(four, 4);
    // Nothing before Initialize but Version.
    EXPECT_EQ(c.Call(std::move(open)).error, 302);
    EXPECT_EQ(c.Call(read).error, 302);
    EXPECT_EQ(c.Call(write).error, 302);
    EXPECT_EQ(c.Call(CloseRequest{}).error, 302);
    EXPECT_EQ(c.Call(IOCtlRequest{}).error, 302);
    std::vector<uint8_t> data;
    EXPECT_EQ(c.Call(VersionRequest{}, &data).rc, 0);
    EXPECT_EQ(data.size(), VERSION_DATA_SIZE);

    // This test process's id is the good client's already: the core refuses a second one.
    ReplyHeader h = c.Initialize("second");
    EXPECT_EQ(h.rc, -1);
    EXPECT_EQ(h.error, 321);
    good_.Close();
    for (int i = 0; i < 200 && h.rc != 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        h = c.Initialize("second");
    }
    ASSERT_EQ(h.rc, 0);
    EXPECT_EQ(c.Initialize("second").error, 304);

    // Handle 0 is the event queue: no writes, no close, reads give nothing.
    write.device = 0;
    h = c.Call(write);
    EXPECT_EQ(h.rc, -1);
    EXPECT_EQ(h.error, 311);
    h = c.Call(CloseRequest{0, 0});
    EXPECT_EQ(h.error, 311);
    read.device = 0;
    h = c.Call(read, &data);
    EXPECT_EQ(h.rc, 0);
    EXPECT_TRUE(data.empty());
    // Handles nobody opened.
    read.device = 200;
    EXPECT_EQ(c.Call(read).error, 303);
    EXPECT_EQ(c.Call(CloseRequest{0, 31}).error, 303);
    EXPECT_EQ(c.events(), 0);
}

TEST_F(BadClient, ConnectAndDisconnectStorms) {
    std::atomic<int> failures{0};
    auto storm = [&](int n, int kind) {
        for (int i = 0; i < n; ++i) {
            RawClient c;
            if (!c.Connect(daemon_.SocketPath())) {
                ++failures;
                continue;
            }
            if (kind == 1) {
                const uint8_t half[5] = {0x04, 0x00, 0x00, 0xCE, 0x01};
                c.Send(half, sizeof half);
            } else if (kind == 2) {
                if (c.Call(VersionRequest{}).rc != 0) ++failures;
            } else if (kind == 3) {
                c.Initialize("storm"); // refused or not: this process's id is taken
            }
        }
    };
    std::vector<std::thread> threads;
    for (int k = 0; k < 4; ++k) threads.emplace_back(storm, 150, k);
    for (auto& t : threads) t.join();
    EXPECT_EQ(failures.load(), 0);
    ExpectServed();
}

TEST_F(BadClient, AClientThatNeverReadsIsDroppedWithoutStallingTheOthers) {
    RawClient flood;
    ASSERT_TRUE(flood.Connect(daemon_.SocketPath()));
    std::vector<uint8_t> version(8);
    putU32(version.data(), REQ_VERSION);
    std::vector<uint8_t> burst;
    for (int i = 0; i < 512; ++i) burst.insert(burst.end(), version.begin(), version.end());
    // Requests until the daemon stops taking them (its replies fill the socket).
    const auto start = std::chrono::steady_clock::now();
    bool closed = false;
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(20)) {
        pollfd p{flood.fd(), POLLOUT, 0};
        if (::poll(&p, 1, 20) > 0) {
            if (p.revents & (POLLERR | POLLHUP)) {
                closed = true;
                break;
            }
            if (::send(flood.fd(), burst.data(), burst.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0 &&
                errno != EAGAIN) {
                closed = true;
                break;
            }
        }
        // Meanwhile everyone else is answered.
        ReplyHeader h = good_.Call(VersionRequest{});
        ASSERT_EQ(h.rc, 0);
    }
    if (!closed) closed = flood.ClosedByPeer();
    EXPECT_TRUE(closed);
    ExpectServed();
}

} // namespace
