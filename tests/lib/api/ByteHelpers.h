// Building expected byte strings for golden tests: hex text ("01 0B 04 00") and literal text.
#pragma once

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

inline std::vector<uint8_t> hexBytes(const char* text) {
    std::vector<uint8_t> out;
    for (const char* p = text; *p;) {
        if (std::isspace(static_cast<unsigned char>(*p))) {
            ++p;
            continue;
        }
        unsigned v = 0;
        std::sscanf(p, "%2x", &v);
        out.push_back(static_cast<uint8_t>(v));
        p += 2;
    }
    return out;
}

// Text bytes (length n, so that embedded NULs count).
inline std::vector<uint8_t> textBytes(const char* text, size_t n) {
    return std::vector<uint8_t>(text, text + n);
}

inline std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline std::vector<uint8_t> zeros(size_t n) { return std::vector<uint8_t>(n, 0); }

inline std::string hexDump(const std::vector<uint8_t>& b) {
    std::string s;
    char buf[4];
    for (uint8_t c : b) {
        std::snprintf(buf, sizeof buf, "%02X ", c);
        s += buf;
    }
    return s;
}
