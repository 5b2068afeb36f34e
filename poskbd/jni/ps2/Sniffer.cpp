#include "Sniffer.h"

#include <algorithm>

size_t snifferBytes(const input_event& ev, bool usb, KeyMapper& mapper, uint8_t* out, bool& cut) {
    cut = false;
    if (ev.type == EV_KEY && usb) {
        std::vector<uint8_t> bytes = mapper.map(ev.code, ev.value);
        size_t n = std::min(bytes.size(), kSnifferBytes);
        cut = bytes.size() > kSnifferBytes;
        std::copy(bytes.begin(), bytes.begin() + n, out);
        return n;
    }
    if (ev.type == EV_MSC && ev.code == MSC_RAW && !usb) {
        out[0] = static_cast<uint8_t>(ev.value & 0xFF);
        return 1;
    }
    return 0;
}
