// Plays the adapter manager's side of the driver node by hand: the requests of one slot
// with hand-built exchange buffers.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "busengine.h"
#include "scriptedmodel.h"
#include "ovkhost.h"
#include "TempRoot.h"

namespace bussimtest {

using namespace bussim;
using Buffer = std::array<uint8_t, exch::kBufferSize>;
using Bytes = std::vector<uint8_t>;

inline uint32_t word(const std::vector<uint8_t>& rec, size_t off) {
    return uint32_t(rec[off]) | uint32_t(rec[off + 1]) << 8 | uint32_t(rec[off + 2]) << 16 |
           uint32_t(rec[off + 3]) << 24;
}

inline void putWord(std::vector<uint8_t>& rec, size_t off, uint32_t v) {
    for (int i = 0; i < 4; ++i) rec[off + i] = static_cast<uint8_t>(v >> (8 * i));
}

// A poll list of the given entries, the rest zero.
inline std::array<PollEntry, exch::kPollEntries> pollListOf(std::vector<PollEntry> entries) {
    std::array<PollEntry, exch::kPollEntries> list{};
    for (size_t i = 0; i < entries.size() && i < list.size(); ++i) list[i] = entries[i];
    return list;
}

inline CoreOutput framesOut(std::vector<OutFrame> frames) {
    CoreOutput out;
    out.flags = exch::kFlagFrames;
    out.frames = std::move(frames);
    return out;
}

class CoreSide : public ::testing::Test {
protected:
    static constexpr int kSlot = 1;

    void SetUp() override {
        ovkhost::useManualClock(true);
        ovkhost::setClock(1000);
        ASSERT_EQ(engine->open("/dev/ovkdcs", fd), 0);
    }
    void TearDown() override { ovkhost::useManualClock(false); }

    // Runs one request on a record of the request's size; returns the record.
    std::vector<uint8_t> call(unsigned long request, int slot = kSlot, size_t size = 0) {
        std::vector<uint8_t> rec(size ? size : chDevRecordSize(request), 0);
        if (rec.size() >= 8) putWord(rec, 4, static_cast<uint32_t>(slot));
        engine->ioctl(fd, request, rec.data(), rec.size());
        return rec;
    }
    uint32_t result(unsigned long request, int slot = kSlot) { return word(call(request, slot), 0); }

    // 0x09: the result; on 0 the delivered buffer is decoded into `in`.
    uint32_t wait(NodeInput& in, int slot = kSlot) {
        std::vector<uint8_t> rec = call(req::kWaitBuffer, slot);
        uint32_t r = word(rec, 0);
        if (r == 0) {
            std::string why;
            EXPECT_TRUE(decodeNodeInput(rec.data() + 12, exch::kBufferSize, in, why)) << why;
            std::memcpy(last.data(), rec.data() + 12, last.size());
        }
        return r;
    }
    uint32_t wait() {
        NodeInput in;
        return wait(in);
    }

    // 0x0A with a raw buffer.
    uint32_t giveBackRaw(const Buffer& buf, int slot = kSlot) {
        std::vector<uint8_t> rec(chDevRecordSize(req::kReturnBuffer), 0);
        putWord(rec, 4, static_cast<uint32_t>(slot));
        std::memcpy(rec.data() + 8, buf.data(), buf.size());
        engine->ioctl(fd, req::kReturnBuffer, rec.data(), rec.size());
        return word(rec, 0);
    }
    // Gets the buffer to the core when the node has it, as the manager's RequestBuffer and
    // its next wait do (whatever input it carries is passed over).
    void obtain(int slot = kSlot) {
        if (engine->bufferWithCore(slot)) return;
        ASSERT_EQ(result(req::kRequestBuffer, slot), 0u);
        NodeInput in;
        ASSERT_EQ(wait(in, slot), 0u);
    }
    // 0x0A with `out`, after getting the buffer first when the node has it.
    uint32_t giveBack(const CoreOutput& out, int slot = kSlot) {
        obtain(slot);
        Buffer buf;
        EXPECT_TRUE(encodeCoreOutput(out, buf));
        return giveBackRaw(buf, slot);
    }

    // Hands `out` back and waits for the next buffer.
    uint32_t exchange(const CoreOutput& out, NodeInput& in) {
        EXPECT_EQ(giveBack(out), 0u);
        return wait(in);
    }

    // Start-up as the adapter manager runs it, ending with the node holding the buffer
    // and the poll list `entries` handed over.
    void bringUp(std::vector<PollEntry> entries) {
        ASSERT_EQ(result(req::kRequestBuffer), 0u);
        NodeInput in;
        ASSERT_EQ(wait(in), 0u);
        ASSERT_EQ(result(req::kResetAdapter), 0u);
        ASSERT_EQ(wait(in), 0u); // unasked after the reset
        ASSERT_EQ(in.events, 0u);
        CoreOutput init;
        init.flags = exch::kFlagInitialise;
        ASSERT_EQ(exchange(init, in), 0u);
        ASSERT_EQ(in.events, 0x80);
        CoreOutput reinit;
        reinit.flags = exch::kFlagReinitialise;
        ASSERT_EQ(exchange(reinit, in), 0u);
        ASSERT_EQ(in.events, 0x02);
        CoreOutput list;
        list.flags = exch::kFlagPollList | exch::kFlagPortConfig;
        list.portConfig = 0xA4;
        list.pollList = pollListOf(std::move(entries));
        ASSERT_EQ(giveBack(list), 0u);
    }

    TempRoot root;
    std::unique_ptr<BusEngine> engine = std::make_unique<BusEngine>();
    int fd = -1;
    Buffer last{};
};

} // namespace bussimtest
