// Selector: serving ready objects, removing failed ones, the idle handler and the ends of
// the loop; ServerException's message rules.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <functional>
#include <stdexcept>
#include <thread>
#include <chrono>
#include <string>
#include <vector>

#include "FdLimit.h"
#include "Selector.h"
#include "ServerException.h"

namespace {

// A pipe whose read end is waited on; the handler is given per test.
struct PipeSelectable : Selectable {
    int fds[2] = {-1, -1};
    std::function<int(PipeSelectable&)> onInput;
    bool* deleted = nullptr;
    int calls = 0;

    explicit PipeSelectable(bool* deletedFlag = nullptr) : deleted(deletedFlag) {
        EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    }
    ~PipeSelectable() override {
        for (int f : fds)
            if (f >= 0) ::close(f);
        if (deleted) *deleted = true;
    }
    int getDescriptor() override { return fds[0]; }
    int handleInput(Selector*) override {
        calls++;
        return onInput ? onInput(*this) : drain();
    }
    void poke() { EXPECT_EQ(::write(fds[1], "x", 1), 1); }
    int drain() {
        char buf[64];
        return ::read(fds[0], buf, sizeof buf) > 0 ? 0 : -1;
    }
};

// Idle handlers are plain functions: they use these.
int gIdleCalls = 0;
std::function<void()> gIdleAction;
void idleHandler() {
    gIdleCalls++;
    if (gIdleAction) gIdleAction();
}

std::string runUntilThrow(Selector& s) {
    try {
        s.run();
    } catch (const ServerException& e) {
        return e.what();
    }
    return "returned";
}

class SelectorTest : public ::testing::Test {
protected:
    void SetUp() override {
        gIdleCalls = 0;
        gIdleAction = nullptr;
    }
};

TEST(ServerExceptionTest, Messages) {
    EXPECT_STREQ(ServerException().what(), "");
    EXPECT_STREQ(ServerException(nullptr).what(), "");
    EXPECT_STREQ(ServerException("can't open %s: %s", "/x", "No such file").what(),
                 "can't open /x: No such file");
    std::string longText(400, 'k');
    ServerException e("%s", longText.c_str());
    EXPECT_EQ(std::string(e.what()), longText.substr(0, 255));
    e.setMessage(longText.c_str());
    EXPECT_EQ(std::string(e.what()), longText.substr(0, 255));
    e.setMessage("short");
    EXPECT_STREQ(e.what(), "short");
    e.setMessage(nullptr);
    EXPECT_STREQ(e.what(), "");
}

// A handler that fails (-1 or an exception) is removed and deleted in the same pass, and
// the objects after it are still served in that pass.
TEST_F(SelectorTest, FailedHandlersAreRemovedAndOthersServed) {
    bool del1 = false, del2 = false, del3 = false;
    auto* a = new PipeSelectable(&del1);
    auto* b = new PipeSelectable(&del2);
    auto* c = new PipeSelectable(&del3);
    a->onInput = [](PipeSelectable&) { return -1; };
    b->onInput = [](PipeSelectable&) -> int { throw std::runtime_error("boom"); };
    int cCalls = 0;
    c->onInput = [&](PipeSelectable& p) {
        cCalls++;
        return p.drain();
    };
    a->poke();
    b->poke();
    c->poke();
    Selector s;
    s.addSelectable(a);
    s.addSelectable(b);
    s.addSelectable(c);
    // The first idle pass shows the state after the served pass, then the loop ends.
    bool checked = false;
    gIdleAction = [&] {
        if (!checked) {
            checked = true;
            EXPECT_TRUE(del1);
            EXPECT_TRUE(del2);
            EXPECT_FALSE(del3);
            EXPECT_EQ(cCalls, 1);
            EXPECT_EQ(s.count(), 1);
        }
        throw 1;
    };
    s.setIdleHandler(idleHandler, 0);
    EXPECT_EQ(runUntilThrow(s).rfind("idle handler failing: ", 0), 0u);
    EXPECT_TRUE(checked);
    EXPECT_EQ(cCalls, 1);
}

// Objects that a handler adds are waited on from the next pass; the Selector deletes
// every object it still holds when it goes.
TEST_F(SelectorTest, HandlersMayAddObjectsAndTheSelectorDeletesThem) {
    bool delAdded = false, delFirst = false;
    auto* first = new PipeSelectable(&delFirst);
    PipeSelectable* added = nullptr;
    int addedCalls = 0;
    {
        Selector s;
        first->onInput = [&](PipeSelectable& p) {
            p.drain();
            added = new PipeSelectable(&delAdded);
            added->onInput = [&](PipeSelectable& q) {
                addedCalls++;
                return q.drain();
            };
            added->poke();
            s.addSelectable(added);
            return 0;
        };
        first->poke();
        s.addSelectable(first);
        gIdleAction = [] { throw 1; };
        s.setIdleHandler(idleHandler, 0);
        runUntilThrow(s);
        EXPECT_EQ(addedCalls, 1);
        EXPECT_EQ(s.count(), 2);
        EXPECT_FALSE(delAdded);
    }
    EXPECT_TRUE(delAdded);
    EXPECT_TRUE(delFirst);
}

// A descriptor closed behind the Selector's back cannot be served: the object goes and
// the loop goes on.
TEST_F(SelectorTest, ClosedDescriptorRemovesItsObject) {
    bool deleted = false;
    auto* gone = new PipeSelectable(&deleted);
    ::close(gone->fds[0]);
    int closedFd = gone->fds[0];
    gone->fds[0] = -1;
    struct Fixed : Selectable {
        int fd;
        explicit Fixed(int f) : fd(f) {}
        int getDescriptor() override { return fd; }
        int handleInput(Selector*) override { return 0; }
    };
    Selector s;
    s.addSelectable(new Fixed(closedFd));
    s.addSelectable(gone);
    gIdleAction = [] { throw 1; };
    s.setIdleHandler(idleHandler, 0);
    EXPECT_EQ(runUntilThrow(s).rfind("idle handler failing: ", 0), 0u);
    EXPECT_EQ(s.count(), 1);
    EXPECT_EQ(gIdleCalls, 4);
}

// The loop ends after the fourth failing idle handler in a row; a call that succeeds
// starts the count again.
TEST_F(SelectorTest, IdleHandlerFailures) {
    Selector s;
    gIdleAction = [] {
        if (gIdleCalls != 4) throw 1;
    };
    s.setIdleHandler(idleHandler, 0);
    const std::string msg = runUntilThrow(s);
    EXPECT_EQ(gIdleCalls, 8);
    EXPECT_EQ(msg.rfind("idle handler failing: ", 0), 0u) << msg;
    EXPECT_EQ(msg.substr(msg.size() - 9), "? (errno)");
}

// Without an idle handler each time-out is a failure; the fourth in a row ends the loop.
TEST_F(SelectorTest, TimeOutsWithoutIdleHandlerEndTheLoop) {
    Selector s;
    s.setIdleThreshold(20);
    auto t0 = std::chrono::steady_clock::now();
    const std::string msg = runUntilThrow(s);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - t0).count();
    EXPECT_EQ(msg.rfind("select() failing: ", 0), 0u) << msg;
    EXPECT_GE(ms, 70); // four waits of 20 ms
}

// A threshold of -1 waits without limit: the idle handler never runs, however long the
// pauses between inputs.
TEST_F(SelectorTest, NegativeThresholdNeverCallsIdleHandler) {
    Selector s;
    auto* p = new PipeSelectable();
    int served = 0;
    p->onInput = [&](PipeSelectable& q) {
        // Bytes, not calls: on a busy machine two writes can arrive before one read.
        char buf[8];
        const ssize_t n = ::read(q.fds[0], buf, sizeof buf);
        if (n > 0) served += static_cast<int>(n);
        if (served >= 3) {
            // Done: end the loop through time-outs without an idle handler.
            s.setIdleHandler(nullptr, 1);
        }
        return 0;
    };
    int writeFd = p->fds[1];
    s.addSelectable(p);
    s.setIdleHandler(idleHandler, -1);
    std::thread feeder([writeFd] {
        for (int i = 0; i < 3; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            EXPECT_EQ(::write(writeFd, "x", 1), 1);
        }
    });
    const std::string msg = runUntilThrow(s);
    feeder.join();
    EXPECT_EQ(served, 3);
    EXPECT_EQ(gIdleCalls, 0);
    EXPECT_EQ(msg.rfind("select() failing: ", 0), 0u);
}

// Descriptors above 1023 are waited on like any other.
TEST_F(SelectorTest, DescriptorAbove1024) {
    FdLimit limit(2100);
    if (!limit.allowed()) GTEST_SKIP() << "hard limit too low";
    ASSERT_TRUE(limit.set());
    {
        auto* p = new PipeSelectable();
        int high = ::fcntl(p->fds[0], F_DUPFD_CLOEXEC, 2000);
        ASSERT_GE(high, 2000);
        ::close(p->fds[0]);
        p->fds[0] = high;
        p->poke();
        Selector s;
        s.addSelectable(p);
        gIdleAction = [] { throw 1; };
        s.setIdleHandler(idleHandler, 0);
        runUntilThrow(s);
        EXPECT_EQ(p->calls, 1);
    }
}

} // namespace
