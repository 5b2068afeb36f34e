// The client API against a scripted daemon: the calls' checks and requests, the connection's
// reading of replies and events, and its behaviour when the daemon misbehaves or goes away.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ByteHelpers.h"
#include "FakeDaemon.h"
#include "TempRoot.h"
#include "apiseams.h"
#include "apitrace.h"
#include "ovkapi.h"
#include "posqueue.h"

using namespace ovkwire;
using Clock = std::chrono::steady_clock;

namespace {

char* s(const char* text) { return const_cast<char*>(text); }
intptr_t ptr(const void* p) { return reinterpret_cast<intptr_t>(p); }

long msSince(Clock::time_point t) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

// A request as the daemon received it (the decoded views point into `raw`).
struct Got {
    Bytes raw;
    Request req;
};

class ClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        unsetenv("OVKCODEPAGE");
        unsetenv("POSAPPLRESDIR");
        apiSetReplyWait(30000);
        apiSetDataWait(5000);
        apiSetServicePort("ovkctrl", -1);
        daemon = FakeDaemon::onUnix(root.at("/tmp/.ovkctrl"));
        drainQueue();
    }
    void TearDown() override {
        PosTerm();
        apiSetServicePort("ovkctrl", -1);
        drainQueue();
    }

    static void drainQueue() {
        PosQueue& q = PosQueue::instance();
        q.setReadTimeout(0);
        _POSQMSG m;
        while (q.read(&m) == 16) {
        }
    }

    int init(PosArg* args = nullptr, int nargs = 0, const char* app = "app", const char* res = "app.res") {
        return PosInitialize(s(app), s(res), 0, 0, args, nargs);
    }

    // The index-th request the daemon `d` received.
    static Got request(FakeDaemon& d, size_t index) {
        Got g;
        EXPECT_TRUE(d.waitForRequests(index + 1));
        auto all = d.requests();
        if (index >= all.size()) return g;
        g.raw = all[index];
        EXPECT_EQ(decodeRequest(g.raw.data(), g.raw.size(), g.req).status, DecodeResult::Ok);
        return g;
    }
    Got request(size_t index) { return request(*daemon, index); }

    // A remote daemon on TCP, reached through the service name "ovkctrl".
    std::unique_ptr<FakeDaemon> remoteDaemon() {
        auto d = FakeDaemon::onTcp();
        apiSetServicePort("ovkctrl", d->port());
        return d;
    }

    TempRoot root;
    std::unique_ptr<FakeDaemon> daemon;
};

} // namespace

// ---------------------------------------------------------------------------------------
// PosInitialize

TEST_F(ClientTest, InitializeRegistersWithTheLocalDaemon) {
    ASSERT_EQ(init(), 0);
    Got g = request(0);
    auto& r = std::get<InitializeRequest>(g.req);
    EXPECT_EQ(r.applName, "app");
    EXPECT_EQ(r.resFile, "app.res"); // not found locally: sent as given
    EXPECT_EQ(r.codePage, 858);
    EXPECT_EQ(Bytes(r.leadBytes, r.leadBytes + LEAD_BYTES_SIZE), zeros(LEAD_BYTES_SIZE));
    EXPECT_EQ(r.nargs, 0);
    EXPECT_TRUE(r.argBlock.size == 0);

    // A second local initialise is refused and leaves the first connection working.
    errno = 0;
    EXPECT_EQ(init(), -1);
    EXPECT_EQ(errno, POSERR_SYS_ALREADY_INITIALIZED);
    int v = 0, rel = 0, mod = 0;
    EXPECT_EQ(PosVersion(&v, &rel, &mod), 0);
    EXPECT_EQ(v, 1);
    EXPECT_EQ(rel, 2);
    EXPECT_EQ(mod, 3);
    EXPECT_EQ(daemon->connections(), 1);
}

TEST_F(ClientTest, InitializeSendsCodePageResolvedFileAndArguments) {
    setenv("OVKCODEPAGE", "932", 1);
    root.write("/res/app.res", "app.x: 1\n");
    setenv("POSAPPLRESDIR", root.at("/res").c_str(), 1);
    PosArg args[] = {{"readTimeout", 250}, {"slotNumber", 3}, {"serviceDescriptor", 0}};
    ASSERT_EQ(init(args, 3), 0);
    Got g = request(0);
    auto& r = std::get<InitializeRequest>(g.req);
    EXPECT_EQ(r.resFile, root.at("/res/app.res"));
    EXPECT_EQ(r.codePage, 932);
    EXPECT_EQ(Bytes(r.leadBytes, r.leadBytes + 6), hexBytes("81 9F E9 FC 00 00"));
    EXPECT_EQ(r.nargs, 3);
    ASSERT_EQ(r.args.size(), 3);
    EXPECT_EQ(r.args[1].value, 3);
    EXPECT_EQ(r.args[2].name, nullptr); // not a resource: an empty item
    unsetenv("OVKCODEPAGE");
}

TEST_F(ClientTest, InitializeChecksItsArguments) {
    std::string longName(33, 'a');
    PosArg one{"readTimeout", 1};
    struct Case {
        const char* app;
        const char* res;
        PosArg* args;
        int nargs;
        int err;
    } cases[] = {
        {"", "app.res", nullptr, 0, POSERR_SYS_INVALID_NAME},
        {longName.c_str(), "app.res", nullptr, 0, POSERR_SYS_INVALID_NAME},
        {"app", "", nullptr, 0, POSERR_SYS_INVALID_FILE},
        {"app", "app.res", nullptr, -1, POSERR_SYS_INVALID_NARGS},
        {"app", "app.res", &one, -1, POSERR_SYS_INVALID_NARGS},
        {"app", "app.res", nullptr, 1, POSERR_SYS_INVALID_ADDRESS},
        {nullptr, "app.res", nullptr, 0, POSERR_SYS_INVALID_ADDRESS},
        {"app", nullptr, nullptr, 0, POSERR_SYS_INVALID_ADDRESS},
    };
    for (const Case& c : cases) {
        errno = 0;
        EXPECT_EQ(PosInitialize(s(c.app), s(c.res), 0, 0, c.args, c.nargs), -1) << c.err;
        EXPECT_EQ(errno, c.err);
    }
    EXPECT_EQ(daemon->connections(), 0);
    std::string name32(32, 'b');
    EXPECT_EQ(init(nullptr, 0, name32.c_str()), 0);
    EXPECT_EQ(std::get<InitializeRequest>(request(0).req).applName, name32);
}

TEST_F(ClientTest, ReadTimeoutOfDescriptorZeroFromFileAndArguments) {
    struct Case {
        const char* file; // null: no file
        long arg;         // 0x7fff: no argument
        long want;
    } cases[] = {
        {nullptr, 0x7fff, 0},
        {"readTimeout: 0x10\n", 0x7fff, 16},
        {"readTimeout: 12abc\n", 0x7fff, 0},
        {"readTimeout: -5\n", 0x7fff, 0},
        {"readTimeout: -1\n", 0x7fff, -1},
        {"! readTimeout: 7\nother: 1\n  readTimeout\t250\nreadTimeout: 9\n", 0x7fff, 250},
        {"readTimeout: 0x10\n", -7, -1},
        {"readTimeout: 0x10\n", 40, 40},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(root.at("/etc/ovksys.res"));
        if (c.file) root.write("/etc/ovksys.res", c.file);
        PosArg arg{"readTimeout", c.arg};
        ASSERT_EQ(c.arg == 0x7fff ? init() : init(&arg, 1), 0);
        PosArg get{"readTimeout", 12345};
        EXPECT_EQ(PosIOCtl(0, POS_SYS_GET_VALUES, &get, 1), 0);
        EXPECT_EQ(get.value, c.want) << (c.file ? c.file : "no file") << " arg " << c.arg;
        EXPECT_EQ(PosTerm(), 0);
    }
}

TEST_F(ClientTest, RefusedInitializeLeavesNoConnection) {
    daemon->setScript([](FakeConn& c, const Request& r) { c.reply(requestHandle(r), -1, 330); });
    errno = 0;
    EXPECT_EQ(init(), -1);
    EXPECT_EQ(errno, 330);
    EXPECT_EQ(PosOpen(s("d"), s("PosMsr"), nullptr, 0), -1);
    EXPECT_EQ(errno, POSERR_SYS_NOT_INITIALIZED);
    daemon->setScript(nullptr);
    EXPECT_EQ(init(), 0);
    EXPECT_EQ(daemon->connections(), 2);
}

TEST_F(ClientTest, NoDaemonGives337) {
    daemon.reset();
    errno = 0;
    EXPECT_EQ(init(), -1);
    EXPECT_EQ(errno, POSERR_SYS_SERVICE_NOT_AVAILABLE);
}

TEST_F(ClientTest, FallsBackToTcpWhenTheUnixSocketIsMissing) {
    daemon.reset();
    auto tcp = remoteDaemon();
    ASSERT_EQ(init(), 0);
    EXPECT_EQ(tcp->connections(), 1);
    EXPECT_TRUE(std::holds_alternative<InitializeRequest>(request(*tcp, 0).req));
}

TEST_F(ClientTest, RemoteHostsTakeEntriesFromOneAndDeliverEvents) {
    auto tcp = remoteDaemon();
    tcp->setScript([&](FakeConn& c, const Request& r) {
        if (std::holds_alternative<InitializeRequest>(r)) {
            c.event(POSM_SYS_DEVICE_ONLINE, 0x01113503, 5);
            c.event(POSM_SYS_DEVICE_RELEASED, 2, 5);
        }
        tcp->answer(c, r);
    });
    daemon->setScript([&](FakeConn& c, const Request& r) {
        if (std::holds_alternative<InitializeRequest>(r)) c.event(POSM_SYS_DEVICE_OFFLINE, 0x0111350A, 5);
        daemon->answer(c, r);
    });
    ASSERT_EQ(init(), 0);
    PosArg host{"deviceHost", ptr("0x7f.1")};
    EXPECT_EQ(init(&host, 1), 1);
    for (const char* other : {"0X7F.1", "LocalHost", "127.0.0.1"}) {
        PosArg h{"deviceHost", ptr(other)};
        errno = 0;
        EXPECT_EQ(init(&h, 1), -1) << other;
        EXPECT_EQ(errno, POSERR_SYS_ALREADY_INITIALIZED) << other;
    }
    EXPECT_EQ(tcp->connections(), 1);

    // Online and offline events carry the delivering connection in bits 8-15 of mp2.
    _POSQMSG m[3];
    for (auto& x : m) ASSERT_EQ(PosRead(0, &x, sizeof x), 16);
    EXPECT_EQ(m[0].pid, static_cast<uint32_t>(getpid()));
    EXPECT_EQ(m[0].msg, uint32_t(POSM_SYS_DEVICE_OFFLINE));
    EXPECT_EQ(m[0].p1, 0x0111350Au);
    EXPECT_EQ(m[0].p2, 5u);
    EXPECT_EQ(m[1].msg, uint32_t(POSM_SYS_DEVICE_ONLINE));
    EXPECT_EQ(m[1].p2, 0x105u);
    EXPECT_EQ(m[2].msg, uint32_t(POSM_SYS_DEVICE_RELEASED));
    EXPECT_EQ(m[2].p2, 5u);

    // A device opened on the remote connection talks to that daemon.
    PosArg sd{"serviceDescriptor", 1};
    int d = PosOpen(s("remote"), s("PosMsr"), &sd, 1);
    ASSERT_EQ(d, 1);
    EXPECT_EQ(tcp->requestCount(), 2u);
    EXPECT_EQ(daemon->requestCount(), 1u);
}

// ---------------------------------------------------------------------------------------
// Device calls

TEST_F(ClientTest, OpenWriteReadCloseRoundTrip) {
    daemon->setScript([&](FakeConn& c, const Request& r) {
        if (std::holds_alternative<OpenRequest>(r)) c.reply(requestHandle(r), 7);
        else daemon->answer(c, r);
    });
    ASSERT_EQ(init(), 0);
    PosArg args[] = {{"slotNumber", 3}, {"deviceNumber", 0x34}};
    int d = PosOpen(s("receipt"), s("PosPrinter"), args, 2);
    ASSERT_EQ(d, 1);
    Got g = request(1);
    auto& o = std::get<OpenRequest>(g.req);
    EXPECT_EQ(o.deviceName, "receipt");
    EXPECT_EQ(o.className, "PosPrinter");
    ASSERT_EQ(o.args.size(), 2);
    EXPECT_EQ(o.args[0].value, 3);
    EXPECT_EQ(o.args[1].value, 0x34);

    char text[] = "hello";
    EXPECT_EQ(PosWrite(d, text, 5), 5);
    Got w = request(2);
    EXPECT_EQ(std::get<WriteRequest>(w.req).device, 7); // the daemon's own descriptor
    EXPECT_EQ(w.raw, hexBytes("09 00 00 CE") + Bytes(w.raw.begin() + 4, w.raw.begin() + 8) +
                         hexBytes("07 00 05 00") + textBytes("hello\0\0\0", 8));

    uint8_t buf[4] = {1, 2, 3, 4};
    EXPECT_EQ(PosRead(d, buf, 4), 4);
    EXPECT_EQ(Bytes(buf, buf + 4), hexBytes("40 41 42 43"));
    Got rd = request(3);
    EXPECT_EQ(Bytes(rd.raw.begin() + 8, rd.raw.end()), hexBytes("07 00 04 00 01 02 03 04"));

    EXPECT_EQ(PosClose(d), 0);
    EXPECT_EQ(std::get<CloseRequest>(request(4).req).device, 7);
    errno = 0;
    EXPECT_EQ(PosWrite(d, text, 5), -1);
    EXPECT_EQ(errno, POSERR_SYS_INVALID_DESCRIPTOR);
}

TEST_F(ClientTest, CloseFreesTheDescriptorWhateverTheDaemonSays) {
    daemon->setScript([&](FakeConn& c, const Request& r) {
        if (std::holds_alternative<CloseRequest>(r)) c.reply(requestHandle(r), -1, 303);
        else daemon->answer(c, r);
    });
    ASSERT_EQ(init(), 0);
    int d = PosOpen(s("d"), s("PosMsr"), nullptr, 0);
    ASSERT_EQ(d, 1);
    errno = 0;
    EXPECT_EQ(PosClose(d), -1);
    EXPECT_EQ(errno, 303);
    EXPECT_EQ(PosClose(d), -1);
    EXPECT_EQ(errno, POSERR_SYS_INVALID_DESCRIPTOR);
    EXPECT_EQ(daemon->requestCount(), 3u);
}

TEST_F(ClientTest, OpenChecksAndDescriptorLimit) {
    ASSERT_EQ(init(), 0);
    std::string longName(33, 'n');
    PosArg two[2] = {{"slotNumber", 1}, {"portNumber", 0x11}};
    PosArg sd256{"serviceDescriptor", 256};
    PosArg sd3{"serviceDescriptor", 3};
    struct Case {
        const char* name;
        const char* cls;
        PosArg* args;
        int nargs;
        int err;
    } cases[] = {
        {longName.c_str(), "PosMsr", nullptr, 0, POSERR_SYS_INVALID_NAME},
        {nullptr, "PosMsr", nullptr, 0, POSERR_SYS_INVALID_NAME},
        {"d", "posprinter", nullptr, 0, POSERR_SYS_INVALID_CLASS},
        {"d", "PosPrinters", nullptr, 0, POSERR_SYS_INVALID_CLASS},
        {"d", "PosInternal", nullptr, 0, POSERR_SYS_INVALID_CLASS},
        {"d", nullptr, nullptr, 0, POSERR_SYS_INVALID_CLASS},
        {"d", "PosMsr", nullptr, 2, POSERR_SYS_INVALID_ADDRESS},
        {"d", "PosMsr", two, -1, POSERR_SYS_INVALID_NARGS},
        {"d", "PosMsr", &sd256, 1, POSERR_SYS_INVALID_DESCRIPTOR},
        {"d", "PosMsr", &sd3, 1, POSERR_SYS_NOT_INITIALIZED},
    };
    for (const Case& c : cases) {
        errno = 0;
        EXPECT_EQ(PosOpen(s(c.name), s(c.cls), c.args, c.nargs), -1) << c.err;
        EXPECT_EQ(errno, c.err);
    }
    EXPECT_EQ(daemon->requestCount(), 1u);

    // rc 0 from the daemon: 0, and no descriptor is taken.
    std::atomic<int> openRc{0};
    daemon->setScript([&](FakeConn& c, const Request& r) {
        if (std::holds_alternative<OpenRequest>(r)) c.reply(requestHandle(r), openRc);
        else daemon->answer(c, r);
    });
    std::string name32(32, 'n');
    EXPECT_EQ(PosOpen(s(name32.c_str()), s("PosMsr"), nullptr, 0), 0);
    openRc = 1;
    for (int i = 1; i <= 255; ++i) ASSERT_EQ(PosOpen(s("d"), s("PosMsr"), two, 2), i);
    errno = 0;
    EXPECT_EQ(PosOpen(s("d"), s("PosMsr"), nullptr, 0), -1);
    EXPECT_EQ(errno, POSERR_SYS_TOO_MANY_DEVICES);
    EXPECT_EQ(daemon->requestCount(), 257u);
}

TEST_F(ClientTest, DescriptorZeroAndZeroLengthEdges) {
    uint8_t buf[32];
    EXPECT_EQ(PosRead(5, buf, 0), 0);
    EXPECT_EQ(PosWrite(5, buf, 0), 0);
    errno = 0;
    EXPECT_EQ(PosRead(0, buf, 16), -1);
    EXPECT_EQ(errno, POSERR_SYS_NOT_INITIALIZED);

    ASSERT_EQ(init(), 0);
    struct Case {
        const char* what;
        int rc;
        int err;
    };
    auto check = [](const char* what, int rc, int err) {
        int e = errno;
        EXPECT_EQ(rc, -1) << what;
        EXPECT_EQ(e, err) << what;
    };
    check("read 15 from 0", PosRead(0, buf, 15), POSERR_SYS_BUFFER_TOO_SMALL);
    auto start = Clock::now();
    check("read 16 from 0", PosRead(0, buf, 16), POSERR_SYS_TIMEOUT);
    EXPECT_LT(msSince(start), 1000);
    check("read 0 into null", PosRead(0, nullptr, 16), POSERR_SYS_INVALID_ADDRESS);
    check("write 0", PosWrite(0, buf, 4), POSERR_SYS_FUNCTION_NOT_SUPPORTED);
    check("close 0", PosClose(0), POSERR_SYS_FUNCTION_NOT_SUPPORTED);
    check("close 256", PosClose(256), POSERR_SYS_INVALID_DESCRIPTOR);
    check("close -1", PosClose(-1), POSERR_SYS_INVALID_DESCRIPTOR);
    check("read free", PosRead(7, buf, 4), POSERR_SYS_INVALID_DESCRIPTOR);
    check("read 256", PosRead(256, buf, 4), POSERR_SYS_INVALID_DESCRIPTOR);
    check("write free", PosWrite(7, buf, 4), POSERR_SYS_INVALID_DESCRIPTOR);
    check("ioctl free", PosIOCtl(7, 1, nullptr, 0), POSERR_SYS_INVALID_DESCRIPTOR);
    check("ioctl null args", PosIOCtl(0, 1, nullptr, 1), POSERR_SYS_INVALID_ADDRESS);
    check("ioctl nargs", PosIOCtl(0, 1, nullptr, -1), POSERR_SYS_INVALID_NARGS);
    int v, r;
    check("version", PosVersion(&v, &r, nullptr), POSERR_SYS_INVALID_ADDRESS);
    EXPECT_EQ(daemon->requestCount(), 1u);
}

TEST_F(ClientTest, AfterTermEveryCallFailsWith302) {
    ASSERT_EQ(init(), 0);
    int d = PosOpen(s("d"), s("PosMsr"), nullptr, 0);
    ASSERT_EQ(d, 1);
    EXPECT_EQ(PosTerm(), 0);
    uint8_t buf[16];
    int v, r, m;
    PosArg a{"readTimeout", 0};
    for (int rc : {PosOpen(s("d"), s("PosMsr"), nullptr, 0), PosRead(0, buf, 16), PosRead(d, buf, 4),
                   PosWrite(d, buf, 4), PosIOCtl(0, POS_SYS_GET_VALUES, &a, 1), PosClose(d),
                   PosVersion(&v, &r, &m), PosTerm()}) {
        EXPECT_EQ(rc, -1);
        EXPECT_EQ(PosErrno(), POSERR_SYS_NOT_INITIALIZED);
    }
    EXPECT_EQ(PosRead(d, buf, 0), 0);
    EXPECT_TRUE(daemon->waitForRequests(2));
    EXPECT_EQ(init(), 0);
    EXPECT_EQ(daemon->connections(), 2);
}

TEST_F(ClientTest, SizesBeyondWhatARequestCarriesAreRefused) {
    ASSERT_EQ(init(), 0);
    int d = PosOpen(s("d"), s("PosMsr"), nullptr, 0);
    ASSERT_EQ(d, 1);
    std::vector<uint8_t> big(40000, 0x55);
    errno = 0;
    EXPECT_EQ(PosWrite(d, big.data(), MAX_WRITE_BYTES + 1), -1);
    EXPECT_EQ(errno, POSERR_SYS_INVALID_LENGTH);
    EXPECT_EQ(PosRead(d, big.data(), MAX_READ_BYTES + 1), -1);
    EXPECT_EQ(errno, POSERR_SYS_INVALID_LENGTH);
    EXPECT_EQ(PosWrite(d, big.data(), 0x80000000u), -1);
    EXPECT_EQ(errno, POSERR_SYS_INVALID_LENGTH);
    EXPECT_EQ(daemon->requestCount(), 2u);

    EXPECT_EQ(PosWrite(d, big.data(), MAX_WRITE_BYTES), static_cast<int>(MAX_WRITE_BYTES));
    EXPECT_EQ(std::get<WriteRequest>(request(2).req).data.size, MAX_WRITE_BYTES);
    EXPECT_EQ(PosRead(d, big.data(), MAX_READ_BYTES), static_cast<int>(MAX_READ_BYTES));
    EXPECT_EQ(big[MAX_READ_BYTES - 1], static_cast<uint8_t>(0x40 + MAX_READ_BYTES - 1));
    EXPECT_EQ(big[MAX_READ_BYTES], 0x55);
}

TEST_F(ClientTest, ReadCopiesNoMoreThanAskedForOrCarried) {
    std::atomic<int> mode{0};
    daemon->setScript([&](FakeConn& c, const Request& r) {
        if (!std::holds_alternative<ReadRequest>(r)) return daemon->answer(c, r);
        if (mode == 0) c.reply(requestHandle(r), 100, 0, textBytes("wxyz", 4)); // rc above the data
        else c.reply(requestHandle(r), 20, 0, Bytes(20, 'D')); // more than was asked for
    });
    ASSERT_EQ(init(), 0);
    int d = PosOpen(s("d"), s("PosMsr"), nullptr, 0);
    char buf[9];
    std::memset(buf, 'Z', sizeof buf);
    EXPECT_EQ(PosRead(d, buf, 8), 4);
    EXPECT_EQ(std::string(buf, 9), "wxyzZZZZZ");
    mode = 1;
    EXPECT_EQ(PosRead(d, buf, 8), 8);
    EXPECT_EQ(std::string(buf, 9), "DDDDDDDDZ");
}

TEST_F(ClientTest, GetValuesReplyIsBoundedByTheRowAndTheData) {
    std::atomic<int> mode{0};
    daemon->setScript([&](FakeConn& c, const Request& r) {
        if (!std::holds_alternative<IOCtlRequest>(r)) return daemon->answer(c, r);
        Bytes item = hexBytes("02 0B C8 00") + textBytes("deviceName\0\0", 12) + Bytes(200, 'Q');
        if (mode == 1) item.resize(60); // the item runs past the reply's data
        c.reply(requestHandle(r), 0, 0, item);
    });
    ASSERT_EQ(init(), 0);
    int d = PosOpen(s("d"), s("PosMsr"), nullptr, 0);
    char name[31];
    std::memset(name, 'x', sizeof name);
    PosArg a{"deviceName", ptr(name)};
    EXPECT_EQ(PosIOCtl(d, POS_SYS_GET_VALUES, &a, 1), 0);
    EXPECT_EQ(std::string(name, 31), std::string(30, 'Q') + "x");
    mode = 1;
    errno = 0;
    EXPECT_EQ(PosIOCtl(d, POS_SYS_GET_VALUES, &a, 1), -1);
    EXPECT_EQ(errno, POSERR_SYS_INTERNAL_ERROR);
    EXPECT_EQ(name[30], 'x');
}

// A printer's retry string read back into a buffer sized for the printer's 87 characters:
// the library writes the text and its NUL, nothing past (the row's field is 150 bytes).
TEST_F(ClientTest, AStringReadBackStaysWithinABufferSizedForTheDevice) {
    daemon->setScript([&](FakeConn& c, const Request& r) {
        if (!std::holds_alternative<IOCtlRequest>(r)) return daemon->answer(c, r);
        Bytes item = hexBytes("02 0C 96 00") + textBytes("retryString\0", 12) + textBytes("RETRY", 5) + Bytes(147, 0);
        c.reply(requestHandle(r), 0, 0, item);
    });
    ASSERT_EQ(init(), 0);
    int d = PosOpen(s("d"), s("PosPrinter"), nullptr, 0);
    constexpr size_t kDeviceLimit = 87 + 1;
    std::vector<char> buffer(kDeviceLimit + 64, '#');
    buffer[0] = 0;
    PosArg a{"retryString", ptr(buffer.data())};
    ASSERT_EQ(PosIOCtl(d, POS_SYS_GET_VALUES, &a, 1), 0);
    EXPECT_STREQ(buffer.data(), "RETRY");
    EXPECT_EQ(std::string(buffer.data() + 6, buffer.size() - 6), std::string(buffer.size() - 6, '#'));
}

TEST_F(ClientTest, IOCtlOnDescriptorZeroKeepsTheReadTimeoutLocally) {
    ASSERT_EQ(init(), 0);
    PosArg set{"readTimeout", 1500};
    EXPECT_EQ(PosIOCtl(0, POS_SYS_SET_VALUES, &set, 1), 0);
    Got g = request(1);
    auto& io = std::get<IOCtlRequest>(g.req);
    EXPECT_EQ(io.device, 0);
    EXPECT_EQ(io.request, POS_SYS_SET_VALUES);
    EXPECT_EQ(io.args[0].value, 1500);
    EXPECT_EQ(PosQueue::instance().getReadTimeout(), 1500);
    PosArg get{"readTimeout", 0};
    EXPECT_EQ(PosIOCtl(0, POS_SYS_GET_VALUES, &get, 1), 0);
    EXPECT_EQ(get.value, 1500);
    // Character definitions travel in their own form.
    uint8_t def[74] = {1};
    PosArg cd{reinterpret_cast<const char*>(intptr_t(0x41)), ptr(def)};
    EXPECT_EQ(PosIOCtl(0, POS_DSP_DEFINE_CHARACTERS, &cd, 1), 0);
    EXPECT_EQ(request(3).raw.size(), 16u + 84);
}

TEST_F(ClientTest, VersionCarriesReleaseAndModificationInTheData) {
    daemon->setScript([&](FakeConn& c, const Request& r) {
        if (!std::holds_alternative<VersionRequest>(r)) return daemon->answer(c, r);
        c.reply(requestHandle(r), 0, 0, hexBytes("05 00 02 00 07 00"));
    });
    ASSERT_EQ(init(), 0);
    int v = 0, rel = 0, mod = 0;
    EXPECT_EQ(PosVersion(&v, &rel, &mod), 0);
    EXPECT_EQ(v, 5);
    EXPECT_EQ(rel, 2);
    EXPECT_EQ(mod, 7);
}

// ---------------------------------------------------------------------------------------
// The connection when the daemon misbehaves or goes away

TEST_F(ClientTest, DaemonDeathFailsTheWaitingRequestAndLaterOnesWith337) {
    daemon->setScript([&](FakeConn& c, const Request& r) {
        if (std::holds_alternative<OpenRequest>(r)) c.close();
        else daemon->answer(c, r);
    });
    ASSERT_EQ(init(), 0);
    errno = 0;
    EXPECT_EQ(PosOpen(s("d"), s("PosMsr"), nullptr, 0), -1);
    EXPECT_EQ(errno, POSERR_SYS_SERVICE_NOT_AVAILABLE);
    PosArg a{"readTimeout", 0};
    errno = 0;
    EXPECT_EQ(PosIOCtl(0, POS_SYS_GET_VALUES, &a, 1), -1);
    EXPECT_EQ(errno, POSERR_SYS_SERVICE_NOT_AVAILABLE);
    EXPECT_EQ(daemon->requestCount(), 2u);
}

TEST_F(ClientTest, WriteAfterTheDaemonHungUpGives337) {
    ASSERT_EQ(init(), 0);
    int d = PosOpen(s("d"), s("PosMsr"), nullptr, 0);
    ASSERT_EQ(d, 1);
    daemon->closeConnections();
    char text[] = "x";
    for (int i = 0; i < 3; ++i) {
        errno = 0;
        EXPECT_EQ(PosWrite(d, text, 1), -1);
        EXPECT_EQ(errno, POSERR_SYS_SERVICE_NOT_AVAILABLE);
    }
}

// A client that only waits for events on descriptor 0 is told when its daemon dies: the
// waiting read ends at once with 337, and so does every later one until PosTerm; events that
// came before the death are handed out first.
TEST_F(ClientTest, DaemonDeathEndsTheEventReadOfDescriptorZero) {
    daemon->setScript([&](FakeConn& c, const Request& r) {
        if (std::holds_alternative<OpenRequest>(r)) c.event(POSM_SYS_DEVICE_RELEASED, 7, 0);
        daemon->answer(c, r);
    });
    ASSERT_EQ(init(), 0);
    PosArg forever{"readTimeout", -1};
    ASSERT_EQ(PosIOCtl(0, POS_SYS_SET_VALUES, &forever, 1), 0);
    auto reader = std::async(std::launch::async, [] {
        _POSQMSG m;
        const int rc = PosRead(0, &m, sizeof m);
        return std::make_pair(rc, rc < 0 ? PosErrno() : 0);
    });
    ASSERT_EQ(reader.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
    daemon->closeConnections();
    ASSERT_EQ(reader.wait_for(std::chrono::seconds(5)), std::future_status::ready) << "the read still waits";
    EXPECT_EQ(reader.get(), std::make_pair(-1, int(POSERR_SYS_SERVICE_NOT_AVAILABLE)));
    for (int i = 0; i < 2; ++i) {
        _POSQMSG m;
        errno = 0;
        EXPECT_EQ(PosRead(0, &m, sizeof m), -1);
        EXPECT_EQ(errno, POSERR_SYS_SERVICE_NOT_AVAILABLE);
    }
    EXPECT_EQ(PosTerm(), 0);

    // Events that came before the death are read first.
    ASSERT_EQ(init(), 0);
    ASSERT_EQ(PosIOCtl(0, POS_SYS_SET_VALUES, &forever, 1), 0);
    ASSERT_EQ(PosOpen(s("d"), s("PosMsr"), nullptr, 0), 1);
    daemon->closeConnections();
    _POSQMSG m;
    EXPECT_EQ(PosRead(0, &m, sizeof m), 16);
    EXPECT_EQ(m.msg, uint32_t(POSM_SYS_DEVICE_RELEASED));
    errno = 0;
    EXPECT_EQ(PosRead(0, &m, sizeof m), -1);
    EXPECT_EQ(errno, POSERR_SYS_SERVICE_NOT_AVAILABLE);
    errno = 0;
    EXPECT_EQ(PosOpen(s("d"), s("PosMsr"), nullptr, 0), -1);
    EXPECT_EQ(errno, POSERR_SYS_SERVICE_NOT_AVAILABLE);
}

// With another daemon still connected, events may still come: the read waits as set.
TEST_F(ClientTest, TheEventReadWaitsOnWhileAnotherConnectionLives) {
    auto tcp = remoteDaemon();
    ASSERT_EQ(init(), 0);
    PosArg host{"deviceHost", ptr("127.1")};
    ASSERT_EQ(init(&host, 1), 1);
    tcp->closeConnections();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    _POSQMSG m;
    errno = 0;
    EXPECT_EQ(PosRead(0, &m, sizeof m), -1);
    EXPECT_EQ(errno, POSERR_SYS_TIMEOUT);
}

TEST_F(ClientTest, DeathOfAnotherConnectionDoesNotFailTheWaitingRequest) {
    auto tcp = remoteDaemon();
    std::atomic<bool> go{false};
    daemon->setScript([&](FakeConn& c, const Request& r) {
        if (std::holds_alternative<OpenRequest>(r)) {
            auto until = Clock::now() + std::chrono::seconds(5);
            while (!go && Clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(2));
            c.reply(requestHandle(r), 9);
        } else {
            daemon->answer(c, r);
        }
    });
    ASSERT_EQ(init(), 0);
    PosArg host{"deviceHost", ptr("127.1")};
    ASSERT_EQ(init(&host, 1), 1);

    std::atomic<int> result{0}, err{0};
    std::thread caller([&] {
        result = PosOpen(s("d"), s("PosMsr"), nullptr, 0);
        err = errno;
    });
    ASSERT_TRUE(daemon->waitForRequests(2));
    // The remote daemon dies while the local request waits; the local reply is held back
    // until the client has taken the remote connection for dead (its trace says so).
    setenv("OVK_API_LOG_FILE", root.at("/tmp/api.log").c_str(), 1);
    setenv("OVK_API_TRACE", "on", 1);
    apiTraceReset();
    tcp->closeConnections();
    bool seen = false;
    for (auto until = Clock::now() + std::chrono::seconds(10); !seen && Clock::now() < until;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        seen = root.read("/tmp/api.log").find("ovkctrl died\n") != std::string::npos;
    }
    unsetenv("OVK_API_TRACE");
    unsetenv("OVK_API_LOG_FILE");
    apiTraceReset();
    EXPECT_TRUE(seen) << "the remote connection's end was not seen while the request waited";
    go = true;
    caller.join();
    EXPECT_EQ(result, 1) << "errno " << err;

    PosArg sd{"serviceDescriptor", 1};
    errno = 0;
    EXPECT_EQ(PosOpen(s("r"), s("PosMsr"), &sd, 1), -1);
    EXPECT_EQ(errno, POSERR_SYS_SERVICE_NOT_AVAILABLE);
}

TEST_F(ClientTest, RepliesForOtherHandlesDoNotEndTheWait) {
    daemon->setScript([&](FakeConn& c, const Request& r) {
        if (!std::holds_alternative<OpenRequest>(r)) return daemon->answer(c, r);
        uint32_t h = requestHandle(r);
        c.reply(h + 1000, -1, 999);
        c.reply(h - 1, 77);
        c.sendRaw(hexBytes("FF 00 00 CE") + zeros(16)); // a message of no known type
        c.event(POSM_SYS_DEVICE_RELEASED, 1, 0);
        c.reply(h, 4);
    });
    ASSERT_EQ(init(), 0);
    EXPECT_EQ(PosOpen(s("d"), s("PosMsr"), nullptr, 0), 1);
    char text[] = "x";
    EXPECT_EQ(PosWrite(1, text, 1), 1);
    EXPECT_EQ(std::get<WriteRequest>(request(2).req).device, 4);
    _POSQMSG m;
    EXPECT_EQ(PosRead(0, &m, sizeof m), 16);
    EXPECT_EQ(m.msg, uint32_t(POSM_SYS_DEVICE_RELEASED));
}

// Requests issued back to back meet the service thread as it goes back to the socket after
// each reply; none of them may wait for its time-out, with or without events in between.
TEST_F(ClientTest, BackToBackRequestsEachGetTheirReply) {
    apiSetReplyWait(2000);
    std::atomic<bool> withEvent{false};
    daemon->setScript([&](FakeConn& c, const Request& r) {
        if (withEvent && std::holds_alternative<IOCtlRequest>(r)) c.event(POSM_SYS_DEVICE_RELEASED, 1, 0);
        daemon->answer(c, r);
    });
    ASSERT_EQ(init(), 0);
    for (bool events : {false, true}) {
        withEvent = events;
        for (int i = 0; i < 20000; ++i) {
            errno = 0;
            ASSERT_EQ(PosIOCtl(0, POS_SYS_GET_VALUES, nullptr, 0), 0)
                << "request " << i << (events ? " with events" : "") << ", errno " << errno;
        }
        drainQueue();
    }
}

TEST_F(ClientTest, NoReplyTimesOutWith329AndALateReplyIsIgnored) {
    apiSetReplyWait(200);
    std::atomic<uint32_t> unanswered{0};
    daemon->setScript([&](FakeConn& c, const Request& r) {
        if (!std::holds_alternative<OpenRequest>(r)) return daemon->answer(c, r);
        if (unanswered == 0) {
            unanswered = requestHandle(r);
            return;
        }
        c.reply(unanswered, 9); // the late answer to the first request
        c.reply(requestHandle(r), 4);
    });
    ASSERT_EQ(init(), 0);
    auto start = Clock::now();
    errno = 0;
    EXPECT_EQ(PosOpen(s("d"), s("PosMsr"), nullptr, 0), -1);
    EXPECT_EQ(errno, POSERR_SYS_TIMEOUT);
    EXPECT_GE(msSince(start), 190);

    EXPECT_EQ(PosOpen(s("d"), s("PosMsr"), nullptr, 0), 1);
    char text[] = "x";
    EXPECT_EQ(PosWrite(1, text, 1), 1);
    EXPECT_EQ(std::get<WriteRequest>(request(3).req).device, 4);
}

TEST_F(ClientTest, ReplyLongerThanTheBufferClosesTheConnection) {
    daemon->setScript([&](FakeConn& c, const Request& r) {
        if (!std::holds_alternative<OpenRequest>(r)) return daemon->answer(c, r);
        Bytes header = replyBytes(requestHandle(r), 1, 0, {});
        putU32(header.data() + 16, 40000);
        c.sendRaw(header + Bytes(40000, 0xAB));
    });
    ASSERT_EQ(init(), 0);
    errno = 0;
    EXPECT_EQ(PosOpen(s("d"), s("PosMsr"), nullptr, 0), -1);
    EXPECT_EQ(errno, POSERR_SYS_SERVICE_NOT_AVAILABLE);
    errno = 0;
    EXPECT_EQ(PosOpen(s("d"), s("PosMsr"), nullptr, 0), -1);
    EXPECT_EQ(errno, POSERR_SYS_SERVICE_NOT_AVAILABLE);
    EXPECT_EQ(daemon->requestCount(), 2u);
}

TEST_F(ClientTest, ReplySplitAcrossWritesIsReadWhole) {
    daemon->setScript([&](FakeConn& c, const Request& r) {
        if (!std::holds_alternative<ReadRequest>(r)) return daemon->answer(c, r);
        Bytes all = replyBytes(requestHandle(r), 6, 0, textBytes("abcdef", 6)) +
                    eventBytes(POSM_SYS_DEVICE_ONLINE, 0x01113503, 0x12);
        for (size_t cut : {size_t(0), size_t(10), size_t(22), size_t(33)}) {
            size_t next = cut == 33 ? all.size() : cut == 0 ? 10 : cut == 10 ? 22 : 33;
            c.sendRaw(all.data() + cut, next - cut);
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
    });
    ASSERT_EQ(init(), 0);
    int d = PosOpen(s("d"), s("PosMsr"), nullptr, 0);
    char buf[8] = {};
    EXPECT_EQ(PosRead(d, buf, 6), 6);
    EXPECT_STREQ(buf, "abcdef");
    PosArg t{"readTimeout", 2000};
    ASSERT_EQ(PosIOCtl(0, POS_SYS_SET_VALUES, &t, 1), 0);
    _POSQMSG m;
    ASSERT_EQ(PosRead(0, &m, sizeof m), 16);
    EXPECT_EQ(m.msg, uint32_t(POSM_SYS_DEVICE_ONLINE));
    EXPECT_EQ(m.p2, 0x12u);
}

// The rest of a reply does not come within the data wait: the read fails and the client
// closes the connection, so the bytes that come after are never read.
TEST_F(ClientTest, ShortReplyClosesTheConnection) {
    apiSetDataWait(200);
    std::mutex m_;
    std::condition_variable changed;
    bool readEnded = false, restSent = false;
    daemon->setScript([&](FakeConn& c, const Request& r) {
        if (!std::holds_alternative<ReadRequest>(r)) return daemon->answer(c, r);
        Bytes header = replyBytes(requestHandle(r), 8, 0, Bytes(8, 'x'));
        header.resize(20 + 4); // half the data
        c.sendRaw(header);
        {
            std::unique_lock<std::mutex> lock(m_);
            changed.wait_for(lock, std::chrono::seconds(30), [&] { return readEnded; });
        }
        // Bytes that a reader out of step would take for the rest and a message.
        c.sendRaw(Bytes(4, 'y') + eventBytes(POSM_SYS_DEVICE_ONLINE, 1, 2));
        std::lock_guard<std::mutex> lock(m_);
        restSent = true;
        changed.notify_all();
    });
    ASSERT_EQ(init(), 0);
    int d = PosOpen(s("d"), s("PosMsr"), nullptr, 0);
    char buf[8];
    auto start = Clock::now();
    errno = 0;
    EXPECT_EQ(PosRead(d, buf, 8), -1);
    EXPECT_EQ(errno, POSERR_SYS_SERVICE_NOT_AVAILABLE);
    EXPECT_LT(msSince(start), 5000);
    {
        std::unique_lock<std::mutex> lock(m_);
        readEnded = true;
        changed.notify_all();
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(30), [&] { return restSent; }));
    }
    // The daemon, back from the script, finds the connection closed by the client.
    bool closed = false;
    for (auto until = Clock::now() + std::chrono::seconds(10); !closed && Clock::now() < until;) {
        closed = daemon->sawClientClose();
        if (!closed) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_TRUE(closed);
    _POSQMSG m;
    EXPECT_EQ(PosRead(0, &m, sizeof m), -1); // nothing was taken from the rest
    EXPECT_EQ(PosRead(d, buf, 8), -1);
    EXPECT_EQ(errno, POSERR_SYS_SERVICE_NOT_AVAILABLE);
}
