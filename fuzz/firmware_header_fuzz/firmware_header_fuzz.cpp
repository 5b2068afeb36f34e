// Arbitrary bytes as the head of a model-6397 firmware file: the first byte picks the
// subtype, the rest is the file's text (not terminated), read as the firmware check reads it:
// from a file (at most its first 256 bytes), and from memory. Both reads must agree, and a
// missing file must read as no header.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../FuzzRoot.h"
#include "Prnt63Firmware.h"

namespace {

const std::string& filePath() {
    static const std::string path = fuzzroot::path() + "/firmware.hex";
    return path;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzroot::usePrivateRoot();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const int subtype = data[0];
    // A copy of exactly the given bytes, so that any read past them is caught.
    std::vector<char> text(data + 1, data + size);
    const Prnt63FirmwareHeader h = Prnt63ReadFirmwareHeader(text.data(), text.size(), subtype);
    (void)Prnt63FirmwareFile(subtype, data[0] & 1, data[0] & 2);

    std::FILE* f = std::fopen(filePath().c_str(), "wb");
    if (!f) std::abort(); // the harness itself is broken
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (std::fclose(f) != 0 || !written) std::abort();
    Prnt63FirmwareHeader fromFile;
    if (Prnt63ReadFirmwareHeaderFile(filePath(), subtype, fromFile) != 0) std::abort();
    const size_t head = text.size() < 256 ? text.size() : 256;
    const Prnt63FirmwareHeader fromHead = Prnt63ReadFirmwareHeader(text.data(), head, subtype);
    if (fromFile.ecLevel != fromHead.ecLevel || fromFile.revision != fromHead.revision) std::abort();
    (void)h;
    // A missing file has no header.
    if (Prnt63ReadFirmwareHeaderFile(filePath() + ".missing", subtype, fromFile) != 316 || fromFile.ecLevel != 0)
        std::abort();
    return 0;
}
