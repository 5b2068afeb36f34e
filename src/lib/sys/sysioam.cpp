// RS-485 adapter manager: construction, the driver node requests, adapter and NVRAM
// information, frame queueing, stop, suspend and resume.
#include "SIOAM.h"

#include <cstring>
#include <new>

#include "PDEV.h"
#include "PollWake.h"
#include "Slot.h"
#include "sydevnode.h"
#include "sylocks.h"

using namespace sioexch;

namespace {

const char kTag[] = "@(#)sysioam.cpp";
const char kNode[] = "/dev/ovkdcs";

// Runs a request on a record of the request's size; the driver's result byte.
template <size_t N>
int request(int fd, unsigned long number, unsigned char (&record)[N]) {
    static_assert(N > 0, "records are not empty");
    return chDevIoctl(fd, number, record, static_cast<int>(N), 0);
}

} // namespace

OutMessage::OutMessage(const unsigned char* rec, int len) {
    record = new unsigned char[len];
    std::memcpy(record, rec, static_cast<size_t>(len));
    length = len;
    port = rec[2];
    address = rec[5];
}

OutMessage::~OutMessage() { delete[] record; }

SIOAM::SIOAM(int slot, short adapterType, const unsigned char* name)
    : ADAPTER(slot, static_cast<unsigned short>(adapterType), name) {
    docked_ = 1;
    notDockedCount_ = 0;
    ClearImage();
    buffer_ = new (std::nothrow) unsigned char[kBufferSize];
    if (!buffer_) {
        clErrorLog(821, 301, 0, kTag, this, sizeof(SIOAM));
        return;
    }
    std::memset(buffer_, 0, kBufferSize);
    if (OpenDD() == 0) {
        RequestBuffer();
    } else {
        // No node yet: it is opened again every second, as after losing it.
        nodeDown_ = 1;
        nodeRetryAt_ = chTimeAdd(chTime(), kReopenIntervalMs);
    }
}

SIOAM::~SIOAM() {
    CloseDD();
    delete[] buffer_;
    FreeSentFrames();
}

void SIOAM::ClearImage() {
    std::lock_guard<std::recursive_mutex> g(imageLock_);
    pending_ = 0;
    portConfig_ = 0;
    std::memset(timing_, 0, sizeof timing_);
    std::memset(pollList_, 0, sizeof pollList_);
    pollList_[0] = PORT_RS485_1;
    pollList_[1] = 0x00;
    frameCount_ = 0;
    frameMark1_ = 0x2F;
    frameMark2_ = 0x01;
    frameBytes_ = 0;
    std::memset(frames_, 0, sizeof frames_);
    lastStatus_ = 0;
}

void SIOAM::EmptyFrameArea() {
    std::lock_guard<std::recursive_mutex> g(imageLock_);
    std::memset(frames_, 0, frameBytes_);
    frameCount_ = 0;
    frameBytes_ = 0;
    pending_ &= static_cast<uint8_t>(~kFlagFrames);
}

void SIOAM::FreeSentFrames() {
    std::lock_guard<std::recursive_mutex> g(imageLock_);
    while (sentFrames_.start() == 0) delete sentFrames_.linkout();
}

void SIOAM::Stamp() { stateTime_ = chTime(); }

void SIOAM::ResetForStart() {
    std::lock_guard<std::recursive_mutex> g(imageLock_);
    ClearImage();
    FreeSentFrames();
    SetState(SIOAM_CREATED);
    stateTime_ = 0;
    stopCycles_ = 0;
    secondPort_ = 0;
    cyclesWithoutBuffer_ = 0;
    started_ = 0;
    bufferHeld_ = 0;
    resend_ = 0;
    privateMark_ = 0;
    aheadHeld_ = false;
    fetchedAhead_ = false;
    answerRounds_ = 0;
}

void SIOAM::Trace(uint32_t id, const void* data, int length) const {
    clTrace(93, id, data, static_cast<uint32_t>(length), 0);
}

void SIOAM::TraceSlot(uint32_t id) const {
    unsigned char slot = static_cast<unsigned char>(slot_);
    Trace(id, &slot, 1);
}

// --- driver node ---------------------------------------------------------------------

int SIOAM::OpenNode() {
    int fd = -1;
    int rc = chDevOpen(kNode, fd);
    if (rc != 0) {
        exchangeFd_ = -1;
        return rc;
    }
    exchangeFd_ = fd;
    fd = -1;
    std::lock_guard<std::mutex> info(infoLock_);
    infoFd_ = chDevOpen(kNode, fd) == 0 ? fd : -1;
    return 0;
}

int SIOAM::OpenDD() {
    int rc = OpenNode();
    if (rc != 0) {
        clErrorLog(816, 301, static_cast<uint32_t>(rc & 0xFF), kTag, this, sizeof(SIOAM));
        return 301;
    }
    return 0;
}

bool SIOAM::NodeGone(int fd) {
    if (fd >= 0 && !chDevLost(fd)) return false;
    nodeFailed_ = 1;
    return true;
}

int SIOAM::CloseDD() {
    int result = 0;
    {
        std::lock_guard<std::recursive_mutex> g(imageLock_);
        aheadHeld_ = false; // the node takes back a buffer held through a closed descriptor
    }
    if (exchangeFd_ >= 0) {
        int rc = chDevClose(exchangeFd_);
        exchangeFd_ = -1;
        if (rc != 0) {
            clErrorLog(813, 301, static_cast<uint32_t>(rc), kTag, this, sizeof(SIOAM));
            result = 301;
        }
    }
    std::lock_guard<std::mutex> info(infoLock_);
    if (infoFd_ >= 0) {
        int rc = chDevClose(infoFd_);
        infoFd_ = -1;
        if (rc != 0) {
            clErrorLog(817, 301, static_cast<uint32_t>(rc), kTag, this, sizeof(SIOAM));
            result = 301;
        }
    }
    return result;
}

int SIOAM::RequestBuffer() {
    const std::thread::id poller = pollingThread_.load(std::memory_order_relaxed);
    if (poller == std::thread::id() || poller == std::this_thread::get_id()) return AskForBuffer();
    if (nodeDown_) return 301; // nothing to ask until the node is open again
    bufferWanted_.store(true);
    PollWake::Post();
    return 0;
}

int SIOAM::AskForBuffer() {
    std::lock_guard<std::recursive_mutex> g(imageLock_);
    if (bufferHeld_ || aheadHeld_) return 0;
    if (nodeDown_) return 301; // nothing to ask until the node is open again
    sioTrace(slot_, 100);
    unsigned char record[8] = {};
    put32(record + 4, static_cast<uint32_t>(slot_));
    int rc = request(exchangeFd_, DCS_REQUEST_BUFFER, record);
    if (rc == 0) return 0;
    if (NodeGone(exchangeFd_)) return 301;
    if (rc == 254) {
        SetState(SIOAM_NO_ADAPTER);
        return 301;
    }
    clErrorLog(809, 301, static_cast<uint32_t>(rc), kTag, this, sizeof(SIOAM));
    return 301;
}

int SIOAM::WaitForBuffer(int timeoutMs) {
    unsigned char local[12 + kBufferSize] = {};
    int rc;
    bool fetched;
    {
        std::lock_guard<std::recursive_mutex> g(imageLock_);
        fetched = aheadHeld_;
        fetchedAhead_ = fetched;
        aheadHeld_ = false;
        if (fetched) std::memcpy(local, ahead_.data(), sizeof local);
    }
    if (fetched) {
        rc = 0;
    } else {
        put32(local + 4, static_cast<uint32_t>(slot_));
        put32(local + 8, static_cast<uint32_t>(timeoutMs));
        rc = request(exchangeFd_, DCS_WAIT_BUFFER, local);
    }
    if (rc == 252) {
        ++waitTimeouts_;
        return 252;
    }
    if (rc != 0) {
        if (NodeGone(exchangeFd_)) return 301;
        if (rc != 17 || running_) clErrorLog(811, 301, static_cast<uint32_t>(rc), kTag, this, sizeof(SIOAM));
        return 301;
    }
    {
        std::lock_guard<std::recursive_mutex> g(imageLock_);
        bufferHeld_ = 1;
        std::memcpy(buffer_, local + 12, kBufferSize);
    }
    ComputePrivateMark();
    sioTrace(slot_, privateMark_ ? static_cast<int>(0x80000065u) : 101, buffer_, kBufferSize);
    return 0;
}

int SIOAM::ReturnBuffer(bool fetchAhead) {
    std::lock_guard<std::recursive_mutex> g(imageLock_);
    sioTrace(slot_, 102, buffer_, kBufferSize);
    unsigned char record[8 + kBufferSize];
    std::memset(record, 0, 8);
    put32(record + 4, static_cast<uint32_t>(slot_));
    std::memcpy(record + 8, buffer_, kBufferSize);
    int rc;
    aheadHeld_ = false;
    if (fetchAhead && chDevPairs(exchangeFd_)) {
        ahead_.assign(12 + kBufferSize, 0);
        put32(ahead_.data() + 4, static_cast<uint32_t>(slot_));
        int waited = 0;
        chDevIoctlPair(exchangeFd_, DCS_RETURN_BUFFER, record, DCS_WAIT_BUFFER, ahead_.data(), rc, waited);
        // Only a buffer that came waits for the next round; anything else is asked again
        // then, as it would have been.
        aheadHeld_ = rc == 0 && waited == 0;
    } else {
        rc = request(exchangeFd_, DCS_RETURN_BUFFER, record);
    }
    bufferHeld_ = 0;
    if (rc != 0) {
        if (NodeGone(exchangeFd_)) return 301;
        clErrorLog(810, 301, static_cast<uint32_t>(rc), kTag, this, sizeof(SIOAM));
        return 301;
    }
    return 0;
}

int SIOAM::ResetAdapter() {
    unsigned char record[8] = {};
    put32(record + 4, static_cast<uint32_t>(slot_));
    return request(exchangeFd_, DCS_RESET_ADAPTER, record);
}

// A received I-frame that carries card or account data is traced under the private mark.
void SIOAM::ComputePrivateMark() {
    privateMark_ = 0;
    if (!(buffer_[kEvents] & 0x10)) return;
    const unsigned char* rec = buffer_ + kFrameArea;
    int length = get16(rec);
    unsigned char address = rec[3];
    unsigned char control = rec[4];
    if (control & 0x11) return;
    if (length < 4 || length + 2 > 1741) return;
    const unsigned char* data = rec + 5;
    if (address >= 0x40 && address <= 0x49 && length > 12) privateMark_ = 1;
    else if (address == 0x35 && length > 14 && (data[4] & 0x04)) privateMark_ = 1;
    else if (address == 0x34 && length > 9 && (data[0] & 0x08)) privateMark_ = 1;
}

int SIOAM::GetDCSInfo(unsigned short& kind, unsigned short& ports) {
    kind = 0;
    ports = 0;
    if (exchangeFd_ < 0) return 327;
    if (slot_ == 0) return 0;
    unsigned char record[16] = {};
    put32(record + 4, static_cast<uint32_t>(slot_));
    int rc;
    {
        std::lock_guard<std::recursive_mutex> g(imageLock_);
        rc = request(exchangeFd_, DCS_GET_DCS_INFO, record);
        if (rc != 0 && NodeGone(exchangeFd_)) return 301;
    }
    switch (rc) {
    case 0:
    case 254:
        kind = static_cast<unsigned short>(get32(record + 8));
        ports = static_cast<unsigned short>(get32(record + 12));
        return 0;
    case 250: return 327;
    case 251: return 326;
    default:
        clErrorLog(814, 301, static_cast<uint32_t>(rc), kTag, this, sizeof(SIOAM));
        return 301;
    }
}

int SIOAM::GetNVRAMInfo(NvramInfoStruct& info, unsigned short& flag) {
    flag = 0;
    std::memset(info.driverValue, 0, sizeof info.driverValue);
    std::unique_lock<std::mutex> lock(infoLock_);
    if (infoFd_ < 0) return 327;
    unsigned char record[56] = {};
    put32(record + 4, static_cast<uint32_t>(slot_));
    int rc = request(infoFd_, DCS_GET_NVRAM_INFO, record);
    if (rc != 0 && NodeGone(infoFd_)) return 301;
    lock.unlock();
    switch (rc) {
    case 0:
        info.driverValue[0] = get32(record + 48);
        info.driverValue[1] = get32(record + 24);
        info.driverValue[2] = get32(record + 20);
        flag = get16(record + 8);
        return 0;
    case 250: return 327;
    case 251: return 326;
    default:
        clErrorLog(815, 301, static_cast<uint32_t>(rc), kTag, this, sizeof(SIOAM));
        return 301;
    }
}

void SIOAM::GetLocalNvramInfo(NvramInfoStruct& info) {
    std::memset(info.driverValue, 0, sizeof info.driverValue);
    info.size = 0;
    info.deviceClass = -1;
    info.port = 0;
    unsigned short kind = 0, ports = 0;
    if (GetDCSInfo(kind, ports) != 0) return;
    portCount_ = ports;
    unsigned short flag = 0;
    if (GetNVRAMInfo(info, flag) != 0) {
        validPorts_[0] = PORT_RS485_1;
        return;
    }
    if (flag != 0 || kind == 5 || kind == 0x917D) {
        validPorts_[0] = PORT_RS485_1;
        if (kind != 8) info.port = PORT_RS485_1;
        if (portCount_ > 1) validPorts_[1] = PORT_RS485_2;
    } else {
        ++portCount_;
        info.port = 0;
        validPorts_[0] = PORT_PLANAR;
        validPorts_[1] = PORT_RS485_1;
        if (portCount_ > 2) validPorts_[2] = PORT_RS485_2;
    }
    if (kind != 8) {
        info.size = 1024;
        info.deviceClass = 8100;
    }
}

namespace {
constexpr int kNvramRecord = 2064;

// Runs an NVRAM request on a copy of the caller's record, so that neither side reads or
// writes past the bytes the caller gave.
int nvramRequest(int fd, unsigned long number, void* record, int length) {
    if (!record) return CH_ERR_INVALID_ADDRESS;
    if (length < 0) return CH_ERR_INVALID_LENGTH;
    unsigned char local[kNvramRecord] = {};
    size_t n = static_cast<size_t>(length < kNvramRecord ? length : kNvramRecord);
    std::memcpy(local, record, n);
    int rc = request(fd, number, local);
    std::memcpy(record, local, n);
    return rc;
}
} // namespace

int SIOAM::NvramRead(void* record, int length) {
    std::lock_guard<std::mutex> lock(infoLock_);
    if (infoFd_ < 0) return 321;
    int rc = nvramRequest(infoFd_, DCS_NVRAM_READ, record, length);
    if (rc != 0) NodeGone(infoFd_);
    return rc;
}

int SIOAM::NvramWrite(void* record, int length) {
    std::lock_guard<std::mutex> lock(infoLock_);
    if (infoFd_ < 0) return 321;
    int rc = nvramRequest(infoFd_, DCS_NVRAM_WRITE, record, length);
    if (rc != 0) NodeGone(infoFd_);
    return rc;
}

int SIOAM::PowerRequest(void* /*record*/, int /*length*/) { return 0; }

// --- frames ------------------------------------------------------------------------------

int SIOAM::QueueRecord(const unsigned char* record, int length) {
    std::lock_guard<std::recursive_mutex> g(imageLock_);
    // A record is L + 5 bytes: length word, port, two wait times, address, control, data,
    // check. Anything else would put the walks of the frame area out of step.
    if (!record || length < 7 || get16(record) + 5 != length) return 607;
    if (length > kOutFrameAreaSize - frameBytes_ || frameCount_ == 0xFF) return 607;
    std::memcpy(frames_ + frameBytes_, record, static_cast<size_t>(length));
    frameBytes_ = static_cast<uint16_t>(frameBytes_ + length);
    ++frameCount_;
    pending_ |= kFlagFrames;
    return 0;
}

int SIOAM::SendFrame(const unsigned char* record, int length) {
    std::lock_guard<std::recursive_mutex> g(imageLock_);
    int rc = QueueRecord(record, length);
    if (rc != 0) return rc;
    if (!resend_) {
        OutMessage* copy = new (std::nothrow) OutMessage(record, length);
        if (copy) {
            sentFrames_.end();
            if (sentFrames_.linkin(copy) != 0) delete copy;
        }
        RequestBuffer();
        PollWake::Post(); // the polling thread carries it without waiting for its interval
    }
    return 0;
}

int SIOAM::QuerySentMessage(DeviceID id) {
    std::lock_guard<std::recursive_mutex> g(imageLock_);
    int offset = 0;
    for (int i = 0; i < frameCount_ && offset + 7 <= frameBytes_; ++i) {
        const unsigned char* rec = frames_ + offset;
        if (rec[2] == id.port && rec[5] == id.device) return 1;
        offset += get16(rec) + 5;
    }
    return 0;
}

// --- stop, suspend, resume ---------------------------------------------------------------

void SIOAM::StopRunning() {
    ADAPTER::StopRunning();
    {
        std::lock_guard<std::recursive_mutex> g(imageLock_);
        if (state_ == SIOAM_RUNNING) {
            SetState(SIOAM_STOPPING);
            Stamp();
        } else {
            SetState(SIOAM_STOPPED);
        }
    }
    RequestBuffer();
    PollWake::Post();
}

int SIOAM::Suspend() {
    tprintf("--> 485 Suspend Running called...State = %d\n", static_cast<int>(state_.load()));
    if (state_ != SIOAM_RUNNING) return 0;
    {
        SlotLock guard(owner_);
        for (PDEV* device : owner_ ? owner_->ListedDevices() : std::vector<PDEV*>{}) {
            if (device->GetDeviceType() == 0xFF) continue;
            const DeviceID& id = device->GetDeviceID();
            tprintf("Suspending 485 Device: %02x.%02x.%02x (%s)\n", id.slot, id.port, id.device,
                    device->NameTag());
            DeviceLock lock(device);
            device->Suspend();
        }
    }
    SetState(SIOAM_SUSPENDED);
    CloseDD();
    return 0;
}

int SIOAM::Resume() {
    tprintf("--> 485 Resume Running called...State = %d\n", static_cast<int>(state_.load()));
    if (state_ != SIOAM_SUSPENDED) return 0;
    {
        std::lock_guard<std::recursive_mutex> g(imageLock_);
        ResetForStart();
        exchangeFd_ = -1;
        std::lock_guard<std::mutex> info(infoLock_);
        infoFd_ = -1;
    }
    if (!buffer_) {
        clErrorLog(827, 301, 0, kTag, this, sizeof(SIOAM));
        return 301;
    }
    if (OpenDD() == 0) {
        RequestBuffer();
        SetPollListStale();
    } else {
        nodeDown_ = 1;
        nodeRetryAt_ = chTimeAdd(chTime(), kReopenIntervalMs);
    }
    SlotLock guard(owner_);
    for (PDEV* device : owner_ ? owner_->ListedDevices() : std::vector<PDEV*>{}) {
        if (device->GetDeviceType() == 0xFF) continue;
        const DeviceID& id = device->GetDeviceID();
        tprintf("Resuming 485 Device: %02x.%02x.%02x (%s)\n", id.slot, id.port, id.device,
                device->NameTag());
        DeviceLock lock(device);
        device->Resume();
    }
    return 0;
}
