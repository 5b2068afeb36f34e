// Arbitrary answers of the model-6397 printer (NewMsgRcvd). The first byte picks the state:
//   bits 0-1 the mode (normal, service, raw, normal); bit 2 a virtual printer holds it;
//   bits 3-5 the command outstanding when the answers come (none, the device counter 103,
//   the counter words 104, an MCT query of the start-up chain, the virtual printer's MCT
//   query 97, a firmware load, an RZ8 erase, a service command); bit 6 the 16-byte status;
//   bit 7 extended device information.
// The rest is a run of messages, each a length byte and that many bytes.
#include <cstdint>
#include <vector>

#include "../FuzzFrames.h"
#include "../FuzzPrinter.h"
#include "PRNT63P.h"
#include "PRNTV.h"

namespace {

const DeviceID kId(fuzzbus::kSlot, 0x11, 0x35);

// A virtual printer that reads every byte it is told, so that a length past the data shows.
class Holder : public PRNTV {
public:
    Holder() : PRNTV(kId, 1, "PRNT63V") {}
    int Write(const void*, unsigned int, int& count) override {
        count = 0;
        return 0;
    }
    int SendWritePending() override { return 0; }
    int TellVirt(const PDEV*, int, unsigned char* data, int length) override {
        if (data && length > 0) seen.assign(data, data + length);
        return 0;
    }
    std::vector<unsigned char> seen;
};

using Printer = fuzzprinter::Printer<PRNT63P>;

void feed(Printer& printer, unsigned char* m, int n) {
    printer.ClearStatusBits(PRNTP_AWAITING_ACK);
    printer.NewMsgRcvd(m, n);
}

void run(unsigned char flags, const uint8_t* data, size_t size) {
    Holder holder;
    Printer printer(kId);
    printer.Hold(flags & 4 ? &holder : nullptr);

    // The device information, short or extended, after an 8- or 16-byte status.
    std::vector<unsigned char> info(flags & 0x40 ? 16 : 8, 0);
    info[0] = 0x01;
    info[1] = 0x47;
    info[4] = 0x01;
    if (flags & 0x80) {
        const unsigned char ext[] = {0x30, 0x08, 0, 0x40, 1, '2', 0, 0xFF, 0xFF, 0x1E, 0, 0, 0, 0, 0};
        info.insert(info.end(), ext, ext + sizeof ext);
    } else {
        const unsigned char shortInfo[] = {0x30, 0x04, 0x13, 0x26, 0x40};
        info.insert(info.end(), shortInfo, shortInfo + sizeof shortInfo);
    }
    fuzzframes::withCopy(info.data(), info.size(),
                         [&](unsigned char* m, size_t n) { feed(printer, m, static_cast<int>(n)); });

    static const unsigned char kLoad[] = {0x01, 0x44, 0x4C, 0, 1, 2, 3, 4};
    static const unsigned char kErase[] = {0x01, 0x45, 0x55, 0x41};
    switch ((flags >> 3) & 7) {
    case 1: printer.InsertCmd(103, 0, 0, nullptr); break;
    case 2: printer.InsertCmd(104, 0, 0, nullptr); break;
    case 3: printer.InsertCmd(68, 0, 0, nullptr); break;
    case 4: printer.InsertCmd(97, 0, 0, nullptr); break;
    case 5: printer.InsertCmd(101, 0, sizeof kLoad, kLoad); break;
    case 6: printer.InsertCmd(101, 0, sizeof kErase, kErase); break;
    case 7: printer.InsertCmd(5, 0, 0, nullptr); break;
    default: break;
    }
    printer.SendAnyPendingMessage();
    static const int kModes[] = {PRN63_TP_MODE_NORMAL, PRN63_TP_MODE_SERVICE, PRN63_TP_MODE_RAW,
                                 PRN63_TP_MODE_NORMAL};
    printer.TellPhys(nullptr, kModes[flags & 3], nullptr, 0);

    fuzzframes::forEachFrame(data, size, [&](unsigned char* m, int n) { feed(printer, m, n); });

    unsigned char record[CAP63_SIZE] = {};
    printer.TellPhys(nullptr, PRN63_TP_CAPABILITIES, record, sizeof record);
    unsigned char raw[16];
    printer.CopyPrinterStatus(raw);
    const unsigned char text[] = "resume";
    printer.ResumePrinting(text);
    printer.RetryPrinting(text);
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
