#include "fakedev.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/lp.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>

namespace fakedev {
namespace {

using namespace std::chrono_literals;

constexpr uint32_t kDone = 256;
constexpr size_t kDataSize = 1000;

struct InputNode {
    input_id id{};
    bool hasKeys = true;
    unsigned leds = 0;
    struct Item {
        input_event ev;
        int error;  // a scripted read error in place of an event
    };
    std::deque<Item> queue;
    std::vector<input_event> written;
};

struct MsrItem {
    uint32_t length;
    std::vector<uint8_t> data;
};

struct Port {
    int lines = 0;
    serial_icounter_struct counters{};
    bool refuseCounters = false;
    bool charSet = false;
    tcflag_t charBits = CS8;  // CSIZE | PARENB | PARODD as last set
    uint8_t printerStatus = 0;
};

enum class Kind { Input, Ps2, Port };

struct OpenFile {
    Kind kind;
    int node;          // input node number
    std::string path;  // port path
};

struct State {
    std::mutex mutex;
    std::condition_variable changed;
    std::map<int, InputNode> inputs;
    bool ps2 = false;
    std::map<unsigned, int> ps2Errors;
    std::deque<std::vector<uint8_t>> statuses;
    std::vector<uint8_t> lastStatus = std::vector<uint8_t>(4, 0);
    std::deque<MsrItem> msr;
    std::vector<Ps2Request> requests;
    unsigned statusReads = 0;
    std::map<std::string, Port> ports;
    std::map<int, OpenFile> files;
};

State& state() {
    static State* s = new State;  // outlives threads still ending at exit
    return *s;
}

bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// The input node number a path names ("/dev/input/event7"), or -1.
int inputNumber(const std::string& path) {
    static const std::string stem = "/dev/input/event";
    size_t at = path.rfind(stem);
    if (at == std::string::npos) return -1;
    std::string digits = path.substr(at + stem.size());
    if (digits.empty() || digits.size() > 3) return -1;
    int n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return -1;
        n = n * 10 + (c - '0');
    }
    return n;
}

int fail(int error) {
    errno = error;
    return -1;
}

int fakeOpen(const char* path, int flags) {
    State& s = state();
    std::string p(path ? path : "");
    std::unique_lock<std::mutex> lock(s.mutex);
    int n = inputNumber(p);
    bool isInput = n >= 0 && s.inputs.count(n);
    bool isPs2 = s.ps2 && endsWith(p, "/dev/ps2driver");
    auto port = s.ports.find(p);
    if (!isInput && !isPs2 && port == s.ports.end()) {
        lock.unlock();
        return ovkSystemDevOps()->open(path, flags);
    }
    int fd = isInput || isPs2 ? ::open("/dev/null", O_RDWR | O_CLOEXEC)
                              : ::open(path, flags | O_CLOEXEC);
    if (fd < 0) return -1;
    s.files[fd] = OpenFile{isInput ? Kind::Input : isPs2 ? Kind::Ps2 : Kind::Port, n, p};
    return fd;
}

int fakeClose(int fd) {
    State& s = state();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.files.erase(fd);
    }
    s.changed.notify_all();
    return ::close(fd);
}

ssize_t fakeRead(int fd, void* buf, size_t n) {
    State& s = state();
    std::unique_lock<std::mutex> lock(s.mutex);
    auto f = s.files.find(fd);
    if (f == s.files.end() || f->second.kind != Kind::Input) {
        lock.unlock();
        return ::read(fd, buf, n);
    }
    int node = f->second.node;
    auto hasItem = [&] { return s.inputs.count(node) && !s.inputs[node].queue.empty(); };
    // Nothing queued: a short wait, then an interrupted read, so a reader loop comes round
    // to its own stop test as it would after a signal.
    if (!s.changed.wait_for(lock, 10ms, hasItem)) return fail(EINTR);
    InputNode::Item item = s.inputs[node].queue.front();
    s.inputs[node].queue.pop_front();
    if (item.error) return fail(item.error);
    if (n < sizeof item.ev) return fail(EINVAL);
    std::memcpy(buf, &item.ev, sizeof item.ev);
    return sizeof item.ev;
}

ssize_t fakeWrite(int fd, const void* buf, size_t n) {
    State& s = state();
    std::unique_lock<std::mutex> lock(s.mutex);
    auto f = s.files.find(fd);
    if (f == s.files.end() || f->second.kind != Kind::Input) {
        lock.unlock();
        return ::write(fd, buf, n);
    }
    InputNode& node = s.inputs[f->second.node];
    size_t done = 0;
    for (; done + sizeof(input_event) <= n; done += sizeof(input_event)) {
        input_event ev;
        std::memcpy(&ev, static_cast<const uint8_t*>(buf) + done, sizeof ev);
        node.written.push_back(ev);
        if (ev.type == EV_KEY && ev.value == 1) {
            if (ev.code == KEY_NUMLOCK) node.leds ^= 1u << LED_NUML;
            if (ev.code == KEY_CAPSLOCK) node.leds ^= 1u << LED_CAPSL;
            if (ev.code == KEY_SCROLLLOCK) node.leds ^= 1u << LED_SCROLLL;
        }
    }
    return static_cast<ssize_t>(done);
}

int inputIoctl(InputNode& node, unsigned long request, void* arg) {
    if (_IOC_TYPE(request) != 'E') return fail(ENOTTY);
    size_t size = _IOC_SIZE(request);
    unsigned nr = _IOC_NR(request);
    if (request == EVIOCGID) {
        std::memcpy(arg, &node.id, sizeof node.id);
        return 0;
    }
    if (nr == _IOC_NR(EVIOCGBIT(EV_KEY, 0))) {
        std::memset(arg, 0, size);
        if (node.hasKeys && size > 3) static_cast<uint8_t*>(arg)[3] = 0x40;  // KEY_A (30)
        return static_cast<int>(size);
    }
    if (nr == _IOC_NR(EVIOCGLED(0))) {
        std::memset(arg, 0, size);
        if (size > 0) static_cast<uint8_t*>(arg)[0] = static_cast<uint8_t>(node.leds);
        return static_cast<int>(size);
    }
    return fail(EINVAL);
}

int ps2Ioctl(std::unique_lock<std::mutex>& lock, unsigned long request, void* arg) {
    State& s = state();
    if (_IOC_TYPE(request) != 'k' || _IOC_SIZE(request) < 4) return fail(ENOTTY);
    unsigned nr = _IOC_NR(request);
    auto* record = static_cast<uint8_t*>(arg);
    size_t size = _IOC_SIZE(request);
    bool isRead = nr == 4 || nr == 3;
    if (!isRead)
        s.requests.push_back(Ps2Request{request, std::vector<uint8_t>(record, record + size)});
    auto err = s.ps2Errors.find(nr);
    if (err != s.ps2Errors.end()) {
        int e = err->second;
        s.ps2Errors.erase(err);
        return fail(e);
    }
    uint32_t done = kDone;
    if (nr == 4 && size >= 8 + kDataSize) {  // keyboard status
        ++s.statusReads;
        if (s.statuses.empty()) {
            // Nothing new: the driver takes a few ms to answer.
            s.changed.wait_for(lock, 3ms, [&] { return !s.statuses.empty(); });
        }
        if (!s.statuses.empty()) {
            s.lastStatus = s.statuses.front();
            s.statuses.pop_front();
        }
        uint32_t length = static_cast<uint32_t>(s.lastStatus.size());
        std::memset(record + 4, 0, size - 4);
        std::memcpy(record + 4, &length, 4);
        std::memcpy(record + 8, s.lastStatus.data(), std::min(s.lastStatus.size(), kDataSize));
    } else if (nr == 3 && size >= 8 + kDataSize) {  // MSR data
        std::memset(record + 4, 0, size - 4);
        if (!s.msr.empty()) {
            MsrItem item = s.msr.front();
            s.msr.pop_front();
            std::memcpy(record + 4, &item.length, 4);
            std::memcpy(record + 8, item.data.data(), std::min(item.data.size(), kDataSize));
        }
    } else if (nr == 12 && size >= 16) {  // query keyboard: a fixed identity
        const uint8_t info[12] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x00, 0x06, 0x07,
                                  0x08, 0x09, 0x0A, 0x0B};
        std::memcpy(record + 4, info, sizeof info);
    }
    std::memcpy(record, &done, 4);
    return 0;
}

int portIoctl(Port& port, int fd, unsigned long request, void* arg) {
    switch (request) {
    case TIOCMGET:
        *static_cast<int*>(arg) = port.lines;
        return 0;
    case TIOCMSET:
        port.lines = *static_cast<int*>(arg);
        return 0;
    case TIOCMBIS:
        port.lines |= *static_cast<int*>(arg);
        return 0;
    case TIOCMBIC:
        port.lines &= ~*static_cast<int*>(arg);
        return 0;
    case TIOCGICOUNT:
        if (port.refuseCounters) return fail(EINVAL);
        std::memcpy(arg, &port.counters, sizeof port.counters);
        return 0;
    case LPGETSTATUS:
        *static_cast<int*>(arg) = port.printerStatus;
        return 0;
    case TCGETS: {
        int rc = ::ioctl(fd, request, arg);
        if (rc == 0 && port.charSet) {
            auto* t = static_cast<termios*>(arg);
            t->c_cflag = (t->c_cflag & ~(CSIZE | PARENB | PARODD)) | port.charBits;
        }
        return rc;
    }
    case TCSETS:
    case TCSETSW:
    case TCSETSF: {
        int rc = ::ioctl(fd, request, arg);
        if (rc == 0) {
            port.charSet = true;
            port.charBits = static_cast<termios*>(arg)->c_cflag & (CSIZE | PARENB | PARODD);
        }
        return rc;
    }
    default:
        return ::ioctl(fd, request, arg);
    }
}

int fakeIoctl(int fd, unsigned long request, void* arg) {
    State& s = state();
    std::unique_lock<std::mutex> lock(s.mutex);
    auto f = s.files.find(fd);
    if (f == s.files.end()) {
        lock.unlock();
        return ::ioctl(fd, request, arg);
    }
    switch (f->second.kind) {
    case Kind::Input:
        return inputIoctl(s.inputs[f->second.node], request, arg);
    case Kind::Ps2:
        return ps2Ioctl(lock, request, arg);
    case Kind::Port:
        break;
    }
    std::string path = f->second.path;
    if (request == TIOCMIWAIT) {
        // Waits for a change of a masked line's counter (or a short time, as a signal
        // would end the wait: callers read the counters again either way).
        auto before = s.ports[path].counters;
        unsigned long mask = reinterpret_cast<unsigned long>(arg);
        s.changed.wait_for(lock, 20ms, [&] {
            if (!s.files.count(fd) || !s.ports.count(path)) return true;
            const auto& now = s.ports[path].counters;
            return ((mask & TIOCM_CTS) && now.cts != before.cts) ||
                   ((mask & TIOCM_DSR) && now.dsr != before.dsr) ||
                   ((mask & TIOCM_RNG) && now.rng != before.rng) ||
                   ((mask & TIOCM_CD) && now.dcd != before.dcd);
        });
        return 0;
    }
    return portIoctl(s.ports[path], fd, request, arg);
}

int fakePoll(struct pollfd* fds, unsigned long n, int timeoutMs) {
    return ::poll(fds, static_cast<nfds_t>(n), timeoutMs);
}

const OvkDevOps fakeOps = {fakeOpen, fakeClose, fakeRead, fakeWrite, fakeIoctl, fakePoll};

} // namespace

const OvkDevOps* ops() { return &fakeOps; }

void reset() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.inputs.clear();
    s.ps2 = false;
    s.ps2Errors.clear();
    s.statuses.clear();
    s.lastStatus.assign(4, 0);
    s.msr.clear();
    s.requests.clear();
    s.statusReads = 0;
    s.ports.clear();
    s.files.clear();
}

void addInputNode(int n, uint16_t bus, uint16_t vendor, uint16_t product, uint16_t version,
                  bool hasKeys) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    InputNode& node = s.inputs[n];
    node.id = input_id{bus, vendor, product, version};
    node.hasKeys = hasKeys;
}

void queueEvent(int n, uint16_t type, uint16_t code, int32_t value) {
    State& s = state();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        input_event ev{};
        ev.type = type;
        ev.code = code;
        ev.value = value;
        s.inputs[n].queue.push_back({ev, 0});
    }
    s.changed.notify_all();
}

void queueReadError(int n, int error) {
    State& s = state();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.inputs[n].queue.push_back({input_event{}, error});
    }
    s.changed.notify_all();
}

void setLeds(int n, unsigned bits) {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().inputs[n].leds = bits;
}

unsigned leds(int n) {
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().inputs[n].leds;
}

std::vector<input_event> written(int n) {
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().inputs[n].written;
}

size_t pending(int n) {
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().inputs[n].queue.size();
}

void addPs2Driver() {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().ps2 = true;
}

void scriptPs2Error(unsigned nr, int error) {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().ps2Errors[nr] = error;
}

void queueKbdStatus(const std::vector<uint8_t>& status) {
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        state().statuses.push_back(status);
    }
    state().changed.notify_all();
}

void queueMsrData(uint32_t length, const std::vector<uint8_t>& data) {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().msr.push_back({length, data});
}

std::vector<Ps2Request> ps2Requests() {
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().requests;
}

unsigned ps2StatusReads() {
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().statusReads;
}

void addPort(const std::string& path, int lines) {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().ports[path].lines = lines;
}

int modemLines(const std::string& path) {
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().ports[path].lines;
}

void toggleLines(const std::string& path, int bits) {
    State& s = state();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        Port& port = s.ports[path];
        port.lines ^= bits;
        if (bits & TIOCM_CTS) ++port.counters.cts;
        if (bits & TIOCM_DSR) ++port.counters.dsr;
        if (bits & TIOCM_RNG) ++port.counters.rng;
        if (bits & TIOCM_CD) ++port.counters.dcd;
    }
    s.changed.notify_all();
}

void setPrinterStatus(const std::string& path, uint8_t status) {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().ports[path].printerStatus = status;
}

void refuseCounters(const std::string& path) {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().ports[path].refuseCounters = true;
}

} // namespace fakedev
