// The line rules shared by the utility's configuration and resource files.
#include <cstdio>
#include <cstring>

#include "CTouch6348Config.h"

namespace tutilLines {

bool IsRemark(const std::string& line) { return !line.empty() && line[0] == '!'; }

std::string Cut(const std::string& line) {
    const size_t at = line.find('!');
    return at == std::string::npos ? line : line.substr(0, at);
}

std::string Normalise(const std::string& line) {
    std::string out;
    out.reserve(line.size());
    for (char c : line) {
        if (c == ' ') continue;
        out += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return out;
}

bool ReadLine(FILE* f, int max, std::string& line) {
    std::vector<char> buffer(static_cast<size_t>(max) + 1);
    if (!std::fgets(buffer.data(), max + 1, f)) return false;
    // A NUL inside the line ends it, as for any text line.
    line.assign(buffer.data(), std::strlen(buffer.data()));
    return true;
}

} // namespace tutilLines
