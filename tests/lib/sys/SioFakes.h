// Test stand-ins for the RS-485 side: a scripted bus driver node, a minimal sniffer
// (type 1600, until discovery exists), an adapter manager registered for the adapter
// table's types, and a recording link device.
#pragma once

#include <array>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "ADAPTER.h"
#include "COMD.h"
#include "ObjectSupport.h"
#include "PDEV.h"
#include "SIOAM.h"
#include "Slot.h"
#include "sycrc.h"
#include "sydevnode.h"
#include "sylocks.h"
#include "sytables.h"

namespace siotest {

using Buffer = std::array<uint8_t, 2048>;

inline void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint32_t get32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// What the node delivers in one buffer.
struct Input {
    Buffer b{};
    Input& events(uint8_t bits) {
        b[12] |= bits;
        return *this;
    }
    Input& flags(uint8_t f) {
        b[0] |= f;
        return *this;
    }
    Input& portByte(uint8_t v) {
        b[1] = v;
        return *this;
    }
    Input& status(uint8_t s) {
        b[12] |= 0x02;
        b[305] = s;
        return *this;
    }
    // A received frame record (events bit 4): L, port, address, control, data, check.
    Input& frame(uint8_t port, uint8_t address, uint8_t control, std::vector<uint8_t> data = {}) {
        b[12] |= 0x10;
        const int length = static_cast<int>(data.size()) + 4;
        b[303] = static_cast<uint8_t>(length);
        b[304] = static_cast<uint8_t>(length >> 8);
        b[305] = port;
        b[306] = address;
        b[307] = control;
        if (!data.empty()) std::memcpy(&b[308], data.data(), data.size());
        std::vector<uint8_t> checked{address, control};
        for (uint8_t d : data) checked.push_back(d);
        unsigned short crc = CalculateCRC(checked.data(), static_cast<int>(checked.size()));
        b[308 + data.size()] = static_cast<uint8_t>(crc);
        b[309 + data.size()] = static_cast<uint8_t>(crc >> 8);
        return *this;
    }
    // Error records (events bit 3), each {code, port, address, extra...}; the area length
    // is the records' bytes unless given.
    Input& errors(const std::vector<std::vector<uint8_t>>& records, int areaLength = -1) {
        b[12] |= 0x08;
        int offset = 0;
        for (const auto& r : records) {
            b[273 + offset] = static_cast<uint8_t>(r.size());
            std::memcpy(&b[274 + offset], r.data(), r.size());
            offset += static_cast<int>(r.size()) + 1;
        }
        const int length = areaLength >= 0 ? areaLength : offset;
        b[271] = static_cast<uint8_t>(length);
        b[272] = static_cast<uint8_t>(length >> 8);
        return *this;
    }
};

// An outgoing frame record as a link device builds it.
inline std::vector<uint8_t> outRecord(uint8_t port, uint8_t address, uint8_t control,
                                      std::vector<uint8_t> data = {}) {
    const int length = static_cast<int>(data.size()) + 4;
    std::vector<uint8_t> r;
    r.reserve(data.size() + 9);
    for (uint8_t b : {static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8), port,
                      uint8_t{30}, uint8_t{0}, address, control})
        r.push_back(b);
    for (uint8_t b : data) r.push_back(b);
    unsigned short crc = CalculateCRC(r.data() + 5, static_cast<int>(r.size()) - 5);
    r.push_back(static_cast<uint8_t>(crc));
    r.push_back(static_cast<uint8_t>(crc >> 8));
    return r;
}

// The frame records of a returned buffer (count at 5, records from 303).
inline std::vector<std::vector<uint8_t>> framesOf(const Buffer& b) {
    std::vector<std::vector<uint8_t>> out;
    size_t offset = 303;
    for (int i = 0; i < b[5]; ++i) {
        if (offset + 2 > b.size()) break;
        size_t size = size_t(b[offset] | b[offset + 1] << 8) + 5;
        if (offset + size > b.size()) break;
        out.emplace_back(b.begin() + static_cast<long>(offset), b.begin() + static_cast<long>(offset + size));
        offset += size;
    }
    return out;
}

// A scripted driver node. The exchange buffer is with the node or with the core; the node
// delivers one when it holds it and either has input queued or was asked (0x08).
// With `adapter` set it plays the adapter's start-up: an initialise is answered by a reset
// report (event 7), a re-initialise by the adapter status (event 1).
struct ScriptedNode : DevNodeBackend {
    std::mutex m;
    uint32_t adapterTypes[9] = {};
    uint32_t slotTypes[9] = {};
    bool adapter = true;
    uint8_t requestResult = 0, resetResult = 0, returnResult = 0, waitResult = 0;
    uint32_t dcsKind = 5, dcsPorts = 2;
    uint8_t dcsResult = 0;
    uint16_t nvramFlag = 0;
    uint32_t nvram20 = 0x20, nvram24 = 0x24, nvram48 = 0x48;
    uint8_t nvramInfoResult = 0;
    uint8_t nvramResult = 0;
    int openFailures = 0; // the next opens that fail with ENOENT

    bool nodeHolds = true;
    bool requested = false;
    std::deque<Buffer> inputs;
    std::vector<Buffer> returned;
    std::vector<unsigned long> requests;
    std::vector<std::vector<uint8_t>> nvramRecords;
    int opens = 0, closes = 0;

    int open(const char* path, int& fd) override {
        std::lock_guard<std::mutex> g(m);
        if (std::strcmp(path, "/dev/ovkdcs") != 0) return ENOENT;
        if (openFailures > 0) {
            --openFailures;
            return ENOENT;
        }
        fd = 20 + opens++;
        return 0;
    }
    int close(int) override {
        std::lock_guard<std::mutex> g(m);
        ++closes;
        return 0;
    }
    void ioctl(int, unsigned long request, void* record, size_t size) override {
        std::lock_guard<std::mutex> g(m);
        auto* r = static_cast<uint8_t*>(record);
        requests.push_back(request);
        uint32_t result = 0;
        switch (request) {
        case DCS_GET_SLOT_INFO:
            std::memcpy(r + 4, adapterTypes, sizeof adapterTypes);
            std::memcpy(r + 40, slotTypes, sizeof slotTypes);
            break;
        case DCS_REQUEST_BUFFER:
            result = requestResult;
            if (result == 0) requested = true;
            break;
        case DCS_WAIT_BUFFER:
            if (waitResult) {
                result = waitResult;
            } else if (!nodeHolds || (inputs.empty() && !requested)) {
                result = 252;
            } else {
                Buffer b{};
                if (!inputs.empty()) {
                    b = inputs.front();
                    inputs.pop_front();
                }
                std::memcpy(r + 12, b.data(), b.size());
                nodeHolds = false;
                requested = false;
            }
            break;
        case DCS_RETURN_BUFFER: {
            if (nodeHolds) {
                result = 22;
                break;
            }
            Buffer b;
            std::memcpy(b.data(), r + 8, b.size());
            returned.push_back(b);
            nodeHolds = true;
            result = returnResult;
            if (adapter && (b[0] & 0x80)) inputs.push_back(Input().events(0x80).flags(0x80).b);
            if (adapter && (b[0] & 0x02)) inputs.push_back(Input().status(0x5A).flags(0x02).b);
            break;
        }
        case DCS_RESET_ADAPTER:
            result = resetResult;
            if (result == 0) {
                // The buffer goes back to the node, which hands it over again unasked.
                nodeHolds = true;
                inputs.push_front(Buffer{});
            }
            break;
        case DCS_GET_DCS_INFO:
            result = dcsResult;
            put32(r + 8, dcsKind);
            put32(r + 12, dcsPorts);
            break;
        case DCS_GET_NVRAM_INFO:
            result = nvramInfoResult;
            r[8] = static_cast<uint8_t>(nvramFlag);
            r[9] = static_cast<uint8_t>(nvramFlag >> 8);
            put32(r + 20, nvram20);
            put32(r + 24, nvram24);
            put32(r + 48, nvram48);
            break;
        case DCS_NVRAM_READ:
        case DCS_NVRAM_WRITE:
            nvramRecords.emplace_back(r, r + size);
            result = nvramResult;
            break;
        default: result = 25; break;
        }
        put32(r, result);
    }

    void deliver(const Input& in) {
        std::lock_guard<std::mutex> g(m);
        inputs.push_back(in.b);
    }
    std::vector<Buffer> takeReturned() {
        std::lock_guard<std::mutex> g(m);
        std::vector<Buffer> out;
        out.swap(returned);
        return out;
    }
    int count(unsigned long request) {
        std::lock_guard<std::mutex> g(m);
        int n = 0;
        for (unsigned long r : requests) n += r == request;
        return n;
    }
};

// The sniffer until discovery exists: a physical device of type 0xFF at {slot, 0, 0xFE}
// that answers the poll-byte request, records the notices, and asks for the poll list
// once the adapter runs its devices.
class TestSniffer : public PDEV {
public:
    explicit TestSniffer(const DeviceID& id) : PDEV(id, "SNIFFER") {
        deviceType_ = 0xFF;
        vdevType_ = 1600;
    }
    int TellPhys(const VDEV* sender, int code, unsigned char* data, int length) override {
        notices.push_back(code);
        if (code == 1234) {
            data[0] = pollByte;
            return 0;
        }
        if (code == 1231 || code == 1232 || code == 1233) {
            if (code == 1231 && length == 3) departed.push_back(DeviceID(data[0], data[1], data[2]));
            return noticeResult;
        }
        return PDEV::TellPhys(sender, code, data, length);
    }
    void ProcessOutput(long) override {
        ++outputs;
        if (outputs == 1 && adapter_) adapter_->SetPollListStale();
    }
    std::vector<int> notices;
    std::vector<DeviceID> departed;
    unsigned char pollByte = 0x20;
    int noticeResult = 0;
    int outputs = 0;
};

inline PDEV* _CreateTestSniffer(const DeviceID& id) { return new TestSniffer(id); }

// A device on the link that records what the adapter manager gives it.
class TestLinkDevice : public PDEV {
public:
    TestLinkDevice(const DeviceID& id, const char* name = "TESTDEV") : PDEV(id, name) { deviceType_ = 3; }
    int ProcessInput(const unsigned char* data, int length) override {
        inputs.emplace_back(data, data + length);
        events.push_back("input");
        return 0;
    }
    int ProcessError(const unsigned char* data, int length) override {
        if (length == 1) {
            errors.push_back(data[0]);
            events.push_back("error " + std::to_string(data[0]));
        } else {
            events.push_back(std::string(reinterpret_cast<const char*>(data), static_cast<size_t>(length)));
        }
        return 0;
    }
    void ProcessOutput(long) override {
        ++outputs;
        if (sendOnOutput && adapter_) {
            adapter_->SendFrame(sendOnOutput->data(), static_cast<int>(sendOnOutput->size()));
            sendOnOutput.reset();
        }
    }
    int Suspend() override {
        events.push_back("suspend");
        return 0;
    }
    int Resume() override {
        events.push_back("resume");
        return 0;
    }
    // Queues a frame to this device's own address.
    int send(uint8_t control, std::vector<uint8_t> data = {}) {
        auto r = outRecord(id_.port, id_.device, control, std::move(data));
        return adapter_->SendFrame(r.data(), static_cast<int>(r.size()));
    }
    std::vector<std::vector<uint8_t>> inputs;
    std::vector<uint8_t> errors;
    std::vector<std::string> events;
    std::unique_ptr<std::vector<uint8_t>> sendOnOutput;
    int outputs = 0;
};

// The adapter manager as the adapter table builds it when the library is loaded.
class TestAdapter : public SIOAM {
public:
    TestAdapter(int slot, short type) : SIOAM(slot, type, "TESTSIO") {}
    // Access to the cycle steps for the tests.
    using SIOAM::RebuildPollList;
};

inline ADAPTER* _CreateTestAdapter(int slot, unsigned short type) {
    return new TestAdapter(slot, static_cast<short>(type));
}

// Every test program that includes this header has the sniffer registered (1600). Those
// that build adapters without their plug-ins register TestAdapter under the adapter table's
// factory ids themselves.
inline ObjectSupport objectTestSniffer(1600, _CreateTestSniffer,
                                       static_cast<const unsigned char*>(nullptr), 0);

// Puts a TestSniffer in place of the sniffer the slot made, so that the tests see the
// adapter manager's behaviour and not the discovery walk's (the core's own sniffer class,
// once registered, comes before the one of this header). Returns it, linked and opened.
inline TestSniffer* useTestSniffer(Slot* slot) {
    const DeviceID id(static_cast<uint8_t>(slot->GetSlotNumber()), 0, 0xFE);
    PDEV* current = nullptr;
    slot->FindPhysical(id, current);
    if (!current) {
        for (PDEV* d : slot->ListedDevices())
            if (d->GetDeviceType() == 0xFF) current = d;
    }
    if (auto* mine = dynamic_cast<TestSniffer*>(current)) return mine;
    if (current) {
        int remaining = 0;
        current->Close(nullptr, remaining);
        current->Term();
        delete current;
    }
    auto* sniffer = new TestSniffer(id);
    if (sniffer->Init() != 0 || slot->LinkinPhysical(sniffer) != 0 || sniffer->Open(nullptr) != 0) {
        delete sniffer;
        return nullptr;
    }
    return sniffer;
}

// Marks the adapter rows loaded as if their libraries had been loaded.
inline void markAdapterRowsLoaded() {
    for (AdapterInfoRow& row : adapterInfo.rows) row.loaded = 1;
}

} // namespace siotest
