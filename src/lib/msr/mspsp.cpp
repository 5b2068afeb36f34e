// Readers behind the keyboard driver node: the node, the reader configuration, and the
// reading of reader messages in each service turn.
#include "MSPSP.h"

#include <cstring>
#include <vector>

#include "sydevnode.h"

namespace {

const char kTag[] = "@(#)mspsp.cpp 1.1";
const char kNodePath[] = "/dev/ovkikbps";

enum : uint32_t {
    kLogNoModel = 10801,
    kTraceIoctl = 705,
    kTraceReaderData = 0xC00002BE,
};

// One descriptor for the process, closed when its last user goes.
int hKBD = -1;
int gUsers = 0;

uint16_t get16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
void put16(unsigned char* p, uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
uint32_t get32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
void put32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

void dropUse() {
    if (gUsers > 0 && --gUsers == 0 && hKBD >= 0) {
        chDevClose(hKBD);
        hKBD = -1;
    }
}

} // namespace

int MSPSP::NodeHandle() { return hKBD; }
int MSPSP::NodeUsers() { return gUsers; }

MSPSP::MSPSP(const DeviceID& id, const unsigned char* name) : MSP(id, name) {}

MSPSP::~MSPSP() {
    while (nodeUses_ > 0) {
        --nodeUses_;
        dropUse();
    }
}

int MSPSP::KBDIOCtlTrace(int fd, unsigned long request, void* buffer, int length) {
    const int result = chDevIoctl(fd, request, buffer, length, 0);
    if (request != kReadReader && length >= 0 && length <= 0xFFFF) {
        std::vector<unsigned char> record(12 + static_cast<size_t>(length));
        put32(record.data(), static_cast<uint32_t>(request));
        put32(record.data() + 4, static_cast<uint32_t>(length));
        put32(record.data() + 8, static_cast<uint32_t>(result));
        if (buffer && length > 0) std::memcpy(record.data() + 12, buffer, static_cast<size_t>(length));
        clTrace(93, kTraceIoctl, record.data(), static_cast<uint32_t>(record.size()), 0);
    }
    return result;
}

int MSPSP::Open(const VDEV* vdev) {
    if (hKBD < 0) {
        int fd = -1;
        const int rc = chDevOpen(kNodePath, fd);
        if (rc != 0 || fd < 0) return rc != 0 ? rc : 301;
        hKBD = fd;
        unsigned char info[16] = {};
        if (KBDIOCtlTrace(hKBD, kKeyboardInformation, info, sizeof info) == 0) SetECLevel(info[11]);
        const uint16_t type = get16(info + 6);
        unsigned char config[16] = {};
        put16(config + 4, 16);
        put16(config + 6, 1);
        put16(config + 8, 1);
        put16(config + 10, 1);
        put16(config + 12, 1);
        put16(config + 14, type == 7 || type == 8 || type == 9 ? 1 : 0);
        std::memcpy(config_, config, sizeof config_);
        KBDIOCtlTrace(hKBD, kReaderConfiguration, config, sizeof config);
    }
    ++gUsers;
    ++nodeUses_;
    const int rc = PDEV::Open(vdev);
    if (rc != 0) {
        --nodeUses_;
        dropUse();
    }
    return rc;
}

int MSPSP::Close(const VDEV* vdev, int& remaining) {
    const int rc = PDEV::Close(vdev, remaining);
    if (nodeUses_ > 0) {
        --nodeUses_;
        dropUse();
    }
    return rc;
}

int MSPSP::ReadMSRData(unsigned char* buffer, int& length) {
    const int wanted = length;
    length = 0;
    if (hKBD < 0 || !buffer || wanted <= 0) return 321;
    unsigned char record[kReadRecord] = {};
    const int room = kReadRecord - 8;
    put32(record + 4, static_cast<uint32_t>(wanted < room ? wanted : room));
    const int rc = KBDIOCtlTrace(hKBD, kReadReader, record, sizeof record);
    if (rc != 0) return rc;
    // The driver's count is bounded by what was asked and what the record holds.
    uint32_t got = get32(record + 4);
    if (got > static_cast<uint32_t>(wanted)) got = static_cast<uint32_t>(wanted);
    if (got > static_cast<uint32_t>(room)) got = static_cast<uint32_t>(room);
    std::memcpy(buffer, record + 8, got);
    length = static_cast<int>(got);
    return 0;
}

void MSPSP::ProcessOutput(long) {
    if (hKBD < 0) return;
    unsigned char data[kReadMax];
    int length = kReadMax;
    if (ReadMSRData(data, length) != 0 || length <= 0) return;
    clTrace(93, kTraceReaderData, data, static_cast<uint32_t>(length), 0);
    NewMsgRcvd(data, length);
}

int MSPSP::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    // The stop flag as on the link; no commands go to the reader.
    return MSP::TellPhys(sender, request, data, length);
}

void MSPSP::MakeOnline() {
    if (LinkUpAndConfirmed()) return;
    SetStatusBits(PDEV_PRESENT);
    NowConfirmed();
}

int MSPSP::NewMsgRcvd(const unsigned char* data, int n) {
    Log(kLogNoModel, 321, 0, data, n, kTag);
    return 0;
}
