// Driver-node forwarding with two threads on one descriptor, as in the daemon: the polling
// thread exchanges the buffer while a client's request asks for a send turn. The peer
// answers one request at a time, as the simulator does; every reply must reach the thread
// whose request it answers.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "TempRoot.h"
#include "sydevnode.h"

namespace {

TEST(DevNodeThreads, EachReplyReachesTheThreadThatAsked) {
    TempRoot root;
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string path = root.at("/dev/ovkdcs");
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    // The peer: each record comes back with byte 5 = byte 4 + 1 and result 0.
    std::thread peer([listener] {
        const int c = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (c < 0) return;
        std::vector<uint8_t> record;
        uint32_t request;
        while (devNodeReadRequest(c, request, record, 5000) == 0) {
            record[0] = 0;
            record[5] = static_cast<uint8_t>(record[4] + 1);
            if (devNodeWriteReply(c, record.data(), record.size()) != 0) break;
        }
        ::close(c);
    });

    int fd = -1;
    ASSERT_EQ(chDevOpen("/dev/ovkdcs", fd), 0);
    constexpr int kRounds = 2000;
    std::atomic<int> failures{0};
    // Requests of two record sizes, so that a reply taken by the wrong thread shows.
    auto run = [&](unsigned long request, uint8_t tag) {
        for (int i = 0; i < kRounds && failures.load() == 0; ++i) {
            uint8_t record[2060] = {};
            record[4] = tag;
            if (chDevIoctl(fd, request, record, 0, 0) != 0 || record[5] != tag + 1) ++failures;
        }
    };
    std::thread turns(run, DCS_REQUEST_BUFFER, 10);
    run(DCS_WAIT_BUFFER, 20);
    turns.join();
    EXPECT_EQ(failures.load(), 0);

    EXPECT_EQ(chDevClose(fd), 0);
    peer.join();
    ::close(listener);
}

} // namespace
