// A bench for the keyboard plug-ins: a system object with an RS-485 slot 1 whose adapter
// captures every outgoing frame record, an extended POS keyboard at 1.11.1C in that slot,
// client processes that record the events posted to every process, and virtual keyboards
// whose events go to a recording queue of their own. Frames from the keyboard are fed by
// hand and the link's timers run on the settable clock. The driver nodes are the simulated
// keyboard node and a node that answers the slot request.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ADAPTER.h"
#include "COMD.h"
#include "CapturingAdapter.h"
#include "KBO50P.h"
#include "KBOBV.h"
#include "LinkRecords.h"
#include "ObjectSupport.h"
#include "Process.h"
#include "RecordingQueue.h"
#include "Slot.h"
#include "SlotInfoNode.h"
#include "TempRoot.h"
#include "kbdnode.h"
#include "nodeswitch.h"
#include "ovkhost.h"
#include "sydevnode.h"

namespace kbdbench {

using Bytes = std::vector<unsigned char>;
using Event = RecordedEvent;

constexpr unsigned char kSlot = 1;
constexpr unsigned char kPort = 0x11;
constexpr unsigned char kAddress = 0x1C;

// A device attached to the bench's adapter without the slot's start-up.
template <class D>
class OnBench : public D {
public:
    template <class... A>
    OnBench(ADAPTER* adapter, A&&... args) : D(DeviceID(kSlot, kPort, kAddress), std::forward<A>(args)...) {
        this->adapter_ = adapter;
    }
    ~OnBench() override {
        this->adapter_ = nullptr;
        this->openCount_ = 0;
    }
};

// Slot 1: finds the bench's keyboard; a device the identifier asks for is recorded and
// refused, so that the identifier stays in place.
class BenchSlot : public Slot {
public:
    BenchSlot(unsigned short adapterType, unsigned short slot) : Slot(adapterType, slot, "SioSlot") {}
    int Init() override { return 0; }
    int Term() override { return 0; }
    int FindAdapter(ADAPTER*& a) override {
        a = adapter;
        return a ? 0 : 327;
    }
    int FindPhysical(const DeviceID& id, PDEV*& d) override {
        d = keyboard && keyboard->GetDeviceID() == id ? keyboard : nullptr;
        return 0;
    }
    int MakePhysical(const DeviceID&, long type, PDEV*& device) override {
        requested.push_back(type);
        device = nullptr;
        return 321;
    }
    int WhoIsOnline(const MsgQueueInfo& q) override {
        if (keyboard) keyboard->TellQueueWhosOnline(&q);
        return 0;
    }
    ADAPTER* adapter = nullptr; // not owned
    PDEV* keyboard = nullptr;   // not owned
    std::vector<long> requested;
};

inline Slot* buildBenchSlot(unsigned short slotType, unsigned short adapterType, int slot) {
    if (slot != kSlot || slotType != SLOT_TYPE_RS485) return nullptr;
    return new BenchSlot(adapterType, static_cast<unsigned short>(slot));
}

// A virtual keyboard with its own recording queue.
template <class V>
class Client : public V {
public:
    Client(DeviceID id, int handle) : V(id, handle) { this->destination_ = queue.destination(); }
    ~Client() override {
        if (this->IsHolding()) ioctl(POS_SYS_RELEASE_DEVICE);
        if (this->OpenCount() > 0) {
            int remaining = 0;
            this->Close(remaining);
        }
    }
    // As the request road calls the device: under its lock.
    int ioctl(int request, std::vector<PosArg> args = {}) {
        this->Lock();
        int out = 0;
        const int rc = this->IOCtl(request, args.empty() ? nullptr : args.data(),
                                   static_cast<int>(args.size()), out);
        this->Unlock();
        return rc;
    }
    int open(std::vector<PosArg> args = {}) {
        return this->Open(reinterpret_cast<const unsigned char*>("kbd"),
                          reinterpret_cast<const unsigned char*>("PosKeyboard"),
                          args.empty() ? nullptr : args.data(), static_cast<int>(args.size()));
    }
    intptr_t get(const char* name) {
        PosArg a{name, -12345};
        this->Lock();
        int out = 0;
        const int rc = this->IOCtl(POS_SYS_GET_VALUES, &a, 1, out);
        this->Unlock();
        EXPECT_EQ(rc, 0) << name;
        return a.value;
    }
    void useDatabase(XrmDatabase db) { this->database_ = db; }
    RecordingQueue queue;
};

using Keyboard = OnBench<KBO50P>;
using Vkbd = Client<KBOBV>;

// Key events: p2 of a key without a character.
constexpr uint32_t key(uint32_t code) { return 0x40000u | code; }

class KbdBench : public ::testing::Test {
protected:
    void SetUp() override {
        ovkhost::useManualClock(true);
        ovkhost::setClock(500000);
        ovkhost::clearCaptures();
        bussim::KeyboardState node;
        node.ecLevel = 0x10; // the EC level a keyboard reads from the node when opened
        keyboardNode_.set(node);
        nodes_.add(&keyboardNode_);
        nodes_.add(&slotNode_);
        chSetDevNodeBackend(&nodes_);
        previousBuilder_ = SetSlotBuilder(buildBenchSlot);
        comd_ = std::make_unique<COMD>();
        ASSERT_EQ(pcomd, comd_.get());
        slot_ = static_cast<BenchSlot*>(comd_->GetSlot(kSlot));
        ASSERT_NE(slot_, nullptr);
        slot_->adapter = &adapter_;
        keyboard_ = std::make_unique<Keyboard>(&adapter_);
        slot_->keyboard = keyboard_.get();
        ASSERT_EQ(comd_->AddProcess(&proc_), 0);
    }
    void TearDown() override {
        client_.reset();
        comd_->RemoveProcess(proc_.GetProcessId());
        slot_->keyboard = nullptr;
        slot_->adapter = nullptr;
        keyboard_.reset();
        comd_.reset();
        SetSlotBuilder(previousBuilder_);
        chSetDevNodeBackend(nullptr);
        ovkhost::useManualClock(false);
    }

    KBO50P& kbd() { return *keyboard_; }

    // The device on the link: another model when a test put one there, else the keyboard.
    SIODEVICE& target() { return link_ ? *link_ : *keyboard_; }
    // Feeds one frame from the keyboard.
    void feed(unsigned char control, const Bytes& data = {}) {
        Bytes rec = linkrec::received(kPort, kAddress, control, data);
        target().ProcessInput(rec.data(), static_cast<int>(rec.size()));
    }
    // An information frame from the keyboard that acknowledges everything sent to it.
    void reply(const Bytes& payload) {
        const int ns = target().GetReceiveSequence();
        const int nr = target().GetSendSequence();
        feed(static_cast<unsigned char>((nr & 7) << 5 | (ns & 7) << 1), payload);
    }
    // A receive-ready frame that acknowledges everything sent to the keyboard.
    void acknowledge() { feed(static_cast<unsigned char>(0x01 | (target().GetSendSequence() & 7) << 5)); }
    void cycle(int ms = 0) {
        ovkhost::advanceClock(ms);
        target().ProcessOutput(chTime());
    }
    std::vector<linkrec::Sent> sent() {
        std::vector<linkrec::Sent> out;
        for (const Bytes& rec : adapter_.frames) {
            out.push_back(linkrec::decodeSent(rec));
            EXPECT_TRUE(out.back().wellFormed && out.back().checkOk);
        }
        adapter_.frames.clear();
        return out;
    }
    // The payloads of the information frames sent since the last call.
    std::vector<Bytes> commands() {
        std::vector<Bytes> out;
        for (const linkrec::Sent& f : sent())
            if (f.info()) out.push_back(f.data);
        return out;
    }
    // "Command completed" with the key-lock bits.
    void completed(unsigned char lock = 0x10) { reply({0x00, 0x20, lock, 0x00}); }

    // Link reset, information (type 2, EC level ec) and the download up to online. Leaves
    // the keyboard idle with nothing pending; the online event is taken.
    void bringUp(unsigned char ec = 0x10) {
        feed(0x0F); // ROL
        feed(0x63); // NSA
        ASSERT_EQ(commands(), (std::vector<Bytes>{{0x00, 0x00, 0x01}}));
        reply({0x00, 0x04, 0x10, 0x00, 0x10, 0x02, 0x00, 0x00, ec});
        downloadUntilOnline();
    }
    // Answers microcode blocks until the keyboard is online, then the lights and configure
    // commands; the blocks sent in `blocks`.
    void downloadUntilOnline(std::vector<Bytes>* blocks = nullptr) {
        for (int i = 0; i < 300 && !kbd().TestStatusBits(PDEV_ONLINE); ++i) {
            std::vector<Bytes> c = commands();
            ASSERT_EQ(c.size(), 1u);
            ASSERT_EQ(c[0][0], 0x22);
            if (blocks) blocks->push_back(c[0]);
            completed();
        }
        ASSERT_TRUE(kbd().TestStatusBits(PDEV_ONLINE));
        ASSERT_EQ(commands(), (std::vector<Bytes>{{0x1C, 0x00}}));
        completed();
        ASSERT_EQ(commands(), (std::vector<Bytes>{{0x21, 0x01, 0x00, 0x00}}));
        completed();
        ASSERT_TRUE(commands().empty());
        ASSERT_EQ(kbd().PendingMask(), 0u);
        processQueue_.take();
    }
    // An opened and acquired virtual keyboard; the commands of the acquire are answered.
    Vkbd& client(std::vector<PosArg> args = {}) {
        client_ = std::make_unique<Vkbd>(DeviceID(kSlot, kPort, kAddress), 1);
        EXPECT_EQ(client_->open(std::move(args)), 0);
        EXPECT_EQ(client_->ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
        cycle();
        for (int i = 0; i < 4; ++i) {
            if (commands().empty()) break;
            completed();
        }
        return *client_;
    }
    // A key message: fat-finger flags, key-lock bits 0x10, the codes.
    void keys(const Bytes& codes, unsigned char flags = 0) {
        Bytes m{flags, 0x00, 0x10, 0x00};
        m.insert(m.end(), codes.begin(), codes.end());
        reply(m);
        sent();
    }
    std::string dataPath() const { return comd_->GetDataPath(); }

    TempRoot root_;
    bussim::KeyboardNode keyboardNode_;
    SlotInfoNode slotNode_{5, kSlot};
    bussim::NodeSwitch nodes_;
    SlotBuilder previousBuilder_ = nullptr;
    std::unique_ptr<COMD> comd_;
    BenchSlot* slot_ = nullptr;
    CapturingAdapter adapter_{"KbdAdap"};
    std::unique_ptr<Keyboard> keyboard_;
    SIODEVICE* link_ = nullptr; // not owned
    RecordingQueue processQueue_;
    RecordingProcess proc_{101, &processQueue_};
    std::unique_ptr<Vkbd> client_;
};

} // namespace kbdbench
