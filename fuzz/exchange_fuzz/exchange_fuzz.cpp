// Arbitrary exchange buffers from the bus driver node, taken as the adapter manager takes
// them: each input is a run of chunks, each chunk one delivered buffer (frames, error
// records, events, flags) followed by a few cycles on the settable clock. Behind the manager
// stand the slot's sniffer, an identifying oracle at 1.22.4A, a link device at 1.11.5C and
// the test printer at 1.11.36 with print work queued, so that frames and errors reach the
// link code, the walk, the identification and the printer base (answers, losses, resets and
// acknowledgements in any order).
//
// Chunk: one control byte (bits 0-2: idle cycles after the buffer; bits 3-7: clock step in
// tens of milliseconds), then up to 2048 buffer bytes (a shorter last chunk is zero-padded).
#include <sanitizer/asan_interface.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "../FuzzClock.h"
#include "../FuzzRoot.h"
#include "COMD.h"
#include "DiscoveryDevices.h"
#include "ObjectSupport.h"
#include "SDIDEVICE.h"
#include "SIOAM.h"
#include "TestPrinter.h"
#include "Slot.h"
#include "ovkhost.h"
#include "sydevnode.h"
#include "sytables.h"

namespace {

using Buffer = std::vector<uint8_t>;
constexpr size_t kBuffer = 2048;

void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The driver node of one RS-485 slot (slot 1, adapter type 5, two ports). It plays the
// adapter's start-up (a reset report after the initialise, the status after the
// re-initialise) and delivers the buffers queued for it.
struct FuzzNode : DevNodeBackend {
    bool nodeHolds = true;
    bool requested = false;
    std::deque<Buffer> inputs;

    int open(const char* path, int& fd) override {
        if (std::strcmp(path, "/dev/ovkdcs") != 0) return ENOENT;
        fd = 9;
        return 0;
    }
    int close(int) override { return 0; }
    void ioctl(int, unsigned long request, void* record, size_t) override {
        auto* r = static_cast<uint8_t*>(record);
        uint32_t result = 0;
        switch (request) {
        case DCS_GET_SLOT_INFO:
            std::memset(r + 4, 0, 216);
            put32(r + 4 + 4, 5);      // adapter type of slot 1
            put32(r + 40 + 4, 2);     // slot 1 is RS-485
            break;
        case DCS_GET_DCS_INFO:
            put32(r + 8, 5);
            put32(r + 12, 2);
            break;
        case DCS_REQUEST_BUFFER:
            requested = true;
            break;
        case DCS_WAIT_BUFFER:
            if (!nodeHolds || (inputs.empty() && !requested)) {
                result = 252;
                break;
            }
            if (inputs.empty()) {
                std::memset(r + 12, 0, kBuffer);
            } else {
                std::memcpy(r + 12, inputs.front().data(), kBuffer);
                inputs.pop_front();
            }
            nodeHolds = false;
            requested = false;
            break;
        case DCS_RETURN_BUFFER: {
            if (nodeHolds) {
                result = 22;
                break;
            }
            nodeHolds = true;
            const uint8_t flags = r[8];
            if (flags & 0x80) {
                Buffer b(kBuffer, 0);
                b[0] = 0x80;
                b[12] = 0x80;
                inputs.push_back(b);
            }
            if (flags & 0x02) {
                Buffer b(kBuffer, 0);
                b[0] = 0x02;
                b[12] = 0x02;
                inputs.push_back(b);
            }
            break;
        }
        case DCS_RESET_ADAPTER:
            nodeHolds = true;
            inputs.push_front(Buffer(kBuffer, 0));
            break;
        default:
            break;
        }
        put32(r, result);
    }
};

class FuzzAdapter : public SIOAM {
public:
    FuzzAdapter(int slot, short type) : SIOAM(slot, type, "FUZZSIO") {}

    // Every run's adapter takes the same block. The slot checks the adapter's memory, and
    // such a check reads the process's memory map again whenever an object lies where no
    // object was before, which costs more than the rest of the run. The block is poisoned
    // between runs, so a use of an ended adapter still shows.
    static void* operator new(size_t size);
    static void operator delete(void* p);

private:
    struct Block {
        void* memory = ::operator new(sizeof(FuzzAdapter));
        bool taken = false;
    };
    static Block& block() {
        static Block b;
        return b;
    }
};

void* FuzzAdapter::operator new(size_t size) {
    Block& b = block();
    if (size != sizeof(FuzzAdapter) || b.taken) return ::operator new(size);
    b.taken = true;
    ASAN_UNPOISON_MEMORY_REGION(b.memory, size);
    return b.memory;
}

void FuzzAdapter::operator delete(void* p) {
    Block& b = block();
    if (p != b.memory) return ::operator delete(p);
    ASAN_POISON_MEMORY_REGION(p, sizeof(FuzzAdapter));
    b.taken = false;
}

ADAPTER* createFuzzAdapter(int slot, unsigned short type) {
    return new FuzzAdapter(slot, static_cast<short>(type));
}

ObjectSupport objectFuzzAdapter(3800, createFuzzAdapter);
ObjectSupport objectTestOracle(13100, discovery::_CreateTestOracle, static_cast<const unsigned char*>(nullptr), 0);
ObjectSupport objectTestDevice(34900, discovery::_CreateTestDevice, static_cast<const unsigned char*>(nullptr), 0);
ObjectSupport objectSelfIdentifying(29500, discovery::_CreateTestDevice,
                                    static_cast<const unsigned char*>(nullptr), 0);

FuzzNode* node = nullptr;

void markLoaded() {
    for (AdapterInfoRow& row : adapterInfo.rows) row.loaded = 1;
    for (auto [address, type] : {std::pair<uint8_t, long>{0x4A, 1700}, {0x4A, 34900}, {0x5C, 1700}})
        if (PhysicalInfoRow* row = FindPhysicalInfo(address, type)) row->loaded = 1;
}

void cycle(Slot* slot, int32_t step) {
    ovkhost::advanceClock(step);
    slot->ServiceAdapter(0);
}

void addDevice(Slot* slot, PDEV* device) {
    if (device->Init() != 0) {
        delete device;
        return;
    }
    if (slot->LinkinPhysical(device) != 0 || device->Open(nullptr) != 0) {
        device->Term();
        delete device;
    }
}

// Lines on two stations, a feed, a cut and chases for the test printer to work through.
void queuePrintWork(Slot* slot) {
    auto* printer = new testprinter::TestPrinterP(DeviceID(1, 0x11, 0x36));
    addDevice(slot, printer);
    PDEV* found = nullptr;
    if (slot->FindPhysical(DeviceID(1, 0x11, 0x36), found) != 0 || found != printer) return;
    const unsigned char text[] = "FUZZ";
    struct Work {
        unsigned short code;
        unsigned char station;
    } work[] = {{testprinter::kLine, 0}, {PRNTCMD_CHASE_CR, 0}, {testprinter::kLine, 1},
                {testprinter::kFeed, 2}, {testprinter::kCut, 0}, {PRNTCMD_CHASE_SJ, 0},
                {PRNTCMD_SET_INTERLEAVE, 0}, {testprinter::kLine, 0}};
    for (const Work& w : work) {
        auto* command = new testprinter::TestCmd;
        command->Set(w.code, nullptr, w.station, 2, 4, text, 0, 0);
        if (printer->TellPhys(nullptr, PRN_TP_PUT_QUEUE, reinterpret_cast<unsigned char*>(command),
                              sizeof *command) != 0)
            delete command;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzroot::usePrivateRoot();
    fuzzclock::useManual();
    node = new FuzzNode;
    chSetDevNodeBackend(node);
    // One system object for the whole run; each input gets slot 1 built and started anew.
    markLoaded();
    static COMD* comd = new COMD();
    comd->EndSlotForTest(1);
    ResetLoadedFlagsForTest();
    // Raw-access proxies that do not listen, taken over by each run's devices: a listening
    // one would start server threads and a TCP listener.
    for (const DeviceID& id : {DeviceID(1, 0x11, 0x5C), DeviceID(1, 0x11, 0x36)})
        comd->AddSdiDevice(new SDIDEVICE(id, nullptr, nullptr, 0, false));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzclock::restart();
    *node = FuzzNode();
    markLoaded();
    Slot* slot = pcomd->StartSlotForTest(1);
    auto* manager = slot ? dynamic_cast<SIOAM*>(slot->GetAdapter()) : nullptr;
    if (!manager) std::abort(); // the harness itself is broken
    for (int i = 0; i < 100 && manager->GetState() != SIOAM_RUNNING; ++i) cycle(slot, 10);
    if (manager->GetState() != SIOAM_RUNNING) std::abort();
    addDevice(slot, new discovery::TestOracle(DeviceID(1, 0x22, 0x4A)));
    addDevice(slot, new discovery::TestDevice(DeviceID(1, 0x11, 0x5C)));
    queuePrintWork(slot);

    size_t pos = 0;
    while (pos < size) {
        const uint8_t control = data[pos++];
        const size_t n = size - pos < kBuffer ? size - pos : kBuffer;
        Buffer b(kBuffer, 0);
        std::memcpy(b.data(), data + pos, n);
        pos += n;
        node->inputs.push_back(std::move(b));
        node->requested = true;
        const int32_t step = 10 * (control >> 3);
        cycle(slot, step);
        for (int i = 0; i < (control & 7); ++i) cycle(slot, step);
    }
    pcomd->EndSlotForTest(1);
    ResetLoadedFlagsForTest();
    return 0;
}
