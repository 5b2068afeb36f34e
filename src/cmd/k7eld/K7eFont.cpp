#include "K7eFont.h"

#include <cstring>

namespace k7e {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool startsWith(const std::string& line, const char* word) {
    return line.compare(0, std::strlen(word), word) == 0;
}

// The decimal number after the first word, or fallback when there is none.
int numberAfterWord(const std::string& line, int fallback) {
    size_t i = 0;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    bool negative = false;
    if (i < line.size() && (line[i] == '-' || line[i] == '+')) negative = line[i++] == '-';
    if (i >= line.size() || line[i] < '0' || line[i] > '9') return fallback;
    long value = 0;
    for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i)
        if (value < 1000000) value = value * 10 + (line[i] - '0');
    return static_cast<int>(negative ? -value : value);
}

} // namespace

FontLine parseLine(const char* text, size_t n) {
    FontLine out;
    std::string line(text ? text : "", text ? std::min(n, kMaxLine) : 0);
    out.textLength = line.size();
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
    if (line.empty() || line[0] == '*') return out;
    static const struct {
        const char* word;
        Setting setting;
        int fallback;
    } kSettings[] = {{"width", Setting::Width, 9},      {"height", Setting::Height, 10},
                     {"space", Setting::Space, 3},      {"codepage", Setting::CodePage, 850},
                     {"mode", Setting::Mode, 0}};
    for (const auto& s : kSettings) {
        if (!startsWith(line, s.word)) continue;
        out.kind = LineKind::Setting;
        out.setting = s.setting;
        out.value = numberAfterWord(line, s.fallback);
        if (s.setting == Setting::Height && out.value != 9 && out.value != 16) out.value = 9;
        return out;
    }
    // A record: pairs of hexadecimal digits, at least the two code bytes.
    if (line.size() % 2 != 0 || line.size() < 4) {
        out.kind = LineKind::Bad;
        return out;
    }
    out.bytes.reserve(line.size() / 2);
    for (size_t i = 0; i < line.size(); i += 2) {
        const int hi = hexDigit(line[i]), lo = hexDigit(line[i + 1]);
        if (hi < 0 || lo < 0) {
            out.kind = LineKind::Bad;
            out.bytes.clear();
            return out;
        }
        out.bytes.push_back(static_cast<uint8_t>(hi << 4 | lo));
    }
    out.kind = LineKind::Record;
    return out;
}

FontFile::~FontFile() { close(); }

bool FontFile::open(const std::string& path) {
    close();
    file_ = std::fopen(path.c_str(), "re");
    return file_ != nullptr;
}

void FontFile::close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
}

bool FontFile::next(FontLine& line) {
    if (!file_) return false;
    std::string text;
    for (;;) {
        text.clear();
        int c;
        bool any = false;
        while ((c = std::fgetc(file_)) != EOF) {
            any = true;
            if (c == '\n') break;
            // Characters beyond the line's limit are read over.
            if (text.size() < kMaxLine) text += static_cast<char>(c);
        }
        if (!any) return false;
        line = parseLine(text.data(), text.size());
        if (line.kind != LineKind::Skip) return true;
    }
}

int FontFile::countRecords(const std::string& path) {
    FontFile file;
    if (!file.open(path)) return -1;
    int count = 0;
    FontLine line;
    while (file.next(line))
        if (line.kind == LineKind::Record || line.kind == LineKind::Bad) ++count;
    return count;
}

} // namespace k7e
