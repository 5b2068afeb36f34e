// The driver node's requests and the exchange-buffer hand-over, driven as the core would.
#include "CoreSide.h"

namespace bussimtest {
namespace {

using NodeRequests = CoreSide;
using BufferHandOver = CoreSide;

TEST_F(NodeRequests, OpensOnlyTheBusNodeAndChecksDescriptors) {
    int other = -1;
    EXPECT_EQ(engine->open("/dev/ovkikbps", other), ENOENT);
    EXPECT_EQ(other, -1);
    EXPECT_EQ(engine->open(nullptr, other), EINVAL);
    int second = -1;
    ASSERT_EQ(engine->open("/some/root/dev/ovkdcs", second), 0);
    EXPECT_NE(second, fd);
    EXPECT_EQ(engine->close(second), 0);
    EXPECT_EQ(engine->close(second), EBADF);

    std::vector<uint8_t> rec(8, 0);
    engine->ioctl(second, req::kRequestBuffer, rec.data(), rec.size());
    EXPECT_EQ(word(rec, 0), res::kBadDescriptor);
}

TEST_F(NodeRequests, SlotAndAdapterTypesFollowTheDescription) {
    std::vector<uint8_t> rec = call(req::kSlotInfo);
    ASSERT_EQ(rec.size(), 220u);
    EXPECT_EQ(word(rec, 0), 0u);
    const TerminalDescription& d = engine->description();
    for (int i = 0; i < kSlotCount; ++i) {
        EXPECT_EQ(word(rec, 4 + 4 * i), d.slots[i].adapterType) << i;
        EXPECT_EQ(word(rec, 40 + 4 * i), d.slots[i].slotType) << i;
    }
    EXPECT_EQ(word(rec, 4 + 4), 5u);
    EXPECT_EQ(word(rec, 40 + 4), kSlotTypeRS485);
    for (size_t off = 76; off < rec.size(); ++off) EXPECT_EQ(rec[off], 0) << off;

    TerminalDescription other;
    other.slots[3].adapterType = 661;
    other.slots[3].slotType = kSlotTypeRS485;
    engine = std::make_unique<BusEngine>(other);
    ASSERT_EQ(engine->open("/dev/ovkdcs", fd), 0);
    rec = call(req::kSlotInfo);
    EXPECT_EQ(word(rec, 4 + 4 * 3), 661u);
    EXPECT_EQ(word(rec, 40 + 4 * 3), kSlotTypeRS485);
    EXPECT_EQ(word(rec, 4 + 4), 0u);
}

TEST_F(NodeRequests, InformationRequestsFillTheirRecords) {
    TerminalDescription d = TerminalDescription::standard();
    d.slots[1].adapterKind = 0x917D;
    d.slots[1].portCount = 2;
    d.slots[1].nvramFlag = 0x0101;
    d.slots[1].journalOffset = 0x11223344;
    d.slots[1].nvramWord24 = 0x55667788;
    d.slots[1].nvramSize = 4096;
    for (size_t i = 0; i < d.vitalProductData.size(); ++i) d.vitalProductData[i] = static_cast<uint8_t>(i + 1);
    engine = std::make_unique<BusEngine>(d);
    ASSERT_EQ(engine->open("/dev/ovkdcs", fd), 0);

    std::vector<uint8_t> rec = call(req::kDcsInfo);
    EXPECT_EQ(word(rec, 0), 0u);
    EXPECT_EQ(word(rec, 8), 0x917Du);
    EXPECT_EQ(word(rec, 12), 2u);

    rec = call(req::kNvramInfo);
    ASSERT_EQ(rec.size(), 56u);
    EXPECT_EQ(word(rec, 0), 0u);
    EXPECT_EQ(rec[8] | rec[9] << 8, 0x0101);
    EXPECT_EQ(word(rec, 20), 0x11223344u);
    EXPECT_EQ(word(rec, 24), 0x55667788u);
    EXPECT_EQ(word(rec, 48), 4096u);

    rec = call(req::kVitalProductData, 0);
    ASSERT_EQ(rec.size(), 28u);
    EXPECT_EQ(word(rec, 0), 0u);
    EXPECT_TRUE(std::equal(rec.begin() + 4, rec.end(), d.vitalProductData.begin()));

    EXPECT_EQ(result(req::kNvramRead), 0u);
    EXPECT_EQ(result(req::kNvramWrite), 0u);
}

TEST_F(NodeRequests, RefusesShortRecordsUnknownRequestsAndBadSlots) {
    // A record shorter than its request's size is refused without reading past it.
    std::vector<uint8_t> shortRec = call(req::kWaitBuffer, kSlot, 12);
    EXPECT_EQ(word(shortRec, 0), res::kInvalid);
    std::vector<uint8_t> tiny(2, 0);
    engine->ioctl(fd, req::kSlotInfo, tiny.data(), tiny.size());
    EXPECT_EQ(tiny[0], res::kInvalid);
    engine->ioctl(fd, req::kSlotInfo, nullptr, 220); // nothing to write into

    EXPECT_EQ(word(call(0xC0087799UL, kSlot, 8), 0), res::kUnknownRequest);
    EXPECT_EQ(word(call(0xC0107708UL, kSlot, 16), 0), res::kUnknownRequest); // nr 8, wrong size

    EXPECT_EQ(result(req::kRequestBuffer, 9), res::kBadSlot);
    EXPECT_EQ(result(req::kRequestBuffer, -1), res::kBadSlot);
    EXPECT_EQ(result(req::kRequestBuffer, 0), res::kNoAdapter); // the system board
    EXPECT_EQ(result(req::kResetAdapter, 2), res::kNoAdapter);  // empty slot
    EXPECT_EQ(result(req::kWaitBuffer, 2), res::kTimeout);
    std::vector<uint8_t> info = call(req::kDcsInfo, 4);
    EXPECT_EQ(word(info, 0), res::kNoAdapter);
    EXPECT_EQ(word(info, 8), 0u);
    EXPECT_EQ(word(info, 12), 0u);
}

TEST_F(NodeRequests, MissingAdapterAnswers254) {
    TerminalDescription d = TerminalDescription::standard();
    d.slots[1].adapterPresent = false;
    engine = std::make_unique<BusEngine>(d);
    ASSERT_EQ(engine->open("/dev/ovkdcs", fd), 0);
    EXPECT_EQ(result(req::kRequestBuffer), res::kNoAdapter);
    EXPECT_EQ(result(req::kResetAdapter), res::kNoAdapter);
    EXPECT_EQ(result(req::kWaitBuffer), res::kTimeout);
    EXPECT_EQ(result(req::kReturnBuffer), res::kNoAdapter);
    EXPECT_EQ(result(req::kDcsInfo), res::kNoAdapter);
    EXPECT_EQ(result(req::kNvramInfo), res::kNoAdapter);
}

TEST_F(BufferHandOver, DeliversOnlyWhenAskedOrWithInput) {
    // Nothing asked, nothing to report: the wait times out and the node keeps the buffer.
    EXPECT_EQ(wait(), res::kTimeout);
    EXPECT_FALSE(engine->bufferWithCore(kSlot));
    EXPECT_EQ(result(req::kRequestBuffer), 0u);
    NodeInput in;
    ASSERT_EQ(wait(in), 0u);
    EXPECT_TRUE(engine->bufferWithCore(kSlot));
    EXPECT_EQ(in.events, 0);
    EXPECT_EQ(in.portByte, 0x80); // no poll list yet: asks for the default one
    // While the core holds it there is nothing to deliver, and no bus tick.
    const uint64_t ticks = engine->ticks(kSlot);
    EXPECT_EQ(wait(), res::kTimeout);
    EXPECT_EQ(result(req::kRequestBuffer), 0u); // harmless while held
    EXPECT_EQ(engine->ticks(kSlot), ticks);

    EXPECT_EQ(giveBack(CoreOutput{}), 0u);
    EXPECT_FALSE(engine->bufferWithCore(kSlot));
    EXPECT_EQ(wait(), res::kTimeout);
    EXPECT_EQ(engine->ticks(kSlot), ticks + 1);
    // Handing back a buffer the core does not hold is refused.
    EXPECT_EQ(giveBackRaw(Buffer{}), res::kInvalid);
    EXPECT_FALSE(engine->returnedBuffers(kSlot).back().accepted);
}

TEST_F(BufferHandOver, ClosingTheHoldingDescriptorGivesTheBufferBack) {
    int info = -1;
    ASSERT_EQ(engine->open("/dev/ovkdcs", info), 0);
    obtain();
    EXPECT_EQ(engine->close(info), 0); // another descriptor: the core keeps the buffer
    EXPECT_TRUE(engine->bufferWithCore(kSlot));
    EXPECT_EQ(engine->close(fd), 0);
    EXPECT_FALSE(engine->bufferWithCore(kSlot));
    // A new manager gets it as usual.
    ASSERT_EQ(engine->open("/dev/ovkdcs", fd), 0);
    EXPECT_EQ(wait(), res::kTimeout);
    ASSERT_EQ(result(req::kRequestBuffer), 0u);
    EXPECT_EQ(wait(), 0u);
}

TEST_F(BufferHandOver, ResetDeliversTheBufferUnaskedAndTheInitialiseBringsTheResetEvent) {
    bringUp({{0x11, 0x20}});
    EXPECT_TRUE(engine->pollList(kSlot).empty()); // taken over at the next tick
    NodeInput in;
    ASSERT_EQ(wait(in), 0u); // a poll time-out for 0x20
    EXPECT_EQ(engine->pollList(kSlot).size(), exch::kPollEntries);
    EXPECT_EQ(in.errors.size(), 1u);
    EXPECT_TRUE(engine->bufferWithCore(kSlot));

    // The core resets the adapter while it holds the buffer, and asks for nothing.
    ASSERT_EQ(result(req::kResetAdapter), 0u);
    EXPECT_FALSE(engine->bufferWithCore(kSlot));
    ASSERT_EQ(wait(in), 0u);
    EXPECT_EQ(in.events, 0u); // nothing reported until the core initialises
    EXPECT_EQ(in.portByte, 0x80);
    EXPECT_TRUE(in.errors.empty()); // the reset dropped what waited
    EXPECT_TRUE(engine->pollList(kSlot).empty());

    // The initialise is answered with the reset event (bit 7, flag 0x80).
    CoreOutput init;
    init.flags = exch::kFlagInitialise;
    ASSERT_EQ(exchange(init, in), 0u);
    EXPECT_EQ(in.events, 1 << exch::kEventReset);
    EXPECT_EQ(in.flags, exch::kFlagInitialise);

    // The re-initialise is answered with the status event (bit 1, flag 0x02).
    CoreOutput reinit;
    reinit.flags = exch::kFlagReinitialise;
    ASSERT_EQ(exchange(reinit, in), 0u);
    EXPECT_EQ(in.events, 1 << exch::kEventStatus);
    EXPECT_EQ(in.flags, exch::kFlagReinitialise);
    EXPECT_EQ(in.status, 0);
    // Then quiet: no poll list, nothing to report.
    ASSERT_EQ(giveBack(CoreOutput{}), 0u);
    EXPECT_EQ(wait(), res::kTimeout);
}

TEST_F(BufferHandOver, InitialiseFlagIsAnsweredWithTheResetEvent) {
    bringUp({{0x11, 0x20}});
    CoreOutput init;
    init.flags = exch::kFlagInitialise;
    NodeInput in;
    ASSERT_EQ(exchange(init, in), 0u);
    EXPECT_EQ(in.events, 1 << exch::kEventReset);
    EXPECT_TRUE(in.errors.empty());
    EXPECT_TRUE(engine->pollList(kSlot).empty());
}

TEST_F(BufferHandOver, ReturnedBuffersAreLoggedDecoded) {
    bringUp({{0x11, 0x20}, {0x22, 0x21}});
    std::vector<ReturnedBuffer> log = engine->returnedBuffers(kSlot);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_TRUE(log[0].accepted);
    EXPECT_EQ(log[0].output.flags, exch::kFlagInitialise);
    EXPECT_EQ(log[1].output.flags, exch::kFlagReinitialise);
    EXPECT_EQ(log[2].output.flags, exch::kFlagPollList | exch::kFlagPortConfig);
    EXPECT_EQ(log[2].output.portConfig, 0xA4);
    EXPECT_EQ(log[2].output.pollList[1], (PollEntry{0x22, 0x21}));
    EXPECT_EQ(engine->portConfig(kSlot), 0); // applied at the next tick
    NodeInput in;
    ASSERT_EQ(wait(in), 0u);
    EXPECT_EQ(engine->portConfig(kSlot), 0xA4);
    EXPECT_EQ(engine->deliveredBuffers(kSlot).back().input.errors, in.errors);
    engine->clearLogs();
    EXPECT_TRUE(engine->returnedBuffers().empty());
    EXPECT_TRUE(engine->deliveredBuffers().empty());
}

TEST_F(BufferHandOver, InjectedEventsAndErrorsReachTheCore) {
    bringUp({});
    ErrorRecord overrun{0x20, 0x11, 0x35, {0xAA}};
    ASSERT_TRUE(engine->injectError(kSlot, overrun));
    ASSERT_TRUE(engine->injectEvent(kSlot, 6));
    EXPECT_FALSE(engine->injectEvent(kSlot, 3));
    EXPECT_FALSE(engine->injectEvent(kSlot, 4));
    EXPECT_FALSE(engine->injectEvent(kSlot, 8));
    EXPECT_FALSE(engine->injectEvent(0, 6));
    EXPECT_FALSE(engine->injectError(kSlot, ErrorRecord{0x20, 0x11, 0x35, Bytes(27, 0)}));
    NodeInput in;
    ASSERT_EQ(wait(in), 0u); // unasked: there is input
    EXPECT_EQ(in.events, (1 << 6) | (1 << exch::kEventErrors));
    ASSERT_EQ(in.errors.size(), 1u);
    EXPECT_EQ(in.errors[0], overrun);
    // The raw layout: length 5 at 271, record 04 20 11 35 AA at 273.
    EXPECT_EQ(last[271], 5);
    EXPECT_EQ(last[272], 0);
    EXPECT_EQ(Bytes(last.begin() + 273, last.begin() + 278), (Bytes{0x04, 0x20, 0x11, 0x35, 0xAA}));

    ASSERT_TRUE(engine->injectEvent(kSlot, exch::kEventStatus, 0x5A));
    ASSERT_EQ(exchange(CoreOutput{}, in), 0u);
    EXPECT_EQ(in.events, 1 << exch::kEventStatus);
    EXPECT_EQ(in.status, 0x5A);
    EXPECT_EQ(last[exch::kStatusByte], 0x5A);
}

} // namespace
} // namespace bussimtest
