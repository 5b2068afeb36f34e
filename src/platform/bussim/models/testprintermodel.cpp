#include "testprintermodel.h"

namespace bussim {

uint8_t TestPrinterModel::statusByte() const {
    uint8_t s = 0;
    for (int st = 0; st < kStations; ++st)
        if (paperOut(st)) s |= static_cast<uint8_t>(1u << st);
    if (coverOpen()) s |= kCoverOpen;
    if (documentIn()) s |= kDocumentIn;
    return s;
}

void TestPrinterModel::command(const Bytes& c, ModelLink& link) {
    const Bytes done{kComplete, statusByte()};
    if (c.empty()) {
        answer(link, rejectAnswer());
        return;
    }
    switch (c[0]) {
    case kLine:
    case kFeed: {
        const int station = c.size() >= 2 ? c[1] : -1;
        if (!validStation(station) || paperOut(station) || (c[0] == kFeed && c.size() < 3)) break;
        if (c[0] == kLine) {
            printText(station, c.data() + 2, c.size() - 2);
            lineFeed(station);
        } else {
            for (int i = 0; i < c[2]; ++i) lineFeed(station);
        }
        answer(link, done);
        return;
    }
    case kCut:
        ++cuts_;
        answer(link, done);
        return;
    case kStatus:
        answer(link, done);
        return;
    case kReset:
        resetCommand(link);
        return;
    default:
        break;
    }
    answer(link, rejectAnswer());
}

} // namespace bussim
