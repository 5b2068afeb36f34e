// Driver-node helpers: no node, the in-process backend, forwarding to a socket peer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "TempRoot.h"
#include "sydevnode.h"

namespace {

TEST(DevNode, RequestNumbersCarryTheRecordSizes) {
    EXPECT_EQ(chDevRecordSize(DCS_REQUEST_BUFFER), 8u);
    EXPECT_EQ(chDevRecordSize(DCS_WAIT_BUFFER), 2060u);
    EXPECT_EQ(chDevRecordSize(DCS_RETURN_BUFFER), 2056u);
    EXPECT_EQ(chDevRecordSize(DCS_RESET_ADAPTER), 8u);
    EXPECT_EQ(chDevRecordSize(DCS_GET_DCS_INFO), 16u);
    EXPECT_EQ(chDevRecordSize(DCS_GET_SLOT_INFO), 220u);
    EXPECT_EQ(chDevRecordSize(DCS_NVRAM_READ), 2064u);
    EXPECT_EQ(chDevRecordSize(DCS_NVRAM_WRITE), 2064u);
    EXPECT_EQ(chDevRecordSize(DCS_GET_NVRAM_INFO), 56u);
    EXPECT_EQ(chDevRecordSize(DCS_GET_VPD), 28u);
    EXPECT_EQ(chIsDocked(), 1);
}

TEST(DevNode, MissingNodeFailsWithErrno) {
    TempRoot root;
    int fd = 123;
    EXPECT_EQ(chDevOpen("/dev/ovkdcs", fd), ENOENT);
    EXPECT_EQ(fd, -1);
}

TEST(DevNode, RequestThatDoesNotReachADriverIsNotSuccess) {
    TempRoot root;
    root.write("/dev/ovkdcs", "not a driver");
    int fd = -1;
    ASSERT_EQ(chDevOpen("/dev/ovkdcs", fd), 0);
    uint8_t record[8] = {};
    EXPECT_EQ(chDevIoctl(fd, DCS_REQUEST_BUFFER, record, sizeof record, 0), ENOTTY);
    EXPECT_EQ(chDevClose(fd), 0);
    uint8_t again[8] = {};
    EXPECT_NE(chDevIoctl(-1, DCS_REQUEST_BUFFER, again, sizeof again, 0), 0);
}

struct RecordingBackend : DevNodeBackend {
    std::string openedPath;
    unsigned long request = 0;
    size_t size = 0;
    int closed = -1;
    int open(const char* path, int& fd) override {
        openedPath = path;
        fd = 42;
        return 0;
    }
    void ioctl(int, unsigned long r, void* record, size_t s) override {
        request = r;
        size = s;
        static_cast<uint8_t*>(record)[0] = 254;
        static_cast<uint8_t*>(record)[4] = 7;
    }
    int close(int fd) override {
        closed = fd;
        return 0;
    }
};

TEST(DevNode, InProcessBackendTakesEveryCall) {
    TempRoot root;
    RecordingBackend backend;
    chSetDevNodeBackend(&backend);
    int fd = -1;
    EXPECT_EQ(chDevOpen("/dev/ovkdcs", fd), 0);
    EXPECT_EQ(fd, 42);
    EXPECT_EQ(backend.openedPath, "/dev/ovkdcs"); // the system path, not the one under the root
    uint8_t record[16] = {};
    // size and id are not used: the request number decides.
    EXPECT_EQ(chDevIoctl(fd, DCS_GET_DCS_INFO, record, 3, 99), 254);
    EXPECT_EQ(backend.request, DCS_GET_DCS_INFO);
    EXPECT_EQ(backend.size, 16u);
    EXPECT_EQ(record[4], 7);
    EXPECT_EQ(chDevClose(fd), 0);
    EXPECT_EQ(backend.closed, 42);
    chSetDevNodeBackend(nullptr);
}

// A listening socket at the node path and a peer thread that serves one connection.
class SocketPeer {
public:
    SocketPeer(const TempRoot& root, std::function<void(int)> serve) {
        listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::string path = root.at("/dev/ovkdcs");
        std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
        EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        EXPECT_EQ(::listen(listener_, 4), 0);
        thread_ = std::thread([this, serve] {
            int c = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (c >= 0) {
                serve(c);
                ::close(c);
            }
        });
    }
    ~SocketPeer() {
        thread_.join();
        ::close(listener_);
    }

private:
    int listener_;
    std::thread thread_;
};

TEST(DevNode, SocketPeerAnswersEachRequest) {
    TempRoot root;
    std::vector<uint32_t> seenRequests;
    std::vector<size_t> seenLengths;
    uint8_t seenByte = 0;
    {
        SocketPeer peer(root, [&](int c) {
            std::vector<uint8_t> record;
            uint32_t request;
            while (devNodeReadRequest(c, request, record, 2000) == 0) {
                seenRequests.push_back(request);
                seenLengths.push_back(record.size());
                if (request == DCS_GET_SLOT_INFO) {
                    seenByte = record[4];
                    record[40] = 2; // slot type of slot 0
                } else {
                    record[0] = 254;
                }
                devNodeWriteReply(c, record.data(), record.size());
            }
        });
        int fd = -1;
        ASSERT_EQ(chDevOpen("/dev/ovkdcs", fd), 0);
        uint8_t info[220] = {};
        info[4] = 5;
        EXPECT_EQ(chDevIoctl(fd, DCS_GET_SLOT_INFO, info, sizeof info, 0), 0);
        EXPECT_EQ(info[40], 2);
        uint8_t buffer[8] = {};
        EXPECT_EQ(chDevIoctl(fd, DCS_REQUEST_BUFFER, buffer, sizeof buffer, 0), 254);
        EXPECT_EQ(chDevClose(fd), 0);
    }
    EXPECT_EQ(seenRequests, (std::vector<uint32_t>{DCS_GET_SLOT_INFO, DCS_REQUEST_BUFFER}));
    EXPECT_EQ(seenLengths, (std::vector<size_t>{220, 8}));
    EXPECT_EQ(seenByte, 5);
}

// A pair of requests reaches the peer in order, each reply lands in its own record; a peer
// that goes after the first reply fails the second and loses the node.
TEST(DevNode, PairOfRequestsOnASocketPeer) {
    TempRoot root;
    std::vector<uint32_t> seen;
    {
        SocketPeer peer(root, [&](int c) {
            std::vector<uint8_t> record;
            uint32_t request;
            while (devNodeReadRequest(c, request, record, 2000) == 0) {
                seen.push_back(request);
                record[0] = request == DCS_WAIT_BUFFER ? 252 : 0;
                record[5] = static_cast<uint8_t>(seen.size());
                devNodeWriteReply(c, record.data(), record.size());
                if (seen.size() == 3) break;
            }
        });
        int fd = -1;
        ASSERT_EQ(chDevOpen("/dev/ovkdcs", fd), 0);
        EXPECT_TRUE(chDevPairs(fd));
        std::vector<uint8_t> back(chDevRecordSize(DCS_RETURN_BUFFER)), wait(chDevRecordSize(DCS_WAIT_BUFFER));
        int first = -1, second = -1;
        chDevIoctlPair(fd, DCS_RETURN_BUFFER, back.data(), DCS_WAIT_BUFFER, wait.data(), first, second);
        EXPECT_EQ(first, 0);
        EXPECT_EQ(second, 252);
        EXPECT_EQ(back[5], 1);
        EXPECT_EQ(wait[5], 2);
        // The third request is answered, the fourth never is.
        std::fill(back.begin(), back.end(), 0);
        std::fill(wait.begin(), wait.end(), 0);
        chDevIoctlPair(fd, DCS_RETURN_BUFFER, back.data(), DCS_WAIT_BUFFER, wait.data(), first, second);
        EXPECT_EQ(first, 0);
        EXPECT_NE(second, 0);
        EXPECT_EQ(back[5], 3);
        EXPECT_EQ(wait[5], 0);
        EXPECT_EQ(chDevLost(fd), 1);
        EXPECT_FALSE(chDevPairs(fd));
        chDevClose(fd);
    }
    EXPECT_EQ(seen, (std::vector<uint32_t>{DCS_RETURN_BUFFER, DCS_WAIT_BUFFER, DCS_RETURN_BUFFER}));
}

TEST(DevNode, BrokenPeerRepliesFailTheRequest) {
    struct Case {
        const char* what;
        std::function<void(int)> serve;
    };
    const Case cases[] = {
        {"reply of another length",
         [](int c) {
             std::vector<uint8_t> record;
             uint32_t request;
             if (devNodeReadRequest(c, request, record, 2000) == 0) {
                 std::vector<uint8_t> longer(record.size() + 100, 0xAA);
                 longer[0] = 0;
                 devNodeWriteReply(c, longer.data(), longer.size());
             }
         }},
        {"connection closed without reply",
         [](int c) {
             std::vector<uint8_t> record;
             uint32_t request;
             devNodeReadRequest(c, request, record, 2000);
         }},
        {"short reply",
         [](int c) {
             std::vector<uint8_t> record;
             uint32_t request;
             if (devNodeReadRequest(c, request, record, 2000) == 0) {
                 uint8_t lengthWord[4] = {8, 0, 0, 0};
                 ::send(c, lengthWord, 4, MSG_NOSIGNAL);
                 ::send(c, "\0\0\0", 3, MSG_NOSIGNAL);
             }
         }},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        TempRoot root;
        SocketPeer peer(root, k.serve);
        int fd = -1;
        ASSERT_EQ(chDevOpen("/dev/ovkdcs", fd), 0);
        uint8_t record[8] = {0, 0, 0, 0, 3, 0, 0, 0};
        EXPECT_EQ(chDevLost(fd), 0);
        EXPECT_NE(chDevIoctl(fd, DCS_REQUEST_BUFFER, record, sizeof record, 0), 0);
        // Nothing of a broken reply lands in the record.
        EXPECT_EQ(record[4], 3);
        // The connection is out of step with its peer for good: lost, and every later
        // request fails at once.
        EXPECT_EQ(chDevLost(fd), 1);
        uint8_t again[8] = {};
        EXPECT_NE(chDevIoctl(fd, DCS_REQUEST_BUFFER, again, sizeof again, 0), 0);
        chDevClose(fd);
    }
}

// A request the driver answers with a failure of its own leaves the node in place.
TEST(DevNode, DriverFailureIsNotALostNode) {
    TempRoot root;
    SocketPeer peer(root, [](int c) {
        std::vector<uint8_t> record;
        uint32_t request;
        while (devNodeReadRequest(c, request, record, 2000) == 0) {
            record[0] = 252;
            devNodeWriteReply(c, record.data(), record.size());
        }
    });
    int fd = -1;
    ASSERT_EQ(chDevOpen("/dev/ovkdcs", fd), 0);
    uint8_t record[8] = {};
    EXPECT_EQ(chDevIoctl(fd, DCS_REQUEST_BUFFER, record, sizeof record, 0), 252);
    EXPECT_EQ(chDevLost(fd), 0);
    chDevClose(fd);
}

TEST(DevNode, PeerSideRefusesALengthOtherThanTheRequestSize) {
    int sv[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv), 0);
    uint8_t header[8] = {0x08, 0x77, 0x08, 0xC0, 0xFF, 0xFF, 0x00, 0x00}; // 8-byte request, 65535 announced
    ASSERT_EQ(::send(sv[0], header, sizeof header, MSG_NOSIGNAL), 8);
    std::vector<uint8_t> record;
    uint32_t request = 0;
    EXPECT_EQ(devNodeReadRequest(sv[1], request, record, 1000), -1);
    EXPECT_EQ(request, DCS_REQUEST_BUFFER);
    ::close(sv[0]);
    ::close(sv[1]);
}

} // namespace
