// The test printer against the simulated test printer on a bus station, one bus round at a
// time on the settable clock: start-up through ROL, printing, chases, lost frames with
// resume and retry, rejects, resets and scripted status changes.
#include <cstring>
#include <string>

#include "PrinterBench.h"

namespace prntbench {
namespace {

using bussim::PrinterModel;

constexpr uint32_t kOnlineWord = 0x01113603; // slot 1, port 0x11, address 0x36, printer

class PrinterBus : public PrinterBench {
protected:
    // Rounds with `ms` each until the condition holds (at most `rounds`).
    template <class F>
    bool until(F done, int rounds = 200, int ms = 10) {
        for (int i = 0; i < rounds && !done(); ++i) round(ms);
        return done();
    }
    std::vector<PrinterModel::Bytes> modelCommands() {
        return {model().commands().begin(), model().commands().end()};
    }
};

TEST_F(PrinterBus, ComesOnlineThroughRequestOnlinePowerOnResetAndTheStatusRequest) {
    EXPECT_TRUE(printer().TestStatusBits(PRNTP_RESET_EXPECTED));
    ASSERT_TRUE(until([&] { return printer().Confirmed(kAddress); }));
    run(5);
    EXPECT_EQ(modelCommands(), (std::vector<PrinterModel::Bytes>{{0x04}}));
    EXPECT_FALSE(printer().TestStatusBits(PRNTP_RESET_EXPECTED));
    EXPECT_FALSE(printer().AwaitingAck());
    EXPECT_EQ(printer().GetRequestOnlineCounts(), 1);
    // The online event went to every process.
    EXPECT_EQ(queueA_.take(), (std::vector<Event>{{POSM_SYS_DEVICE_ONLINE, kOnlineWord, 0}}));
}

TEST_F(PrinterBus, ALineReachesThePrinterAndChasesAnswerEachStation) {
    Client& c = client();
    comeOnline();
    ASSERT_EQ(c.write("HELLO\n"), 0);
    ASSERT_EQ(c.set({{"printStation", 2}}), 0);
    ASSERT_EQ(c.write("JOURNAL"), 0);
    ASSERT_TRUE(until([&] { return model().lineCount(PrinterModel::SJ) == 1; }));
    EXPECT_EQ(model().lines(PrinterModel::CR).back(), "HELLO");
    EXPECT_EQ(model().lines(PrinterModel::SJ).back(), "JOURNAL");
    c.queue.take();

    ASSERT_EQ(c.chase(7), 0);
    EXPECT_EQ(c.GetChaseCount(0), 1);
    ASSERT_TRUE(until([&] { return c.GetChaseCount(0) + c.GetChaseCount(1) + c.GetChaseCount(2) == 0; }));
    EXPECT_EQ(c.queue.take(), (std::vector<Event>{{POSM_PRN_CHASE_COMPLETE, 0x10000 | 1, 0},
                                                  {POSM_PRN_CHASE_COMPLETE, 0x20000 | 1, 0},
                                                  {POSM_PRN_CHASE_COMPLETE, 0x40000 | 1, 0}}));
}

TEST_F(PrinterBus, AChaseBehindPrintingIsAnsweredWhenThePrintingIsDone) {
    Client& c = client();
    comeOnline();
    ASSERT_EQ(c.write("ONE"), 0);
    ASSERT_EQ(c.write("TWO"), 0);
    ASSERT_EQ(c.chase(1), 0);
    round(); // ONE goes out; the chase waits behind it
    EXPECT_TRUE(c.queue.take().empty());
    ASSERT_TRUE(until([&] { return c.GetChaseCount(0) == 0; }));
    EXPECT_EQ(model().lineCount(PrinterModel::CR), 2u);
    EXPECT_EQ(c.queue.take(), (std::vector<Event>{{POSM_PRN_CHASE_COMPLETE, 0x10000 | 1, 0}}));
}

// A line whose frame is lost: the holder is asked to resume (16901), the printer goes
// offline (0x420C); resume drops the line, retry prints it.
TEST_F(PrinterBus, ALostFrameAsksForResumeWhichDropsTheLineWhileRetryPrintsIt) {
    for (bool resume : {true, false}) {
        SCOPED_TRACE(resume ? "resume" : "retry");
        clients_.clear();
        station_.reset();
        printer_ = std::make_unique<BenchPrinter>(&adapter_);
        slot_->printer = printer_.get();
        Client& c = client();
        comeOnline();
        c.queue.take();
        model().dropNext(1);
        ASSERT_EQ(c.write("LOST"), 0);
        ASSERT_TRUE(until([&] { return !printer().Confirmed(kAddress); }, 50, 100));
        EXPECT_EQ(c.queue.take(), (std::vector<Event>{{POSM_PRN_PRINTER_ERROR, 0x10000000u | 1u, 0x100}}));
        EXPECT_EQ(queueA_.take(), (std::vector<Event>{{POSM_SYS_DEVICE_OFFLINE, kOnlineWord, 0}}));
        EXPECT_TRUE(printer().ResumeRequested());
        run(20); // the line is held while the resume is due
        EXPECT_EQ(model().commandCount(), 1u);

        ASSERT_EQ(c.ioctl(resume ? POS_PRN_RESUME_PRINTING : POS_PRN_RETRY_PRINTING), 0);
        ASSERT_TRUE(until([&] { return printer().Confirmed(kAddress); }));
        run(20);
        EXPECT_EQ(queueA_.take(), (std::vector<Event>{{POSM_SYS_DEVICE_ONLINE, kOnlineWord, 0}}));
        EXPECT_EQ(model().lineCount(PrinterModel::CR), resume ? 0u : 1u);
        EXPECT_EQ(printer().GetStatus() & PRN_STATUS_FRAME_LOST, 0u);
    }
}

// A line the printer took (and printed) before it left the bus, its answer never given: at
// its return the line is not sent again unasked. The holder is asked to resume; resume
// drops the line, retry prints it again.
TEST_F(PrinterBus, ALineTakenBeforeThePrinterLeftAsksForResumeAtItsReturn) {
    for (bool resume : {true, false}) {
        SCOPED_TRACE(resume ? "resume" : "retry");
        TearDown();
        SetUp();
        Client& c = client();
        comeOnline();
        c.queue.take();
        station().leaveAfterAcknowledging();
        ASSERT_EQ(c.write("TAKEN"), 0);
        ASSERT_TRUE(until([&] { return !station().present(); }));
        ASSERT_EQ(model().lineCount(PrinterModel::CR), 1u);
        run(50);
        station().bringBack();
        ASSERT_TRUE(until([&] { return printer().ResumeRequested(); }));
        EXPECT_EQ(c.queue.take(), (std::vector<Event>{{POSM_PRN_PRINTER_ERROR, 0x10000000u | 1u, 0x100}}));
        ASSERT_TRUE(until([&] { return printer().Confirmed(kAddress); }));
        run(20);
        EXPECT_EQ(model().lineCount(PrinterModel::CR), 1u); // held while the resume is due

        ASSERT_EQ(c.ioctl(resume ? POS_PRN_RESUME_PRINTING : POS_PRN_RETRY_PRINTING), 0);
        run(20);
        EXPECT_EQ(model().lineCount(PrinterModel::CR), resume ? 1u : 2u);
        EXPECT_FALSE(printer().ResumeRequested());
    }
}

TEST_F(PrinterBus, ARejectedCommandIsRetriedOnRequest) {
    Client& c = client();
    comeOnline();
    c.queue.take();
    model().rejectNext(1);
    ASSERT_EQ(c.write("AGAIN"), 0);
    ASSERT_TRUE(until([&] { return !c.queue.events().empty(); }));
    EXPECT_EQ(c.queue.take(), (std::vector<Event>{{POSM_PRN_PRINTER_ERROR, 0x80000000u | 1u, 0}}));
    run(10);
    EXPECT_EQ(model().lineCount(PrinterModel::CR), 0u);
    ASSERT_EQ(c.ioctl(POS_PRN_RETRY_PRINTING), 0);
    ASSERT_TRUE(until([&] { return model().lineCount(PrinterModel::CR) == 1; }));
    EXPECT_EQ(model().lines(PrinterModel::CR).back(), "AGAIN");
}

TEST_F(PrinterBus, AResetGoesOnceAndThePrinterComesBack) {
    Client& c = client();
    comeOnline();
    const int resets = model().resets();
    ASSERT_EQ(c.ioctl(POS_PRN_RESET_PRINTER), 0);
    ASSERT_TRUE(until([&] { return model().resets() == resets + 1; }));
    ASSERT_TRUE(until([&] { return printer().Confirmed(kAddress) && !printer().AwaitingAck(); }));
    run(30);
    const std::vector<PrinterModel::Bytes> got = modelCommands();
    ASSERT_GE(got.size(), 2u);
    EXPECT_EQ(got[got.size() - 2], PrinterModel::Bytes{0x05});
    EXPECT_EQ(got.back(), PrinterModel::Bytes{0x04}); // the status request after the power-on
    EXPECT_EQ(model().resets(), resets + 1);
    ASSERT_EQ(c.write("AFTER"), 0);
    ASSERT_TRUE(until([&] { return model().lineCount(PrinterModel::CR) == 1; }));
}

TEST_F(PrinterBus, ScriptedChangesReachTheHolderAsStatusChanges) {
    Client& c = client();
    comeOnline();
    c.queue.take();
    ASSERT_TRUE(model().setPaper(PrinterModel::SJ, true));
    ASSERT_TRUE(until([&] { return !c.queue.events().empty(); }));
    EXPECT_EQ(c.queue.take(), (std::vector<Event>{{POSM_PRN_STATUS_CHANGE, 0x20000 | 1, 0x02}}));
    EXPECT_EQ(c.get("printStatus"), 0x02);
    ASSERT_TRUE(model().setCover(true));
    ASSERT_TRUE(until([&] { return !c.queue.events().empty(); }));
    EXPECT_EQ(c.queue.take(), (std::vector<Event>{{POSM_PRN_STATUS_CHANGE, 0x80000 | 1, 0x0A}}));
}

TEST_F(PrinterBus, AFrameCrossingAnAcknowledgementNeitherCountsNorTakesThePrinterOffline) {
    Client& c = client();
    bringUp();
    ASSERT_EQ(c.write("CROSS"), 0);
    cycle();
    ASSERT_EQ(commands().size(), 1u);
    const char passing[] = "PassingInTheNight";
    printer().LastMsgLost(reinterpret_cast<const unsigned char*>(passing), sizeof passing - 1);
    EXPECT_EQ(printer().GetLostMessages(), 0);
    EXPECT_TRUE(printer().Confirmed(kAddress));
    EXPECT_FALSE(printer().ResumeRequested());
    EXPECT_EQ(queue().StationList(0).count(), 1u); // back in its list to be sent again
    EXPECT_TRUE(c.queue.take().empty());
    // Without the marker text the loss counts and asks for a resume.
    ASSERT_EQ(printer().SendAnyPendingMessage(), 0);
    ASSERT_EQ(commands().size(), 1u);
    printer().LastMsgLost(nullptr, 0);
    EXPECT_TRUE(printer().ResumeRequested());
    EXPECT_EQ(printer().GetLostMessages(), 1);
    EXPECT_FALSE(printer().Confirmed(kAddress));
}

} // namespace
} // namespace prntbench
