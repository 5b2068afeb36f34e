// Arbitrary input to the keyboard's decoders. The first byte picks the target:
//   0: messages to an owned extended POS keyboard with double keys defined (the rest is a
//      run of messages, each a length byte and that many bytes);
//   1: messages to the keyboard identifier (same framing);
//   2: the rest is a microcode file, downloaded block by block;
//   3-11: messages to an owned keyboard of each other model (same framing).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "../FuzzBus.h"
#include "../FuzzClock.h"
#include "ADAPTER.h"
#include "COMD.h"
#include "EventQueue.h"
#include "KB50P.h"
#include "KBANPP.h"
#include "KBO117P.h"
#include "KBO133P.h"
#include "KBO32P.h"
#include "KBO50P.h"
#include "KBOJUCCP.h"
#include "KBOPLUModels.h"
#include "KBTEXTP.h"
#include "KBOBV.h"
#include "Oracle_1C_1D.h"
#include "Slot.h"
#include "SlotInfoNode.h"
#include "ovkhost.h"
#include "sydevnode.h"

namespace {

using fuzzbus::kSlot;
const DeviceID kId(kSlot, 0x11, 0x1C);

class NullAdapter : public fuzzbus::NullAdapter {
public:
    // An identifier that stepped aside is deleted by its owner here, not by the adapter.
    int PdevReadyToBeDeleted(const PDEV*) override { return 0; }
};

// A slot that refuses every device the identifier asks for.
class FuzzSlot : public Slot {
public:
    FuzzSlot(unsigned short adapterType, unsigned short slot) : Slot(adapterType, slot, "SioSlot") {}
    int Init() override { return 0; }
    int Term() override { return 0; }
    int MakePhysical(const DeviceID&, long, PDEV*& device) override {
        device = nullptr;
        return 321;
    }
};

Slot* buildSlot(unsigned short slotType, unsigned short adapterType, int slot) {
    if (slot != kSlot || slotType != SLOT_TYPE_RS485) return nullptr;
    return new FuzzSlot(adapterType, static_cast<unsigned short>(slot));
}

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

template <class D>
class Attached : public D {
public:
    template <class... A>
    explicit Attached(ADAPTER* adapter, A&&... args) : D(kId, std::forward<A>(args)...) {
        this->adapter_ = adapter;
    }
    ~Attached() override {
        this->owner_ = nullptr;
        this->adapter_ = nullptr;
        this->openCount_ = 0;
    }
};

class Owner : public KBOBV {
public:
    explicit Owner(NullQueue& q) : KBOBV(kId, 1) {
        destination_ = MsgQueueInfo{1, 0, reinterpret_cast<intptr_t>(static_cast<EventQueue*>(&q))};
    }
};

SlotInfoNode* gNode = nullptr;
NullAdapter* gAdapter = nullptr;
NullQueue* gQueue = nullptr;

template <class Device>
void feedMessages(Device& device, const uint8_t* data, size_t size) {
    size_t at = 0;
    while (at < size) {
        const size_t n = data[at++];
        const size_t take = n < size - at ? n : size - at;
        // Each message in a buffer of its own size, so that a read past it is seen.
        std::unique_ptr<unsigned char[]> msg(new unsigned char[take ? take : 1]);
        if (take) std::memcpy(msg.get(), data + at, take);
        device.ClearStatusBits(SIODEV_AWAITING_REPLY);
        device.NewMsgRcvd(msg.get(), static_cast<int>(take));
        at += take;
    }
}

// An owned keyboard of model K with double keys defined, fed the messages.
template <class K>
void ownedKeyboard(const uint8_t* data, size_t size) {
    Attached<K> keyboard(gAdapter);
    Owner owner(*gQueue);
    keyboard.Acquire(&owner);
    KbdSettingsRecord settings{};
    settings.numpadZero = 2;
    settings.numpadLocation = 1;
    settings.typematicOn = 1;
    settings.doubleKeys[0][0] = 12;
    settings.doubleKeys[0][1] = 13;
    settings.doubleKeys[1][0] = 30;
    settings.doubleKeys[1][1] = 33;
    keyboard.TellPhys(&owner, KBD_REQ_SETTINGS, reinterpret_cast<unsigned char*>(&settings),
                      sizeof settings);
    feedMessages(keyboard, data, size);
    keyboard.Release(&owner);
    fProcessingFatFinger = 0;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzroot::usePrivateRoot();
    fuzzclock::useManual();
    gNode = new SlotInfoNode(5, kSlot);
    chSetDevNodeBackend(gNode);
    SetSlotBuilder(buildSlot);
    new COMD(); // the system object lives for the run (pcomd)
    // The folder the keyboard reads its microcode file from.
    std::error_code ec;
    std::filesystem::create_directories(ovkPath(pcomd->GetDataPath()), ec);
    if (ec) std::abort();
    gAdapter = new NullAdapter();
    gQueue = new NullQueue();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzclock::restart();
    if (size < 1) return 0;
    const uint8_t target = data[0] % 12;
    ++data;
    --size;
    switch (target) {
    case 0: ownedKeyboard<KBO50P>(data, size); break;
    case 1: {
        Attached<Oracle_1C_1D> identifier(gAdapter);
        feedMessages(identifier, data, size);
        break;
    }
    case 2: {
        const std::string path = ovkPath(std::string(pcomd->GetDataPath()) + "/ovk016.kbd");
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        file.close();
        if (!file) std::abort(); // the harness itself is broken
        Attached<KBO50P> keyboard(gAdapter);
        keyboard.SetECLevel(0x10);
        for (int i = 0; i < 300 && !keyboard.MicrocodeDone(); ++i) {
            keyboard.ClearStatusBits(SIODEV_AWAITING_REPLY);
            keyboard.UpdateMicrocode();
            keyboard.SendAnyPendingMessage();
        }
        break;
    }
    case 3: ownedKeyboard<KB50P>(data, size); break;
    case 4: ownedKeyboard<KBTEXTP>(data, size); break;
    case 5: ownedKeyboard<KBOJUCCP>(data, size); break;
    case 6: ownedKeyboard<KBO133P>(data, size); break;
    case 7: ownedKeyboard<KBOPLUP>(data, size); break;
    case 8: ownedKeyboard<KB6629P>(data, size); break;
    case 10: ownedKeyboard<KBANPP>(data, size); break;
    case 11: ownedKeyboard<KBO121P>(data, size); break;
    default: ownedKeyboard<KBO32P>(data, size); break;
    }
    return 0;
}
