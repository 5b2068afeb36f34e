// Arbitrary input to the readers' decoders. The first byte picks the target:
//   0-6: messages to an owned, unlocked reader of each model (one-track, two-track,
//        three-track, three-track with an encoder, JIS, and the two keyboard-node readers);
//        the rest is a run of messages, each a length byte and that many bytes. After each
//        message the owner reads what came and unlocks again.
//   7: the rest is a run of read records of the keyboard node (each a length byte and that
//      many bytes of the 1008-byte record: status, length, data) that both node readers
//      read in a service turn.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "../FuzzBus.h"
#include "../FuzzClock.h"
#include "ADAPTER.h"
#include "COMD.h"
#include "EventQueue.h"
#include "MS1TKP.h"
#include "MS2TKP.h"
#include "MS2TKPSP.h"
#include "MS3TKP.h"
#include "MS3TKPSP.h"
#include "MSEV.h"
#include "MSJTKP.h"
#include "SlotInfoNode.h"
#include "ovkhost.h"
#include "sydevnode.h"

namespace {

using fuzzbus::kSlot;
const DeviceID kId(kSlot, 0x11, 0x48);

using fuzzbus::NullAdapter;

// Events of the owner go to a queue that keeps nothing.
class NullQueue : public EventQueue {
public:
    NullQueue() : EventQueue("POSQ") {}
    int Read(void*, unsigned int, int& count) override {
        count = 0;
        return 0;
    }
    int SetMessageLimit(unsigned short) override { return 0; }
    int SetReadTimeout(unsigned long) override { return 0; }
    int Write(unsigned char*, int, int& count) override {
        count = 16;
        return 0;
    }
};

// The keyboard node: the information and configuration requests succeed; a read answers
// the record that the input gave, as it came.
class FuzzNode : public DevNodeBackend {
public:
    int open(const char*, int& fd) override {
        fd = 7;
        return 0;
    }
    void ioctl(int, unsigned long request, void* record, size_t size) override {
        auto* rec = static_cast<uint8_t*>(record);
        std::memset(rec, 0, size);
        if (request != MSPSP::kReadReader || next.empty()) return;
        std::memcpy(rec, next.data(), next.size() < size ? next.size() : size);
    }
    int close(int) override { return 0; }
    std::vector<uint8_t> next;
};

template <class D>
class Attached : public D {
public:
    explicit Attached(ADAPTER* adapter) : D(kId) { this->adapter_ = adapter; }
    ~Attached() override {
        this->owner_ = nullptr;
        this->adapter_ = nullptr;
        this->openCount_ = 0;
    }
};

// The owning reader: holds the device and takes every swipe.
class Owner : public MSEV {
public:
    Owner(NullQueue& q, PDEV* device) : MSEV(kId, 1) {
        destination_ = MsgQueueInfo{1, 0, reinterpret_cast<intptr_t>(static_cast<EventQueue*>(&q))};
        pdev_ = device;
        SetStatusBits(VDEV_HOLDING);
    }
    ~Owner() override {
        ClearStatusBits(VDEV_HOLDING);
        pdev_ = nullptr;
    }
    void takeAndUnlock() {
        unsigned char buffer[4 * (8 + MSR_TRACK_DATA)];
        int count = 0;
        Read(buffer, sizeof buffer, count);
        UnlockPhysical();
    }
};

NullAdapter* gAdapter = nullptr;
NullQueue* gQueue = nullptr;
FuzzNode* gFuzzNode = nullptr;

template <class Device>
void ownedReader(const uint8_t* data, size_t size, bool encoder = false) {
    Attached<Device> reader(gAdapter);
    Owner owner(*gQueue, &reader);
    reader.SetStatusBits(PDEV_PRESENT);
    reader.NowConfirmed();
    reader.Acquire(&owner);
    if (encoder) {
        const unsigned char information[] = {0x01, 0x00, 0x00, 0x05, 0x0F, 0x00, 0x00};
        reader.NewMsgRcvd(information, sizeof information);
    }
    owner.UnlockPhysical();
    size_t at = 0;
    while (at < size) {
        const size_t n = data[at++];
        const size_t take = n < size - at ? n : size - at;
        // Each message in a buffer of its own size, so that a read past it is seen.
        std::unique_ptr<unsigned char[]> msg(new unsigned char[take ? take : 1]);
        if (take) std::memcpy(msg.get(), data + at, take);
        reader.ClearStatusBits(SIODEV_AWAITING_REPLY);
        reader.NewMsgRcvd(msg.get(), static_cast<int>(take));
        if (encoder && (at & 1)) {
            int written = 0;
            owner.Write(msg.get(), static_cast<unsigned>(take), written);
        }
        owner.takeAndUnlock();
        at += take;
    }
    reader.Release(&owner);
}

template <class Device>
void nodeRecords(const uint8_t* data, size_t size) {
    Attached<Device> reader(gAdapter);
    Owner owner(*gQueue, &reader);
    if (reader.Open(nullptr) != 0) return;
    reader.Acquire(&owner);
    owner.UnlockPhysical();
    size_t at = 0;
    while (at < size) {
        const size_t n = data[at++];
        const size_t take = n < size - at ? n : size - at;
        gFuzzNode->next.assign(data + at, data + at + take);
        reader.ProcessOutput(0);
        owner.takeAndUnlock();
        at += take;
    }
    reader.Release(&owner);
    int remaining = 0;
    reader.Close(nullptr, remaining);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzroot::usePrivateRoot();
    fuzzclock::useManual();
    static SlotInfoNode slotNode(5, kSlot);
    chSetDevNodeBackend(&slotNode);
    new COMD(); // the system object lives for the run (pcomd)
    gFuzzNode = new FuzzNode();
    chSetDevNodeBackend(gFuzzNode);
    gAdapter = new NullAdapter();
    gQueue = new NullQueue();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzclock::restart();
    if (size < 1) return 0;
    const uint8_t target = data[0] % 8;
    ++data;
    --size;
    switch (target) {
    case 0: ownedReader<MS1TKP>(data, size); break;
    case 1: ownedReader<MS2TKP>(data, size); break;
    case 2: ownedReader<MS3TKP>(data, size); break;
    case 3: ownedReader<MS3TKP>(data, size, true); break;
    case 4: ownedReader<MSJTKP>(data, size); break;
    case 5: ownedReader<MS2TKPSP>(data, size); break;
    case 6: ownedReader<MS3TKPSP>(data, size); break;
    default:
        nodeRecords<MS3TKPSP>(data, size);
        nodeRecords<MS2TKPSP>(data, size);
        break;
    }
    return 0;
}
