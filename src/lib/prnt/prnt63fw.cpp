// The firmware file of a model-6397 printer and its header lines.
#include "Prnt63Firmware.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kHeaderBytes = 256;

// One line of text from pos (up to the line end or n); pos moves past it.
std::string nextLine(const char* text, size_t n, size_t& pos) {
    const size_t start = pos;
    while (pos < n && text[pos] != '\n' && text[pos] != '\0') ++pos;
    std::string line(text + start, pos - start);
    if (pos < n && text[pos] == '\n') ++pos;
    else pos = n; // a NUL ends the text
    return line;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// "<keyword> <hex>": the hex value when the line's first word is keyword and a hex number of
// at most 8 digits follows; false otherwise.
bool keywordValue(const std::string& line, const char* keyword, uint32_t& value) {
    size_t i = 0;
    while (i < line.size() && isBlank(line[i])) ++i;
    const size_t wordStart = i;
    while (i < line.size() && !isBlank(line[i])) ++i;
    if (line.compare(wordStart, i - wordStart, keyword) != 0) return false;
    while (i < line.size() && isBlank(line[i])) ++i;
    if (i + 1 < line.size() && line[i] == '0' && (line[i + 1] == 'x' || line[i + 1] == 'X')) i += 2;
    uint32_t v = 0;
    size_t digits = 0;
    for (; i < line.size() && digits < 9; ++i, ++digits) {
        const char c = line[i];
        int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (d < 0) break;
        v = v << 4 | static_cast<uint32_t>(d);
    }
    if (digits == 0 || digits > 8) return false;
    value = v;
    return true;
}

} // namespace

const char* Prnt63FirmwareFile(int subtype, bool featureBit1, bool featureBit5) {
    switch (subtype) {
    case 0: return "ovk63mc.hex";
    case 1: return featureBit1 ? "ovk63rz8.hex" : featureBit5 ? "ovk63v4.hex" : "ovk63mch.hex";
    case 9: case 41: case 73: case 105: return "ovk63v4.hex";
    case 8: case 136: case 200: return "ovk63rz8.hex";
    case 2: case 7: return featureBit5 ? "ovk63v4.hex" : "ovk63mcd.hex";
    case 3: case 4: case 5: case 6: return featureBit5 ? "ovk63v4.hex" : "ovk63mch.hex";
    default: return nullptr;
    }
}

Prnt63FirmwareHeader Prnt63ReadFirmwareHeader(const char* text, size_t n, int subtype) {
    Prnt63FirmwareHeader h;
    if (!text) return h;
    size_t pos = 0;
    keywordValue(nextLine(text, n, pos), "EcLevel", h.ecLevel);
    if (subtype != 0) keywordValue(nextLine(text, n, pos), "RevisionLevel", h.revision);
    return h;
}

int Prnt63ReadFirmwareHeaderFile(const std::string& path, int subtype, Prnt63FirmwareHeader& out) {
    out = Prnt63FirmwareHeader{};
    FILE* f = std::fopen(path.c_str(), "rbe");
    if (!f) return 316;
    char buffer[kHeaderBytes];
    const size_t n = std::fread(buffer, 1, sizeof buffer, f);
    std::fclose(f);
    out = Prnt63ReadFirmwareHeader(buffer, n, subtype);
    return 0;
}
