// The adapter manager of an RS-485 slot. It owns the slot's exchange with the bus driver
// node: a 2048-byte exchange buffer that the driver and the manager pass back and forth.
// Each Run is one poll cycle: take the buffer when it has arrived, act on the driver's
// events and the received frame it carries, run the link timers of the slot's devices,
// then write the pending output (port configuration, poll list, poll timing, link frames)
// into the buffer and hand it back. The terminal adapter plug-ins derive from it, so the
// order of its virtual operations is a fixed interface.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "ADAPTER.h"
#include "GDList.h"
#include "RepeatedFailure.h"
#include "ovktypes.h"

class PDEV;
class Slot;

// Layout of the exchange buffer (offsets from its first byte, little-endian words).
namespace sioexch {
constexpr int kBufferSize = 2048;
constexpr int kFlags = 0;          // control flags, both ways
constexpr int kPortConfig = 1;     // port configuration; bit 7 from the driver: default poll list
constexpr int kTiming = 2;         // 3 poll-timing bytes
constexpr int kFrameCount = 5;     // number of outgoing frame records
constexpr int kFrameMark1 = 6;     // 0x2F, with frames
constexpr int kFrameMark2 = 7;     // 0x01, with frames
constexpr int kEvents = 12;        // event bits from the driver
constexpr int kPollList = 15;      // 48 entries of (port id, bus address)
constexpr int kPollListSize = 96;
constexpr int kErrorLength = 271;  // 16-bit length of the error area
constexpr int kErrorArea = 273;    // error records
constexpr int kErrorAreaSize = 30; // the error area ends where the frame area starts
constexpr int kFrameArea = 303;    // outgoing frame records / one received frame record
constexpr int kOutFrameAreaSize = 1743;
constexpr int kInFrameAreaSize = 1742;

// Control flags.
constexpr uint8_t kFlagInitialise = 0x80;
constexpr uint8_t kFlagTiming = 0x40;
constexpr uint8_t kFlagPortConfig = 0x20;
constexpr uint8_t kFlagFrames = 0x10;
constexpr uint8_t kFlagPollList = 0x08;
constexpr uint8_t kFlag04 = 0x04;
constexpr uint8_t kFlagReinitialise = 0x02;
constexpr uint8_t kFlag01 = 0x01;

inline uint16_t get16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t get32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void put16(unsigned char* p, uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
inline void put32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
} // namespace sioexch

// States of the adapter manager.
enum SioamState : uint32_t {
    SIOAM_CREATED = 0,        // before the first reset
    SIOAM_WAIT_ADAPTER = 1,   // waiting for the adapter after the 8051 reset
    SIOAM_ADAPTER_RESET = 2,  // the adapter reported a reset
    SIOAM_BROADCAST = 3,      // broadcast power-on reset to start
    SIOAM_BROADCAST_SENT = 4, // broadcast queued
    SIOAM_RUNNING = 5,
    SIOAM_STOPPING = 6,
    SIOAM_FINAL_BROADCAST = 7,
    SIOAM_FINAL_SENT = 8,
    SIOAM_STOPPED = 9,
    SIOAM_SUSPENDED = 10,
    SIOAM_NO_ADAPTER = 11,
};

// A frame queued since the last frame transmission: its port, address and a copy of the
// record.
struct OutMessage {
    uint8_t port = 0;
    uint8_t address = 0;
    int length = 0;
    unsigned char* record = nullptr;

    OutMessage(const unsigned char* rec, int len);
    ~OutMessage();
    OutMessage(const OutMessage&) = delete;
    OutMessage& operator=(const OutMessage&) = delete;
};
using GDList_OutMessage = GDList<OutMessage>;

class SIOAM : public ADAPTER {
public:
    SIOAM(int slot, short adapterType, const unsigned char* name);
    SIOAM(int slot, short adapterType, const char* name)
        : SIOAM(slot, adapterType, reinterpret_cast<const unsigned char*>(name)) {}
    ~SIOAM() override;

    void GetLocalNvramInfo(NvramInfoStruct& info) override;
    int NvramRead(void* record, int length) override;
    int NvramWrite(void* record, int length) override;
    int PowerRequest(void* record, int length) override;
    void StopRunning() override;
    int CloseDD() override;
    int OpenDD() override;
    int Run(int slot, int arg) override;
    int RequestBuffer() override;
    // Queues one outgoing frame record (built by the link device): 0, or 607 when it does
    // not fit the free space of the frame area.
    int SendFrame(const unsigned char* record, int length) override;
    int Suspend() override;
    int Resume() override;
    // Added operations.
    // 1 when a queued frame record is for the id's port and bus address.
    virtual int QuerySentMessage(DeviceID id);
    virtual int GetDCSInfo(unsigned short& kind, unsigned short& ports);
    virtual int GetNVRAMInfo(NvramInfoStruct& info, unsigned short& flag);

    // State and counters, for the slot, the link devices and tests.
    uint32_t GetState() const { return state_; }
    int32_t GetStateTime() const { return stateTime_; }
    int GetCyclesWithoutBuffer() const { return cyclesWithoutBuffer_; }
    int GetBufferHeld() const { return bufferHeld_; }
    int GetResendFlag() const { return resend_; }
    int GetFrameCount() const { return frameCount_; }
    int GetFrameBytes() const { return frameBytes_; }
    uint8_t GetPendingFlags() const { return pending_; }
    uint8_t GetPortConfig() const { return portConfig_; }
    uint8_t GetLastAdapterStatus() const { return lastStatus_; }
    const unsigned char* GetPollListImage() const { return pollList_; }
    int GetSentFrameCount() const { return sentFrames_.count; }
    int GetBufferWaitTimeouts() const { return waitTimeouts_; }

    // A lost driver node (the driver or its forwarding peer went away): the manager closes
    // it, reports every device of the slot offline, and opens it again every second; once
    // it opens, the adapter starts again as at construction, and the devices come back
    // online by their usual start-up. Repeated failures are logged at most once a minute.
    static constexpr int32_t kReopenIntervalMs = 1000;
    static constexpr int32_t kNodeLogIntervalMs = RepeatedFailure::kLogIntervalMs;
    bool NodeLost() const { return nodeDown_.load() != 0; }

protected:
    // Cycle steps.
    // Asks the node for the buffer (DCS_REQUEST_BUFFER) on the calling thread.
    int AskForBuffer();
    // Takes the buffer from the node, waiting at most timeoutMs: 0 when it came (from the
    // node, or the one fetched ahead by the last ReturnBuffer), 252 when it did not, else
    // 301 (logged).
    int WaitForBuffer(int timeoutMs);
    // Gives the buffer back to the node. With `fetchAhead`, on a node that takes requests in
    // pairs (a forwarding peer), the next round's WaitForBuffer(0) is sent along with it and
    // a buffer that it brings waits for that round, which spares a round trip to the node
    // while frames move.
    int ReturnBuffer(bool fetchAhead = false);
    int ResetAdapter();
    bool ProcessBuffer();
    void ProcessInputError();
    bool ProcessInputFrame();
    void PrepareOutput(bool bufferArrived, bool frameHandled);
    // Gives the buffer back with what the image holds; `fetchAhead`: the next round runs at
    // once (see ReturnBuffer).
    void TransmitBuffer(bool bufferArrived, bool fetchAhead = false);
    void ProcessOutput();
    void RebuildPollList();
    bool BroadcastResetStep();
    void AnswerWhileStopping(const unsigned char* record, int length);
    void RequeueAfterCrossing(uint8_t port, uint8_t address);
    // Appends a record to the frame area (no copy on the sent-frame list): 0 or 607.
    int QueueRecord(const unsigned char* record, int length);

    // Helpers.
    void ClearImage();
    void EmptyFrameArea();
    void FreeSentFrames();
    void Trace(uint32_t id, const void* data, int length) const;
    void TraceSlot(uint32_t id) const;
    void SetState(uint32_t state) { state_ = state; }
    void Stamp();
    void ComputePrivateMark();
    // The device of this slot at (port id, bus address); slot lock held.
    PDEV* FindDevice(uint8_t port, uint8_t address);
    // Resets image, state, counters and flags as at construction (image lock held).
    void ResetForStart();
    // Opens both descriptors of the node without logging: 0, or the open's error.
    int OpenNode();
    // True when the request that just failed on `fd` did not reach the driver: the node is
    // lost, and the next Run deals with it.
    bool NodeGone(int fd);
    // Polling thread: the node failed (close it, devices offline), or is due to be reopened.
    void LoseNode();
    void RetryNode();
    // One step of the poll cycle (Run without the lost-node handling).
    void Cycle();

    unsigned char* buffer_ = nullptr;
    // Output image: what the next buffers will carry.
    uint8_t pending_ = 0;
    uint8_t portConfig_ = 0;
    uint8_t timing_[3] = {};
    unsigned char pollList_[sioexch::kPollListSize] = {};
    uint8_t frameCount_ = 0;
    uint8_t frameMark1_ = 0x2F;
    uint8_t frameMark2_ = 0x01;
    uint16_t frameBytes_ = 0;
    unsigned char frames_[sioexch::kOutFrameAreaSize] = {};
    uint8_t lastStatus_ = 0;

    std::atomic<uint32_t> state_{SIOAM_CREATED};
    int32_t stateTime_ = 0;
    int32_t stopCycles_ = 0;
    int32_t secondPort_ = 0;
    int32_t cyclesWithoutBuffer_ = 0;
    int32_t bufferHeld_ = 0;
    GDList_OutMessage sentFrames_;
    int32_t resend_ = 0;
    int32_t privateMark_ = 0;
    int exchangeFd_ = -1; // descriptors of the driver node, -1 when closed
    int infoFd_ = -1;
    int32_t waitTimeouts_ = 0;
    // Lost node: seen by a request of any thread; closed and being reopened (polling thread).
    std::atomic<int> nodeFailed_{0};
    std::atomic<int> nodeDown_{0};
    int32_t nodeRetryAt_ = 0;
    RepeatedFailure nodeLossLog_;
    bool nodeLossLogged_ = false; // the last loss was logged: its end is logged too
    // Devices off the link (the adapter's own NVRAM) that were online when the node was
    // lost: nothing of the link's start-up confirms them, so they are confirmed on reopening.
    std::vector<DeviceID> offLinkOnline_;
    // Serialises the information descriptor's requests with its closing and reopening.
    std::mutex infoLock_;
    // Serialises the output image, the sent-frame list and the buffer hand-over between the
    // polling thread and devices that queue frames from request threads.
    mutable std::recursive_mutex imageLock_;
    // The thread that runs the cycles (none before the first). Another thread that wants the
    // buffer (a request thread that queued a frame or a command) only marks the wish and
    // wakes that thread, which asks the node at the start of its next round: the request
    // thread neither waits for the node nor holds the image lock against the cycle.
    std::atomic<std::thread::id> pollingThread_{};
    std::atomic<bool> bufferWanted_{false};
    // The wait record of a buffer fetched ahead (image lock held to touch them).
    std::vector<unsigned char> ahead_;
    bool aheadHeld_ = false;
    bool fetchedAhead_ = false; // the last WaitForBuffer took the buffer fetched ahead
    // Rounds that still count as moving while the answers to frames sent are awaited.
    static constexpr int kAnswerRounds = 2;
    int answerRounds_ = 0;
};
