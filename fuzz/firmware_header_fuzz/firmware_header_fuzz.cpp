// Arbitrary bytes as the head of a model-6397 firmware file: the first byte picks the
// subtype, the rest is the file's text (not terminated), read as the firmware check reads it.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "Prnt63Firmware.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const int subtype = data[0];
    // A copy of exactly the given bytes, so that any read past them is caught.
    std::vector<char> text(data + 1, data + size);
    Prnt63FirmwareHeader h = Prnt63ReadFirmwareHeader(text.data(), text.size(), subtype);
    (void)h;
    (void)Prnt63FirmwareFile(subtype, data[0] & 1, data[0] & 2);
    return 0;
}
