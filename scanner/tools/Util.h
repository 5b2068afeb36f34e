// Small text helpers and the program's fixed screens.
#pragma once

#include <string>
#include <vector>

namespace Util {
// Each byte as "%02X/"; " " for none.
std::string toHexString(const unsigned char* bytes, int n);
std::string toHexString(const std::vector<unsigned char>& list);
// Digits as they are, every other byte as a blank.
std::string toASCIIString(const std::vector<unsigned char>& list);
void sleep(int ms);
// "+---...---+" of the width (nothing for 2 or less).
void printBar(int width);
// The banner: the title and version between bars.
void printMainMessage();
// The reminder to put the baud rate into the Java device layer's configuration.
void printPropWarning(const char* rate);
} // namespace Util
