// Arbitrary font files for the font download program's reader: each input is a file, read
// line by line as the program reads it, and every line decoded alone as well.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "../FuzzRoot.h"
#include "K7eFont.h"

namespace {
std::string gPath;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzroot::usePrivateRoot();
    gPath = fuzzroot::path() + "/font.fon";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(gPath.c_str(), "we");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    k7e::FontFile::countRecords(gPath);
    k7e::FontFile file;
    if (file.open(gPath)) {
        k7e::FontLine line;
        while (file.next(line)) {
        }
    }
    k7e::parseLine(reinterpret_cast<const char*>(data), size);
    return 0;
}
