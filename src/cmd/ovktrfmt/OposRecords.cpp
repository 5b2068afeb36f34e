// Component 1: the records of the OPOS service objects. Statements above the OPOS detail
// level are not shown; every trace point is printed as its minor code for now.
#include "RecordFormatters.h"

#include "Payload.h"
#include "TextRecord.h"
#include "TraceFormatter.h"

int FormatOposRecord(TraceFormatter& run, uint32_t minor, const uint8_t* payload, int length,
                     const char*, const char*, const char*) {
    const Payload p(payload, length);
    if (static_cast<long>(p.u32(0)) > run.options().oposLevel) return 1;
    TraceOutput& out = run.out();
    out.header("Opos");
    out.print("Unknown minorCode=%d\n", static_cast<int>(minor));
    return 0;
}
