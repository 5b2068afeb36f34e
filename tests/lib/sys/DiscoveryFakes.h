// Stand-ins for the discovery tests that drive the sniffer and the oracles directly: a node
// that reports one RS-485 slot, an adapter that records the frames the devices send, and
// helpers for received frame records and the device table.
#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "CoreFakes.h"
#include "TempRoot.h"
#include "ovkhost.h"

#include "ADAPTER.h"
#include "COMD.h"
#include "ObjectSupport.h"
#include "PDEV.h"
#include "Slot.h"
#include "Sniffer.h"
#include "sycrc.h"
#include "sydevnode.h"
#include "sytables.h"

namespace discovery {

// Reports slot 1 as RS-485 with adapter type 5 (the adapter table's row 3800); every other
// request succeeds and leaves the record as it is.
struct FakeNode : DevNodeBackend {
    uint32_t slotTypes[9] = {0, 2};
    uint32_t adapterTypes[9] = {0, 5};

    int open(const char* path, int& fd) override {
        if (std::strcmp(path, "/dev/ovkdcs") != 0) return ENOENT;
        fd = 7;
        return 0;
    }
    void ioctl(int, unsigned long request, void* record, size_t) override {
        auto* r = static_cast<uint8_t*>(record);
        if (request == DCS_GET_SLOT_INFO) {
            std::memcpy(r + 4, adapterTypes, sizeof adapterTypes);
            std::memcpy(r + 40, slotTypes, sizeof slotTypes);
        }
        std::memset(r, 0, 4);
    }
    int close(int) override { return 0; }
};

// A frame as the adapter received it from a device.
struct SentFrame {
    uint8_t port, address, control;
    std::vector<uint8_t> data;
};

// An adapter with two ports that records the frames it is given and runs nothing itself.
class RecordingAdapter : public ADAPTER {
public:
    RecordingAdapter(int slot, unsigned short type) : ADAPTER(slot, type, "RECADAPT") {
        SetPortCount(2);
        SetValidPort(0, 0x11);
        SetValidPort(1, 0x22);
    }
    int CloseDD() override { return 0; }
    int OpenDD() override { return 0; }
    int Run(int, int) override { return 0; }
    int RequestBuffer() override { return 0; }
    int SendFrame(const unsigned char* record, int length) override {
        if (length < 9) return 321;
        SentFrame f{record[2], record[5], record[6], {}};
        f.data.assign(record + 7, record + length - 2);
        std::lock_guard<std::mutex> g(mutex_);
        frames_.push_back(std::move(f));
        return 0;
    }
    int Suspend() override { return 0; }
    int Resume() override { return 0; }

    std::vector<SentFrame> TakeFrames() {
        std::lock_guard<std::mutex> g(mutex_);
        std::vector<SentFrame> out;
        out.swap(frames_);
        return out;
    }
    void ClearPollListStale() { pollListStale_ = 0; }
    int DeleteListCount() { return deleteList_.count; }

private:
    std::mutex mutex_;
    std::vector<SentFrame> frames_;
};

inline ADAPTER* _CreateRecordingAdapter(int slot, unsigned short type) {
    return new RecordingAdapter(slot, type);
}

// A received frame record as the adapter manager hands it to a device: 16-bit length L,
// port id, bus address, control, data, two check bytes (L + 3 bytes).
inline std::vector<uint8_t> inRecord(uint8_t port, uint8_t address, uint8_t control,
                                     const std::vector<uint8_t>& data = {}) {
    const size_t length = data.size() + 4;
    std::vector<uint8_t> r(length + 3);
    r[0] = static_cast<uint8_t>(length);
    r[1] = static_cast<uint8_t>(length >> 8);
    r[2] = port;
    r[3] = address;
    r[4] = control;
    for (size_t i = 0; i < data.size(); ++i) r[5 + i] = data[i];
    unsigned short crc = CalculateCRC(r.data() + 3, static_cast<int>(data.size()) + 2);
    r[5 + data.size()] = static_cast<uint8_t>(crc);
    r[6 + data.size()] = static_cast<uint8_t>(crc >> 8);
    return r;
}

// Control bytes the device side sends.
constexpr uint8_t kROL = 0x0F;
constexpr uint8_t kNSA = 0x63;
inline uint8_t infoControl(int ns, int nr) { return static_cast<uint8_t>((nr & 7) << 5 | (ns & 7) << 1); }

// Marks the adapter rows and the device-table row (address, type) loaded, as if their
// libraries had been loaded.
inline void markAdapterRowsLoaded() {
    for (AdapterInfoRow& row : adapterInfo.rows) row.loaded = 1;
}
inline void markRowLoaded(uint8_t address, long type) {
    if (PhysicalInfoRow* row = FindPhysicalInfo(address, type)) row->loaded = 1;
}

// The slot's sniffer (the device of type 0xFF at the end of its list).
inline Sniffer* snifferOf(Slot* slot) {
    Sniffer* found = nullptr;
    for (PDEV* d : slot->ListedDevices())
        if (d->GetDeviceType() == PDEV_TYPE_SNIFFER) found = dynamic_cast<Sniffer*>(d);
    return found;
}

// The device of the slot at an id (none: null).
inline PDEV* deviceAt(Slot* slot, const DeviceID& id) {
    for (PDEV* d : slot->ListedDevices())
        if (d->GetDeviceID() == id) return d;
    return nullptr;
}

// The system object on a FakeNode with its RS-485 slot 1, a RecordingAdapter (registered by
// the test program under 3800) and the slot's sniffer; a process that records its events;
// the settable clock. The sniffer is driven by hand, one adapter cycle per Step().
class SnifferFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ovkhost::useManualClock(true);
        ovkhost::setClock(now_);
        ovkhost::clearCaptures();
        ResetLoadedFlagsForTest();
        markAdapterRowsLoaded();
        chSetDevNodeBackend(&node_);
        comd_ = std::make_unique<COMD>();
        ASSERT_EQ(comd_->AddProcess(&process_), 0);
        slot_ = pcomd->GetSlot(1);
        ASSERT_NE(slot_, nullptr);
        adapter_ = dynamic_cast<RecordingAdapter*>(slot_->GetAdapter());
        ASSERT_NE(adapter_, nullptr);
        sniffer_ = snifferOf(slot_);
        ASSERT_NE(sniffer_, nullptr);
    }
    void TearDown() override {
        if (comd_) comd_->RemoveProcess(process_.GetProcessId());
        comd_.reset();
        chSetDevNodeBackend(nullptr);
        ovkhost::useManualClock(false);
        ResetLoadedFlagsForTest();
    }

    // One adapter cycle, 10 ms after the last.
    void Step() {
        now_ += 10;
        ovkhost::setClock(now_);
        sniffer_->ProcessOutput(now_);
    }
    // One cycle of a bus where nothing answers: the borrowed address times out.
    void EmptyCycle() {
        Step();
        if (sniffer_->GetWalkState() == Sniffer::WALKING && sniffer_->GetDeviceID().device != 0) {
            const unsigned char timeout = 0x13;
            sniffer_->ProcessError(&timeout, 1);
        }
    }
    // Empty cycles until the sniffer has borrowed (port, address); false when it does not
    // within a few passes.
    bool WalkTo(uint8_t port, uint8_t address) {
        for (int i = 0; i < 2000; ++i) {
            const DeviceID id = sniffer_->GetDeviceID();
            if (id.port == port && id.device == address && sniffer_->GetWalkState() == Sniffer::WALKING)
                return true;
            EmptyCycle();
        }
        return false;
    }
    // The (port, address) pairs the sniffer borrows over the given cycles, in order.
    std::vector<std::pair<uint8_t, uint8_t>> Visits(int maxCycles) {
        std::vector<std::pair<uint8_t, uint8_t>> out;
        DeviceID last;
        for (int i = 0; i < maxCycles && !sniffer_->WalkStopped(); ++i) {
            EmptyCycle();
            const DeviceID id = sniffer_->GetDeviceID();
            if (id.device != 0 && id != last) out.emplace_back(id.port, id.device);
            last = id;
        }
        return out;
    }
    uint8_t PollByte() {
        unsigned char b = 0;
        sniffer_->TellPhys(nullptr, SNIFF_POLL_BYTE, &b, 1);
        return b;
    }
    int Notice(int code, uint8_t port, uint8_t address) {
        unsigned char id[3] = {1, port, address};
        return sniffer_->TellPhys(nullptr, code, id, 3);
    }

    int32_t now_ = 10000;
    TempRoot root_;
    FakeNode node_;
    TestQueue queue_;
    TestProcess process_{4711, &queue_};
    std::unique_ptr<COMD> comd_;
    Slot* slot_ = nullptr;
    RecordingAdapter* adapter_ = nullptr;
    Sniffer* sniffer_ = nullptr;
};

} // namespace discovery
