#include "OposText.h"

#include <cctype>
#include <cstdlib>

size_t KeywordEnd(const std::string& text, const char* keyword) {
    const size_t at = text.find(keyword);
    return at == std::string::npos ? at : at + std::char_traits<char>::length(keyword);
}

long DecimalAt(const std::string& text, size_t at, long fallback) {
    if (at == std::string::npos || at >= text.size()) return fallback;
    size_t i = at;
    if (text[i] == '-') ++i;
    if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i]))) return fallback;
    return std::strtol(text.c_str() + at, nullptr, 10);
}

long HexAt(const std::string& text, size_t at, long fallback) {
    if (at == std::string::npos || at >= text.size()) return fallback;
    if (text.compare(at, 2, "0x") == 0 || text.compare(at, 2, "0X") == 0) at += 2;
    if (at >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[at]))) return fallback;
    return static_cast<long>(std::strtoul(text.c_str() + at, nullptr, 16));
}

long KeywordValue(const std::string& text, std::initializer_list<const char*> keywords, long fallback) {
    for (const char* k : keywords) {
        const size_t at = KeywordEnd(text, k);
        if (at != std::string::npos) return DecimalAt(text, at, fallback);
    }
    return fallback;
}

long KeywordHex(const std::string& text, const char* keyword, long fallback) {
    return HexAt(text, KeywordEnd(text, keyword), fallback);
}

bool KeywordString(const std::string& text, const char* keyword, char end, std::string& value) {
    const size_t at = KeywordEnd(text, keyword);
    if (at == std::string::npos) return false;
    const size_t stop = text.find(end, at);
    value = text.substr(at, stop == std::string::npos ? std::string::npos : stop - at);
    return true;
}
