#include "Util.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace {
const char kTitle[] = "Integrated scanner configuration and test utility";
const char kVersion[] = "1.0";
} // namespace

std::string Util::toHexString(const unsigned char* bytes, int n) {
    if (n <= 0) return " ";
    std::string out;
    char b[4];
    for (int i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, "%02X/", bytes[i]);
        out += b;
    }
    return out;
}

std::string Util::toHexString(const std::vector<unsigned char>& list) {
    return toHexString(list.data(), static_cast<int>(list.size()));
}

std::string Util::toASCIIString(const std::vector<unsigned char>& list) {
    std::string out;
    for (unsigned char c : list) out += c >= '0' && c <= '9' ? static_cast<char>(c) : ' ';
    return out;
}

void Util::sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void Util::printBar(int width) {
    if (width <= 2) return;
    std::printf("+%s+\n", std::string(static_cast<size_t>(width - 2), '-').c_str());
}

void Util::printMainMessage() {
    std::string line = std::string("|") + kTitle + " v" + kVersion + "|";
    if (line.size() > 80) line = std::string("|") + kTitle + "|";
    printBar(static_cast<int>(line.size()));
    std::printf("%s\n", line.c_str());
    printBar(static_cast<int>(line.size()));
}

void Util::printPropWarning(const char* rate) {
    const std::string dashes(74, '-');
    std::printf("%s\n", dashes.c_str());
    std::printf("Default scanner baud rate will be set to %s.", rate);
    std::printf("\nPlease remember to change the jpos.xml baud rate property to this one:\n");
    std::printf("<prop name=\"baudRate\" type=\"String\" value=\"%s\"/>", rate);
    std::printf("\n%s\n", dashes.c_str());
}
