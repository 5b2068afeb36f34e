// Component 0: the records of the device server core. Every trace point is printed as its
// minor code for now.
#include "RecordFormatters.h"

#include "TraceFormatter.h"

int FormatCoreRecord(TraceFormatter& run, uint32_t minor, const uint8_t*, int, const char*,
                     const char*, const char*) {
    TraceOutput& out = run.out();
    out.header("Unknown");
    out.print(" minorCode=%d\n", static_cast<int>(minor));
    return 0;
}
