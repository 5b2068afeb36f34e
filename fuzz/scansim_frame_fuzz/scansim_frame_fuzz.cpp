// Bytes on the simulated line scanner's serial line, in bursts whose sizes the first byte
// chooses, and every frame they carry unstuffed on its own.
#include <cstddef>
#include <cstdint>

#include "linescanner.h"
#include "scanframe.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t burst = 1 + data[0] % 64;
    ++data;
    --size;
    scansim::LineScanner scanner(scansim::LineScanner::Options{});
    for (size_t off = 0; off < size; off += burst) {
        const size_t n = size - off < burst ? size - off : burst;
        scanner.receive(data + off, n, scanner.speed());
    }
    scansim::Bytes frame(data, data + size), plain;
    scansim::unstuff(frame, plain);
    return 0;
}
