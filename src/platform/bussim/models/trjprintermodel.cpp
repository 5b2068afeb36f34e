#include "trjprintermodel.h"

namespace bussim {

namespace {
constexpr uint8_t kEsc = 0x1B;
} // namespace

TrjPrinterModel::TrjPrinterModel(const Options& options) : options_(options) {}

void TrjPrinterModel::setStatusByte(int index, uint8_t value) {
    if (index >= 0 && index < 8) base_[index] = value;
    reportChange();
}

void TrjPrinterModel::answerNext(uint8_t byte0, int n) {
    answerByte0_ = byte0;
    answersDue_ = n > 0 ? n : 0;
}

void TrjPrinterModel::setDefer(bool on) { defer_ = on; }

int TrjPrinterModel::udcBlocks() const {
    int n = 0;
    for (const auto& b : udc_) n += !b.empty();
    return n;
}

int TrjPrinterModel::logoBlocks() const {
    int n = 0;
    for (const auto& b : logo_) n += !b.empty();
    return n;
}

void TrjPrinterModel::powerOn() {
    answersDue_ = 0;
    badIds_ = 0;
    held_.clear();
    for (auto& b : udc_) b.clear();
    for (auto& b : logo_) b.clear();
}

PrinterModel::Bytes TrjPrinterModel::status() const {
    Bytes s(base_, base_ + 8);
    s[0] |= 0x80;
    s[3] = lastId_;
    if (coverOpen()) s[1] |= 0x40;
    if (paperOut(CR)) s[6] |= 0x10;
    if (paperOut(SJ)) s[6] |= 0x20;
    if (udcBlocks() > 0) s[6] |= 0x01;
    if (logoBlocks() > 0) s[6] |= 0x02;
    s[6] |= 0x08;
    s[7] |= 0x80;
    return s;
}

PrinterModel::Bytes TrjPrinterModel::rejectAnswer() const {
    Bytes s = status();
    const Bytes& c = commands().back();
    s[0] = 0x01;
    s[3] = c.size() > 6 ? c[6] : 0;
    s[4] |= 0x80;
    return s;
}

void TrjPrinterModel::reply(ModelLink& link, Bytes a) {
    if (badIds_ > 0) {
        --badIds_;
        a[3] = static_cast<uint8_t>(a[3] + 1);
    }
    if (defer_) held_.push_back(std::move(a));
    else answer(link, a);
}

void TrjPrinterModel::onTick(int32_t /*now*/, ModelLink& link) {
    if (defer_) return;
    while (!held_.empty()) {
        answer(link, held_.front());
        held_.pop_front();
    }
}

// Each line record of the data (ESC "@" and its font byte) is one line; escape sequences
// and the zero bytes of a record's first part are not text.
void TrjPrinterModel::print(int stationBits, const Bytes& c) {
    auto each = [&](auto f) {
        if (stationBits & 1) f(CR);
        if (stationBits & 2) f(SJ);
        if (stationBits & 4) {
            f(CR);
            f(SJ);
        }
    };
    bool open = false;
    for (size_t i = 7; i < c.size(); ++i) {
        const uint8_t b = c[i];
        if (b == kEsc && i + 1 < c.size()) {
            const uint8_t what = c[++i];
            if (what == '@' || what == 0xFF) {
                if (open) each([&](int s) { lineFeed(s); });
                open = what == '@';
                if (what == '@') ++i; // the font byte
            } else if (what == 'A') {
                ++i;
            }
            continue;
        }
        if (open && b != 0) each([&](int s) { printText(s, &b, 1); });
    }
    if (open) each([&](int s) { lineFeed(s); });
}

void TrjPrinterModel::command(const Bytes& c, ModelLink& link) {
    if (c.size() >= 7) lastId_ = c[6];
    Bytes done = status();
    done[0] = 0x80;
    done[3] = c.size() >= 7 ? c[6] : 0;
    if (answersDue_ > 0) {
        --answersDue_;
        done[0] = answerByte0_;
    }
    if (c.size() >= 7 && c[0] == 0x00) {
        if (c[1] == 0x40) {
            resetCommand(link);
            return;
        }
        if (c[1] == 0x80) {
            done[1] |= 0x02;
            done[2] = options_.ecLevel;
        } else if (c[1] == 0x20) {
            done[1] |= 0x20;
        } else if (c[1] == 0x00 && c[2] == 0x01) {
            done[1] |= 0x80;
            done.resize(18, 0);
            done[9] = options_.deviceType;
            done[12] = options_.ecLevel;
        }
        reply(link, done);
        return;
    }
    if (c.size() >= 7 && c[0] == 0x01) {
        if (c[1] == 0x02 && c.size() == 7 + kBlock) {
            const uint8_t n = c[5];
            if (n < kUdcBlocks) udc_[n].assign(c.begin() + 7, c.end());
            else if (n >= 128 && n - 128 < kLogoBlocks) logo_[n - 128].assign(c.begin() + 7, c.end());
            done[6] = status()[6];
        } else if (c[1] == 0x00 && c[3] == 0x00 && c[4] == 0x00 && (c[2] == 0x01 || c[2] == 0x02 || c[2] == 0x04)) {
            print(c[2], c);
        } else if (c[1] == 0x00 && c[2] == 0x00 && c[3] == 0x00 && (c[4] == 0x10 || c[4] == 0x20)) {
            ++cuts_;
        }
    }
    reply(link, done);
}

} // namespace bussim
