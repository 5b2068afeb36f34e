#include "Escapes.h"

#include <cctype>
#include <cstdio>

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isOctal(char c) { return c >= '0' && c <= '7'; }

} // namespace

int ExpandString(char* text) {
    const char* in = text;
    char* out = text;
    while (*in) {
        if (*in != '\\') {
            *out++ = *in++;
            continue;
        }
        const char c = in[1];
        if (c == '\0') { // a backslash at the very end stays
            *out++ = *in++;
            break;
        }
        in += 2;
        switch (c) {
        case '"': case '\'': case '?': case '\\': *out++ = c; break;
        case 'a': *out++ = 7; break;
        case 'b': *out++ = 8; break;
        case 'f': *out++ = 12; break;
        case 'n': *out++ = 10; break;
        case 'r': *out++ = 13; break;
        case 't': *out++ = 9; break;
        case 'v': *out++ = 11; break;
        case 'x': {
            int value = 0;
            for (int i = 0; i < 2 && hexValue(*in) >= 0; ++i) value = value * 16 + hexValue(*in++);
            *out++ = static_cast<char>(value);
            break;
        }
        default:
            if (isOctal(c)) {
                int value = c - '0';
                for (int i = 0; i < 2 && isOctal(*in); ++i) value = value * 8 + (*in++ - '0');
                *out++ = static_cast<char>(value & 0xFF);
            } else {
                std::printf("--> Error, unknown escape sequence '%c%c'\n", '\\', c);
                *out++ = '\\';
                *out++ = c;
            }
        }
    }
    *out = '\0';
    return static_cast<int>(out - text);
}
