// The printer family's list, command objects and outbound queue: release rules, markers in
// order, retry and resume, the counters, and the queue state record.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "OMSGQUEUE.h"
#include "PRNTV.h"
#include "TestPrinter.h"
#include "ovkhost.h"

namespace {

using testprinter::TestCmd;
using testprinter::TestPrinterP;

// What the queue told its printer: "chase:<code>", "interleave:<v>" or "park:<v>".
class RecordingPrinter : public TestPrinterP {
public:
    RecordingPrinter() : TestPrinterP(DeviceID(1, 0x11, 0x36)) {}
    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override {
        unsigned short v = 0;
        switch (request) {
        case PRN_TP_CHASE_DONE:
            told.push_back("chase:" + std::to_string(reinterpret_cast<PRNTCMD*>(data)->code & 0xFF));
            return 0;
        case PRN_TP_INTERLEAVED:
            std::memcpy(&v, data, 2);
            told.push_back("interleave:" + std::to_string(v));
            return 0;
        case PRN_TP_HEAD_PARKED:
            std::memcpy(&v, data, 2);
            told.push_back("park:" + std::to_string(v));
            return 0;
        default:
            return TestPrinterP::TellPhys(sender, request, data, length);
        }
    }
    std::vector<std::string> told;
};

// --- the list ----------------------------------------------------------------------------

struct Node : PRNDLNode {
    explicit Node(int v, int* deleted = nullptr) : value(v), deleted_(deleted) {}
    ~Node() override {
        if (deleted_) ++*deleted_;
    }
    int value;
    int* deleted_;
};

std::vector<int> values(PRNDList& list) {
    std::vector<int> out;
    if (list.start() != 0) return out;
    do out.push_back(static_cast<Node*>(list.get())->value);
    while (list.fwd() == 0);
    return out;
}

TEST(PrnList, CursorRulesAndErrors) {
    PRNDList list;
    EXPECT_EQ(list.start(), 100);
    EXPECT_EQ(list.get(), nullptr);
    EXPECT_EQ(list.error(), 100);
    EXPECT_EQ(list.linkout(), nullptr);
    EXPECT_EQ(list.fwd(), 101);
    for (int v : {1, 2, 3}) list.append(new Node(v));
    EXPECT_EQ(values(list), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(list.position(), 3u);
    EXPECT_EQ(list.fwd(), 101); // from the last node
    EXPECT_EQ(list.bkwd(2), 0);
    EXPECT_EQ(list.position(), 1u);
    EXPECT_EQ(list.bkwd(), 101); // from the first
    EXPECT_EQ(list.fwd(0), 0);

    list.linkinHead(new Node(0));
    EXPECT_EQ(values(list), (std::vector<int>{0, 1, 2, 3}));
    // Unlinking the tail: the predecessor becomes tail and cursor.
    list.end();
    delete list.linkout();
    EXPECT_EQ(static_cast<Node*>(list.get())->value, 2);
    EXPECT_EQ(list.tail(), list.cursor());
    EXPECT_EQ(list.position(), 3u);
    // Unlinking the first: the cursor moves to the successor, the position stays.
    list.start();
    delete list.linkout();
    EXPECT_EQ(static_cast<Node*>(list.get())->value, 1);
    EXPECT_EQ(list.position(), 1u);
    // update replaces in place.
    Node* old = static_cast<Node*>(list.update(new Node(9)));
    EXPECT_EQ(old->value, 1);
    delete old;
    EXPECT_EQ(values(list), (std::vector<int>{9, 2}));
}

TEST(PrnList, AnEmptiedOneNodeListHasEveryFieldZeroAndTheListOwnsItsNodes) {
    PRNDList list;
    EXPECT_EQ(list.get(), nullptr); // error 100 first
    list.linkinHead(new Node(1));
    EXPECT_EQ(list.count(), 1u);
    delete list.linkout();
    EXPECT_EQ(list.tail(), nullptr);
    EXPECT_EQ(list.cursor(), nullptr);
    EXPECT_EQ(list.count(), 0u);
    EXPECT_EQ(list.position(), 0u);
    EXPECT_EQ(list.error(), 0);

    int deleted = 0;
    {
        PRNDList owner;
        for (int v = 0; v < 5; ++v) owner.append(new Node(v, &deleted));
    }
    EXPECT_EQ(deleted, 5);
}

// --- command objects -----------------------------------------------------------------------

TEST(PrnCommand, SystemCodesAndSequenceNumbers) {
    struct Case {
        unsigned short code;
        int rc;
        unsigned short station, flags;
    } cases[] = {
        {0x8001, 0, 0, 0x0040}, {0x8002, 0, 1, 0x0040}, {0x8003, 0, 2, 0x0040},
        {0x8004, 0, 0, 0x0200}, {0x8005, 0, 0, 0x0400}, {0x8006, 316, 0, 0},
        {0x0001, 0, 0, 0},
    };
    int owner = 0;
    for (const Case& c : cases) {
        PRNTCMD command;
        const uint32_t before = PRNTCMD::SequenceCount.load();
        EXPECT_EQ(command.Set(c.code, &owner, 0, 0, 0, nullptr, 0, 0), c.rc) << c.code;
        EXPECT_EQ(command.station, c.station) << c.code;
        EXPECT_EQ(command.classFlags, c.flags) << c.code;
        const bool taken = c.rc == 0 && (c.code & 0x8000);
        EXPECT_EQ(command.code, taken ? c.code : 0);
        EXPECT_EQ(command.owner, taken ? &owner : nullptr);
        if (taken) {
            EXPECT_EQ(command.sequenceNumber, before);
        }
    }
    PRNTCMD command;
    unsigned char* frame = command.SetPbCmd(4);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(command.ownsFrame, 1);
    EXPECT_NE(command.SetPbCmd(8), nullptr); // the first buffer is freed, not leaked
}

TEST(PrnCommand, ChaseNumbersRunFrom1To32767ThenWrap) {
    PRNTV::uChaseNumber = 32766;
    EXPECT_EQ(PRNTV::NextChaseNumber(), 32766u);
    EXPECT_EQ(PRNTV::NextChaseNumber(), 32767u);
    EXPECT_EQ(PRNTV::NextChaseNumber(), 1u);
    PRNTV::uChaseNumber = 0;
    EXPECT_EQ(PRNTV::NextChaseNumber(), 1u);
    EXPECT_EQ(PRNTV::NextChaseNumber(), 2u);
}

// --- the queue -----------------------------------------------------------------------------

class QueueTest : public ::testing::Test {
protected:
    void SetUp() override { ovkhost::clearCaptures(); }

    // A command of station s, pipelined or not, named by the byte in its frame.
    PRNTCMD* cmd(unsigned short s, char name, bool pipelined = true) {
        auto* c = new TestCmd;
        const unsigned char text = static_cast<unsigned char>(name);
        c->Set(testprinter::kLine, this, static_cast<unsigned char>(s), 0, 1, &text, 0, 0);
        if (!pipelined) c->classFlags = 0;
        return c;
    }
    PRNTCMD* marker(unsigned short code, unsigned short value = 0) {
        auto* c = new PRNTCMD;
        c->Set(code, this, 0, 0, 0, nullptr, 0, 0);
        c->SetInterleaved(value);
        c->SetHeadParkedPosition(value);
        return c;
    }
    static char name(const PRNTCMD* c) { return c && c->frameLength >= 3 ? static_cast<char>(c->frame[2]) : '-'; }
    static std::string names(const PRNDList& l) {
        std::string out;
        PRNDList& list = const_cast<PRNDList&>(l);
        if (list.start() != 0) return out;
        do {
            const PRNTCMD* c = static_cast<PRNTCMD*>(list.get());
            out += c->IsMarker() ? '*' : name(c);
        } while (list.fwd() == 0);
        return out;
    }
    // Takes what station s releases now, as names ("" when nothing).
    std::string take(OMSGQUEUE& q, unsigned short s, int times = 1) {
        std::string out;
        for (int i = 0; i < times; ++i) {
            int rc = -1;
            PRNTCMD* c = q.GetPendingCommand(s, rc);
            EXPECT_EQ(rc, 0);
            if (!c) break;
            out += name(c);
        }
        return out;
    }
    void ackAndComplete(OMSGQUEUE& q, int n) {
        for (int i = 0; i < n; ++i) ASSERT_EQ(q.RespondToAck(), 0);
        for (int i = 0; i < n; ++i) ASSERT_EQ(q.RespondToCommandComplete(), 0);
    }

    RecordingPrinter printer_;
};

TEST_F(QueueTest, ReleaseRules) {
    struct Case {
        const char* what;
        unsigned short window;
        bool pipelined;
        int acked;     // of the commands taken first
        int completed;
        const char* expected; // what a further take gives after the first two
    } cases[] = {
        {"nothing over an unacknowledged frame", 4, true, 1, 1, ""},
        {"pipelined up to the window", 4, true, 2, 0, "CD"},
        {"pipelined stops at the window", 3, true, 2, 0, "C"},
        {"plain waits for every completion", 4, false, 2, 1, ""},
        {"plain goes when all are complete", 4, false, 2, 2, "C"},
    };
    for (const Case& c : cases) {
        OMSGQUEUE q(DeviceID(1, 0x11, 0x36), &printer_, c.window, 3);
        // A and B go out one after the other (each acknowledged before the next).
        for (char n : std::string("ABCD")) q.StoreCommand(cmd(0, n, c.pipelined || n < 'C'), 0);
        ASSERT_EQ(take(q, 0), "A");
        ASSERT_EQ(q.RespondToAck(), 0);
        ASSERT_EQ(take(q, 0), "B");
        for (int i = 1; i < c.acked; ++i) ASSERT_EQ(q.RespondToAck(), 0);
        for (int i = 0; i < c.completed; ++i) ASSERT_EQ(q.RespondToCommandComplete(), 0);
        std::string got;
        for (int i = 0; i < 4; ++i) {
            std::string one = take(q, 0);
            if (one.empty()) break;
            got += one;
            q.RespondToAck();
        }
        EXPECT_EQ(got, c.expected) << c.what;
    }
}

TEST_F(QueueTest, ChaseAnsweredAtOnceWhenIdleAndAfterItsPredecessorOtherwise) {
    OMSGQUEUE q(DeviceID(1, 0x11, 0x36), &printer_, 4, 3);
    q.StoreCommand(marker(PRNTCMD_CHASE_CR), 0);
    EXPECT_EQ(take(q, 0), "");
    EXPECT_EQ(printer_.told, (std::vector<std::string>{"chase:1"}));
    printer_.told.clear();

    q.StoreCommand(cmd(0, 'A'), 0);
    q.StoreCommand(marker(PRNTCMD_CHASE_CR), 0);
    q.StoreCommand(marker(PRNTCMD_SET_INTERLEAVE, 1), 0);
    q.StoreCommand(marker(PRNTCMD_SET_HEAD_PARK, 1), 0);
    q.StoreCommand(cmd(0, 'B'), 0);
    EXPECT_EQ(take(q, 0), "A");
    ASSERT_EQ(q.RespondToAck(), 0);
    EXPECT_EQ(take(q, 0), "B"); // the markers went into the sent list behind A
    EXPECT_EQ(q.GetChasesInFlight(), 1);
    EXPECT_TRUE(printer_.told.empty());
    ASSERT_EQ(q.RespondToAck(), 0);
    ASSERT_EQ(q.RespondToCommandComplete(), 0); // A
    ASSERT_EQ(q.RespondToCommandSuccess(), 0);
    EXPECT_EQ(printer_.told, (std::vector<std::string>{"chase:1", "interleave:1", "park:1"}));
    EXPECT_EQ(q.GetChasesInFlight(), 0);
    EXPECT_EQ(names(q.SentList()), "B");
}

TEST_F(QueueTest, RetryKeepsEveryStationsOrderAndZeroesTheCounters) {
    OMSGQUEUE q(DeviceID(1, 0x11, 0x36), &printer_, 4, 3);
    q.StoreCommand(cmd(0, 'A'), 0);
    q.StoreCommand(cmd(0, 'B'), 0);
    q.StoreCommand(cmd(1, 'C'), 0);
    EXPECT_EQ(take(q, 0), "A");
    q.RespondToAck();
    EXPECT_EQ(take(q, 0), "B");
    q.RespondToAck();
    EXPECT_EQ(take(q, 1), "C");
    q.StoreCommand(cmd(0, 'D'), 0);
    q.StoreCommand(cmd(1, 'E'), 0);
    EXPECT_EQ(q.GetIncomplete(), 3);
    EXPECT_EQ(q.Retry(), 0);
    EXPECT_EQ(names(q.StationList(0)), "ABD");
    EXPECT_EQ(names(q.StationList(1)), "CE");
    EXPECT_EQ(q.GetUnacknowledged(), 0);
    EXPECT_EQ(q.GetIncomplete(), 0);
    EXPECT_EQ(q.GetChasesInFlight(), 0);
    EXPECT_EQ(q.SentList().count(), 0u);
}

TEST_F(QueueTest, ResumeDropsWhatWasSentAndRetrySendsItAgain) {
    for (bool resume : {true, false}) {
        printer_.told.clear();
        OMSGQUEUE q(DeviceID(1, 0x11, 0x36), &printer_, 4, 3);
        q.StoreCommand(cmd(0, 'A'), 0);
        q.StoreCommand(marker(PRNTCMD_CHASE_CR), 0);
        q.StoreCommand(cmd(0, 'B'), 0);
        EXPECT_EQ(take(q, 0), "A");
        q.RespondToAck();
        EXPECT_EQ(take(q, 0), "B");
        q.StoreCommand(cmd(0, 'C'), 0); // never sent
        q.Retry();
        EXPECT_EQ(names(q.StationList(0)), "A*BC");
        if (resume) {
            EXPECT_EQ(q.RespondToResumePrinting(0), 0);
            EXPECT_EQ(names(q.StationList(0)), "C");
            EXPECT_EQ(printer_.told, (std::vector<std::string>{"chase:1"})); // answered, not lost
        }
        EXPECT_EQ(take(q, 0), resume ? "C" : "A");
    }
}

TEST_F(QueueTest, AnswersThatMatchNothingAre321AndLogged) {
    OMSGQUEUE q(DeviceID(1, 0x11, 0x36), &printer_, 4, 3);
    EXPECT_EQ(q.RespondToAck(), 321);
    EXPECT_TRUE(ovkhost::errorLogged(19106));
    EXPECT_EQ(q.RespondToCommandComplete(), 0); // nothing sent, nothing to complete

    q.StoreCommand(cmd(0, 'A'), 0);
    take(q, 0);
    EXPECT_EQ(q.RespondToAck(), 0);
    EXPECT_EQ(q.RespondToAck(), 321);
    EXPECT_TRUE(ovkhost::errorLogged(19107));
    EXPECT_EQ(q.RespondToCommandComplete(), 0);
    EXPECT_EQ(q.RespondToCommandComplete(), 321);
    EXPECT_TRUE(ovkhost::errorLogged(19110));

    // A completed command that was never acknowledged.
    q.StoreCommand(cmd(0, 'B'), 0);
    q.RespondToCommandSuccess();
    take(q, 0);
    q.RespondToCommandComplete();
    EXPECT_EQ(q.RespondToCommandSuccess(), 321);
    EXPECT_TRUE(ovkhost::errorLogged(19111));
    EXPECT_EQ(q.GetUnacknowledged(), 0);

    // System commands: one outstanding at a time; completion before acknowledgement.
    int rc = -1;
    q.StoreSystemCommand(cmd(0, 'S'));
    q.StoreSystemCommand(cmd(0, 'T'));
    EXPECT_EQ(name(q.GetPendingSystemCommand(rc)), 'S');
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(name(q.GetOutstanding()), 'S');
    EXPECT_EQ(name(q.GetPendingSystemCommand(rc)), 'T');
    EXPECT_EQ(rc, 321);
    EXPECT_TRUE(ovkhost::errorLogged(19105));
    EXPECT_EQ(q.RespondToCommandComplete(), 321);
    EXPECT_TRUE(ovkhost::errorLogged(19108));
    EXPECT_EQ(q.GetOutstandingSystemCommand(), nullptr);
    EXPECT_EQ(q.GetPendingSystemCommand(rc), nullptr);

    // A command for a station the queue does not have stays the caller's.
    std::unique_ptr<PRNTCMD> fourth(cmd(0, 'X'));
    fourth->station = 3;
    EXPECT_EQ(q.StoreCommand(fourth.get(), 0), 321);
}

TEST_F(QueueTest, QueueStateIsExactBytes) {
    OMSGQUEUE q(DeviceID(1, 0x11, 0x36), &printer_, 4, 3);
    for (char n : std::string("ABC")) q.StoreCommand(cmd(0, n), 0);
    q.StoreCommand(cmd(2, 'D'), 0);
    take(q, 0);
    q.StoreCommand(marker(PRNTCMD_CHASE_CR), 0);
    q.StoreSystemCommand(cmd(0, 'S'));
    q.StoreSystemCommand(cmd(0, 'T'));
    int rc = 0;
    q.GetPendingSystemCommand(rc);

    unsigned char bytes[28];
    std::memset(bytes, 0xEE, sizeof bytes);
    ASSERT_EQ(q.Query(reinterpret_cast<QueueState*>(bytes)), 0);
    const unsigned char expected[28] = {
        3, 0, 0, 0,  0, 0, 0, 0,  1, 0, 0, 0,  0xEE, 0xEE, 0xEE, 0xEE, // pending 0-3 (3 unused)
        1, 0,  1, 0,  1, 0,  0, 0,  1, 0,  1, 0};                     // sent ... outstanding
    EXPECT_EQ(std::memcmp(bytes, expected, sizeof bytes), 0);
    EXPECT_EQ(q.Query(nullptr), 321);
    EXPECT_TRUE(ovkhost::errorLogged(19118));
}

TEST_F(QueueTest, DeleteChaseDiscardAndFlush) {
    OMSGQUEUE q(DeviceID(1, 0x11, 0x36), &printer_, 4, 3);
    int other = 0;
    q.StoreCommand(cmd(0, 'A'), 0);
    q.StoreCommand(marker(PRNTCMD_CHASE_CR), 0);
    take(q, 0);
    q.RespondToAck();
    take(q, 0); // the chase moves behind A
    q.StoreCommand(marker(PRNTCMD_CHASE_CR), 0);
    q.StoreCommand(cmd(0, 'B'), 0);
    PRNTCMD* foreign = marker(PRNTCMD_CHASE_CR);
    foreign->owner = &other;
    q.StoreCommand(foreign, 0);
    q.StoreCommand(marker(PRNTCMD_CHASE_SJ), 0);
    EXPECT_EQ(q.GetChasesInFlight(), 1);
    EXPECT_EQ(q.DeleteChase(this), 0);
    EXPECT_EQ(names(q.SentList()), "A");
    EXPECT_EQ(names(q.StationList(0)), "B*"); // the other owner's chase stays
    EXPECT_EQ(q.StationList(1).count(), 0u);
    EXPECT_EQ(q.GetChasesInFlight(), 0);
    EXPECT_TRUE(printer_.told.empty());

    EXPECT_EQ(q.DiscardData(0, 0), 2);
    EXPECT_EQ(q.DiscardData(0, 0), 0);
    q.StoreSystemCommand(cmd(0, 'S'));
    q.StoreSystemCommand(cmd(0, 'T'));
    int rc = 0;
    q.GetPendingSystemCommand(rc);
    q.FlushSystemCommands();
    EXPECT_EQ(q.GetOutstanding(), q.SentList().tail()); // A, still incomplete
    EXPECT_EQ(q.SystemList().count(), 0u);
}

} // namespace
