// RS-485 adapter manager: the poll cycle. Input (driver events, error records, the
// received frame), the state steps, the device timers, the poll list and the buffer that
// goes back to the driver.
#include <algorithm>
#include <cstring>

#include "ObjectSupport.h"
#include "PDEV.h"
#include "PollWake.h"
#include "SIOAM.h"
#include "Slot.h"
#include "sycrc.h"
#include "sylocks.h"

using namespace sioexch;

namespace {

const char kTag[] = "@(#)sysioamcycle.cpp";

// Broadcast power-on reset of every device on a port: address 0x7A, control 0x03, data
// 0x00 0x40, no check bytes.
const unsigned char kPort1Reset[9] = {0x04, 0x00, 0x11, 0x60, 0x00, 0x7A, 0x03, 0x00, 0x40};
const unsigned char kPort2Reset[9] = {0x04, 0x00, 0x22, 0x60, 0x00, 0x7A, 0x03, 0x00, 0x40};

constexpr int kMinFrameLength = 4; // address, control and the two check bytes

const char kPassing[] = "PassingInTheNight";
const char kClearPassing[] = "ClearPassingInTheNight";

const unsigned char* text(const char* s) { return reinterpret_cast<const unsigned char*>(s); }

bool errorCarriesDevice(unsigned char code) {
    return code == 0x11 || code == 0x13 || (code >= 0x20 && code <= 0x23);
}

} // namespace

PDEV* SIOAM::FindDevice(uint8_t port, uint8_t address) {
    if (!devices_) return nullptr;
    for (PDEV* device : ListElements(*devices_)) {
        const DeviceID& id = device->GetDeviceID();
        if (id.port == port && id.device == address) return device;
    }
    return nullptr;
}

int SIOAM::Run(int /*slot*/, int /*arg*/) {
    if (!buffer_) return static_cast<int>(state_.load());
    pollingThread_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    uint32_t state = state_;
    // Stopped, suspended (the node is closed) or without an adapter: nothing to exchange.
    if (state == SIOAM_STOPPED || state == SIOAM_NO_ADAPTER || state == SIOAM_SUSPENDED)
        return static_cast<int>(state);
    if (nodeDown_) {
        RetryNode();
        return static_cast<int>(state_.load());
    }
    if (!nodeFailed_) Cycle();
    // A request of this cycle, or of a request thread, found the node gone.
    if (nodeFailed_) LoseNode();
    return static_cast<int>(state_.load());
}

void SIOAM::Cycle() {
    // What another thread asked for since the last round.
    if (bufferWanted_.exchange(false)) AskForBuffer();
    bool arrived;
    if (!started_) {
        if (WaitForBuffer(50) != 0) {
            RequestBuffer();
            return;
        }
        started_ = 1;
        int rc = ResetAdapter();
        if (rc == 0) {
            // The reset takes the buffer back to the driver, which hands it over again.
            std::lock_guard<std::recursive_mutex> g(imageLock_);
            bufferHeld_ = 0;
            pending_ |= kFlagInitialise;
            SetState(SIOAM_WAIT_ADAPTER);
            Stamp();
            return;
        }
        if (rc == 254 && adapterType_ == 661) {
            SetState(SIOAM_NO_ADAPTER);
            return;
        }
        if (NodeGone(exchangeFd_)) return;
        // The reset failed: the buffer is still ours, so this cycle goes on with it.
        clErrorLog(801, 301, static_cast<uint32_t>(rc), kTag, this, sizeof(SIOAM));
        SetState(SIOAM_BROADCAST);
        arrived = true;
    } else {
        arrived = WaitForBuffer(0) == 0;
    }

    bool handled = false;
    if (arrived) {
        try {
            handled = ProcessBuffer();
        } catch (...) {
            clErrorLog(822, 301, state_, kTag, this, sizeof(SIOAM));
        }
    }
    try {
        PrepareOutput(arrived, handled);
    } catch (...) {
        clErrorLog(823, 301, state_, kTag, this, sizeof(SIOAM));
    }
    bool sending;
    {
        std::lock_guard<std::recursive_mutex> g(imageLock_);
        sending = arrived && (pending_ & kFlagFrames) && !(pending_ & kFlagPortConfig);
    }
    // A round that moved frames may have more behind it (answers, queued input): the next
    // round runs at once. The answers to frames sent may come behind error records of the
    // same polls (the node hands errors and a frame over in turns), so a few rounds that
    // bring only such records still count as moving; each frame sent buys at most
    // kAnswerRounds of them.
    bool moving = handled || sending;
    if (sending) {
        answerRounds_ = kAnswerRounds;
    } else if (handled) {
        answerRounds_ = 0;
    } else if (arrived && answerRounds_ > 0) {
        --answerRounds_;
        moving = true;
    }
    try {
        TransmitBuffer(arrived, moving && state_ == SIOAM_RUNNING);
    } catch (...) {
        clErrorLog(824, 301, state_, kTag, this, sizeof(SIOAM));
    }
    // A round on a buffer fetched ahead did not ask the node: the next one does, whatever
    // this one moved (it fetches nothing ahead itself unless frames moved, so this never
    // goes on by itself).
    if (moving || fetchedAhead_) PollWake::Post();
}

// --- input -------------------------------------------------------------------------------

bool SIOAM::ProcessBuffer() {
    bool errors = false;
    bool frame = false;
    for (int bit = 0; bit < 8 && buffer_[kEvents] != 0; ++bit) {
        const uint8_t mask = static_cast<uint8_t>(1u << bit);
        if (!(buffer_[kEvents] & mask)) continue;
        switch (bit) {
        case 0: {
            std::lock_guard<std::recursive_mutex> g(imageLock_);
            buffer_[kFlags] &= static_cast<uint8_t>(~kFlag01);
            pending_ &= static_cast<uint8_t>(~kFlag01);
            TraceSlot(40);
            break;
        }
        case 1: {
            std::lock_guard<std::recursive_mutex> g(imageLock_);
            buffer_[kFlags] &= static_cast<uint8_t>(~kFlagReinitialise);
            pending_ &= static_cast<uint8_t>(~kFlagReinitialise);
            lastStatus_ = buffer_[kFrameArea + 2];
            unsigned char data[2] = {static_cast<unsigned char>(slot_), lastStatus_};
            Trace(32, data, 2);
            if (state_ == SIOAM_ADAPTER_RESET) SetState(SIOAM_BROADCAST);
            break;
        }
        case 2: {
            std::lock_guard<std::recursive_mutex> g(imageLock_);
            buffer_[kFlags] &= static_cast<uint8_t>(~kFlag04);
            pending_ &= static_cast<uint8_t>(~kFlag04);
            TraceSlot(33);
            break;
        }
        case 3:
            errors = true;
            ProcessInputError();
            break;
        case 4: frame = true; break;
        case 5: break;
        case 6: TraceSlot(37); break;
        case 7:
            TraceSlot(38);
            if (state_ == SIOAM_RUNNING) {
                // The adapter lost its set-up: send configuration, poll list and timing again.
                {
                    std::lock_guard<std::recursive_mutex> g(imageLock_);
                    portConfig_ = 0;
                    timing_[2] = 0;
                }
                RebuildPollList();
            } else if (state_ != SIOAM_STOPPED) {
                std::lock_guard<std::recursive_mutex> g(imageLock_);
                buffer_[kFlags] &= static_cast<uint8_t>(~kFlagInitialise);
                SetState(SIOAM_ADAPTER_RESET);
                pending_ &= static_cast<uint8_t>(~kFlagInitialise);
                pending_ |= kFlagReinitialise;
                Stamp();
            }
            break;
        }
        buffer_[kEvents] &= static_cast<uint8_t>(~mask);
    }
    if (frame && !errors) return ProcessInputFrame();
    return false;
}

// Error records: length byte N, code, port id, bus address, further bytes (N + 1 bytes in
// all). The walk stays inside the error area whatever length the driver reports.
void SIOAM::ProcessInputError() {
    const int length = std::min<int>(get16(buffer_ + kErrorLength), kErrorAreaSize);
    const unsigned char* area = buffer_ + kErrorArea;
    int offset = 0;
    while (offset < length) {
        const unsigned char* rec = area + offset;
        const int n = rec[0];
        if (offset + n + 1 > length) break; // a record cut off by the end of the area
        offset += n + 1;
        if (n < 1) continue;
        unsigned char code = rec[1];
        unsigned char port = 0xFF, address = 0xFF;
        if (errorCarriesDevice(code) && n >= 3) {
            port = rec[2];
            address = rec[3];
        }
        const uint32_t extra = uint32_t(code) << 16 | uint32_t(port) << 8 | address;
        if (code != 0x13) {
            unsigned char data[6] = {static_cast<unsigned char>(slot_), static_cast<unsigned char>(n)};
            int follow = std::min(n, 4);
            std::memcpy(data + 2, rec + 1, static_cast<size_t>(follow));
            Trace(34, data, 2 + follow);
        }
        if ((code == 0x13 || code == 0x20) && state_ == SIOAM_RUNNING) {
            SlotLock guard(owner_);
            PDEV* device = port != 0xFF ? FindDevice(port, address) : nullptr;
            if (device) {
                DeviceLock lock(device);
                device->ProcessError(&code, 1);
            } else if (code == 0x20) {
                clErrorLog(802, 811, extra, kTag, this, sizeof(SIOAM));
            }
        }
        if (code != 0x13 && code != 0x20 && code != 0x80)
            clErrorLog(803, 811, extra, kTag, this, sizeof(SIOAM));
    }
}

// One received frame record at 303: length L, port id, bus address, control, L - 4 data
// bytes, two check bytes (L + 3 bytes).
bool SIOAM::ProcessInputFrame() {
    unsigned char* rec = buffer_ + kFrameArea;
    const int length = get16(rec);
    if (length < kMinFrameLength || length + 3 > kInFrameAreaSize) {
        clErrorLog(806, 306, static_cast<uint32_t>(length), kTag, this, sizeof(SIOAM), rec, 5);
        return false;
    }
    const int size = length + 3;
    const uint8_t port = rec[2];
    const uint8_t address = rec[3];
    const uint8_t control = rec[4];

    if (state_ == SIOAM_STOPPING) {
        AnswerWhileStopping(rec, size);
        return true;
    }
    if (state_ != SIOAM_RUNNING) return false;

    SlotLock guard(owner_);
    PDEV* device = FindDevice(port, address);
    if (!device) {
        clErrorLog(804, 811, uint32_t(port) << 8 | address, kTag, this, sizeof(SIOAM), rec,
                   static_cast<uint16_t>(size));
        return false;
    }
    const bool crossed = QuerySentMessage(DeviceID(static_cast<uint8_t>(slot_), port, address)) != 0;
    if (crossed) {
        clErrorLog(826, 306, uint32_t(port) << 8 | address, kTag, this, sizeof(SIOAM));
        RequeueAfterCrossing(port, address);
    }
    {
        std::vector<unsigned char> data(1 + static_cast<size_t>(size));
        data[0] = static_cast<unsigned char>(slot_);
        std::memcpy(data.data() + 1, rec, static_cast<size_t>(size));
        uint32_t id = (control & 0x11) ? 35 : (privateMark_ ? 0x9000002Bu : 43);
        Trace(id, data.data(), static_cast<int>(data.size()));
    }
    DeviceLock lock(device);
    if (crossed) device->ProcessError(text(kPassing), 17);
    device->ProcessInput(rec, size);
    std::memset(rec, 0, static_cast<size_t>(size));
    if (crossed) device->ProcessError(text(kClearPassing), 22);
    return true;
}

// A frame crossed one of ours on the wire: the device's queued frames are dropped (its
// link sorts out the crossing); every other device's frames are queued again, in order.
void SIOAM::RequeueAfterCrossing(uint8_t port, uint8_t address) {
    std::lock_guard<std::recursive_mutex> g(imageLock_);
    EmptyFrameArea();
    resend_ = 1;
    sentFrames_.start();
    while (OutMessage* entry = sentFrames_.get()) {
        if (chCheckBuffer(entry, sizeof(OutMessage), CH_ACCESS_READ) != 0 || !entry->record) {
            sentFrames_.fwd();
            continue;
        }
        if (entry->port == port && entry->address == address) {
            delete sentFrames_.linkout();
            continue;
        }
        SendFrame(entry->record, entry->length);
        sentFrames_.fwd();
    }
    resend_ = 0;
}

// While stopping, the manager keeps the links quiet itself: an I-frame gets RR, a request
// online gets SNRM.
void SIOAM::AnswerWhileStopping(const unsigned char* rec, int /*size*/) {
    const uint8_t port = rec[2];
    const uint8_t address = rec[3];
    const uint8_t control = rec[4];
    uint8_t answer;
    if ((control & 0x11) == 0) answer = static_cast<uint8_t>((control << 4) + 0x21);
    else if (control == 0x0F) answer = 0x83;
    else return;
    const SIOAddressRow& row = ObjectSupport::SIOAddresses[address];
    unsigned char out[9] = {0x04, 0x00, port, row.addressWaitTime, row.byteWaitTime, address, answer};
    unsigned short crc = CalculateCRC(out + 5, 2);
    out[7] = static_cast<unsigned char>(crc);
    out[8] = static_cast<unsigned char>(crc >> 8);
    SendFrame(out, 9);
}

// --- output ------------------------------------------------------------------------------

void SIOAM::PrepareOutput(bool bufferArrived, bool frameHandled) {
    const int32_t now = chTime();
    switch (state_.load()) {
    case SIOAM_CREATED: {
        std::lock_guard<std::recursive_mutex> g(imageLock_);
        pending_ |= kFlagInitialise;
        SetState(SIOAM_WAIT_ADAPTER);
        Stamp();
        break;
    }
    case SIOAM_WAIT_ADAPTER:
    case SIOAM_ADAPTER_RESET:
        if (!bufferArrived) break;
        if (adapterType_ == 661) {
            if (chTimeDiff(now, stateTime_) > 2000) {
                const char line[] = "===============================\n";
                tprintf("%s", line);
                tprintf("%s", line);
                tprintf("No 8051 Adapter\n");
                tprintf("%s", line);
                tprintf("%s", line);
                SetState(SIOAM_NO_ADAPTER);
            }
        } else if (chTimeDiff(now, stateTime_) > 10000) {
            std::lock_guard<std::recursive_mutex> g(imageLock_);
            buffer_[kFlags] &= static_cast<uint8_t>(~kFlagReinitialise);
            pending_ &= static_cast<uint8_t>(~kFlagReinitialise);
            SetState(SIOAM_BROADCAST);
        }
        break;
    case SIOAM_BROADCAST:
    case SIOAM_FINAL_BROADCAST: {
        std::lock_guard<std::recursive_mutex> g(imageLock_);
        if (bufferArrived && frameCount_ == 0 && BroadcastResetStep())
            SetState(state_ == SIOAM_BROADCAST ? SIOAM_BROADCAST_SENT : SIOAM_FINAL_SENT);
        break;
    }
    case SIOAM_RUNNING:
        if (!frameHandled) ProcessOutput();
        if (pollListStale_) {
            DeleteAnyReadyPdevs();
            RebuildPollList();
        }
        break;
    case SIOAM_STOPPING:
        if (!bufferArrived || !frameHandled) ++stopCycles_;
        if (chTimeDiff(now, stateTime_) > 1000 || stopCycles_ >= 4) SetState(SIOAM_FINAL_BROADCAST);
        break;
    default: break;
    }
}

// One step of the broadcast power-on reset: port 1's record, then port 2's when that port
// is valid. True when the broadcast is complete.
bool SIOAM::BroadcastResetStep() {
    std::lock_guard<std::recursive_mutex> g(imageLock_);
    EmptyFrameArea();
    portConfig_ = static_cast<uint8_t>((portConfig_ & 0x33) | 0x48);
    pending_ |= kFlagPortConfig;
    const bool port2 = ValidatePort(PORT_RS485_2) == 0;
    if (!secondPort_) QueueRecord(kPort1Reset, sizeof kPort1Reset);
    else if (port2) QueueRecord(kPort2Reset, sizeof kPort2Reset);
    if (!port2 || secondPort_) {
        secondPort_ = 0;
        return true;
    }
    secondPort_ = 1;
    return false;
}

// The link timers of every device, in list order. The walk stops when a device changed the
// list under it.
void SIOAM::ProcessOutput() {
    if (!devices_) return;
    const long now = chTime();
    SlotLock guard(owner_);
    std::vector<PDEV*> devices = ListElements(*devices_);
    for (size_t i = 0; i < devices.size(); ++i) {
        PDEV* device = devices[i];
        {
            DeviceLock lock(device);
            try {
                device->ProcessOutput(now);
            } catch (...) {
                clErrorLog(825, 301, 0, kTag, this, sizeof(SIOAM), device, sizeof(PDEV));
            }
        }
        if (devices_->count != static_cast<int>(devices.size()) ||
            ListElementAt(*devices_, static_cast<int>(i)) != device)
            break;
    }
}

void SIOAM::TransmitBuffer(bool bufferArrived, bool fetchAhead) {
    std::lock_guard<std::recursive_mutex> g(imageLock_);
    bool stateChanged = false;
    if (bufferArrived) {
        cyclesWithoutBuffer_ = 0;
        const uint8_t received = buffer_[kPortConfig];
        buffer_[kFlags] &= static_cast<uint8_t>(~(kFlagPollList | kFlagFrames | kFlagPortConfig | kFlagTiming));
        buffer_[kFrameCount] = 0;
        const uint8_t p = pending_;
        uint8_t chosen = 0;
        if (p == 0) {
        } else if ((p & kFlagFrames) && !(p & kFlagPortConfig)) {
            buffer_[kFrameCount] = frameCount_;
            buffer_[kFrameMark1] = frameMark1_;
            buffer_[kFrameMark2] = frameMark2_;
            std::memcpy(buffer_ + kFrameArea, frames_, frameBytes_);
            int offset = 0;
            for (int i = 0; i < frameCount_ && offset + 7 <= frameBytes_; ++i) {
                const unsigned char* rec = frames_ + offset;
                const int size = get16(rec) + 5;
                if (size == 5 || offset + size > frameBytes_) break;
                std::vector<unsigned char> data(1 + static_cast<size_t>(size));
                data[0] = static_cast<unsigned char>(slot_);
                std::memcpy(data.data() + 1, rec, static_cast<size_t>(size));
                Trace((rec[6] & 0x11) ? 36 : 44, data.data(), static_cast<int>(data.size()));
                offset += size;
            }
            FreeSentFrames();
            chosen = kFlagFrames;
        } else if (p & (kFlagPortConfig | kFlagTiming | kFlagPollList)) {
            if (p & kFlagPortConfig) {
                buffer_[kPortConfig] = portConfig_;
                chosen |= kFlagPortConfig;
            }
            if (p & kFlagPollList) {
                std::memcpy(buffer_ + kPollList, pollList_, kPollListSize);
                chosen |= kFlagPollList;
            } else if (received & 0x80) {
                std::memset(buffer_ + kPollList, 0, kPollListSize);
                const unsigned char first[4] = {0x11, 0x00, 0x11, 0x00};
                const unsigned char second[4] = {0x22, 0x00, 0x22, 0x00};
                std::memcpy(buffer_ + kPollList, first, 4);
                if (ValidatePort(PORT_RS485_2) == 0) std::memcpy(buffer_ + kPollList + 4, second, 4);
                chosen |= kFlagPollList;
            }
            if (p & kFlagTiming) {
                std::memcpy(buffer_ + kTiming, timing_, 3);
                chosen |= kFlagTiming;
            }
        } else if (p & kFlagReinitialise) {
            chosen = kFlagReinitialise;
        } else if (p & kFlagInitialise) {
            chosen = kFlagInitialise;
        }
        if (chosen & kFlagFrames) {
            if (state_ == SIOAM_BROADCAST_SENT) {
                SetState(SIOAM_RUNNING);
                stateChanged = true;
            } else if (state_ == SIOAM_FINAL_SENT) {
                SetState(SIOAM_STOPPED);
                stateChanged = true;
            }
        }
        buffer_[kFlags] = chosen;
        pending_ &= static_cast<uint8_t>(~chosen);
        ReturnBuffer(fetchAhead);
        if (chosen & kFlagFrames) EmptyFrameArea();
    } else {
        ++cyclesWithoutBuffer_;
    }
    const uint32_t state = state_;
    const bool idle = pending_ == 0 &&
                      (state == SIOAM_RUNNING ||
                       (state != SIOAM_STOPPING && cyclesWithoutBuffer_ <= 2 && !stateChanged));
    if (!idle) {
        cyclesWithoutBuffer_ = 0;
        RequestBuffer();
    }
}

// The poll list follows the slot's devices: (port id, address) of each device, idle
// entries so that each port has at least five, and the sniffer's poll byte in the timing.
void SIOAM::RebuildPollList() {
    pollListStale_ = 0;
    struct Entry {
        uint8_t port, address;
    };
    std::vector<Entry> entries;
    uint8_t pollByte = 0x20;
    {
        SlotLock guard(owner_);
        bool haveSniffer = false;
        const bool docked = docked_ != 0;
        for (PDEV* device : devices_ ? ListElements(*devices_) : std::vector<PDEV*>{}) {
            const DeviceID id = device->GetDeviceID();
            const bool sniffer = device->GetDeviceType() == 0xFF;
            if (sniffer && !haveSniffer) {
                unsigned char b = 0x20;
                DeviceLock lock(device);
                device->TellPhys(nullptr, 1234, &b, 1);
                pollByte = b;
                haveSniffer = true;
            }
            if (id.port == 0 || id.device < 1 || id.device > 127) continue;
            if (!docked && !sniffer && !IsNotDockedAddress(id.device)) continue;
            entries.push_back({id.port, id.device});
        }
    }

    std::lock_guard<std::recursive_mutex> g(imageLock_);
    const uint8_t config = static_cast<uint8_t>((portConfig_ & 0x03) | 0xA4);
    if (config != portConfig_) {
        portConfig_ = config;
        pending_ |= kFlagPortConfig;
    }
    std::memset(pollList_, 0, sizeof pollList_);
    const bool port2 = ValidatePort(PORT_RS485_2) == 0;
    int pos = 0;
    int count1 = 0, count2 = 0;
    auto add = [&](uint8_t port, uint8_t address) {
        pollList_[pos++] = port;
        pollList_[pos++] = address;
    };
    add(PORT_RS485_1, 0x00);
    ++count1;
    if (port2) {
        add(PORT_RS485_2, 0x00);
        ++count2;
    }
    for (const Entry& e : entries) {
        if (kPollListSize - pos < 2) {
            unsigned char data[2] = {e.port, e.address};
            clErrorLog(808, 812, uint32_t(e.port) << 8 | e.address, kTag, this, sizeof(SIOAM), data, 2);
            continue;
        }
        add(e.port, e.address);
        if (!(ObjectSupport::SIOAddresses[e.address].flags & 0x01)) {
            if (e.port == PORT_RS485_1) ++count1;
            else if (e.port == PORT_RS485_2) ++count2;
        }
    }
    for (; count1 < 5 && kPollListSize - pos >= 2; ++count1) add(PORT_RS485_1, 0x00);
    if (port2)
        for (; count2 < 5 && kPollListSize - pos >= 2; ++count2) add(PORT_RS485_2, 0x00);
    if (timing_[2] != pollByte) {
        timing_[0] = 0xEB;
        timing_[1] = 0xFA;
        timing_[2] = pollByte;
        pending_ |= kFlagTiming;
    }
    pending_ |= kFlagPollList;
    unsigned char data[1 + kPollListSize];
    data[0] = static_cast<unsigned char>(slot_);
    std::memcpy(data + 1, pollList_, kPollListSize);
    Trace(39, data, sizeof data);
}
