// The scripting commands of ovksim.
#include "ovksimcontrol.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace bussim {

namespace {

uint32_t keyOf(int slot, uint8_t port, uint8_t address) {
    return static_cast<uint32_t>(slot) << 16 | static_cast<uint32_t>(port) << 8 | address;
}

std::string ok(const std::string& text) { return text.empty() ? "ok" : "ok " + text; }
std::string err(const std::string& text) { return "error " + text; }

std::string frameText(const LinkFrame& f) {
    char control[4];
    std::snprintf(control, sizeof control, "%02x", f.control);
    std::string out = f.broadcast ? std::string("*") + control : std::string(control);
    if (!f.data.empty()) out += ":" + hexBytes(f.data);
    return out;
}

} // namespace

Simulator::Simulator(const TerminalFile& file, ModelRegistry registry, Log log)
    : engine_(file.terminal), keyboard_(file.keyboard), registry_(std::move(registry)),
      log_(std::move(log)) {}

std::string Simulator::idText(int slot, uint8_t port, uint8_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "%d.%02x.%02x", slot, port, address);
    return text;
}

void Simulator::log(const std::string& line) {
    if (log_) log_(line);
}

bool Simulator::persistIn(const std::string& dir, std::string& error) {
    // Each missing folder of the path is made.
    for (size_t at = 1; at <= dir.size(); ++at) {
        if (at != dir.size() && dir[at] != '/') continue;
        const std::string part = dir.substr(0, at);
        if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) {
            error = "cannot make " + part + ": " + std::strerror(errno);
            return false;
        }
    }
    if (!engine_.openNvramFiles(dir, error)) return false;
    storage_ = dir;
    return true;
}

bool Simulator::attachStations(const std::vector<StationSpec>& stations, std::string& error) {
    for (const StationSpec& st : stations) {
        const std::string reply = attach(At{st.slot, st.port, st.address}, st.model, st.options);
        if (reply.compare(0, 2, "ok") != 0) {
            error = "line " + std::to_string(st.line) + ": " + reply.substr(6);
            return false;
        }
    }
    return true;
}

bool Simulator::parseAt(const std::vector<std::string>& w, size_t first, At& at,
                        std::string& why) const {
    long slot = 0, port = 0, address = 0;
    if (w.size() < first + 3 || !parseNumber(w[first], 0, kSlotCount - 1, slot) ||
        !parseNumber(w[first + 1], 0, 0xFF, port) || !parseNumber(w[first + 2], 0, 0x7F, address)) {
        why = "expected <slot 0-8> <port 0x11|0x22> <address 0x00-0x7f>";
        return false;
    }
    at = At{static_cast<int>(slot), static_cast<uint8_t>(port), static_cast<uint8_t>(address)};
    return true;
}

std::string Simulator::attach(const At& at, const std::string& model, const ModelOptions& options) {
    const ModelKind* kind = registry_.find(model);
    if (!kind) return err("unknown model " + model);
    std::string why;
    std::unique_ptr<DeviceModel> m = kind->make(options, why);
    if (!m) return err(model + ": " + why);
    const std::string id = idText(at.slot, at.port, at.address);
    if (!storage_.empty()) {
        char stem[32];
        std::snprintf(stem, sizeof stem, "nvram-%d-%02x-%02x", at.slot, at.port, at.address);
        if (!m->persist(storage_, stem, why)) return err(model + " at " + id + ": " + why);
    }
    if (!engine_.attach(at.slot, at.port, at.address, std::move(m)))
        return err("cannot attach at " + id + " (no RS-485 slot, a bad port or address, or taken)");
    {
        std::lock_guard<std::mutex> lock(mutex_);
        kinds_[keyOf(at.slot, at.port, at.address)] = model;
    }
    log("attached " + model + " at " + id);
    return ok("attached " + id + " " + model);
}

std::string Simulator::stations() {
    std::map<uint32_t, std::string> kinds;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        kinds = kinds_;
    }
    std::string out = std::to_string(kinds.size());
    for (const auto& [key, model] : kinds) {
        const int slot = static_cast<int>(key >> 16);
        const uint8_t port = static_cast<uint8_t>(key >> 8), address = static_cast<uint8_t>(key);
        bool present = false;
        engine_.withStation(slot, port, address, [&](Station& st) { present = st.present(); });
        out += " " + idText(slot, port, address) + ":" + model + ":" + (present ? "on" : "away");
    }
    return ok(out);
}

std::string Simulator::received(const std::vector<std::string>& w) {
    std::vector<At> which;
    if (w.size() == 1) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& [key, model] : kinds_)
            which.push_back(At{static_cast<int>(key >> 16), static_cast<uint8_t>(key >> 8),
                               static_cast<uint8_t>(key)});
    } else {
        At at;
        std::string why;
        if (w.size() != 4 || !parseAt(w, 1, at, why)) return err("usage: received [<slot> <port> <address>]");
        if (!engine_.station(at.slot, at.port, at.address))
            return err("no station at " + idText(at.slot, at.port, at.address));
        which.push_back(at);
    }
    std::string out;
    for (const At& at : which) {
        std::vector<LinkFrame> frames = engine_.received(at.slot, at.port, at.address);
        if (!out.empty()) out += " ";
        out += idText(at.slot, at.port, at.address) + "=" + std::to_string(frames.size());
        for (const LinkFrame& f : frames) out += "," + frameText(f);
    }
    return ok(out);
}

std::string Simulator::injectError(const std::vector<std::string>& w) {
    long slot = 0, code = 0, port = 0xFF, address = 0xFF;
    std::vector<uint8_t> extra;
    const bool ok1 = w.size() >= 3 && w.size() <= 6 && parseNumber(w[1], 0, kSlotCount - 1, slot) &&
                     parseNumber(w[2], 0, 0xFF, code);
    const bool ok2 = w.size() < 4 || (w.size() >= 5 && parseNumber(w[3], 0, 0xFF, port) &&
                                      parseNumber(w[4], 0, 0xFF, address));
    const bool ok3 = w.size() < 6 || parseHexBytes(w[5], extra);
    if (!ok1 || !ok2 || !ok3)
        return err("usage: error <slot> <code> [<port> <address> [<hex bytes>]]");
    ErrorRecord record{static_cast<uint8_t>(code), static_cast<uint8_t>(port),
                       static_cast<uint8_t>(address), extra};
    if (!engine_.injectError(static_cast<int>(slot), record))
        return err("slot " + std::to_string(slot) + " takes no such error record");
    char text[64];
    std::snprintf(text, sizeof text, "error %02lx for %s queued", code,
                  idText(static_cast<int>(slot), static_cast<uint8_t>(port), static_cast<uint8_t>(address)).c_str());
    log(text);
    return ok(text);
}

std::string Simulator::injectEvent(const std::vector<std::string>& w) {
    long slot = 0, bit = 0, status = 0;
    if (w.size() < 3 || w.size() > 4 || !parseNumber(w[1], 0, kSlotCount - 1, slot) ||
        !parseNumber(w[2], 0, 7, bit) || (w.size() == 4 && !parseNumber(w[3], 0, 0xFF, status)))
        return err("usage: event <slot> <bit 0-7> [<status>]");
    if (!engine_.injectEvent(static_cast<int>(slot), static_cast<int>(bit), static_cast<uint8_t>(status)))
        return err("slot " + std::to_string(slot) + " takes no event bit " + std::to_string(bit));
    log("event " + std::to_string(bit) + " queued for slot " + std::to_string(slot));
    return ok("event " + std::to_string(bit) + " queued");
}

std::string Simulator::pollList(const std::vector<std::string>& w) {
    long slot = 0;
    if (w.size() != 2 || !parseNumber(w[1], 0, kSlotCount - 1, slot)) return err("usage: polllist <slot>");
    std::string out;
    for (const PollEntry& e : engine_.pollList(static_cast<int>(slot))) {
        if (e.port == 0 && e.address == 0) continue;
        char text[8];
        std::snprintf(text, sizeof text, "%02x.%02x", e.port, e.address);
        out += out.empty() ? text : std::string(" ") + text;
    }
    return ok(out);
}

std::string Simulator::keyboardCommand(const std::vector<std::string>& w) {
    ModelOptions options;
    std::string why;
    KeyboardState state = keyboard_.state();
    if (!parseOptions(w, 1, options, why) || !applyKeyboardOptions(options, state, why)) return err(why);
    keyboard_.set(state);
    char text[128];
    std::snprintf(text, sizeof text,
                  "keyboard driver=%d id=0x%04x type=%u msr=%u flags=0x%02x ec=0x%02x msrec=0x%02x result=%u",
                  state.driver ? 1 : 0, state.id, state.type, state.msrFlag, state.flags13,
                  state.ecLevel, state.msrEcLevel, state.result);
    if (w.size() > 1) log(text);
    const std::vector<uint8_t> config = keyboard_.readerConfiguration();
    return ok(std::string(text) + (config.empty() ? "" : " config=" + hexBytes(config)));
}

std::string Simulator::nodeReader(const std::vector<std::string>& w) {
    std::vector<uint8_t> m;
    if (w[0] == "nodepush") {
        if (w.size() != 2 || !parseHexBytes(w[1], m) || m.empty()) return err("usage: nodepush <hex bytes>");
    } else {
        if (w.size() < 3 || w.size() > 4) return err("usage: nodeswipe <t1> <t2> [<t3>] (-: no data)");
        std::string t[3];
        bool present[3] = {false, false, false};
        for (size_t i = 1; i < w.size(); ++i) {
            present[i - 1] = w[i] != "-";
            if (present[i - 1]) t[i - 1] = w[i];
            if (t[i - 1].size() > 0xFF) return err("a track holds at most 255 characters");
        }
        const uint16_t id = keyboard_.state().id;
        if (id == 0x87AB) {
            // Three tracks, each {a, b, a + b bytes}.
            m = {0x00, 0x02};
            for (const std::string& track : t) {
                m.push_back(static_cast<uint8_t>(track.size()));
                m.push_back(0);
                m.insert(m.end(), track.begin(), track.end());
            }
        } else if (id == 0x88AB) {
            // Track 2, then track 1 (byte 0 bit 5) or track 3, each {L, L bytes}.
            const std::string& second = present[0] ? t[0] : t[2];
            m = {static_cast<uint8_t>(present[0] ? 0x20 : 0x00), 0x02};
            m.push_back(static_cast<uint8_t>(t[1].size()));
            m.insert(m.end(), t[1].begin(), t[1].end());
            m.push_back(static_cast<uint8_t>(second.size()));
            m.insert(m.end(), second.begin(), second.end());
        } else {
            return err("the keyboard behind the node has no reader");
        }
    }
    if (!keyboard_.pushReader(m)) return err("the reader queue of the keyboard node is full");
    log(w[0] + " " + hexBytes(m));
    return ok("queued " + hexBytes(m));
}

std::string Simulator::adapterNvram(const std::vector<std::string>& w) {
    long slot = 0, a = 0, b = 0;
    if (w[0] == "addump") {
        if (w.size() != 4 || !parseNumber(w[1], 0, kSlotCount - 1, slot) ||
            !parseNumber(w[2], 0, kMaxNvramSize, a) || !parseNumber(w[3], 0, kMaxNvramSize, b))
            return err("usage: addump <slot> <offset> <length>");
        std::vector<uint8_t> bytes;
        if (!engine_.nvramDump(static_cast<int>(slot), static_cast<uint32_t>(a), static_cast<uint32_t>(b), bytes))
            return err("outside the NVRAM of slot " + std::to_string(slot));
        return ok(hexBytes(bytes));
    }
    if (w.size() < 3 || w.size() > 4 || !parseNumber(w[1], 0, kSlotCount - 1, slot) ||
        !parseNumber(w[2], 0, 1000000, a) || (w.size() == 4 && !parseNumber(w[3], 0, 1000000, b)))
        return err("usage: adcut <slot> <n> [<k>]");
    if (!engine_.planNvramCut(static_cast<int>(slot), static_cast<int>(a), static_cast<int>(b)))
        return err("slot " + std::to_string(slot) + " has no NVRAM");
    log("adapter NVRAM cut planned for slot " + std::to_string(slot));
    return ok("cut after " + std::to_string(a) + " writes and " + std::to_string(b) + " bytes");
}

std::string Simulator::models() const {
    std::string out;
    for (const std::string& name : registry_.names()) {
        const ModelKind* kind = registry_.find(name);
        out += out.empty() ? name : " " + name;
        if (!kind->commands.empty()) {
            std::string list;
            for (const auto& [command, c] : kind->commands) list += list.empty() ? command : "," + command;
            out += "(" + list + ")";
        }
    }
    return ok(out);
}

std::string Simulator::modelCommand(const std::vector<std::string>& w) {
    const std::string& command = w[0];
    if (!registry_.findCommand(command)) return err("unknown command " + command + " (try help)");
    At at;
    std::string why;
    if (!parseAt(w, 1, at, why)) return err(command + ": " + why);
    std::string model;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = kinds_.find(keyOf(at.slot, at.port, at.address));
        if (it != kinds_.end()) model = it->second;
    }
    const std::string id = idText(at.slot, at.port, at.address);
    const ModelKind* kind = model.empty() ? nullptr : registry_.find(model);
    if (!kind) return err("no station at " + id);
    auto c = kind->commands.find(command);
    if (c == kind->commands.end()) return err(model + " at " + id + " takes no command " + command);
    const ModelArgs args(w.begin() + 4, w.end());
    std::string reply;
    bool done = false;
    if (!engine_.withStation(at.slot, at.port, at.address,
                             [&](Station& st) { done = c->second.run(st.model(), args, reply); }))
        return err("no station at " + id);
    if (!done) return err(reply);
    return ok(reply);
}

std::string Simulator::execute(const std::string& line) {
    const std::vector<std::string> w = splitWords(line);
    if (w.empty()) return err("empty command");
    const std::string& c = w[0];
    At at;
    std::string why;
    if (c == "help")
        return ok("commands: help models stations attach detach away back leave received clear error "
                  "event polllist keyboard nodeswipe nodepush addump adcut, and the commands of each model (see models)");
    if (c == "models") return models();
    if (c == "stations") return stations();
    if (c == "attach") {
        ModelOptions options;
        if (w.size() < 5 || !parseAt(w, 1, at, why))
            return err("usage: attach <slot> <port> <address> <model> [key=value ...]");
        if (!parseOptions(w, 5, options, why)) return err(why);
        return attach(at, w[4], options);
    }
    if (c == "leave") {
        // The station acknowledges the next command it is sent, never answers it, and leaves
        // the bus ("back" brings it again).
        if (w.size() != 4 || !parseAt(w, 1, at, why)) return err("usage: leave <slot> <port> <address>");
        const std::string id = idText(at.slot, at.port, at.address);
        if (!engine_.withStation(at.slot, at.port, at.address, [](Station& st) { st.leaveAfterAcknowledging(); }))
            return err("no station at " + id);
        log(id + " leaves after acknowledging its next command");
        return ok("leaving " + id);
    }
    if (c == "detach" || c == "away" || c == "back") {
        if (w.size() != 4 || !parseAt(w, 1, at, why)) return err("usage: " + c + " <slot> <port> <address>");
        const std::string id = idText(at.slot, at.port, at.address);
        bool done = false;
        if (c == "detach") {
            done = engine_.detach(at.slot, at.port, at.address);
            if (done) {
                std::lock_guard<std::mutex> lock(mutex_);
                kinds_.erase(keyOf(at.slot, at.port, at.address));
            }
        } else if (c == "away") {
            done = engine_.takeAway(at.slot, at.port, at.address);
        } else {
            done = engine_.bringBack(at.slot, at.port, at.address);
        }
        if (!done) return err("no station at " + id);
        const std::string what = c == "detach" ? "detached" : c == "away" ? "taken away" : "brought back";
        log(id + " " + what);
        return ok(what + " " + id);
    }
    if (c == "received") return received(w);
    if (c == "clear") {
        if (w.size() != 1) return err("usage: clear");
        engine_.clearLogs();
        return ok("cleared");
    }
    if (c == "error") return injectError(w);
    if (c == "event") return injectEvent(w);
    if (c == "polllist") return pollList(w);
    if (c == "keyboard") return keyboardCommand(w);
    if (c == "nodeswipe" || c == "nodepush") return nodeReader(w);
    if (c == "addump" || c == "adcut") return adapterNvram(w);
    return modelCommand(w);
}

} // namespace bussim
