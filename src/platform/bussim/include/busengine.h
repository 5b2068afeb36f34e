// The simulated RS-485 driver node: answers the requests of /dev/ovkdcs on records in
// memory, passes the exchange buffer of each RS-485 slot back and forth with the core, and
// runs the bus behind it (poll list, frames to and from the stations, poll time-outs).
//
// The engine does no I/O and keeps no time of its own: it is driven in lockstep, one bus
// tick for each request 0x09 that finds the buffer with the node; models are ticked with
// chTime(). Every public member may be called from any thread (one internal lock), except
// that a Station* from station()/attach() is only safe to use while nobody else drives
// the engine (use withStation() otherwise).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "busexchange.h"
#include "busmodel.h"
#include "busstation.h"
#include "busterminal.h"
#include "nvramstore.h"
#include "sydevnode.h"

namespace bussim {

// Requests of the driver node (ioctl type 'w'; the record size is in the number).
namespace req {
constexpr unsigned long kRequestBuffer = 0xC0087708UL; // RW 8: slot
constexpr unsigned long kWaitBuffer = 0xC80C7709UL;    // RW 2060: slot, timeout, buffer
constexpr unsigned long kReturnBuffer = 0xC808770AUL;  // RW 2056: slot, buffer
constexpr unsigned long kResetAdapter = 0xC008770BUL;  // RW 8: slot
constexpr unsigned long kDcsInfo = 0xC010770CUL;       // RW 16: slot, kind, port count
constexpr unsigned long kSlotInfo = 0x80DC770DUL;      // R 220: adapter types, slot types
constexpr unsigned long kNvramRead = 0x8810771FUL;     // R 2064
constexpr unsigned long kNvramWrite = 0xC8107720UL;    // RW 2064
constexpr unsigned long kNvramInfo = 0xC0387725UL;     // RW 56
constexpr unsigned long kVitalProductData = 0xC01C7727UL; // RW 28
} // namespace req

// Results the node writes into a record's first word.
namespace res {
constexpr uint32_t kOk = 0;
constexpr uint32_t kBadDescriptor = 9;   // EBADF: not a descriptor of this node
constexpr uint32_t kInvalid = 22;        // EINVAL: record too short, malformed buffer,
                                         // buffer returned that the core did not hold
constexpr uint32_t kUnknownRequest = 25; // ENOTTY
constexpr uint32_t kBadSlot = 251;       // slot number outside 0-8
constexpr uint32_t kTimeout = 252;       // no buffer to deliver
constexpr uint32_t kNoAdapter = 254;     // no RS-485 adapter in the slot
} // namespace res

// A buffer the core handed back (request 0x0A), as the node decoded it.
struct ReturnedBuffer {
    int slot = -1;
    bool accepted = false;
    std::string refusal; // why a refused buffer was refused
    CoreOutput output;   // valid when accepted
};

// A buffer the node delivered (request 0x09).
struct DeliveredBuffer {
    int slot = -1;
    NodeInput input;
};

class BusEngine : public DevNodeBackend {
public:
    static constexpr size_t kLogLimit = 4096;        // entries kept in each log
    static constexpr size_t kFrameQueueLimit = 64;   // received frames waiting per slot
    static constexpr size_t kErrorQueueLimit = 256;  // error records waiting per slot
    static constexpr int kFramesBeforeErrors = 4;     // frame buffers in a row while errors wait

    explicit BusEngine(const TerminalDescription& description = TerminalDescription::standard());
    ~BusEngine() override;
    BusEngine(const BusEngine&) = delete;
    BusEngine& operator=(const BusEngine&) = delete;

    // --- the driver node ---
    // Opens a node whose last path component is "ovkdcs": 0 and a descriptor, else ENOENT.
    int open(const char* path, int& fd) override;
    // Works on the record in place; its first word receives the result (see res).
    void ioctl(int fd, unsigned long request, void* record, size_t size) override;
    // Closing the descriptor that holds a slot's buffer gives the buffer back to the node.
    int close(int fd) override;

    const TerminalDescription& description() const { return description_; }

    // --- the adapters' own NVRAM ---
    // Keeps each slot's NVRAM in "<dir>/adapter-nvram-<slot>"; false with the reason (a
    // file of another size is refused).
    bool openNvramFiles(const std::string& dir, std::string& error);
    // Bytes of a slot's NVRAM; false when the range is outside it.
    bool nvramDump(int slot, uint32_t offset, uint32_t length, std::vector<uint8_t>& out) const;
    // Plans a power cut of a slot's NVRAM: `whole` more writes, then `partial` bytes of the
    // next; then the node drops its connections (dropped()) until the simulator restarts.
    bool planNvramCut(int slot, int whole, int partial);
    bool dropped() const;

    // --- stations ---
    // Attaches a powered-on station at (slot, port 0x11 or 0x22, address 0x00-0x7F but not
    // the broadcast address 0x7A) on an RS-485 slot. Null when refused or already taken.
    Station* attach(int slot, uint8_t port, uint8_t address, std::unique_ptr<DeviceModel> model);
    bool detach(int slot, uint8_t port, uint8_t address);
    Station* station(int slot, uint8_t port, uint8_t address);
    // Takes a station off the bus (its polls time out) / plugs it in again (power-on).
    bool takeAway(int slot, uint8_t port, uint8_t address);
    bool bringBack(int slot, uint8_t port, uint8_t address);
    // Runs fn on the station under the engine's lock; false when there is none.
    bool withStation(int slot, uint8_t port, uint8_t address, const std::function<void(Station&)>& fn);
    // Frames the station received (control and data), oldest first.
    std::vector<LinkFrame> received(int slot, uint8_t port, uint8_t address) const;

    // --- the adapter ---
    // Queues an error record for the next delivered buffer. False for a slot without an
    // RS-485 adapter or a record larger than the error area.
    bool injectError(int slot, const ErrorRecord& record);
    // Raises an adapter event bit (0-2, 5-7; bits 3 and 4 belong to errors and frames) in
    // the next delivered buffer; bit 1 carries `status` at offset 305. Bits 0, 1, 2 and 7
    // also set their flag (0x01, 0x02, 0x04, 0x80) in byte 0.
    bool injectEvent(int slot, int bit, uint8_t status = 0);
    bool bufferWithCore(int slot) const;
    // True when a station's frame waits in the node for the next buffer (a buffer carries
    // one frame, and error records take turns with frames).
    bool framesWaiting() const;
    // The 48 poll-list entries the core last sent (empty before the first list).
    std::vector<PollEntry> pollList(int slot) const;
    uint8_t portConfig(int slot) const;
    uint64_t ticks(int slot) const;

    // --- logs (the last kLogLimit of each; slot -1 = every slot) ---
    std::vector<ReturnedBuffer> returnedBuffers(int slot = -1) const;
    std::vector<DeliveredBuffer> deliveredBuffers(int slot = -1) const;
    void clearLogs();

private:
    struct SlotState {
        bool nodeHolds = true;      // the exchange buffer is with the node
        int holder = -1;            // else the descriptor it went out through
        bool requested = false;     // 0x08 came while the node held it
        bool deliverUnasked = false; // after 0x0B
        int framesInARow = 0;       // buffers in a row that carried a frame while errors waited
        bool pollListKnown = false;
        uint8_t portConfig = 0;
        std::array<uint8_t, 3> timing{};
        std::array<PollEntry, exch::kPollEntries> pollList{};
        std::deque<CoreOutput> outputs; // accepted, applied at the next tick
        std::deque<InFrame> frames;     // from the stations, one per buffer
        std::deque<ErrorRecord> errors;
        uint8_t events = 0;
        uint8_t eventFlags = 0;
        uint8_t status = 0;
        uint64_t ticks = 0;
    };

    using Key = uint32_t;
    static Key key(int slot, uint8_t port, uint8_t address) {
        return static_cast<Key>(slot) << 16 | static_cast<Key>(port) << 8 | address;
    }

    bool rs485Slot(int slot) const;
    Station* find(int slot, uint8_t port, uint8_t address) const;
    uint32_t slotOf(const uint8_t* rec, int& slot) const;
    void waitBuffer(int fd, int slot, uint8_t* rec);
    void returnBuffer(int slot, uint8_t* rec);
    void resetAdapter(int slot);
    // Requests 0x1F and 0x20: {result, slot, offset, length, data}.
    void nvramTransfer(unsigned long request, uint8_t* rec);
    void tick(int slot);
    void apply(int slot, const CoreOutput& out);
    void queueError(SlotState& s, const ErrorRecord& e, bool merge);
    template <class T>
    static void append(std::deque<T>& log, T entry);

    mutable std::mutex mutex_;
    TerminalDescription description_;
    std::array<SlotState, kSlotCount> slots_;
    std::map<Key, std::unique_ptr<Station>> stations_;
    std::set<int> descriptors_;
    int nextDescriptor_ = 100;
    std::deque<ReturnedBuffer> returned_;
    std::deque<DeliveredBuffer> delivered_;
    std::array<std::unique_ptr<NvramStore>, kSlotCount> nvram_;
    bool dropped_ = false;
};

} // namespace bussim
