#include "K7eLoader.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdlib>
#include <ctime>
#include <chrono>
#include <thread>

#include "NameTables.h"
#include "ovkhost.h"

namespace k7e {

namespace {

constexpr int kAcquire = 301;
constexpr int kRelease = 304;
constexpr uint32_t kRasStatus = 0x4214;
constexpr uint32_t kRasError = 0x4215;
constexpr uint32_t kChaseComplete = 0x4204;
constexpr uint32_t kPrinterError = 0x4205;
constexpr uint32_t kStatusChange = 0x4206;
constexpr int kInterrupted = 332;
constexpr int kTimedOut = 329;
const char kStarLine[] = "******************************************\n";

const char* errnoName(int e) { return GetTableEntry(ErrnoTable, e); }

long nowMs() {
    using namespace std::chrono;
    return static_cast<long>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

} // namespace

void printUsage() {
    std::fprintf(stderr, "Usage:  OVKK7ELD -P port-number -S slot-number ");
    std::fprintf(stderr, "-F font-file -X\n\n");
    std::fprintf(stderr, "where:\n");
    std::fprintf(stderr, "    -S   the slot the Model 7E printer is plugged into\n");
    std::fprintf(stderr, "    -P   the port the Model 7E printer is plugged into\n");
    std::fprintf(stderr, "    -F   Font file name\n");
    std::fprintf(stderr, "    -Q   Quiet\n");
    std::fprintf(stderr, "    -V   Verify characters\n");
}

int parseOptions(int argc, char** argv, Options& o, bool& run) {
    run = false;
    bool quietSet = false;
    int c;
    opterr = 0;
    optind = 1;
    auto number = [](const char* text, int& out) {
        char* end = nullptr;
        const long v = std::strtol(text, &end, 10);
        if (end == text || *end != '\0' || v < 0 || v > 0xFFFF) return false;
        out = static_cast<int>(v);
        return true;
    };
    while ((c = getopt(argc, argv, "p:P:s:S:f:F:cCqQvVxX?")) != -1) {
        switch (c) {
        case 'p': case 'P':
            if (!number(optarg, o.port)) o.port = -1;
            break;
        case 's': case 'S':
            if (!number(optarg, o.slot)) o.slot = -1;
            break;
        case 'f': case 'F':
            o.fontFile = optarg;
            o.fontFileNamed = true;
            break;
        case 'c': case 'C': o.useCountryCode = true; break;
        case 'q': case 'Q': quietSet = true; break;
        case 'v': case 'V': o.verify = true; break;
        case 'x': case 'X': break;
        default:
            printUsage();
            return 0;
        }
    }
    // -C makes the program quiet; -Q with it makes it write its messages again.
    o.quiet = o.useCountryCode ? !quietSet : quietSet;
    if (o.port < 0 || o.slot < 0 || (!o.fontFileNamed && !o.useCountryCode)) {
        printUsage();
        return 1;
    }
    run = true;
    return 0;
}

Loader::Loader(const Options& options, std::FILE* out) : options_(options), out_(out) {}

Loader::~Loader() { finish(); }

void Loader::say(const char* format, ...) {
    if (options_.quiet || !out_) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(out_, format, args);
    va_end(args);
    FreeTableStrings();
}

void Loader::stars(const char* line) {
    say("%s", kStarLine);
    say("%s", line);
    say("%s", kStarLine);
}

bool Loader::prepare() {
    if (options_.useCountryCode) {
        const char* env = std::getenv("OVKCODEPAGE");
        int codePage = env ? std::atoi(env) : 858;
        int country = 0;
        if (codePage == 932) country = 81;
        else if (codePage == 949) country = 82;
        else codePage = 850;
        char name[1024];
        std::snprintf(name, sizeof name, "%s/fonts/k7e%05d.fon", ovkPath("/usr/share/pos").c_str(), codePage);
        options_.fontFile = name;
        say("Using Font File = '%s'\n", name);
        if (options_.verify) setenv("OVKCODEPAGE", country == 81 ? "932" : country == 82 ? "949" : "850", 1);
    }
    say("Reading the number of characters from '%s'\n", options_.fontFile.c_str());
    totalCharacters_ = FontFile::countRecords(options_.fontFile);
    if (totalCharacters_ < 0) {
        say("Could not open '%s' for counting\n", options_.fontFile.c_str());
        totalCharacters_ = 0;
        return false;
    }
    say("Total Characters = %d\n", totalCharacters_);
    return true;
}

bool Loader::initialize() {
    char name[] = "ovkk7eld";
    PosArg args[] = {{"readTimeout", 500}};
    if (PosInitialize(name, name, 0, 0, args, 1) < 0) {
        say("PosInitialize: errno = %s\n", errnoName(PosErrno()));
        return false;
    }
    return true;
}

void Loader::run(long limitMs) {
    const long start = nowMs();
    while (!exit_) {
        _POSQMSG message{};
        const int n = PosRead(0, &message, sizeof message);
        if (n == static_cast<int>(sizeof message)) {
            handle(message);
            continue;
        }
        if (n < 0) {
            const int e = PosErrno();
            if (e == kInterrupted) break;
            // Quiet while the printer is open: every few seconds make sure that the daemon is
            // still there (its loss shows on a request, not on the event queue).
            if (e == kTimedOut && printerOpen() && ++quietReads_ % 4 == 0) {
                PosArg probe[] = {{"printStatus", 0}};
                if (PosIOCtl(printer_, POS_SYS_GET_VALUES, probe, 1) < 0) {
                    say("PosIOCtl (STATUS) Printer: errno = %s\n", errnoName(PosErrno()));
                    printer_ = -1;
                    break;
                }
            }
            if (e != kTimedOut) {
                say("PosRead queue: rc=0x%x, errno = %s\n", static_cast<unsigned>(n), errnoName(e));
                // The daemon is gone with the printer: nothing more to wait for.
                if (printerOpen()) break;
                // No daemon to wait on yet: pace the loop as a read time-out would.
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
            }
        }
        if (!printerOpen() && nowMs() - start > limitMs) {
            say("Model 7E printer not online\n");
            break;
        }
    }
}

void Loader::finish() {
    if (printer_ <= 0) return;
    if (PosIOCtl(printer_, kRelease, nullptr, 0) < 0)
        say("PosIOCtl (Release Device): errno = %s\n", errnoName(PosErrno()));
    if (PosClose(printer_) < 0) say("PosClose (CLOSE): errno = %s\n", errnoName(PosErrno()));
    printer_ = -1;
}

void Loader::status(const _POSQMSG& m) {
    const auto name = [&] { return GetTableEntry(QMsgTable, static_cast<int32_t>(m.msg)); };
    if (m.msg == POSM_SYS_DEVICE_ONLINE || m.msg == POSM_SYS_DEVICE_OFFLINE) {
        say("%s - %s, %s, %s: (%s)\n", name(), GetTableEntry(SlotTable, static_cast<int32_t>(m.p1 >> 24)),
            GetTableEntry(PortTable, static_cast<int32_t>((m.p1 >> 16) & 0xFF)),
            GetTableEntry(TypeTable, static_cast<int32_t>(m.p1 & 0xFF)),
            GetTableEntry(DevTable, static_cast<int32_t>((m.p1 >> 8) & 0xFF)));
        return;
    }
    say("POSQ Message from Handle %2d: %s\n", static_cast<int>(m.p1 & 0xFFFF), name());
    say("     mp1 = 0x%08lX (%lu)\n", static_cast<unsigned long>(m.p1), static_cast<unsigned long>(m.p1));
    say("     mp2 = 0x%08lX (%lu)\n", static_cast<unsigned long>(m.p2), static_cast<unsigned long>(m.p2));
}

void Loader::handle(const _POSQMSG& m) {
    if (exit_) return;
    const bool forPrinter = printer_ > 0 && static_cast<int>(m.p1 & 0xFF) == printer_;
    switch (m.msg) {
    case POSM_SYS_DEVICE_ONLINE:
        online(m);
        break;
    case kRasStatus:
        if (forPrinter) rasStatus(m.p1, m.p2);
        break;
    case kChaseComplete:
        if (forPrinter) printCharacters();
        break;
    case kPrinterError:
        if (forPrinter) {
            status(m);
            say("Printer Error:  x%08lx.x%08lx", static_cast<unsigned long>(m.p1), static_cast<unsigned long>(m.p2));
            exit_ = true;
        }
        break;
    case kRasError:
        if (forPrinter) {
            status(m);
            exit_ = true;
        }
        break;
    case kStatusChange:
        if (forPrinter) status(m);
        break;
    default:
        status(m);
        break;
    }
}

void Loader::online(const _POSQMSG& m) {
    const int slot = static_cast<int>(m.p1 >> 24), port = static_cast<int>((m.p1 >> 16) & 0xFF);
    const int address = static_cast<int>((m.p1 >> 8) & 0xFF), type = static_cast<int>(m.p1 & 0xFF);
    const int subtype = static_cast<int>(m.p2 & 0xFF);
    status(m);
    if (printerOpen() || type != 3 || address != 0x34 || port != options_.port || slot != options_.slot ||
        subtype != 3)
        return;
    char name[] = "model7e", cls[] = "PosPrinter";
    PosArg where[] = {{"slotNumber", slot}, {"portNumber", port}, {"deviceNumber", address}};
    const int d = PosOpen(name, cls, where, 3);
    if (d < 0) {
        const int e = PosErrno();
        say("Error opening %s: errno = %s\n", cls, errnoName(e));
        say("Error opening printer, rc=0x%x\n", static_cast<unsigned>(e));
        exit_ = true;
        return;
    }
    if (PosIOCtl(d, kAcquire, nullptr, 0) < 0) {
        say("Error acquiring %s: errno = %s\n", cls, errnoName(PosErrno()));
        PosClose(d);
        exit_ = true;
        return;
    }
    printer_ = d;
    PosArg get[] = {{"printStatus", 0}};
    if (PosIOCtl(d, POS_SYS_GET_VALUES, get, 1) < 0)
        say("PosIOCtl (STATUS) Printer: errno = %s\n", errnoName(PosErrno()));
    if (setMode(128)) query(21);
}

bool Loader::setMode(int mode) {
    PosArg set[] = {{"printMode", mode}};
    if (PosIOCtl(printer_, POS_SYS_SET_VALUES, set, 1) < 0) {
        say("PosIOCtl (SET) Printer: errno = %s\n", errnoName(PosErrno()));
        return false;
    }
    return true;
}

bool Loader::write(const std::vector<uint8_t>& bytes) {
    const int n = PosWrite(printer_, const_cast<uint8_t*>(bytes.data()), static_cast<unsigned>(bytes.size()));
    if (n < 0) {
        say("PosWrite Printer: errno = %s\n", errnoName(PosErrno()));
        return false;
    }
    if (n != static_cast<int>(bytes.size())) {
        say("PosWrite Printer: wrote %d of %d bytes\n", n, static_cast<int>(bytes.size()));
        return false;
    }
    return true;
}

void Loader::query(int id) { write({0x0B, static_cast<uint8_t>(id), 0x00}); }

void Loader::setValue(int id, uint16_t value) {
    write({0x0A, static_cast<uint8_t>(id), 0x00, static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)});
}

void Loader::erase() {
    stars("*  Erasing FEPROM in printer             *\n");
    write({0x01, 0x18});
}

void Loader::showMct(int id, uint16_t value) {
    const auto v = static_cast<short>(value);
    static const struct {
        int id;
        const char* text;
    } kShown[] = {{21, "Document Ready Advance = %hd\n"},
                  {22, "Document Ready Reverse = %hd\n"},
                  {24, "Left to Right Print Offset = %hd\n"},
                  {25, "Print Head Pulse Width = %hd\n"},
                  {26, "Reset of Document Sensor Threshold = %hd\n"},
                  {27, "Override of Thermal Algorithm = %hd\n"},
                  {28, "Duty cycle of Transport Motor = %hd\n"},
                  {29, "Document line feed speed = %hd\n"},
                  {30, "CR/SJ line feed speed = %hd\n"},
                  {31, "Journal Sensor Transitions = %hd\n"},
                  {33, "Document Backlash Adjustment = %hd\n"},
                  {34, "Document Re-insertion Adjustment = %hd\n"},
                  {36, "Code Page = %hd\n"},
                  {37, "MICR DI line feed pulse width = %hd\n"}};
    for (const auto& s : kShown)
        if (s.id == id) say(s.text, v);
    switch (id) {
    case 36: codePage_ = value; break;
    case 38:
        setup_ = value;
        say(value & 0x8000 ? "DI line feeding is half stepping\n" : "DI line feeding is full stepping\n");
        if (value & 0x4000) {
            say("Logo print is left-to-right only\n");
        } else {
            say("Logo print in any direction");
            say(" (except DI wide)\n");
        }
        mode_ = (value & 0x80) ? 1 : 0;
        say(mode_ ? "Printer is in Double Byte mode\n" : "Printer is in Single Byte mode\n");
        say(value & 0x40 ? "Printer is using FEPROM characters\n" : "Printer is using ROM characters\n");
        break;
    case 39:
        font2Height_ = value >> 8;
        font2Width_ = value & 0xFF;
        say("Font 2 Height  = %hd\n", static_cast<short>(font2Height_));
        say("Font 2 Width   = %hd\n", static_cast<short>(font2Width_));
        break;
    case 40:
        font1Height_ = value >> 8;
        font1Width_ = value & 0xFF;
        say("Font 1 Height  = %hd\n", static_cast<short>(font1Height_));
        say("Font 1 Width   = %hd\n", static_cast<short>(font1Width_));
        break;
    case 41:
        font2Spacing_ = value;
        say("Font 2 Spacing = %hd\n", v);
        break;
    default:
        break;
    }
}

void Loader::rasStatus(uint32_t p1, uint32_t p2) {
    const int kind = static_cast<int>(p1 >> 24), id = static_cast<int>((p1 >> 16) & 0xFF);
    switch (kind) {
    case 1:
        if (id == 24 || id == 26) {
            say(id == 24 ? "FEPROM Erased\n" : "Factory/RAS test of FEPROM Completed\n");
            if (!file_.open(options_.fontFile)) {
                say("Could not open '%s' for reading\n", options_.fontFile.c_str());
                exit_ = true;
                return;
            }
            fileDone_ = held_ = false;
            sendFont();
        } else if (id == 25) {
            say("Downloaded Font CRC values:\n");
            say("  Font 1:  0x%04x\n", static_cast<unsigned>(p2 >> 16));
            say("  Font 2:  0x%04x\n", static_cast<unsigned>(p2 & 0xFFFF));
            exit_ = true;
        }
        break;
    case 9:
        say("%d of %d downloaded successfully ", charactersSent_, totalCharacters_);
        say("(%%%3.2f complete)\n", totalCharacters_ ? 100.0 * charactersSent_ / totalCharacters_ : 100.0);
        sendFont();
        break;
    case 10:
        say("Setting MCT #%d completed successfully\n", id);
        sendFont();
        break;
    case 11:
        // Identifiers from 50 have no place in the table.
        if (id < kMct) {
            mct_[id] = static_cast<uint16_t>(p2);
            showMct(id, static_cast<uint16_t>(p2));
        }
        if (id > 40) erase();
        else query(id + 1);
        break;
    default:
        break;
    }
}

// One step of the download: a differing setting, or a chunk of records; at the end the CRC
// check or the test print.
void Loader::sendFont() {
    if (!file_.isOpen()) return;
    FontLine line;
    while (!fileDone_) {
        if (held_) {
            line = heldLine_;
            held_ = false;
        } else if (!file_.next(line)) {
            fileDone_ = true;
            break;
        }
        if (line.kind == LineKind::Bad) {
            say("Skipping a character line that is not hexadecimal pairs\n");
            continue;
        }
        if (line.kind == LineKind::Setting) {
            const auto value = static_cast<uint16_t>(line.value);
            switch (line.setting) {
            case Setting::Width:
                if (value == font2Width_) continue;
                say("Setting font 2 width to %hd\n", static_cast<short>(value));
                font2Width_ = value;
                setValue(39, static_cast<uint16_t>(font2Height_ << 8 | (value & 0xFF)));
                return;
            case Setting::Height:
                if (value == font2Height_) continue;
                say("Setting font 2 height to %hd\n", static_cast<short>(value));
                font2Height_ = value;
                setValue(39, static_cast<uint16_t>((value & 0xFF) << 8 | (font2Width_ & 0xFF)));
                return;
            case Setting::Space:
                if (value == font2Spacing_) continue;
                say("Setting font 2 spacing to %hd\n", static_cast<short>(value));
                font2Spacing_ = value;
                setValue(41, value);
                return;
            case Setting::CodePage:
                if (value == codePage_) continue;
                say("Setting code page to %x.%x\n", value >> 8, value & 0xFF);
                codePage_ = value;
                setValue(36, value);
                return;
            case Setting::Mode: {
                const uint16_t mode = value ? 1 : 0;
                if (mode == mode_) continue;
                uint16_t low = setup_ & 0xFF;
                if (mode) {
                    say("Setting printer to double-byte mode \n");
                    low |= 0xC0;
                } else {
                    say("Setting printer to single-byte mode \n");
                    low = (low | 0x40) & 0x7F;
                }
                mode_ = mode;
                setup_ = static_cast<uint16_t>((setup_ & 0xFF00) | low);
                setValue(38, setup_);
                return;
            }
            }
        }
        // A record: into the chunk, unless it would overrun it (then it waits).
        if (!chunk_.empty() && chunk_.size() + line.bytes.size() > kChunkLimit) {
            heldLine_ = line;
            held_ = true;
            sendChunk();
            return;
        }
        if (line.bytes.size() > kChunkLimit) {
            say("Skipping a character line that is not hexadecimal pairs\n");
            continue;
        }
        chunk_.insert(chunk_.end(), line.bytes.begin(), line.bytes.end());
        ++chunkRecords_;
        if (chunk_.size() + line.textLength / 2 > kChunkFull) {
            sendChunk();
            return;
        }
    }
    if (!chunk_.empty()) {
        sendChunk();
        return;
    }
    file_.close();
    if (options_.verify) startTestPrint();
    else write({0x01, 0x19});
}

void Loader::sendChunk() {
    std::vector<uint8_t> command{0x09, 0x00, 0x00, static_cast<uint8_t>(chunkRecords_), 0x00};
    command.insert(command.end(), chunk_.begin(), chunk_.end());
    ++downloadCount_;
    charactersSent_ += chunkRecords_;
    chunk_.clear();
    chunkRecords_ = 0;
    write(command);
}

void Loader::startTestPrint() {
    stars("*  Printing characters                   *\n");
    if (!file_.open(options_.fontFile) || !setMode(1)) {
        exit_ = true;
        return;
    }
    printCharacters();
}

void Loader::printCharacters() {
    if (!file_.isOpen()) return;
    std::vector<uint8_t> text;
    FontLine line;
    while (text.size() <= kPrintLine && file_.next(line)) {
        if (line.kind != LineKind::Record) continue;
        if (line.bytes[0] != 0) text.push_back(line.bytes[0]);
        text.push_back(line.bytes[1]);
    }
    if (text.empty()) {
        file_.close();
        exit_ = true;
        return;
    }
    text.push_back(0x1B);
    text.push_back('G');
    write(text);
}

} // namespace k7e
