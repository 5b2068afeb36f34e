// The model-6397 virtual printer's read path, flash and image escapes: arbitrary reports of
// the physical printer (TellVirt 3 and 11 to 17), text with the flash and image escapes,
// then a read in every mode. The first byte picks the state: bit 0 raw print mode, bit 1
// imaging, bit 2 a record length of 10 (else none). The rest is a run of items, each a kind
// byte, a length byte and that many bytes: kind 0-7 a report (3, 11-17), 8 a text write,
// 9 a read in the mode of its first byte into a buffer of the size of its second byte
// times 8.
#include <cstdint>
#include <memory>

#include "../FuzzFrames.h"
#include "../FuzzPrinter.h"
#include "PRNT63P.h"
#include "PRNT63V.h"

namespace {

const DeviceID kId(fuzzbus::kSlot, 0x11, 0x35);

using Printer = fuzzprinter::Printer<PRNT63P>;

// The virtual printer with the print mode, imaging and flash records the flags pick.
class Fuzz63V : public fuzzprinter::Writer<PRNT63V> {
public:
    Fuzz63V(Printer& p, unsigned char flags) : fuzzprinter::Writer<PRNT63V>(p, kId, "PRNT63V") {
        if (flags & 1) parm_.printMode = PRN63_MODE_RAW;
        imaging_ = flags & 2;
        printFeatures_ |= 0x1;
        flashAvailable_ = 65279;
        if (flags & 4) {
            recordLength_ = 10;
            maxRecords_ = flashAvailable_ / 10;
        }
    }
    ~Fuzz63V() override { DiscardMicrData(PRN63_READ_FLASH); }
    void SetReadMode(unsigned short m) { parm_.readMode = m; }
};

void run(unsigned char flags, const uint8_t* data, size_t size) {
    Printer printer(kId);
    Fuzz63V v(printer, flags);
    printer.Hold(&v);
    static const int kCodes[] = {3, 11, 12, 13, 14, 15, 16, 17};
    static const unsigned short kModes[] = {1, 3, 4, 5, 153, 255, 0, 2};
    size_t at = 0;
    while (at + 2 <= size) {
        const unsigned kind = data[at];
        size_t n = data[at + 1];
        at += 2;
        if (n > size - at) n = size - at;
        fuzzframes::withCopy(data + at, n, [&](unsigned char* item, size_t) {
            if (kind < 8) {
                v.TellVirt(&printer, kCodes[kind], n ? item : nullptr, static_cast<int>(n));
            } else if (kind == 8) {
                int count = 0;
                v.WriteText(item, static_cast<unsigned>(n), count);
                if (count < 0 || static_cast<size_t>(count) > n) __builtin_trap();
            } else if (n >= 2) {
                v.SetReadMode(kModes[item[0] & 7]);
                const size_t size8 = size_t(item[1]) * 8;
                std::unique_ptr<unsigned char[]> buf(new unsigned char[size8 ? size8 : 1]);
                int got = 0;
                v.Read(buf.get(), static_cast<unsigned>(size8), got);
                if (got < 0 || static_cast<size_t>(got) > size8) __builtin_trap();
            }
        });
        at += n;
    }
    for (unsigned short mode : kModes) {
        v.SetReadMode(mode);
        unsigned char buf[4096];
        int got = 0;
        v.Read(buf, sizeof buf, got);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzbus::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzclock::restart();
    if (size < 1) return 0;
    run(data[0], data + 1, size - 1);
    return 0;
}
