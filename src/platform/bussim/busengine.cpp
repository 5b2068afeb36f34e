// Simulated driver node: request handling, the exchange-buffer hand-over and the bus tick.
#include "busengine.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "ovkhost.h"

namespace bussim {

namespace {

uint32_t get32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void put32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

// Writes the result word, or as much of it as the record holds.
void setResult(uint8_t* rec, size_t size, uint32_t result) {
    uint8_t word[4];
    put32(word, result);
    std::memcpy(rec, word, std::min<size_t>(size, 4));
}

bool knownRequest(unsigned long request) {
    switch (request) {
    case req::kRequestBuffer:
    case req::kWaitBuffer:
    case req::kReturnBuffer:
    case req::kResetAdapter:
    case req::kDcsInfo:
    case req::kSlotInfo:
    case req::kNvramRead:
    case req::kNvramWrite:
    case req::kNvramInfo:
    case req::kVitalProductData:
        return true;
    default:
        return false;
    }
}

bool busPort(uint8_t port) { return port == exch::kPort1 || port == exch::kPort2; }

// Echo of an event in the control flags of the delivered buffer.
uint8_t flagOfEvent(int bit) {
    switch (bit) {
    case 0: return 0x01;
    case 1: return exch::kFlagReinitialise;
    case 2: return 0x04;
    case 7: return exch::kFlagInitialise;
    default: return 0;
    }
}

} // namespace

TerminalDescription TerminalDescription::standard() {
    TerminalDescription d;
    d.slots[0].adapterType = 0xF803;
    d.slots[0].slotType = kSlotTypePlanar;
    SlotDescription& s = d.slots[1];
    s.adapterType = 5;
    s.slotType = kSlotTypeRS485;
    s.adapterKind = 5;
    s.portCount = 2;
    s.nvramFlag = 1;
    const char vpd[] = "OVKSIM-TERMINAL-0000001";
    std::memcpy(d.vitalProductData.data(), vpd, std::min(sizeof vpd, d.vitalProductData.size()));
    return d;
}

BusEngine::BusEngine(const TerminalDescription& description) : description_(description) {
    for (int i = 0; i < kSlotCount; ++i) {
        const SlotDescription& d = description_.slots[i];
        if (d.rs485() && d.adapterPresent && d.nvramSize > 0 && d.nvramSize <= kMaxNvramSize)
            nvram_[i] = std::make_unique<NvramStore>(d.nvramSize);
    }
}

bool BusEngine::openNvramFiles(const std::string& dir, std::string& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (int i = 0; i < kSlotCount; ++i)
        if (nvram_[i] && !nvram_[i]->attachFile(dir + "/adapter-nvram-" + std::to_string(i), error))
            return false;
    return true;
}

bool BusEngine::nvramDump(int slot, uint32_t offset, uint32_t length, std::vector<uint8_t>& out) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (slot < 0 || slot >= kSlotCount || !nvram_[slot] || !nvram_[slot]->inside(offset, length)) return false;
    out = nvram_[slot]->read(offset, length);
    return true;
}

bool BusEngine::planNvramCut(int slot, int whole, int partial) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (slot < 0 || slot >= kSlotCount || !nvram_[slot]) return false;
    nvram_[slot]->planCut(whole, partial);
    return true;
}

bool BusEngine::dropped() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return dropped_;
}

void BusEngine::nvramTransfer(unsigned long request, uint8_t* rec) {
    int slot = -1;
    const uint32_t check = slotOf(rec, slot);
    if (check != res::kOk) return setResult(rec, 4, check);
    NvramStore* store = nvram_[slot].get();
    const uint32_t offset = get32(rec + 8), length = get32(rec + 12);
    constexpr uint32_t kMaxData = 2048;
    if (!store || length > kMaxData || !store->inside(offset, length)) return setResult(rec, 4, res::kInvalid);
    if (request == req::kNvramRead) {
        const std::vector<uint8_t> bytes = store->read(offset, length);
        if (length) std::memcpy(rec + 16, bytes.data(), length);
    } else if (!store->write(offset, rec + 16, length)) {
        dropped_ = true; // the power went: no answer, and the node is gone
        return setResult(rec, 4, res::kInvalid);
    }
    setResult(rec, 4, res::kOk);
}

BusEngine::~BusEngine() = default;

template <class T>
void BusEngine::append(std::deque<T>& log, T entry) {
    if (log.size() >= kLogLimit) log.pop_front();
    log.push_back(std::move(entry));
}

bool BusEngine::rs485Slot(int slot) const {
    return slot >= 0 && slot < kSlotCount && description_.slots[slot].rs485();
}

Station* BusEngine::find(int slot, uint8_t port, uint8_t address) const {
    auto it = stations_.find(key(slot, port, address));
    return it == stations_.end() ? nullptr : it->second.get();
}

// ---------------------------------------------------------------------------------------
// Driver node

int BusEngine::open(const char* path, int& fd) {
    fd = -1;
    if (!path) return EINVAL;
    const char* base = std::strrchr(path, '/');
    base = base ? base + 1 : path;
    if (std::strcmp(base, "ovkdcs") != 0) return ENOENT;
    std::lock_guard<std::mutex> lock(mutex_);
    fd = nextDescriptor_++;
    descriptors_.insert(fd);
    return 0;
}

int BusEngine::close(int fd) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!descriptors_.erase(fd)) return EBADF;
    // A buffer held through this descriptor comes back to the node, so that the next
    // opener (a resumed or restarted manager) can have it.
    for (SlotState& s : slots_) {
        if (!s.nodeHolds && s.holder == fd) {
            s.nodeHolds = true;
            s.requested = false;
        }
    }
    return 0;
}

// The slot word at offset 4; kOk when it names an RS-485 slot with its adapter.
uint32_t BusEngine::slotOf(const uint8_t* rec, int& slot) const {
    const uint32_t word = get32(rec + 4);
    slot = word < static_cast<uint32_t>(kSlotCount) ? static_cast<int>(word) : -1;
    if (slot < 0) return res::kBadSlot;
    const SlotDescription& d = description_.slots[slot];
    if (!d.rs485() || !d.adapterPresent) return res::kNoAdapter;
    return res::kOk;
}

void BusEngine::ioctl(int fd, unsigned long request, void* record, size_t size) {
    uint8_t* rec = static_cast<uint8_t*>(record);
    if (!rec || size == 0) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!descriptors_.count(fd) || dropped_) return setResult(rec, size, res::kBadDescriptor);
    if (!knownRequest(request)) return setResult(rec, size, res::kUnknownRequest);
    if (size < chDevRecordSize(request)) return setResult(rec, size, res::kInvalid);

    if (request == req::kSlotInfo) {
        std::memset(rec, 0, chDevRecordSize(request));
        for (int i = 0; i < kSlotCount; ++i) {
            put32(rec + 4 + 4 * i, description_.slots[i].adapterType);
            put32(rec + 40 + 4 * i, description_.slots[i].slotType);
        }
        return setResult(rec, size, res::kOk);
    }
    if (request == req::kVitalProductData) {
        std::memcpy(rec + 4, description_.vitalProductData.data(), description_.vitalProductData.size());
        return setResult(rec, size, res::kOk);
    }
    if (request == req::kNvramRead || request == req::kNvramWrite) return nvramTransfer(request, rec);

    int slot = -1;
    const uint32_t check = slotOf(rec, slot);
    if (check != res::kOk) {
        // A buffer never goes out of a slot without an adapter: nothing to wait for.
        if (request == req::kWaitBuffer && check == res::kNoAdapter)
            return setResult(rec, size, res::kTimeout);
        if (request == req::kDcsInfo) std::memset(rec + 8, 0, 8);
        return setResult(rec, size, check);
    }
    const SlotDescription& d = description_.slots[slot];
    SlotState& s = slots_[slot];
    switch (request) {
    case req::kRequestBuffer:
        if (s.nodeHolds) s.requested = true;
        return setResult(rec, size, res::kOk);
    case req::kWaitBuffer:
        return waitBuffer(fd, slot, rec);
    case req::kReturnBuffer:
        return returnBuffer(slot, rec);
    case req::kResetAdapter:
        resetAdapter(slot);
        return setResult(rec, size, res::kOk);
    case req::kDcsInfo:
        put32(rec + 8, d.adapterKind);
        put32(rec + 12, d.portCount);
        return setResult(rec, size, res::kOk);
    case req::kNvramInfo:
        std::memset(rec + 8, 0, chDevRecordSize(request) - 8);
        rec[8] = static_cast<uint8_t>(d.nvramFlag);
        rec[9] = static_cast<uint8_t>(d.nvramFlag >> 8);
        put32(rec + 20, d.journalOffset);
        put32(rec + 24, d.nvramWord24);
        put32(rec + 48, d.nvramSize);
        return setResult(rec, size, res::kOk);
    default:
        return setResult(rec, size, res::kUnknownRequest);
    }
}

void BusEngine::resetAdapter(int slot) {
    SlotState& s = slots_[slot];
    const uint64_t ticks = s.ticks;
    s = SlotState{};
    s.ticks = ticks;
    // The node takes the buffer back and hands it over at the next 0x09, asked or not. The
    // controller reports its reset (event 7) only once the core has sent the initialise
    // flag in that buffer, so the core's start-up runs initialise, then re-initialise.
    s.nodeHolds = true;
    s.deliverUnasked = true;
}

void BusEngine::waitBuffer(int fd, int slot, uint8_t* rec) {
    SlotState& s = slots_[slot];
    if (!s.nodeHolds) return setResult(rec, 4, res::kTimeout);
    tick(slot);
    const bool input = !s.frames.empty() || !s.errors.empty() || s.events != 0;
    if (!s.deliverUnasked && !s.requested && !input) return setResult(rec, 4, res::kTimeout);

    // Built in place in the log (moving a NodeInput trips a false maybe-uninitialized
    // warning of g++ 12 under the sanitizers).
    if (delivered_.size() >= kLogLimit) delivered_.pop_front();
    delivered_.emplace_back();
    DeliveredBuffer& entry = delivered_.back();
    entry.slot = slot;
    NodeInput& in = entry.input;
    in.flags = s.eventFlags;
    in.portByte = s.pollListKnown ? 0 : 0x80; // no poll list yet: ask for the default one
    in.events = s.events;
    const bool status = (s.events & (1u << exch::kEventStatus)) != 0;
    bool frame = !status && !s.frames.empty();
    bool errors = !s.errors.empty();
    // Errors and a frame never share a buffer. When both wait the frame goes first, so that
    // a station's answer does not wait behind the poll time-outs of empty poll-list entries
    // that every tick repeats; the errors get their buffer when no frame waits, and at the
    // latest after kFramesBeforeErrors buffers in a row, so that a busy station never
    // starves them.
    if (frame && errors) {
        if (s.framesInARow >= kFramesBeforeErrors) frame = false;
        else errors = false;
    }
    if (frame) {
        in.frame = std::move(s.frames.front());
        s.frames.pop_front();
    }
    if (errors) {
        size_t used = 0;
        while (!s.errors.empty() && used + s.errors.front().encodedSize() <= exch::kErrorAreaSize) {
            used += s.errors.front().encodedSize();
            in.errors.push_back(std::move(s.errors.front()));
            s.errors.pop_front();
        }
    }
    if (status) in.status = s.status;
    std::array<uint8_t, exch::kBufferSize> buf;
    encodeNodeInput(in, buf); // fits: the queues only hold records that fit their areas
    std::memcpy(rec + 12, buf.data(), buf.size());

    s.framesInARow = frame && !s.errors.empty() ? s.framesInARow + 1 : 0;
    s.events = 0;
    s.eventFlags = 0;
    s.status = 0;
    s.nodeHolds = false;
    s.holder = fd;
    s.requested = false;
    s.deliverUnasked = false;
    setResult(rec, 4, res::kOk);
}

void BusEngine::returnBuffer(int slot, uint8_t* rec) {
    SlotState& s = slots_[slot];
    ReturnedBuffer entry;
    entry.slot = slot;
    uint32_t result = res::kOk;
    if (s.nodeHolds) {
        entry.refusal = "returned while the node holds the buffer";
        result = res::kInvalid;
    } else {
        // Whatever the content, the buffer is back with the node, so the exchange goes on.
        s.nodeHolds = true;
        if (decodeCoreOutput(rec + 8, exch::kBufferSize, entry.output, entry.refusal)) {
            entry.accepted = true;
            s.outputs.push_back(entry.output);
        } else {
            entry.output = CoreOutput{};
            result = res::kInvalid;
        }
    }
    append(returned_, std::move(entry));
    setResult(rec, 4, result);
}

// ---------------------------------------------------------------------------------------
// Bus tick

void BusEngine::apply(int slot, const CoreOutput& out) {
    SlotState& s = slots_[slot];
    if (out.flags & exch::kFlagInitialise) {
        s.pollListKnown = false;
        s.pollList = {};
        s.portConfig = 0;
        s.timing = {};
        s.frames.clear();
        s.errors.clear();
        s.events |= 1u << exch::kEventReset;
        s.eventFlags |= exch::kFlagInitialise;
    }
    if (out.flags & exch::kFlagReinitialise) {
        // Ready again: report it with the adapter status.
        s.events |= 1u << exch::kEventStatus;
        s.eventFlags |= exch::kFlagReinitialise;
        s.status = 0;
    }
    if (out.flags & exch::kFlagPortConfig) s.portConfig = out.portConfig;
    if (out.flags & exch::kFlagTiming) s.timing = out.timing;
    if (out.flags & exch::kFlagPollList) {
        s.pollList = out.pollList;
        s.pollListKnown = true;
    }
    if (out.flags & exch::kFlagFrames) {
        for (const OutFrame& f : out.frames) {
            if (!busPort(f.port)) continue;
            if (f.broadcast()) {
                LinkFrame lf{f.control, {static_cast<uint8_t>(f.check), static_cast<uint8_t>(f.check >> 8)}, true};
                for (auto& [k, st] : stations_)
                    if ((k >> 16) == static_cast<Key>(slot) && st->port() == f.port) st->receive(lf);
                continue;
            }
            if (!f.checkOk) continue; // a station drops a frame with bad check bytes
            if (Station* st = find(slot, f.port, f.address)) st->receive(LinkFrame{f.control, f.data, false});
        }
    }
}

void BusEngine::queueError(SlotState& s, const ErrorRecord& e, bool merge) {
    if (merge && std::find(s.errors.begin(), s.errors.end(), e) != s.errors.end()) return;
    if (s.errors.size() >= kErrorQueueLimit) return;
    s.errors.push_back(e);
}

void BusEngine::tick(int slot) {
    SlotState& s = slots_[slot];
    ++s.ticks;
    while (!s.outputs.empty()) {
        CoreOutput out = std::move(s.outputs.front());
        s.outputs.pop_front();
        apply(slot, out);
    }
    const int32_t now = chTime();
    for (auto& [k, st] : stations_)
        if ((k >> 16) == static_cast<Key>(slot)) st->tick(now);
    if (!s.pollListKnown) return;

    // One pass over the poll list; each (port, address) is polled once per tick.
    std::vector<PollEntry> polled;
    for (const PollEntry& e : s.pollList) {
        if (!busPort(e.port) || e.address > 0x7F) continue;
        if (std::find(polled.begin(), polled.end(), e) != polled.end()) continue;
        polled.push_back(e);
        Station* st = find(slot, e.port, e.address);
        if (!st || !st->present()) {
            queueError(s, ErrorRecord{exch::kPollTimeout, e.port, e.address, {}}, true);
            continue;
        }
        if (s.frames.size() >= kFrameQueueLimit) continue; // the station keeps its answer
        if (std::optional<LinkFrame> answer = st->poll()) {
            InFrame f;
            f.port = e.port;
            f.address = e.address;
            f.control = answer->control;
            f.data = std::move(answer->data);
            f.checkOk = true;
            s.frames.push_back(std::move(f));
        }
    }
}

// ---------------------------------------------------------------------------------------
// Controls

Station* BusEngine::attach(int slot, uint8_t port, uint8_t address, std::unique_ptr<DeviceModel> model) {
    if (!model || !busPort(port) || address > 0x7F || address == exch::kBroadcastAddress) return nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!rs485Slot(slot) || find(slot, port, address)) return nullptr;
    auto st = std::make_unique<Station>(port, address, std::move(model));
    Station* p = st.get();
    stations_.emplace(key(slot, port, address), std::move(st));
    return p;
}

bool BusEngine::detach(int slot, uint8_t port, uint8_t address) {
    std::lock_guard<std::mutex> lock(mutex_);
    return stations_.erase(key(slot, port, address)) > 0;
}

Station* BusEngine::station(int slot, uint8_t port, uint8_t address) {
    std::lock_guard<std::mutex> lock(mutex_);
    return find(slot, port, address);
}

bool BusEngine::takeAway(int slot, uint8_t port, uint8_t address) {
    return withStation(slot, port, address, [](Station& st) { st.takeAway(); });
}

bool BusEngine::bringBack(int slot, uint8_t port, uint8_t address) {
    return withStation(slot, port, address, [](Station& st) { st.bringBack(); });
}

bool BusEngine::withStation(int slot, uint8_t port, uint8_t address, const std::function<void(Station&)>& fn) {
    std::lock_guard<std::mutex> lock(mutex_);
    Station* st = find(slot, port, address);
    if (!st) return false;
    fn(*st);
    return true;
}

std::vector<LinkFrame> BusEngine::received(int slot, uint8_t port, uint8_t address) const {
    std::lock_guard<std::mutex> lock(mutex_);
    Station* st = find(slot, port, address);
    if (!st) return {};
    return std::vector<LinkFrame>(st->received().begin(), st->received().end());
}

bool BusEngine::injectError(int slot, const ErrorRecord& record) {
    if (record.encodedSize() > exch::kErrorAreaSize) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!rs485Slot(slot)) return false;
    queueError(slots_[slot], record, false);
    return true;
}

bool BusEngine::injectEvent(int slot, int bit, uint8_t status) {
    if (bit < 0 || bit > 7 || bit == exch::kEventErrors || bit == exch::kEventFrame) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!rs485Slot(slot)) return false;
    SlotState& s = slots_[slot];
    s.events |= static_cast<uint8_t>(1u << bit);
    s.eventFlags |= flagOfEvent(bit);
    if (bit == exch::kEventStatus) s.status = status;
    return true;
}

bool BusEngine::bufferWithCore(int slot) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return slot >= 0 && slot < kSlotCount && !slots_[slot].nodeHolds;
}

bool BusEngine::framesWaiting() const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const SlotState& s : slots_)
        if (!s.frames.empty()) return true;
    return false;
}

std::vector<PollEntry> BusEngine::pollList(int slot) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (slot < 0 || slot >= kSlotCount || !slots_[slot].pollListKnown) return {};
    return std::vector<PollEntry>(slots_[slot].pollList.begin(), slots_[slot].pollList.end());
}

uint8_t BusEngine::portConfig(int slot) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return slot >= 0 && slot < kSlotCount ? slots_[slot].portConfig : 0;
}

uint64_t BusEngine::ticks(int slot) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return slot >= 0 && slot < kSlotCount ? slots_[slot].ticks : 0;
}

std::vector<ReturnedBuffer> BusEngine::returnedBuffers(int slot) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<ReturnedBuffer> out;
    for (const ReturnedBuffer& b : returned_)
        if (slot < 0 || b.slot == slot) out.push_back(b);
    return out;
}

std::vector<DeliveredBuffer> BusEngine::deliveredBuffers(int slot) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<DeliveredBuffer> out;
    for (const DeliveredBuffer& b : delivered_)
        if (slot < 0 || b.slot == slot) out.push_back(b);
    return out;
}

void BusEngine::clearLogs() {
    std::lock_guard<std::mutex> lock(mutex_);
    returned_.clear();
    delivered_.clear();
    for (auto& [k, st] : stations_) st->clearReceived();
}

} // namespace bussim
