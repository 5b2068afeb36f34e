// Reading the terminal description of ovksim.
#include "ovksimconfig.h"

#include <cstring>
#include <fstream>
#include <sstream>

namespace bussim {

namespace {

constexpr size_t kMaxLine = 1024;
constexpr size_t kMaxText = 1 << 20;

bool fail(std::string& error, int line, const std::string& why) {
    error = "line " + std::to_string(line) + ": " + why;
    return false;
}

bool parseSlot(const std::vector<std::string>& w, TerminalDescription& t, std::string& why) {
    long n = 0;
    if (w.size() < 3 || !parseNumber(w[1], 0, kSlotCount - 1, n)) {
        why = "usage: slot <0-8> planar | rs485 type <adapter type> [kind <k>] [ports <n>] [nvram <flag>] [nvramsize <n>] [journal <offset>] [absent]";
        return false;
    }
    SlotDescription s;
    if (w[2] == "planar") {
        if (w.size() != 3) {
            why = "a planar slot takes no settings";
            return false;
        }
        s.slotType = kSlotTypePlanar;
        s.adapterType = 0;
    } else if (w[2] == "rs485") {
        s.slotType = kSlotTypeRS485;
        bool typed = false, journalGiven = false;
        for (size_t i = 3; i < w.size(); ++i) {
            long v = 0;
            if (w[i] == "absent") {
                s.adapterPresent = false;
                continue;
            }
            if (i + 1 >= w.size()) {
                why = "setting " + w[i] + " without a value";
                return false;
            }
            const std::string& value = w[++i];
            if (w[i - 1] == "type" && parseNumber(value, 0, 0xFFFF, v)) {
                s.adapterType = static_cast<uint32_t>(v);
                typed = true;
            } else if (w[i - 1] == "kind" && parseNumber(value, 0, 0xFFFF, v)) {
                s.adapterKind = static_cast<uint32_t>(v);
            } else if (w[i - 1] == "ports" && parseNumber(value, 1, 2, v)) {
                s.portCount = static_cast<uint32_t>(v);
            } else if (w[i - 1] == "nvram" && parseNumber(value, 0, 0xFFFF, v)) {
                s.nvramFlag = static_cast<uint16_t>(v);
            } else if (w[i - 1] == "nvramsize" && parseNumber(value, 0, kMaxNvramSize, v)) {
                s.nvramSize = static_cast<uint32_t>(v);
                if (!journalGiven) s.journalOffset = s.nvramSize >= kJournalBlock ? s.nvramSize - kJournalBlock : 0;
            } else if (w[i - 1] == "journal" && parseNumber(value, 0, 0xFFFFFFFFL, v)) {
                s.journalOffset = static_cast<uint32_t>(v);
                journalGiven = true;
            } else {
                why = "bad setting " + w[i - 1] + " " + value;
                return false;
            }
        }
        if (!typed) {
            why = "an RS-485 slot needs its adapter type";
            return false;
        }
        if (s.portCount == 0) s.portCount = 2;
    } else {
        why = "slot type must be planar or rs485";
        return false;
    }
    t.slots[static_cast<size_t>(n)] = s;
    return true;
}

bool parseStation(const std::vector<std::string>& w, StationSpec& st, std::string& why) {
    long slot = 0, port = 0, address = 0;
    if (w.size() < 5 || !parseNumber(w[1], 0, kSlotCount - 1, slot) ||
        !parseNumber(w[2], 0, 0xFF, port) || !parseNumber(w[3], 0, 0x7F, address)) {
        why = "usage: station <slot> <port 0x11|0x22> <address 0x00-0x7f> <model> [key=value ...]";
        return false;
    }
    if (port != 0x11 && port != 0x22) {
        why = "the port id must be 0x11 or 0x22";
        return false;
    }
    st.slot = static_cast<int>(slot);
    st.port = static_cast<uint8_t>(port);
    st.address = static_cast<uint8_t>(address);
    st.model = w[4];
    return parseOptions(w, 5, st.options, why);
}

} // namespace

std::vector<std::string> splitWords(const std::string& line) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        const size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
        if (i > start) out.push_back(line.substr(start, i - start));
    }
    return out;
}

bool parseOptions(const std::vector<std::string>& words, size_t first, ModelOptions& options,
                  std::string& error) {
    for (size_t i = first; i < words.size(); ++i) {
        const size_t eq = words[i].find('=');
        if (eq == std::string::npos || eq == 0) {
            error = "expected key=value, got " + words[i];
            return false;
        }
        const std::string key = words[i].substr(0, eq);
        if (options.count(key)) {
            error = "option " + key + " given twice";
            return false;
        }
        options[key] = words[i].substr(eq + 1);
    }
    return true;
}

bool applyKeyboardOptions(const ModelOptions& options, KeyboardState& state, std::string& error) {
    KeyboardState s = state;
    for (const auto& [key, value] : options) {
        long v = 0;
        bool ok = false;
        if (key == "driver" && parseNumber(value, 0, 1, v)) {
            s.driver = v != 0;
            ok = true;
        } else if (key == "id" && parseNumber(value, 0, 0xFFFF, v)) {
            s.id = static_cast<uint16_t>(v);
            ok = true;
        } else if (key == "type" && parseNumber(value, 0, 0xFFFF, v)) {
            s.type = static_cast<uint16_t>(v);
            ok = true;
        } else if (key == "msr" && parseNumber(value, 0, 0xFFFF, v)) {
            s.msrFlag = static_cast<uint16_t>(v);
            ok = true;
        } else if (key == "flags" && parseNumber(value, 0, 0xFF, v)) {
            s.flags13 = static_cast<uint8_t>(v);
            ok = true;
        } else if (key == "ec" && parseNumber(value, 0, 0xFF, v)) {
            s.ecLevel = static_cast<uint8_t>(v);
            ok = true;
        } else if (key == "msrec" && parseNumber(value, 0, 0xFF, v)) {
            s.msrEcLevel = static_cast<uint8_t>(v);
            ok = true;
        } else if (key == "result" && parseNumber(value, 0, 0xFF, v)) {
            s.result = static_cast<uint8_t>(v);
            ok = true;
        }
        if (!ok) {
            error = "bad keyboard setting " + key + "=" + value;
            return false;
        }
    }
    state = s;
    return true;
}

bool parseTerminalFile(const std::string& text, TerminalFile& out, std::string& error) {
    if (text.size() > kMaxText) return fail(error, 0, "the description is larger than 1 MiB");
    TerminalFile file;
    file.keyboard.id = 0; // a driver without a POS keyboard unless the file says otherwise
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (line.size() > kMaxLine) return fail(error, number, "line longer than 1024 characters");
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        std::vector<std::string> w = splitWords(line);
        if (w.empty()) continue;
        std::string why;
        if (w[0] == "slot") {
            if (!parseSlot(w, file.terminal, why)) return fail(error, number, why);
        } else if (w[0] == "station") {
            StationSpec st;
            st.line = number;
            if (!parseStation(w, st, why)) return fail(error, number, why);
            file.stations.push_back(std::move(st));
        } else if (w[0] == "keyboard") {
            ModelOptions o;
            if (!parseOptions(w, 1, o, why) || !applyKeyboardOptions(o, file.keyboard, why))
                return fail(error, number, why);
        } else if (w[0] == "vpd") {
            const size_t at = line.find("vpd") + 3;
            std::string v = line.substr(at);
            const size_t b = v.find_first_not_of(" \t");
            v = b == std::string::npos ? std::string() : v.substr(b);
            if (v.size() > file.terminal.vitalProductData.size())
                return fail(error, number, "vital product data longer than 24 characters");
            file.terminal.vitalProductData.fill(0);
            std::memcpy(file.terminal.vitalProductData.data(), v.data(), v.size());
        } else {
            return fail(error, number, "unknown keyword " + w[0]);
        }
    }
    for (const StationSpec& st : file.stations)
        if (!file.terminal.slots[static_cast<size_t>(st.slot)].rs485())
            return fail(error, st.line, "slot " + std::to_string(st.slot) + " has no RS-485 adapter");
    out = std::move(file);
    return true;
}

bool loadTerminalFile(const std::string& path, TerminalFile& out, std::string& error) {
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        error = "cannot read " + path;
        return false;
    }
    std::string text;
    char buf[4096];
    while (f.read(buf, sizeof buf) || f.gcount() > 0) {
        text.append(buf, static_cast<size_t>(f.gcount()));
        if (text.size() > kMaxText) {
            error = path + ": larger than 1 MiB";
            return false;
        }
    }
    if (!parseTerminalFile(text, out, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

} // namespace bussim
