// ovksample: a small application of the client library. It connects to the control daemon,
// prints the daemon's version and the system values it can read, writes a line to the
// operator display and the receipt printer, prints it on the model-6397 printer and cuts the
// paper, opens cash drawer 1, acquires the POS keyboard,
// unlocks the scanner and prints each scan it reads, unlocks the magnetic stripe reader and
// prints the tracks of each card swiped, and prints the events that arrive on handle 0 for a
// few seconds (keys with their code and character).
//
//   ovksample [seconds [line]]      (default 3 seconds, "Hello from ovksample")
//
// With 0 seconds the events are printed until SIGINT or SIGTERM; either signal also ends a
// set number of seconds early. The sample then closes its devices and ends normally.
//
// The devices are opened by name; the resource file "/etc/ovksample.res" (under OVK_ROOT
// when that is set) says where they are, for example:
//
//   ovksample.operator.slotNumber:   SLOT_1
//   ovksample.operator.portNumber:   PORT_1
//   ovksample.operator.deviceNumber: DEVICE_OPERATOR_DISPLAY_A
//   ovksample.drawer.slotNumber:     SLOT_1
//   ovksample.drawer.portNumber:     PORT_1
//   ovksample.drawer.deviceNumber:   DEVICE_CASH_DRAWER_A
//   ovksample.keyboard.slotNumber:   SLOT_1
//   ovksample.keyboard.portNumber:   PORT_1
//   ovksample.keyboard.deviceNumber: DEVICE_POS_KEYBOARD_A
//   ovksample.scanner.slotNumber:    SLOT_1
//   ovksample.scanner.portNumber:    PORT_1
//   ovksample.scanner.deviceNumber:  DEVICE_SCANNER_A
//   ovksample.msr.slotNumber:        SLOT_1
//   ovksample.msr.portNumber:        PORT_1
//   ovksample.msr.deviceNumber:      DEVICE_MSR_3_TRACK_A
//   ovksample.receipt.slotNumber:    SLOT_1
//   ovksample.receipt.portNumber:    PORT_1
//   ovksample.receipt.deviceNumber:  DEVICE_PRINTER_4
//   ovksample.printer.slotNumber:    SLOT_1
//   ovksample.printer.portNumber:    PORT_1
//   ovksample.printer.deviceNumber:  DEVICE_PRINTER_6397
//
// A device that is not online yet is opened when its online event comes.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ovkapi.h"

namespace {

// Requests and events of the devices this sample uses.
constexpr int kAcquire = 301;         // acquire the device (every class)
constexpr int kOpenTill = 5401;       // open the drawer (PosDrawer)
constexpr int kUnlock = 306;          // let the device deliver input (every input class)
constexpr int kDeviceOffline = 317;   // the device is not online (yet)
constexpr uint32_t kScanData = 0x420B;
constexpr uint32_t kTillClosed = 0x420E;
constexpr uint32_t kTillOpened = 0x420F;
constexpr uint32_t kKeyLock = 0x4201;
constexpr uint32_t kKey = 0x4202;
constexpr uint32_t kMsrData = 0x4203;
constexpr uint32_t kChaseComplete = 0x4204;

const char* eventName(uint32_t msg) {
    switch (msg) {
    case POSM_SYS_DEVICE_OFFLINE: return "device offline";
    case POSM_SYS_DEVICE_ONLINE: return "device online";
    case POSM_SYS_DEVICE_RELEASED: return "device released";
    case kScanData: return "scan data";
    case kTillClosed: return "drawer closed";
    case kTillOpened: return "drawer opened";
    case kKeyLock: return "key lock";
    case kKey: return "key";
    case kMsrData: return "card swiped";
    case kChaseComplete: return "printed";
    default: return "event";
    }
}

// One device the sample uses: opened, acquired, then given its one job.
class SampleDevice {
public:
    SampleDevice(const char* label, const char* name, const char* className)
        : label_(label), name_(name), className_(className) {}
    SampleDevice(const SampleDevice&) = delete;
    SampleDevice& operator=(const SampleDevice&) = delete;
    virtual ~SampleDevice() = default;

    bool ready() const { return handle_ > 0; }
    int handle() const { return handle_; }

    // Opens and acquires the device and does its job; a device that is not there says so
    // once per distinct error.
    void tryOpen() {
        if (handle_ > 0) return;
        const int h = PosOpen(name_.data(), className_.data(), nullptr, 0);
        if (h < 0) {
            report("not available", PosErrno());
            return;
        }
        if (PosIOCtl(h, kAcquire, nullptr, 0) < 0) {
            report("cannot be acquired", PosErrno());
            PosClose(h);
            return;
        }
        handle_ = h;
        use();
    }

    void close() {
        if (handle_ > 0) PosClose(handle_);
        handle_ = -1;
    }

    // An event of this device (its handle in the low 16 bits of p1).
    virtual void onEvent(uint32_t /*msg*/, uint32_t /*p2*/) {}

protected:
    virtual void use() = 0;
    void say(const char* what) {
        std::printf("%s (handle %d): %s\n", label_, handle_, what);
        std::fflush(stdout);
    }
    void report(const char* what, int error) {
        if (error == lastError_) return;
        lastError_ = error;
        std::printf("%s: %s (error %d)%s\n", label_, what, error,
                    error == kDeviceOffline ? ", waiting for it to come online" : "");
        std::fflush(stdout);
    }

private:
    const char* label_;
    std::string name_;
    std::string className_;
    int handle_ = -1;
    int lastError_ = 0;
};

class OperatorDisplay : public SampleDevice {
public:
    explicit OperatorDisplay(std::string line)
        : SampleDevice("operator display", "operator", "PosDisplay"), line_(std::move(line)) {}

private:
    void use() override {
        const int n = PosWrite(handle(), line_.data(), static_cast<unsigned>(line_.size()));
        std::string text;
        if (n >= 0)
            text = "wrote \"" + line_ + "\" (" + std::to_string(n) + " bytes)";
        else
            text = "write failed: error " + std::to_string(PosErrno());
        say(text.c_str());
    }
    std::string line_;
};

class CashDrawer : public SampleDevice {
public:
    CashDrawer() : SampleDevice("cash drawer", "drawer", "PosDrawer") {}

private:
    void use() override {
        if (PosIOCtl(handle(), kOpenTill, nullptr, 0) == 0)
            say("told to open");
        else
            say(("opening failed: error " + std::to_string(PosErrno())).c_str());
    }
};

// Unlocked, the scanner sends its scans; each scan-data event is followed by a read of the
// scan's records: label type (4 bytes), flags (2), length (2), the label's characters.
class Scanner : public SampleDevice {
public:
    Scanner() : SampleDevice("scanner", "scanner", "PosScanner") {}

    void onEvent(uint32_t msg, uint32_t p2) override {
        if (msg != kScanData) return;
        unsigned char buffer[512];
        const int n = PosRead(handle(), buffer, sizeof buffer);
        if (n < 0) {
            say(("reading the scan failed: error " + std::to_string(PosErrno())).c_str());
            return;
        }
        std::string text = "read " + std::to_string(n) + " of " + std::to_string(p2) + " bytes:";
        for (int at = 0; at + 8 <= n;) {
            const uint32_t type = buffer[at] | buffer[at + 1] << 8 | buffer[at + 2] << 16 |
                                  static_cast<uint32_t>(buffer[at + 3]) << 24;
            const int length = buffer[at + 6] | buffer[at + 7] << 8;
            if (length < 0 || at + 8 + length > n) break;
            char head[48];
            std::snprintf(head, sizeof head, " label type 0x%x flags %d \"", type,
                          buffer[at + 4] | buffer[at + 5] << 8);
            text += head + std::string(reinterpret_cast<char*>(buffer) + at + 8, length) + "\"";
            at += 8 + length;
        }
        say(text.c_str());
    }

private:
    void use() override {
        if (PosIOCtl(handle(), kUnlock, nullptr, 0) == 0)
            say("unlocked, waiting for scans");
        else
            say(("unlocking failed: error " + std::to_string(PosErrno())).c_str());
    }
};

// Unlocked, the reader takes one card and locks itself; the card's tracks are read, each
// a record of track bit (4 bytes), error (2), length (2) and the characters, and the reader
// is unlocked for the next card.
class Reader : public SampleDevice {
public:
    Reader() : SampleDevice("MSR", "msr", "PosMsr") {}

    void onEvent(uint32_t msg, uint32_t p2) override {
        if (msg != kMsrData) return;
        unsigned char buffer[1024];
        const int n = PosRead(handle(), buffer, sizeof buffer);
        if (n < 0) {
            say(("reading the card failed: error " + std::to_string(PosErrno())).c_str());
            return;
        }
        std::string text = "read " + std::to_string(n) + " of " + std::to_string(p2) + " bytes:";
        for (int at = 0; at + 8 <= n;) {
            int track = 1;
            while (track < 4 && !(buffer[at] & (1 << (track - 1)))) ++track;
            const int error = buffer[at + 4] | buffer[at + 5] << 8;
            const int length = buffer[at + 6] | buffer[at + 7] << 8;
            if (at + 8 + length > n) break;
            text += " track " + std::string(track == 4 ? "JIS" : std::to_string(track));
            text += error ? " unreadable;" : " \"" + std::string(reinterpret_cast<char*>(buffer) + at + 8, length) + "\";";
            at += 8 + length;
        }
        say(text.c_str());
        use();
    }

private:
    void use() override {
        if (PosIOCtl(handle(), kUnlock, nullptr, 0) == 0)
            say("unlocked, waiting for a card");
        else
            say(("unlocking failed: error " + std::to_string(PosErrno())).c_str());
    }
};

class PosKeyboard : public SampleDevice {
public:
    PosKeyboard() : SampleDevice("POS keyboard", "keyboard", "PosKeyboard") {}

private:
    void use() override { say("acquired: its keys follow as events"); }
};

// The receipt printer prints the line and chases it (ESC G): the chase event says it is out.
class ReceiptPrinter : public SampleDevice {
public:
    explicit ReceiptPrinter(std::string line)
        : SampleDevice("receipt printer", "receipt", "PosPrinter"), line_(std::move(line) + "\n\x1bG") {}

    void onEvent(uint32_t msg, uint32_t /*p2*/) override {
        if (msg == kChaseComplete) say("the receipt line is printed");
    }

private:
    void use() override {
        const int n = PosWrite(handle(), line_.data(), static_cast<unsigned>(line_.size()));
        say(n >= 0 ? "receipt line written" : ("write failed: error " + std::to_string(PosErrno())).c_str());
    }
    std::string line_;
};

// The model-6397 printer prints the line and cuts the paper (ESC P), then chases (ESC G).
class Printer6397 : public SampleDevice {
public:
    explicit Printer6397(std::string line)
        : SampleDevice("6397 printer", "printer", "PosPrinter"), line_(std::move(line) + "\n\x1bP\x1bG") {}

    void onEvent(uint32_t msg, uint32_t /*p2*/) override {
        if (msg == kChaseComplete) say("the line is printed");
    }

private:
    void use() override {
        const int n = PosWrite(handle(), line_.data(), static_cast<unsigned>(line_.size()));
        say(n >= 0 ? "line written" : ("write failed: error " + std::to_string(PosErrno())).c_str());
    }
    std::string line_;
};

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int) { stopRequested = 1; }

// A key event: the key code, make or release, and the numpad character when there is one.
void printKey(const _POSQMSG& m) {
    const unsigned character = m.p1 >> 16 & 0xFF;
    std::printf("    key code 0x%02x %s", m.p2 & 0xFF, m.p2 & 0x400000 ? "released" : "pressed");
    if (m.p2 & 0x10000) std::printf(", character '%c'", static_cast<char>(character));
    if (m.p2 & 0x100000) std::printf(", shift toggle on");
    std::printf("\n");
}

} // namespace

int main(int argc, char* argv[]) {
    int seconds = 3;
    std::string line = "Hello from ovksample";
    if (argc > 1) seconds = std::atoi(argv[1]);
    if (argc > 2) line = argv[2];
    if (argc > 3 || seconds < 0) {
        std::fprintf(stderr, "usage: ovksample [seconds [line]]\n");
        return 2;
    }

    struct sigaction stop {};
    stop.sa_handler = requestStop;
    sigemptyset(&stop.sa_mask);
    stop.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &stop, nullptr);
    ::sigaction(SIGTERM, &stop, nullptr);

    // Reads on handle 0 wait at most half a second, so that the loop below can end on time.
    PosArg init[] = {{"readTimeout", 500}};
    char appl[] = "ovksample";
    char resFile[] = "/etc/ovksample.res";
    if (PosInitialize(appl, resFile, 0, 0, init, 1) < 0) {
        std::fprintf(stderr, "PosInitialize failed: error %d\n", PosErrno());
        return 1;
    }

    int version = 0, release = 0, modification = 0;
    if (PosVersion(&version, &release, &modification) == 0)
        std::printf("daemon version %d.%d.%d\n", version, release, modification);
    else
        std::printf("PosVersion failed: error %d\n", PosErrno());

    unsigned char vpd[24] = {};
    PosArg values[] = {{"queueHandle", -1}, {"readTimeout", 0}, {"vitalProductData", 0}};
    values[2].value = reinterpret_cast<intptr_t>(vpd);
    if (PosIOCtl(0, POS_SYS_GET_VALUES, values, 3) == 0) {
        std::printf("queueHandle      %ld\n", static_cast<long>(values[0].value));
        std::printf("readTimeout      %ld ms\n", static_cast<long>(values[1].value));
        std::printf("vitalProductData");
        for (unsigned char b : vpd) std::printf(" %02x", b);
        std::printf("\n");
    } else {
        std::printf("reading the system values failed: error %d\n", PosErrno());
    }
    std::fflush(stdout);

    OperatorDisplay display(line);
    CashDrawer drawer;
    PosKeyboard keyboard;
    Scanner scanner;
    Reader reader;
    ReceiptPrinter receipt(line);
    Printer6397 printer(line);
    SampleDevice* devices[] = {&display, &drawer, &keyboard, &scanner, &reader, &receipt, &printer};
    for (SampleDevice* d : devices) d->tryOpen();

    if (seconds > 0)
        std::printf("events for %d s:\n", seconds);
    else
        std::printf("events until SIGINT or SIGTERM:\n");
    std::fflush(stdout);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int events = 0;
    while (!stopRequested && (seconds == 0 || std::chrono::steady_clock::now() < end)) {
        _POSQMSG m;
        if (PosRead(0, &m, sizeof m) == static_cast<int>(sizeof m)) {
            ++events;
            std::printf("  %-16s msg 0x%04x p1 0x%08x p2 0x%08x\n", eventName(m.msg), m.msg, m.p1,
                        m.p2);
            if (m.msg == kKey) printKey(m);
            if (m.msg == kKeyLock) std::printf("    key-lock position %u\n", m.p2);
            std::fflush(stdout);
            if (m.msg == POSM_SYS_DEVICE_ONLINE)
                for (SampleDevice* d : devices) d->tryOpen();
            for (SampleDevice* d : devices)
                if (d->ready() && m.msg != POSM_SYS_DEVICE_ONLINE && m.msg != POSM_SYS_DEVICE_OFFLINE &&
                    static_cast<int>(m.p1 & 0xFFFF) == d->handle())
                    d->onEvent(m.msg, m.p2);
        } else if (PosErrno() != POSERR_SYS_TIMEOUT && !stopRequested) {
            std::printf("reading events failed: error %d\n", PosErrno());
            break;
        }
    }
    std::printf("%d event(s)\n", events);
    for (SampleDevice* d : devices) d->close();
    PosTerm();
    return 0;
}
