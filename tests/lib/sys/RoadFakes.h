// Test plug-in classes and a small terminal for the request road: an RS-485 slot 1 with an
// adapter serving ports 0x11 and 0x22, a system-board slot 0 without adapter, physical
// printers and a keyboard, a virtual printer class registered like a plug-in's, and the
// client end of a connection (a socket pair) that reads the 20-byte event messages.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ADAPTER.h"
#include "COMD.h"
#include "ObjectSupport.h"
#include "PDEV.h"
#include "POSQ.h"
#include "Process.h"
#include "ServiceConnection.h"
#include "SlotInfoNode.h"
#include "StubSlot.h"
#include "TempRoot.h"
#include "VDEV.h"
#include "ovkhost.h"
#include "sydevnode.h"

namespace road {

constexpr unsigned short kPrinterPType = 20200;
constexpr unsigned short kPrinterVType = 20300;
constexpr unsigned short kKeyboardPType = 20400;

// ---------------------------------------------------------------------------------------
// Physical devices.

class TestPrinterP : public PDEV {
public:
    explicit TestPrinterP(const DeviceID& id, const char* name = "TPRNTP") : PDEV(id, name) {
        deviceType_ = 3;
        deviceSubtype_ = 0x12;
        vdevType_ = kPrinterVType;
    }
    ~TestPrinterP() override {
        // Tests may end with a device still opened by a virtual device they deleted.
        openCount_ = 0;
    }
    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override {
        int32_t value = 0;
        if (data && length >= 4) std::memcpy(&value, data, 4);
        else if (data && length >= 1) value = data[0];
        requests.push_back({request, value});
        return PDEV::TellPhys(sender, request, data, length);
    }
    unsigned char GetAddressWaitTime() override { return addressWait; }
    void SetAddressWaitTime(unsigned char v) override { addressWait = v; }
    unsigned char GetByteWaitTime() override { return byteWait; }
    void SetByteWaitTime(unsigned char v) override { byteWait = v; }
    unsigned char GetECLevel() override { return ecLevel; }
    void SetECLevel(unsigned char v) override { ecLevel = v; }
    long GetAckWaitTime() override { return ackWait; }
    void SetAckWaitTime(long v) override { ackWait = v; }

    // Runs once, just after the device lock is next let go (forces an interleaving).
    int Unlock() override {
        int rc = PDEV::Unlock();
        if (afterUnlock) {
            auto run = std::move(afterUnlock);
            afterUnlock = nullptr;
            run();
        }
        return rc;
    }
    std::function<void()> afterUnlock;

    unsigned long LockOwner() const { return lock_.Owner(); }
    bool LockFree() const { return lock_.Owner() == 0; }
    void Online() { NowConfirmed(); }

    struct Request {
        int code;
        int32_t value;
    };
    std::vector<Request> requests;
    bool Asked(int code) const {
        for (const Request& r : requests)
            if (r.code == code) return true;
        return false;
    }
    unsigned char addressWait = 0x1E, byteWait = 0, ecLevel = 0;
    long ackWait = 0;
};

class TestKeyboardP : public PDEV {
public:
    explicit TestKeyboardP(const DeviceID& id) : PDEV(id, "TKBDP") {
        deviceType_ = 9;
        vdevType_ = kPrinterVType;
    }
    void ReportType(unsigned char type) { deviceType_ = type; }
};

// ---------------------------------------------------------------------------------------
// The virtual printer: reads "ABC", counts what is written, and on request acquires its
// physical device while it opens (so the physical device's lock stays held past the call).

class TestPrinterV : public VDEV {
public:
    TestPrinterV(const DeviceID& id, int handle) : VDEV(id, handle, "TPRNTV") {}

    int Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
             int count) override {
        int rc = VDEV::Open(resourceName, className, args, count);
        for (int i = 0; rc == 0 && args && i < count; ++i)
            if (args[i].name && std::strcmp(args[i].name, "acquireAtOpen") == 0) rc = AcquirePhysical();
        return rc;
    }
    int Read(void* buffer, unsigned int length, int& count) override {
        static const char kData[] = "ABC";
        count = static_cast<int>(length < 3 ? length : 3);
        std::memcpy(buffer, kData, static_cast<size_t>(count));
        return 0;
    }
    int Write(const void* buffer, unsigned int length, int& count) override {
        written.append(static_cast<const char*>(buffer), length);
        count = static_cast<int>(length);
        return 0;
    }
    std::string written;
};

inline VDEV* _CreateTestPrinterV(const DeviceID& id, int handle) { return new TestPrinterV(id, handle); }
inline PDEV* _CreateTestPrinterP(const DeviceID& id) { return new TestPrinterP(id); }
inline PDEV* _CreateTestKeyboardP(const DeviceID& id) { return new TestKeyboardP(id); }

namespace {
const unsigned char kPrinterAddresses[] = {0x34, 0x35};
const unsigned char kKeyboardAddresses[] = {0x10};
ObjectSupport objectTestPrinterV(kPrinterVType, _CreateTestPrinterV);
ObjectSupport objectTestPrinterP(kPrinterPType, _CreateTestPrinterP, kPrinterAddresses, 2);
ObjectSupport objectTestKeyboardP(kKeyboardPType, _CreateTestKeyboardP, kKeyboardAddresses, 1);
} // namespace

// ---------------------------------------------------------------------------------------
// Slot and adapter.

class RoadAdapter : public ADAPTER {
public:
    RoadAdapter(int slot, unsigned short adapterType)
        : ADAPTER(slot, adapterType, reinterpret_cast<const unsigned char*>("RoadAdap")) {}
    int ValidatePort(int port) override { return port == 0x11 || port == 0x22 ? 0 : 328; }
    int CloseDD() override { return 0; }
    int OpenDD() override { return 0; }
    int Run(int, int) override { return 0; }
    int RequestBuffer() override { return 0; }
    int SendFrame(const unsigned char*, int) override { return 0; }
    int Suspend() override { return 0; }
    int Resume() override { return 0; }
};

class RoadSlot : public StubSlot {
public:
    RoadSlot(unsigned short adapterType, unsigned short slot, bool withAdapter)
        : StubSlot(adapterType, slot, "SioSlot"), withAdapter_(withAdapter) {}
    ~RoadSlot() override { delete adapter_; }

    std::vector<PDEV*> devices; // not owned
    int findPhysicalCalls = 0;

    int Init() override {
        if (withAdapter_) adapter_ = new RoadAdapter(slotNumber_, adapterType_);
        return 0;
    }
    int FindAdapter(ADAPTER*& a) override {
        a = adapter_;
        return a ? 0 : 327;
    }
    int FindPhysical(const DeviceID& id, PDEV*& d) override {
        ++findPhysicalCalls;
        d = nullptr;
        if (id.slot != slotNumber_) return 326;
        DeviceID mapped = id;
        MapApplAddrToSIO(mapped);
        for (PDEV* p : devices)
            if (p->GetDeviceID() == mapped) d = p;
        return 0;
    }
    int MapApplAddrToSIO(DeviceID& id) override { return Slot::MapApplAddrToSIO(id); }
    int WhoIsOnline(const MsgQueueInfo& q) override {
        for (PDEV* p : devices) p->TellQueueWhosOnline(&q);
        return 0;
    }

private:
    bool withAdapter_;
    ADAPTER* adapter_ = nullptr;
};

// Slot 1 is an RS-485 slot with an adapter; slot 0 (the system board) has none.
inline Slot* buildRoadSlot(unsigned short slotType, unsigned short adapterType, int slotNumber) {
    if (slotNumber == 1 && slotType == SLOT_TYPE_RS485) return new RoadSlot(adapterType, 1, true);
    if (slotNumber == 0) return new RoadSlot(adapterType, 0, false);
    return nullptr;
}

// ---------------------------------------------------------------------------------------
// Client end of a connection.

struct Event {
    uint32_t type, handle, msg, p1, p2;
};

class TestConnection : public ServiceConnection {
public:
    explicit TestConnection(sockbuf* sb) : ServiceConnection(sb) {}
    int handleInput(Selector*) override { return 0; }
};

class ClientEnd {
public:
    ClientEnd() {
        int fds[2];
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
        server_ = fds[0];
        client_ = fds[1];
        sb_ = new sockbuf(server_);
        connection_ = new TestConnection(sb_);
    }
    ~ClientEnd() {
        delete connection_;
        delete sb_;
        if (client_ >= 0) ::close(client_);
    }
    ClientEnd(const ClientEnd&) = delete;
    ClientEnd& operator=(const ClientEnd&) = delete;

    ServiceConnection* connection() { return connection_; }
    int clientFd() const { return client_; }
    void hangUp() {
        ::close(client_);
        client_ = -1;
    }

    // The next 20 raw bytes within ms; false when none came.
    bool nextRaw(std::array<uint8_t, 20>& out, int ms = 1000) {
        size_t got = 0;
        while (got < out.size()) {
            pollfd p{client_, POLLIN, 0};
            if (::poll(&p, 1, got ? 1000 : ms) <= 0) return false;
            ssize_t n = ::read(client_, out.data() + got, out.size() - got);
            if (n <= 0) return false;
            got += static_cast<size_t>(n);
        }
        return true;
    }
    bool next(Event& e, int ms = 1000) {
        std::array<uint8_t, 20> raw;
        if (!nextRaw(raw, ms)) return false;
        std::memcpy(&e, raw.data(), sizeof e);
        return true;
    }
    // Every event already sent.
    std::vector<Event> drain() {
        std::vector<Event> out;
        Event e;
        while (next(e, 0)) out.push_back(e);
        return out;
    }

private:
    int server_ = -1, client_ = -1;
    sockbuf* sb_ = nullptr;
    TestConnection* connection_ = nullptr;
};

// ---------------------------------------------------------------------------------------
// The terminal: a private root with fonts and a resource file, the system object with slot
// 1 holding printers at 0x35 (online), 0x34 (registered, absent) and a keyboard at 0x10.

class Terminal {
public:
    explicit Terminal(const std::string& resources = "") {
        root_.write("/usr/share/pos/fonts/cp00858.fon", std::string("CP858-TABLE", 11));
        root_.write("/etc/shop.res", resources.empty() ? std::string("! none\n") : resources);
        chSetDevNodeBackend(&node_);
        previousBuilder_ = SetSlotBuilder(buildRoadSlot);
        comd = std::make_unique<COMD>();
        slot1 = static_cast<RoadSlot*>(comd->GetSlot(1));
        if (slot1) {
            slot1->devices.push_back(&printer);
            slot1->devices.push_back(&keyboard);
        }
        printer.Online();
        keyboard.NowConfirmed();
    }
    ~Terminal() {
        if (slot1) slot1->devices.clear();
        comd.reset();
        SetSlotBuilder(previousBuilder_);
        chSetDevNodeBackend(nullptr);
    }
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    // The name a client gives: a system path, taken under the private root by the core.
    std::string ResourceFile() const { return "/etc/shop.res"; }
    std::string FontPath(const std::string& name) const {
        return root_.at("/usr/share/pos/fonts/" + name);
    }

private:
    TempRoot root_;
    SlotInfoNode node_{0x1234}; // an RS-485 adapter in slot 1
    SlotBuilder previousBuilder_ = nullptr;

public:
    TestPrinterP printer{DeviceID(1, 0x11, 0x35)};
    TestKeyboardP keyboard{DeviceID(1, 0x11, 0x10)};
    std::unique_ptr<COMD> comd;
    RoadSlot* slot1 = nullptr;
};

// ---------------------------------------------------------------------------------------
// A client process: connection, process, initialised and registered with the system object.

inline const unsigned char* u(const char* s) { return reinterpret_cast<const unsigned char*>(s); }

class Client {
public:
    Client(Terminal& t, int pid, const char* app = "shop", PosArg* args = nullptr, int count = 0)
        : terminal_(t) {
        process = std::make_unique<Process>(pid, 32, "Process");
        unsigned char ranges[32] = {};
        process->InitializeEnvironment(ranges, 437, 0, 0, 0x1000u + static_cast<unsigned>(pid));
        initResult = process->DLL_PosInitialize(end.connection(), u(app),
                                                u(t.ResourceFile().c_str()), args, count);
        if (initResult == 0) added = t.comd->AddProcess(process.get()) == 0;
    }
    ~Client() { End(); }

    // The daemon's disconnection: unlisted, then deleted.
    void End() {
        if (!process) return;
        if (added) terminal_.comd->RemoveProcess(process->GetProcessId());
        process.reset();
    }

    int Open(const char* name, const char* cls, std::vector<PosArg> args, int* handle) {
        return process->DLL_PosOpen(nullptr, u(name), u(cls), args.empty() ? nullptr : args.data(),
                                    static_cast<int>(args.size()), handle);
    }
    int OpenPrinter(int* handle, std::vector<PosArg> extra = {}) {
        std::vector<PosArg> args{{"slotNumber", 1}, {"portNumber", 0x11}, {"deviceNumber", 0x35}};
        args.insert(args.end(), extra.begin(), extra.end());
        return Open("receipt", "PosPrinter", args, handle);
    }
    int IOCtl(int handle, int request, std::vector<PosArg>* args = nullptr, int* out = nullptr) {
        int value = 0;
        return process->DLL_PosIOCtl(nullptr, handle, request, args ? args->data() : nullptr,
                                     args ? static_cast<int>(args->size()) : 0, out ? out : &value);
    }
    TestPrinterV* Device(int handle) { return static_cast<TestPrinterV*>(process->GetDevice(handle)); }

    ClientEnd end;
    std::unique_ptr<Process> process;
    int initResult = -1;
    bool added = false;

private:
    Terminal& terminal_;
};

} // namespace road
