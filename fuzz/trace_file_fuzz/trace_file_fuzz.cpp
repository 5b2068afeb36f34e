// A whole trace file through the formatter's reader and every record formatter, under a few
// option sets; the output is discarded.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "FormatOptions.h"
#include "TraceFormatter.h"

namespace {

FILE* sink() {
    static FILE* f = std::fopen("/dev/null", "w");
    return f;
}

void run(const uint8_t* data, size_t size, const FormatOptions& options) {
    FILE* in = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!in) return;
    TraceFormatter formatter(options, sink(), sink());
    formatter.Run(in);
    std::fclose(in);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0; // fmemopen refuses an empty buffer
    FormatOptions plain;
    run(data, size, plain);
    FormatOptions all;
    all.date = all.process = all.cumulative = all.debug = all.lineCounts = true;
    all.unformattedOpos = all.showTcp = true;
    all.oposLevel = all.scsLevel = 100;
    all.forceV2 = true;
    run(data, size, all);
    FormatOptions copied;
    copied.showTcp = copied.lineCounts = true;
    copied.scsLevel = copied.oposLevel = 3;
    run(data, size, copied);
    FormatOptions hidden;
    hidden.timeDiff = false;
    hidden.hideCore = hidden.hideDevice = hidden.hideSio = hidden.hideText = true;
    hidden.divisor = 1000;
    hidden.oposLevel = 0;
    run(data, size, hidden);
    return 0;
}
