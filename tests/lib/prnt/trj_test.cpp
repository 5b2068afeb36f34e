// The TRJ printer: its queue, command frames, the physical printer's answers by hand on a
// capturing adapter (ids, errors, limp state, held buffer, downloads, status events), and
// the virtual printer's writes as the frames they queue.
#include <cstring>
#include <string>

#include "TrjBench.h"

namespace prntbench {
namespace {

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes frameOf(const PRNTCMD* c) { return Bytes(c->frame, c->frame + c->frameLength); }

PRNTCMDTRJ* command(unsigned short code, const Bytes& data = {}, unsigned char value = 0) {
    auto* c = new PRNTCMDTRJ;
    EXPECT_EQ(c->Set(code, nullptr, value, static_cast<unsigned short>(data.size()), data.empty() ? nullptr : data.data()), 0);
    return c;
}

// The frames of a list, first to last (markers left out).
std::vector<Bytes> framesOf(const PRNDList& list) {
    std::vector<Bytes> out;
    PRNDLNode* node = list.tail();
    for (uint32_t i = 0; node && i < list.count(); ++i) {
        node = node->next;
        const auto* c = static_cast<const PRNTCMD*>(node);
        if (!c->IsMarker()) out.push_back(frameOf(c));
    }
    return out;
}
std::vector<Bytes> unsequencedAll(std::vector<Bytes> frames) {
    for (Bytes& f : frames) f = unsequenced(f);
    return frames;
}

// ---------------------------------------------------------------------------------------
// Command frames.

TEST(TrjCommand, FramesIdsAndRawData) {
    PRNTCMDTRJ feed;
    ASSERT_EQ(feed.Set(TRJ_FEED_SJ, nullptr, 3, 0, nullptr), 0);
    const auto id = static_cast<unsigned char>(feed.sequenceNumber % 255);
    EXPECT_EQ(frameOf(&feed), (Bytes{1, 0, 0, 0, 2, 3, id}));
    EXPECT_EQ(feed.station, PRN_STATION_SJ);
    EXPECT_EQ(feed.classFlags, 0x108);
    EXPECT_EQ(feed.CommandID(), id);
    // Rows without a value keep their own byte 5.
    PRNTCMDTRJ system29;
    ASSERT_EQ(system29.Set(TRJ_SYSTEM_29, nullptr, 7, 0, nullptr), 0);
    EXPECT_EQ(unsequenced(frameOf(&system29)), (Bytes{1, 1, 0, 0, 0, 0x80, 0}));
    PRNTCMDTRJ info;
    ASSERT_EQ(info.Set(TRJ_DEVICE_INFO, nullptr, 0, 0, nullptr), 0);
    EXPECT_EQ(info.CommandID(), info.frame[6]);
    // 01 44 and 01 45 frames, and 00 00 00, carry no id.
    PRNTCMDTRJ raw;
    const Bytes bitmap{0x1D, '/', 0, 2};
    ASSERT_EQ(raw.Set(TRJ_RAW, nullptr, 0, 4, bitmap.data()), 0);
    EXPECT_EQ(frameOf(&raw), bitmap);
    EXPECT_EQ(raw.CommandID(), -1);
    EXPECT_EQ(raw.IsRawNonPrintCmd(), 0);
    const struct {
        Bytes data;
        int nonPrint;
        int id;
    } raws[] = {{{0x1D, 0x2A, 1}, 1, -1},
                {{0x1B, 0x23, 1}, 1, -1},
                {{0x00, 0x40, 0, 0, 0, 0, 9}, 1, 9},
                {{0x00, 0x00, 0x01, 0, 0, 0}, 0, -1},
                {{0x01, 0x44, 0, 0, 0, 0, 9}, 0, -1},
                {{0x01, 0x00, 0, 0, 0, 0, 9}, 0, 9},
                {{0x00, 0x00, 0x00, 0, 0, 0, 9}, 1, -1}};
    for (const auto& k : raws) {
        PRNTCMDTRJ r;
        ASSERT_EQ(r.Set(TRJ_RAW, nullptr, 0, static_cast<unsigned short>(k.data.size()), k.data.data()), 0);
        EXPECT_EQ(r.IsRawNonPrintCmd(), k.nonPrint) << int(k.data[0]) << " " << int(k.data[1]);
        EXPECT_EQ(r.CommandID(), k.id) << int(k.data[0]) << " " << int(k.data[1]);
    }
    PRNTCMDTRJ empty;
    ASSERT_EQ(empty.Set(TRJ_RAW, nullptr, 0, 0, nullptr), 0);
    EXPECT_EQ(empty.frame, nullptr);
    PRNTCMDTRJ bad;
    EXPECT_EQ(bad.Set(TRJ_ROWS, nullptr, 0, 0, nullptr), 316);
    EXPECT_EQ(bad.Set(PRNTCMD_CHASE_CR, nullptr, 0, 0, nullptr), 0);
    EXPECT_TRUE(bad.IsChase());
}

// ---------------------------------------------------------------------------------------
// The queue.

TEST(TrjQueue, TheSecondOfTwoInFlightLostGoesBackAloneWithItsId) {
    OMSGQUEUETRJ q(DeviceID(1, 0x11, 0x32), nullptr, 2, 3);
    PRNTCMDTRJ* first = command(TRJ_PRINT_CR, text("A"));
    PRNTCMDTRJ* second = command(TRJ_PRINT_CR, text("B"));
    const Bytes secondFrame = frameOf(second);
    q.StoreCommand(first, 0);
    q.StoreCommand(second, 0);
    int rc = 0;
    ASSERT_EQ(q.GetPendingCommand(0, rc), first);
    EXPECT_EQ(q.GetPendingCommand(0, rc), nullptr); // the first is not acknowledged yet
    q.RespondToAck();
    ASSERT_EQ(q.GetPendingCommand(0, rc), second);
    const uint32_t* ids = q.GetNonCompCmdIDs();
    ASSERT_EQ(ids[0], 2u);
    EXPECT_EQ(ids[1], static_cast<uint32_t>(first->CommandID()));
    EXPECT_EQ(ids[2], static_cast<uint32_t>(second->CommandID()));

    q.RetryLastSentRequest();
    EXPECT_EQ(q.SentList().count(), 1u);
    EXPECT_EQ(q.GetIncomplete(), 1);
    EXPECT_EQ(q.GetUnacknowledged(), 0);
    EXPECT_EQ(q.LastHandedOut(), nullptr);
    EXPECT_EQ(q.GetNonCompCmdIDs()[0], 1u);
    ASSERT_EQ(q.GetPendingCommand(0, rc), second);
    EXPECT_EQ(frameOf(second), secondFrame);
    // Answers by id: the walk stops at the first uncompleted command.
    EXPECT_EQ(q.GetOutstandingPendingRequest(-1), first);
    EXPECT_EQ(q.GetOutstandingPendingRequest(second->CommandID()), nullptr);
    q.RespondToAck();
    q.RespondToCommandCompleteMessage(first);
    q.RespondToCommandSuccessMessage(first);
    EXPECT_EQ(q.GetOutstandingPendingRequest(second->CommandID()), second);
    // Everything sent goes back in its order.
    q.RetryPendingRequest();
    EXPECT_EQ(q.SentList().count(), 0u);
    EXPECT_EQ(q.StationList(0).count(), 1u);
    EXPECT_EQ(q.GetIncomplete(), 0);
}

TEST(TrjQueue, SystemCommandsAreMatchedByIdAndAckedWhenHandedOutLast) {
    OMSGQUEUETRJ q(DeviceID(1, 0x11, 0x32), nullptr, 2, 3);
    EXPECT_EQ(q.RespondToAck(), 0); // nothing handed out: nothing happens
    PRNTCMDTRJ* line = command(TRJ_PRINT_CR, text("A"));
    PRNTCMDTRJ* status = command(TRJ_GET_STATUS);
    q.StoreCommand(line, 0);
    int rc = 0;
    ASSERT_EQ(q.GetPendingCommand(0, rc), line);
    q.StoreSystemCommand(status);
    ASSERT_EQ(q.GetPendingSystemCommand(rc), status);
    EXPECT_EQ(q.GetOutstandingSystemRequest(status->CommandID()), status);
    EXPECT_EQ(q.GetOutstandingSystemRequest(line->CommandID()), nullptr);
    EXPECT_EQ(q.GetOutstandingSystemRequest(-1), status);
    // The acknowledgement goes to the system command handed out last, the next to the line.
    q.RespondToAck();
    EXPECT_TRUE(status->acknowledged);
    EXPECT_FALSE(line->acknowledged);
    q.RespondToAck();
    EXPECT_TRUE(line->acknowledged);
    // Completing the line leaves the system command outstanding.
    q.RespondToCommandCompleteMessage(line);
    EXPECT_EQ(q.RespondToCommandSuccessMessage(status), 0);
    EXPECT_EQ(q.SentList().count(), 1u);
    q.RespondToCommandSuccessMessage(line);
    EXPECT_EQ(q.SentList().count(), 0u);
    EXPECT_EQ(q.GetOutstandingSystemCommand(), status);
    q.RespondToCommandCompleteMessage(status);
    EXPECT_EQ(q.GetOutstandingSystemCommand(), nullptr);
    // A lost system command goes back to the front of the system list.
    PRNTCMDTRJ* reset = command(TRJ_RESET);
    PRNTCMDTRJ* info = command(TRJ_DEVICE_INFO);
    q.StoreSystemCommand(reset);
    q.StoreSystemCommand(info);
    ASSERT_EQ(q.GetPendingSystemCommand(rc), reset);
    q.RetryLastSentRequest();
    EXPECT_EQ(q.GetOutstandingSystemCommand(), nullptr);
    EXPECT_EQ(q.SystemList().count(), 2u);
    EXPECT_EQ(q.GetPendingSystemCommand(rc), reset);
    EXPECT_FALSE(reset->sent && reset->acknowledged);
}

// ---------------------------------------------------------------------------------------
// The physical printer, frames by hand.

TEST_F(TrjBench, BringUpAsksTheECLevelThenTheDeviceInformation) {
    EXPECT_EQ(printer().AddressWait(), 144);
    EXPECT_EQ(printer().ByteWait(), 72);
    EXPECT_EQ(printer().AckWait(), 3000);
    feed(0x0F);
    feed(0x63);
    std::vector<linkrec::Sent> frames = sent();
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back().addressWait, 144);
    EXPECT_EQ(frames.back().byteWait, 72);
    const Bytes ec = frames.back().data;
    ASSERT_EQ(unsequenced(ec), (Bytes{0x00, 0x80, 0, 0, 0, 0, 0}));
    // An answer without byte 1 bit 1 asks again.
    reply({0x80, 0x00, 0x20, ec[6], 0, 0, 0x08, 0x80});
    std::vector<Bytes> c = commands();
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(unsequenced(c[0]), (Bytes{0x00, 0x80, 0, 0, 0, 0, 0}));
    reply({0x80, 0x02, 0x20, c[0][6], 0, 0, 0x08, 0x80});
    c = commands();
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(unsequenced(c[0]), (Bytes{0x00, 0x00, 0x01, 0, 0, 0, 0}));
    EXPECT_FALSE(printer().Confirmed(kTrj));
    // Device information in an answer of 8 bytes is missing: logged and asked again.
    ovkhost::clearCaptures();
    reply({0x80, 0x80, 0, c[0][6], 0, 0, 0x08, 0x80});
    EXPECT_TRUE(ovkhost::errorLogged(20410));
    EXPECT_FALSE(printer().Confirmed(kTrj));
    c = commands();
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(unsequenced(c[0]), (Bytes{0x00, 0x00, 0x01, 0, 0, 0, 0}));
    reply({0x80, 0x80, 0, c[0][6], 0, 0, 0x08, 0x80, 1, 0x11, 0, 0, 0x31, 0, 0, 0, 0, 0});
    EXPECT_TRUE(printer().Confirmed(kTrj));
    EXPECT_EQ(printer().GetDeviceSubtype(), 4);
    EXPECT_EQ(printer().LineWidth(), 42);
    EXPECT_EQ(printer().ECLevel(), 0x31);
    EXPECT_EQ(printer().DeviceInfo()[0], 1);
    std::vector<Event> events = queueA_.take();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().msg, POSM_SYS_DEVICE_ONLINE);
    EXPECT_EQ(events.back().p1, 0x01113203u);
    EXPECT_EQ(events.back().p2 & 0xFF, 4u);
}

TEST_F(TrjBench, AnotherDeviceTypeHasSubtypeZero) {
    bringUp(0x12);
    EXPECT_EQ(printer().GetDeviceSubtype(), 0);
}

TEST_F(TrjBench, AWrongIdPutsThePrinterIntoLimpStateOnline) {
    TrjClient& c = client();
    bringUp();
    c.queue.take();
    put(TRJ_PRINT_CR, text("A"));
    printer().ProcessOutput(chTime());
    std::vector<Bytes> cmds = commands();
    ASSERT_EQ(cmds.size(), 1u);
    ovkhost::clearCaptures();
    reply(done(cmds[0][6] + 1));
    EXPECT_TRUE(ovkhost::errorLogged(20427));
    EXPECT_TRUE(printer().Limp());
    EXPECT_TRUE(printer().Confirmed(kTrj));
    std::vector<Event> events = c.queue.take();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().msg, POSM_PRN_PRINTER_ERROR);
    EXPECT_EQ(events.back().p1, 0x10000000u | 1);
    EXPECT_TRUE(printer().GetStatus() & 0x100);
    // Nothing leaves in limp state; the line is back in its list.
    EXPECT_EQ(queue().StationList(0).count(), 1u);
    printer().ProcessOutput(chTime());
    for (const Bytes& f : commands()) ADD_FAILURE() << "sent in limp state: " << f.size() << " bytes";
    // A resume resets the printer first (317) and resumes after the device information.
    EXPECT_EQ(c.ioctl(POS_PRN_RESUME_PRINTING), 317);
    EXPECT_FALSE(printer().Limp());
    printer().ProcessOutput(chTime());
    EXPECT_EQ(unsequencedAll(commands()), (std::vector<Bytes>{{0x00, 0x40, 0, 0, 0, 0, 0}}));
}

TEST_F(TrjBench, TheFirstRejectResetsTheSecondAsksForAResumeTheThirdDoesNothing) {
    TrjClient& c = client();
    bringUp();
    c.queue.take();
    put(TRJ_PRINT_CR, text("A"));
    printer().ProcessOutput(chTime());
    std::vector<Bytes> cmds = commands();
    ASSERT_EQ(cmds.size(), 1u);
    const Bytes line = cmds[0];
    const Bytes reject{0x01, 0, 0, line[6], 0x80, 0, 0x08, 0x80};
    reply(reject);
    EXPECT_TRUE(ovkhost::errorLogged(20421));
    EXPECT_EQ(unsequencedAll(commands()), (std::vector<Bytes>{{0x00, 0x40, 0, 0, 0, 0, 0}}));
    feed(0x0F);
    feed(0x63);
    cmds = commands();
    ASSERT_EQ(cmds.size(), 1u);
    reply({0x80, 0x02, 0x20, cmds[0][6], 0, 0, 0x08, 0x80});
    cmds = commands();
    ASSERT_EQ(cmds.size(), 1u);
    reply({0x80, 0x80, 0, cmds[0][6], 0, 0, 0x08, 0x80, 0, 0x11, 0, 0, 0x30, 0, 0, 0, 0, 0});
    cmds = commands();
    ASSERT_EQ(cmds.size(), 1u);
    EXPECT_EQ(cmds[0], line); // the line again, with its id
    EXPECT_TRUE(c.queue.take().empty());
    reply(reject);
    EXPECT_TRUE(ovkhost::errorLogged(20422));
    std::vector<Event> events = c.queue.take();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].msg, POSM_PRN_PRINTER_ERROR);
    EXPECT_EQ(events[0].p1, 0x20000u | 1);
    ovkhost::clearCaptures();
    reply(reject);
    EXPECT_FALSE(ovkhost::errorLogged(20421));
    EXPECT_FALSE(ovkhost::errorLogged(20422));
    EXPECT_TRUE(c.queue.take().empty());
}

TEST_F(TrjBench, WhileTheBufferIsHeldOnlyCommand22Leaves) {
    bringUp();
    printer().SystemCommand(7);
    put(TRJ_PRINT_CR, text("A"));
    printer().SystemCommand(29);
    reply({0x80, 0, 0, 0, 0x10, 0, 0x08, 0x80});
    std::vector<Bytes> cmds = commands();
    ASSERT_EQ(cmds.size(), 1u);
    EXPECT_EQ(unsequenced(cmds[0]), (Bytes{0x01, 0x01, 0, 0, 0, 0x80, 0}));
    // Still held: neither the status request nor the line goes.
    reply({0x80, 0, 0, cmds[0][6], 0x10, 0, 0x08, 0x80});
    EXPECT_TRUE(commands().empty());
    printer().ProcessOutput(chTime());
    EXPECT_TRUE(commands().empty());
    // Released: the status request first.
    reply({0x80, 0, 0, 0, 0x00, 0, 0x08, 0x80});
    cmds = commands();
    ASSERT_EQ(cmds.size(), 1u);
    EXPECT_EQ(unsequenced(cmds[0]), (Bytes{0x00, 0x20, 0, 0, 0, 0, 0}));
}

TEST_F(TrjBench, UserDefinedCharacterAndLogoBlocksAreBoundedAndRefusedWhenPresent) {
    bringUp();
    printer().Lock();
    Bytes six(5 * 1024 + 1, 0x55);
    EXPECT_EQ(printer().TellPhys(nullptr, TRJ_TP_DEFINE_UDC, six.data(), static_cast<int>(six.size())), 318);
    EXPECT_TRUE(ovkhost::errorLogged(20417));
    Bytes nine(8 * 1024 + 1, 0x55);
    EXPECT_EQ(printer().TellPhys(nullptr, TRJ_TP_DEFINE_LOGO, nine.data(), static_cast<int>(nine.size())), 318);
    EXPECT_TRUE(ovkhost::errorLogged(20413));
    printer().Unlock();
    EXPECT_TRUE(commands().empty());
    // The printer reports characters and a logo held.
    reply({0x80, 0, 0, 0, 0, 0, 0x0B, 0x80});
    Bytes one(100, 0x55);
    printer().Lock();
    EXPECT_EQ(printer().TellPhys(nullptr, TRJ_TP_DEFINE_UDC, one.data(), 100), POSERR_PRN_UDC_CHARACTER_EXISTS);
    EXPECT_EQ(printer().TellPhys(nullptr, TRJ_TP_DEFINE_LOGO, one.data(), 100), POSERR_PRN_LOGO_EXISTS);
    printer().Unlock();
    EXPECT_TRUE(commands().empty());
}

TEST_F(TrjBench, ALogoGoesInBlocksNumberedFrom128) {
    bringUp();
    Bytes logo(1024 + 10, 0x66);
    printer().Lock();
    ASSERT_EQ(printer().TellPhys(nullptr, TRJ_TP_DEFINE_LOGO, logo.data(), static_cast<int>(logo.size())), 0);
    printer().Unlock();
    printer().ProcessOutput(chTime());
    std::vector<Bytes> blocks;
    for (int i = 0; i < 4; ++i) {
        std::vector<Bytes> cmds = commands();
        if (cmds.empty()) break;
        ASSERT_EQ(cmds.size(), 1u);
        blocks.push_back(cmds[0]);
        reply(done(cmds[0][6]));
    }
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(unsequenced(Bytes(blocks[1].begin(), blocks[1].begin() + 7)), (Bytes{1, 2, 0, 0, 0, 129, 0}));
    ASSERT_EQ(blocks[1].size(), 7u + 1024u);
    EXPECT_EQ(blocks[1][7 + 9], 0x66);
    EXPECT_EQ(blocks[1][7 + 10], 0);
    EXPECT_EQ(printer().LogoBlocks(), 2);
}

TEST_F(TrjBench, StatusEventsComeInTheirOrderWithTheCarryOver) {
    TrjClient& c = client();
    bringUp();
    c.queue.take();
    // Off line, journal paper (6.5), receipt paper (6.4), 5.5, 5.4 and 7.1 at once.
    reply({0x80, 0x40, 0, 0, 0, 0x30, 0x38, 0x82});
    std::vector<Event> events = c.queue.take();
    std::vector<uint32_t> p1;
    for (const Event& e : events)
        if (e.msg == POSM_PRN_STATUS_CHANGE) p1.push_back(e.p1 & 0xFFFF0000u);
    EXPECT_EQ(p1, (std::vector<uint32_t>{0x80000, 0x230000, 0x130000, 0x220000, 0x120000, 0x400000}));
    EXPECT_TRUE(printer().GetStatus() & 0x0001);
    EXPECT_EQ(printer().GetStatus2() & 0x0036, 0x0036u);
    // Journal not available (6.7) sets 5.7; while off line 5.7 and 6.7-6.6 carry over.
    reply({0x80, 0x00, 0, 0, 0, 0, 0x88, 0x80});
    EXPECT_EQ(printer().StatusBytes()[5], 0x80);
    EXPECT_TRUE(printer().GetStatus2() & 0x4001);
    reply({0x80, 0x40, 0, 0, 0, 0, 0x08, 0x80});
    EXPECT_EQ(printer().StatusBytes()[5], 0x80);
    EXPECT_EQ(printer().StatusBytes()[6], 0x88);
    // Only 5.7: the previous 6.7 stays.
    reply({0x80, 0x00, 0, 0, 0, 0x80, 0x08, 0x80});
    EXPECT_EQ(printer().StatusBytes()[6], 0x88);
}

TEST_F(TrjBench, AStatusRequestAnswerReportsTheError) {
    TrjClient& c = client();
    bringUp();
    c.queue.take();
    // Receipt paper out: a waiting line is not sent; the status request goes instead.
    reply({0x80, 0, 0, 0, 0, 0, 0x18, 0x80});
    c.queue.take();
    put(TRJ_PRINT_CR, text("A"));
    Bytes request;
    for (int i = 0; i < 20 && request.empty(); ++i) {
        printer().ProcessOutput(chTime());
        for (const Bytes& f : commands()) {
            ASSERT_EQ(f[0], 0x00) << "a print frame went out";
            request = f;
        }
        if (request.empty()) reply({0x80, 0, 0, 0, 0, 0, 0x18, 0x80});
    }
    ASSERT_EQ(unsequenced(request), (Bytes{0x00, 0x20, 0, 0, 0, 0, 0}));
    reply({0x80, 0x20, 0, request[6], 0, 0, 0x18, 0x80});
    std::vector<Event> events = c.queue.take();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().msg, POSM_PRN_PRINTER_ERROR);
    EXPECT_EQ(events.back().p1, 0x30000u | 1);
}

TEST_F(TrjBench, ALostMessageSendsTheSameCommandAgain) {
    bringUp();
    put(TRJ_PRINT_CR, text("A"));
    put(TRJ_PRINT_CR, text("B"));
    printer().ProcessOutput(chTime());
    std::vector<Bytes> first = commands();
    ASSERT_EQ(first.size(), 1u);
    ack();
    printer().ProcessOutput(chTime());
    std::vector<Bytes> second = commands();
    ASSERT_EQ(second.size(), 1u);
    EXPECT_NE(first[0][6], second[0][6]);
    // The printer acknowledges the first only: the second was lost, and goes again alone.
    feed(static_cast<unsigned char>(((printer().GetSendSequence() - 1) & 7) << 5 | 0x01));
    EXPECT_EQ(printer().GetLostMessages(), 1);
    EXPECT_EQ(printer().GetHeldResume().msg, 0u);
    EXPECT_EQ(commands(), second);
    EXPECT_EQ(queue().SentList().count(), 2u);
    EXPECT_EQ(queue().GetIncomplete(), 2);
}

// ---------------------------------------------------------------------------------------
// The virtual printer: what a write queues.

TEST_F(TrjBench, HelloIsOneFrameOfTheReceipt) {
    TrjClient& c = client();
    ASSERT_EQ(c.write("HELLO\n"), 0);
    std::vector<Bytes> frames = unsequencedAll(framesOf(queue().StationList(0)));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], (Bytes{0x01, 0x00, 0x01, 0x00, 0x00, 0x01, 0x00, 0x1B, 0x60, 0x1B, 0x40, 0x00, 0x1B,
                                0x53, 0x48, 0x45, 0x4C, 0x4C, 0x4F, 0x1B, 0xFF}));
}

TEST_F(TrjBench, CutsBitmapsAndChases) {
    TrjClient& c = client();
    ASSERT_EQ(c.write("\x1BP\x1Bq!\x1BQ\x1BO\x1BqZ"), 0);
    std::vector<Bytes> frames = unsequencedAll(framesOf(queue().StationList(0)));
    EXPECT_EQ(frames, (std::vector<Bytes>{{0x01, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00},
                                          {0x1D, 0x2F, 0x00, 0x02},
                                          {0x01, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00},
                                          {0x01, 0x00, 0x00, 0x00, 0x01, 0x01, 0x00}}));
    // ESC G: the text so far, then a chase of the receipt.
    ASSERT_EQ(c.write("AB\x1BG"), 0);
    EXPECT_EQ(framesOf(queue().StationList(0)).size(), 5u);
    EXPECT_EQ(c.GetChaseCount(0), 1);
}

TEST_F(TrjBench, DirectDataAreCheckedAndCutAtLineStarts) {
    TrjClient& c = client();
    ASSERT_EQ(c.set({{"printMode", 0}}), 0);
    int written = -1;
    EXPECT_EQ(c.write("\x1B`\x1BSABC", &written), POSERR_PRN_INCORRECT_RAW_DATA);
    EXPECT_EQ(c.write("\x1B`\x1BXABC\x1B\xFF", &written), POSERR_PRN_INCORRECT_RAW_DATA);
    EXPECT_TRUE(framesOf(queue().StationList(0)).empty());
    EXPECT_EQ(c.write(std::string(8193, 'A'), &written), 318);
    EXPECT_EQ(written, 0);
    // 8192 bytes of lines: frames of at most 1632 bytes, each after the first opening with
    // the data's first four bytes and each cut where a line begins.
    std::string data = "\x1B`\x1BS";
    const std::string line = std::string("\x1B@\x00\x1B" "A\x00", 6) + std::string(50, 'x');
    while (data.size() + line.size() + 2 <= 8192) data += line;
    data += std::string(8192 - 2 - data.size(), 'y') + "\x1B\xFF";
    ASSERT_EQ(data.size(), 8192u);
    ASSERT_EQ(c.write(data, &written), 0);
    EXPECT_EQ(written, 8192);
    std::vector<Bytes> frames = framesOf(queue().StationList(0));
    ASSERT_GE(frames.size(), 6u);
    size_t payload = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        const Bytes& f = frames[i];
        ASSERT_LE(f.size() - 7, 1632u) << i;
        EXPECT_EQ(Bytes(f.begin() + 7, f.begin() + 11), (Bytes{0x1B, '`', 0x1B, 'S'})) << i;
        EXPECT_EQ(Bytes(f.end() - 2, f.end()), (Bytes{0x1B, 0xFF})) << i;
        if (i > 0) {
            EXPECT_EQ(Bytes(f.begin() + 11, f.begin() + 13), (Bytes{0x1B, '@'})) << i;
        }
        payload += f.size() - 7 - (i > 0 ? 4 : 0) - (i + 1 < frames.size() ? 2 : 0);
    }
    EXPECT_EQ(payload, 8192u);
    // Too long, and no line start to cut at: refused where it stopped, nothing sent.
    const size_t before = framesOf(queue().StationList(0)).size();
    const std::string flat = "\x1B`\x1BS" + std::string(2000, 'z') + "\x1B\xFF";
    EXPECT_EQ(c.write(flat, &written), POSERR_PRN_INCORRECT_RAW_DATA);
    EXPECT_EQ(written, 0);
    EXPECT_EQ(framesOf(queue().StationList(0)).size(), before);
}

TEST_F(TrjBench, RasAndLogoFramesOverTheFrameSizeAreRefused) {
    TrjClient& c = client();
    int written = -1;
    ASSERT_EQ(c.set({{"printMode", 128}}), 0);
    EXPECT_TRUE(printer().RasMode());
    EXPECT_EQ(c.write(std::string(1633, 'r'), &written), 318);
    EXPECT_EQ(written, 0);
    ASSERT_EQ(c.write(std::string(1632, 'r'), &written), 0);
    EXPECT_EQ(written, 1632);
    EXPECT_EQ(framesOf(queue().StationList(0)).size(), 1u);
    // A download sequence goes as a system command.
    ASSERT_EQ(c.write(std::string("\x1D*\x01", 3), &written), 0);
    EXPECT_EQ(queue().SystemList().count(), 1u);
    ASSERT_EQ(c.set({{"printMode", 2}}), 0);
    EXPECT_FALSE(printer().RasMode());
    EXPECT_EQ(c.write(std::string(1623, 'l'), &written), 318);
    ASSERT_EQ(c.write("LG", &written), 0);
    EXPECT_EQ(written, 2);
    std::vector<Bytes> frames = unsequencedAll(framesOf(queue().StationList(0)));
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1], (Bytes{1, 0, 1, 0, 0, 1, 0, 0x1B, '`', 0x1B, '@', 0, 0x1B, 'A', 0, 'L', 'G', 0x1B, 0xFF}));
    EXPECT_EQ(c.set({{"printMode", 4}}), POSERR_PRN_INVALID_MODE);
}

TEST_F(TrjBench, SixtyFiveDefinitionsSendFiveBlocksTheLastZeroFilled) {
    TrjClient& c = client();
    bringUp();
    std::vector<Bytes> definitions(65);
    std::vector<PosArg> args;
    for (int i = 0; i < 65; ++i) {
        definitions[i].assign(74, static_cast<unsigned char>(i + 1));
        args.push_back(PosArg{"", reinterpret_cast<intptr_t>(definitions[i].data())});
    }
    ASSERT_EQ(c.ioctl(POS_PRN_DEFINE_CHARACTERS, args), 0);
    printer().ProcessOutput(chTime());
    std::vector<Bytes> blocks;
    for (int i = 0; i < 8; ++i) {
        std::vector<Bytes> cmds = commands();
        if (cmds.empty()) break;
        ASSERT_EQ(cmds.size(), 1u);
        blocks.push_back(cmds[0]);
        reply(done(cmds[0][6]));
    }
    ASSERT_EQ(blocks.size(), 5u);
    Bytes all;
    for (size_t n = 0; n < blocks.size(); ++n) {
        const Bytes& b = blocks[n];
        ASSERT_EQ(b.size(), 7u + 1024u);
        EXPECT_EQ(Bytes(b.begin(), b.begin() + 6), (Bytes{1, 2, 0, 0, 0, static_cast<unsigned char>(n)}));
        all.insert(all.end(), b.begin() + 7, b.end());
    }
    EXPECT_EQ(all[0], 1);
    EXPECT_EQ(all[64 * 74 - 1], 64); // the 64th definition, the 65th left out
    EXPECT_EQ(Bytes(all.end() - 384, all.end()), Bytes(384, 0));
    EXPECT_EQ(printer().UdcBlocks(), 5);
}

TEST_F(TrjBench, DifferentFontsPrintTheReceiptFirstThenTheJournal) {
    TrjClient& c = client();
    ASSERT_EQ(c.write("\x1B<"), 0); // small font on the receipt
    EXPECT_EQ(c.Font(0), 0x80);
    EXPECT_EQ(c.Width(0), 42);
    ASSERT_EQ(c.set({{"printStation", 3}}), 0);
    ASSERT_EQ(c.write("AB\n"), 0);
    std::vector<Bytes> cr = unsequencedAll(framesOf(queue().StationList(0)));
    std::vector<Bytes> sj = unsequencedAll(framesOf(queue().StationList(1)));
    ASSERT_EQ(cr.size(), 1u);
    ASSERT_EQ(sj.size(), 1u);
    EXPECT_EQ(cr[0], (Bytes{1, 0, 1, 0, 0, 1, 0, 0x1B, '`', 0x1B, '@', 0x80, 0x1B, 'S', 'A', 'B', 0x1B, 0xFF}));
    EXPECT_EQ(sj[0], (Bytes{1, 0, 2, 0, 0, 1, 0, 0x1B, '`', 0x1B, '@', 0x00, 0x1B, 'S', 'A', 'B', 0x1B, 0xFF}));
    // The receipt's went first.
    const auto* first = static_cast<const PRNTCMD*>(queue().StationList(0).tail());
    const auto* second = static_cast<const PRNTCMD*>(queue().StationList(1).tail());
    ASSERT_FALSE(first->IsMarker());
    ASSERT_FALSE(second->IsMarker());
    EXPECT_LT(first->sequenceNumber, second->sequenceNumber);
}

TEST_F(TrjBench, LinesBreakAtTheWidthAndDoubleByteCharactersStayWhole) {
    TrjClient& c = client();
    // 31 single-byte characters, then a double-byte one that no longer fits in 32 columns.
    std::string s(31, 'a');
    s += "\x82\xA0";
    s += "\x1B!\x02" "bb\n";
    ASSERT_EQ(c.write(s), 0);
    std::vector<Bytes> frames = unsequencedAll(framesOf(queue().StationList(0)));
    ASSERT_EQ(frames.size(), 1u);
    Bytes expect{1, 0, 1, 0, 0, 1, 0, 0x1B, '`', 0x1B, '@', 0, 0x1B, 'S'};
    expect.insert(expect.end(), 31, 'a');
    for (unsigned char b : Bytes{0x1B, '@', 0, 0x82, 0xA0, 0x1B, 'A', 0x40, 'b', ' ', 'b', ' ', 0x1B, 0xFF})
        expect.push_back(b);
    EXPECT_EQ(frames[0], expect);
    // Every line part keeps within its 128 bytes whatever the attributes do.
    std::string heavy;
    for (int i = 0; i < 200; ++i) heavy += (i % 2 ? "\x1B!\x01" : "\x1B!\x81") + std::string(1, 'x');
    ASSERT_EQ(c.write(heavy + "\x1B!\x06" + heavy + "\x82\xA0\xE0\x40"), 0);
}

// ---------------------------------------------------------------------------------------
// On the simulated TRJ printer.

TEST_F(TrjBench, OnTheSimulatedPrinterHelloIsPrintedAndChased) {
    comeOnline();
    EXPECT_EQ(printer().GetDeviceSubtype(), 4);
    TrjClient& c = client();
    run(5);
    c.queue.take();
    ASSERT_EQ(c.write("HELLO\nWORLD\n\x1BG"), 0);
    ASSERT_TRUE(until([&] { return model().lineCount(bussim::PrinterModel::CR) == 2; }));
    EXPECT_EQ(model().lines(bussim::PrinterModel::CR).front(), "HELLO");
    EXPECT_EQ(model().lines(bussim::PrinterModel::CR).back(), "WORLD");
    ASSERT_TRUE(until([&] { return c.GetChaseCount(0) == 0; }));
    std::vector<Event> events = c.queue.take();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().msg, POSM_PRN_CHASE_COMPLETE);
    EXPECT_EQ(events.back().p1, 0x10000u | 1);
}

TEST_F(TrjBench, TwoCommandsGoInFlightWhileTheAnswersAreHeld) {
    comeOnline();
    TrjClient& c = client();
    run(5);
    model().setDefer(true);
    const uint64_t before = model().commandCount();
    ASSERT_EQ(c.write("A\n"), 0);
    ASSERT_EQ(c.write("B\n"), 0);
    ASSERT_EQ(c.write("C\n"), 0);
    run(30);
    EXPECT_EQ(model().commandCount() - before, 2u);
    EXPECT_EQ(model().held(), 2u);
    EXPECT_EQ(queue().GetIncomplete(), 2);
    model().setDefer(false);
    ASSERT_TRUE(until([&] { return model().lineCount(bussim::PrinterModel::CR) == 3; }));
    EXPECT_EQ(model().lines(bussim::PrinterModel::CR).back(), "C");
    EXPECT_FALSE(printer().Limp());
}

TEST_F(TrjBench, OnTheSimulatedPrinterAWrongIdLimpsAndAResumeResets) {
    comeOnline();
    TrjClient& c = client();
    run(5);
    c.queue.take();
    model().badIdNext(1);
    ASSERT_EQ(c.write("A\n"), 0);
    ASSERT_TRUE(until([&] { return printer().Limp(); }));
    EXPECT_TRUE(printer().Confirmed(kTrj));
    std::vector<Event> events = c.queue.take();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().p1, 0x10000000u | 1);
    const int resets = model().resets();
    EXPECT_EQ(c.ioctl(POS_PRN_RESUME_PRINTING), 317);
    ASSERT_TRUE(until([&] { return model().resets() > resets && printer().Confirmed(kTrj); }));
    EXPECT_FALSE(printer().Limp());
}

// An idle printer is asked its status (the wake-up) before the next line goes. The frames
// the simulated printer received from `from` (a command count) on.
class TrjIdleBench : public TrjBench {
protected:
    void SetUp() override {
        TrjBench::SetUp();
        comeOnline();
        client_ = &client();
        run(40); // idle rounds: the next line waits for a status request first
    }
    TrjClient& c() { return *client_; }
    std::vector<Bytes> receivedSince(uint64_t from) {
        const auto& all = model().commands();
        const uint64_t n = std::min<uint64_t>(model().commandCount() - from, all.size());
        return std::vector<Bytes>(all.end() - static_cast<long>(n), all.end());
    }
    static bool isStatusRequest(const Bytes& f) { return f.size() == 7 && f[0] == 0x00 && f[1] == 0x20; }
    TrjClient* client_ = nullptr;
};

TEST_F(TrjIdleBench, ARejectedWakeUpResetsThePrinterOnceAndTheLineIsPrintedAfterIt) {
    c().queue.take();
    ovkhost::clearCaptures();
    const int resets = model().resets();
    const uint64_t from = model().commandCount();
    model().rejectNext(1);
    ASSERT_EQ(c().write("A\n"), 0);
    ASSERT_TRUE(until([&] { return model().lineCount(bussim::PrinterModel::CR) == 1; }))
        << receivedSince(from).size() << " frames";
    EXPECT_EQ(model().lines(bussim::PrinterModel::CR).back(), "A");
    const std::vector<Bytes> frames = receivedSince(from);
    ASSERT_FALSE(frames.empty());
    EXPECT_TRUE(isStatusRequest(frames[0]));
    EXPECT_EQ(model().resets(), resets + 1);
    bool logged = false;
    for (const ovkhost::ErrorLogEntry& e : ovkhost::errorLog()) {
        if (e.logId != 20421) continue;
        logged = true;
        EXPECT_EQ(e.sourceTag, "@(#)prnttrjp.cpp 1.1");
    }
    EXPECT_TRUE(logged);
    EXPECT_TRUE(c().queue.take().empty());
}

TEST_F(TrjIdleBench, AWakeUpRejectedTwiceAsksForAResumeAndTheResumePrintsTheLine) {
    c().queue.take();
    model().rejectNext(2);
    ASSERT_EQ(c().write("A\n"), 0);
    ASSERT_TRUE(until([&] { return printer().ResumeRequested(); }));
    std::vector<Event> events = c().queue.take();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().msg, POSM_PRN_PRINTER_ERROR);
    EXPECT_EQ(events.back().p1, 0x20000u | 1);
    ASSERT_TRUE(until([&] { return printer().Confirmed(kTrj) && !queue().GetOutstandingSystemCommand(); }));
    EXPECT_EQ(model().lineCount(bussim::PrinterModel::CR), 0u);
    const int rc = c().ioctl(POS_PRN_RESUME_PRINTING);
    EXPECT_TRUE(rc == 0 || rc == 317) << rc;
    ASSERT_TRUE(until([&] { return model().lineCount(bussim::PrinterModel::CR) == 1; }));
    EXPECT_EQ(model().lines(bussim::PrinterModel::CR).back(), "A");
}

TEST_F(TrjIdleBench, AWrongIdOnTheWakeUpLimpsAndTheResumePrintsTheLine) {
    c().queue.take();
    ovkhost::clearCaptures();
    const uint64_t from = model().commandCount();
    model().badIdNext(1);
    ASSERT_EQ(c().write("A\n"), 0);
    ASSERT_TRUE(until([&] { return printer().Limp(); })) << receivedSince(from).size() << " frames";
    const std::vector<Bytes> frames = receivedSince(from);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_TRUE(isStatusRequest(frames[0]));
    EXPECT_TRUE(ovkhost::errorLogged(20427));
    EXPECT_TRUE(printer().Confirmed(kTrj));
    std::vector<Event> events = c().queue.take();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().msg, POSM_PRN_PRINTER_ERROR);
    EXPECT_EQ(events.back().p1, 0x10000000u | 1);
    EXPECT_EQ(c().ioctl(POS_PRN_RESUME_PRINTING), 317);
    ASSERT_TRUE(until([&] { return model().lineCount(bussim::PrinterModel::CR) == 1; }));
    EXPECT_EQ(model().lines(bussim::PrinterModel::CR).back(), "A");
    EXPECT_FALSE(printer().Limp());
}

// ---------------------------------------------------------------------------------------
// Rejects without end and a printer that stays blocked.

// The line is rejected for good: the application is told, the printer gets its commands
// again at once three times and then once a second, and once the rejects stop the line
// goes out after the application's retry.
TEST_F(TrjBench, RejectsWithoutEndArePacedAndTheLineGoesOnceTheyStop) {
    comeOnline();
    TrjClient& c = client();
    run(5);
    c.queue.take();
    const uint64_t taken = rejectedWithoutEnd([&] { ASSERT_EQ(c.write("HELLO\n"), 0); });
    EXPECT_LE(taken, pacedBound());
    EXPECT_TRUE(hasEvent(c.queue.take(), POSM_PRN_PRINTER_ERROR));
    ASSERT_TRUE(until([&] {
        c.ioctl(POS_PRN_RETRY_PRINTING);
        return model().lineCount(bussim::PrinterModel::CR) >= 1;
    }));
}

// With the cover open and a line waiting, the idle polls ask the printer's status at most
// once a second; the line goes once the cover is closed.
TEST_F(TrjBench, AnOpenCoverIsAskedItsStatusAtMostOnceASecond) {
    comeOnline();
    TrjClient& c = client();
    run(5);
    ASSERT_TRUE(model().setCover(true));
    run(20);
    const uint64_t before = model().commandCount();
    ASSERT_EQ(c.write("HELLO\n"), 0);
    run(300);
    EXPECT_LE(model().commandCount() - before, 4u);
    ASSERT_TRUE(model().setCover(false));
    ASSERT_TRUE(until([&] {
        c.ioctl(POS_PRN_RESUME_PRINTING);
        return model().lineCount(bussim::PrinterModel::CR) >= 1;
    }));
    EXPECT_EQ(model().lines(bussim::PrinterModel::CR).back(), "HELLO");
}

// The cover open holds A's line; A closes, B opens and acquires, the cover closes: only B's
// line prints, once (B resumes if it is told of an error, as an application would).
TEST_F(TrjBench, ALineHeldByTheCoverLeavesWithItsOwnerAndTheNextPrintsOnlyItsOwn) {
    comeOnline();
    TrjClient& a = client();
    run(20);
    ASSERT_TRUE(model().setCover(true));
    run(20);
    ASSERT_EQ(a.write("A\n"), 0);
    run(50);
    ASSERT_EQ(model().lineCount(bussim::PrinterModel::CR), 0u);
    clients_.clear(); // A released and closed
    TrjClient& b = client(false);
    ASSERT_EQ(b.ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    ASSERT_TRUE(model().setCover(false));
    ASSERT_TRUE(until([&] { return printer().Confirmed(kTrj) && !printer().ResumeRequested() && !printer().HoldsWork(); }, 600));
    ASSERT_EQ(b.write("B\n"), 0);
    ASSERT_TRUE(until([&] {
        if (printer().ResumeRequested()) b.ioctl(POS_PRN_RESUME_PRINTING);
        return model().lineCount(bussim::PrinterModel::CR) >= 1;
    }));
    run(100);
    EXPECT_EQ(model().lineCount(bussim::PrinterModel::CR), 1u);
    EXPECT_EQ(model().lines(bussim::PrinterModel::CR).back(), "B");
}

} // namespace
} // namespace prntbench
