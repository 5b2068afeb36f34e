// Tab stops of a model-6397 write buffer and their texts.
#include "Prnt63TabStops.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr size_t kMaxText = 99;

// The decimal value of the leading digits of a piece (0 when none), saturating.
int64_t decimalPrefix(const std::string& piece) {
    size_t i = 0;
    bool negative = false;
    if (i < piece.size() && (piece[i] == '-' || piece[i] == '+')) negative = piece[i++] == '-';
    int64_t v = 0;
    for (; i < piece.size() && std::isdigit(static_cast<unsigned char>(piece[i])); ++i)
        if (v < 0x7FFFFFFF) v = v * 10 + (piece[i] - '0');
    if (v > 0x7FFFFFFF) v = 0x7FFFFFFF;
    return negative ? -v : v;
}

std::vector<std::string> split(const std::string& text) {
    std::vector<std::string> pieces;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        pieces.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) return pieces;
        start = comma + 1;
    }
}

} // namespace

int Prnt63ValidateTabStops(const char* text, uint32_t lineWidth) {
    if (!text) return 4920;
    const size_t n = strnlen(text, kMaxText + 1);
    if (n == 0 || n > kMaxText) return 4920;
    const std::string s(text, n);
    const std::vector<std::string> pieces = split(s);
    if (pieces.size() > PRN63_TAB_STOPS) return 4920;
    int64_t previous = 0;
    for (const std::string& piece : pieces) {
        if (piece.empty()) return 4920;
        for (char c : piece)
            if (!std::isxdigit(static_cast<unsigned char>(c))) return 4920;
        const int64_t v = decimalPrefix(piece);
        if (v <= 0 || v < previous || v > lineWidth) return 4920;
        previous = v;
    }
    return 0;
}

void Prnt63SetTabStops(const char* text, int32_t stops[PRN63_TAB_STOPS]) {
    for (int i = 0; i < PRN63_TAB_STOPS; ++i) stops[i] = -1;
    if (!text) return;
    const size_t n = strnlen(text, kMaxText + 1);
    if (n > kMaxText || n == 0) return;
    int used = 0;
    for (const std::string& piece : split(std::string(text, n))) {
        if (used == PRN63_TAB_STOPS) break;
        const int64_t v = decimalPrefix(piece);
        stops[used++] = static_cast<int32_t>(v < 0 ? 0 : v);
    }
}

bool Prnt63GetTabStops(const int32_t stops[PRN63_TAB_STOPS], char* out, size_t size) {
    if (!out || size < PRN63_TAB_TEXT_MIN) return false;
    std::string text;
    for (int i = 0; i < PRN63_TAB_STOPS && stops[i] != -1; ++i) {
        if (i) text += ',';
        text += std::to_string(stops[i]);
    }
    if (text.size() >= size) return false;
    std::memcpy(out, text.c_str(), text.size() + 1);
    return true;
}

std::vector<unsigned char> Prnt63TabStopBytes(const int32_t stops[PRN63_TAB_STOPS]) {
    std::vector<unsigned char> bytes;
    for (int i = 0; i < PRN63_TAB_STOPS && stops[i] != -1; ++i) {
        bytes.push_back(static_cast<unsigned char>(stops[i] >> 8));
        bytes.push_back(static_cast<unsigned char>(stops[i]));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}
