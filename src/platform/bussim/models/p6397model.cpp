#include "p6397model.h"

#include <algorithm>
#include <cstdio>

#include "sycrc.h"

namespace bussim {

namespace {

// Lengths of the ESC and GS commands by their first two bytes.
struct Sequence {
    uint8_t lead, code, length;
};
constexpr Sequence kSequences[] = {
    {0x1B, 0x00, 4}, {0x1B, 0x07, 4}, {0x1B, 0x0C, 2}, {0x1B, 0x20, 3}, {0x1B, 0x21, 3},
    {0x1B, 0x22, 3}, {0x1B, 0x23, 3}, {0x1B, 0x24, 4}, {0x1B, 0x25, 3}, {0x1B, 0x26, 2},
    {0x1B, 0x27, 6}, {0x1B, 0x29, 3}, {0x1B, 0x2A, 2}, {0x1B, 0x2B, 3}, {0x1B, 0x2E, 2},
    {0x1B, 0x2F, 3}, {0x1B, 0x30, 2}, {0x1B, 0x33, 3}, {0x1B, 0x34, 6}, {0x1B, 0x35, 2},
    {0x1B, 0x36, 3}, {0x1B, 0x37, 2}, {0x1B, 0x38, 3}, {0x1B, 0x39, 2}, {0x1B, 0x3A, 3},
    {0x1B, 0x3C, 3}, {0x1B, 0x3D, 3}, {0x1B, 0x3E, 2}, {0x1B, 0x41, 2}, {0x1B, 0x44, 2},
    {0x1B, 0x49, 2}, {0x1B, 0x4A, 3}, {0x1B, 0x4C, 2}, {0x1B, 0x4D, 5}, {0x1B, 0x4F, 2},
    {0x1B, 0x52, 3}, {0x1B, 0x53, 3}, {0x1B, 0x54, 3}, {0x1B, 0x55, 3}, {0x1B, 0x56, 3},
    {0x1B, 0x58, 2}, {0x1B, 0x5C, 4}, {0x1B, 0x61, 3}, {0x1B, 0x63, 4}, {0x1B, 0x66, 4},
    {0x1B, 0x6D, 2}, {0x1B, 0x70, 5}, {0x1B, 0x72, 3}, {0x1B, 0x74, 3}, {0x1B, 0x7B, 3},
    {0x1D, 0x21, 3}, {0x1D, 0x24, 4}, {0x1D, 0x2A, 2}, {0x1D, 0x2F, 4}, {0x1D, 0x3A, 2},
    {0x1D, 0x3B, 3}, {0x1D, 0x48, 3}, {0x1D, 0x4A, 2}, {0x1D, 0x4E, 4}, {0x1D, 0x50, 2},
    {0x1D, 0x52, 4}, {0x1D, 0x53, 4}, {0x1D, 0x54, 3}, {0x1D, 0x5C, 4}, {0x1D, 0x5D, 6},
    {0x1D, 0x5E, 3}, {0x1D, 0x66, 3}, {0x1D, 0x68, 3}, {0x1D, 0x6B, 3}, {0x1D, 0x77, 3},
};

size_t sequenceLength(uint8_t lead, uint8_t code) {
    for (const Sequence& s : kSequences)
        if (s.lead == lead && s.code == code) return s.length;
    return 2;
}

bool startsWith(const PrinterModel::Bytes& p, std::initializer_list<uint8_t> prefix) {
    return p.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), p.begin());
}

bool endsWith(const PrinterModel::Bytes& p, std::initializer_list<uint8_t> suffix) {
    return p.size() >= suffix.size() && std::equal(suffix.begin(), suffix.end(), p.end() - static_cast<long>(suffix.size()));
}

bool equals(const PrinterModel::Bytes& p, std::initializer_list<uint8_t> bytes) {
    return p.size() == bytes.size() && startsWith(p, bytes);
}

uint32_t address24(const PrinterModel::Bytes& p, size_t at) {
    return uint32_t(p[at]) << 16 | uint32_t(p[at + 1]) << 8 | p[at + 2];
}

constexpr uint8_t kFaultBits2[] = {0x04, 0x01, 0x08, 0x02, 0x00};

} // namespace

P6397Model::P6397Model(const Options& options) : options_(options) {
    initialDocument(true);
    base_[0] = 0x01;
    base_[1] = 0x47;
    mct_[0x50] = options_.codePage;
    std::string serial = options_.serial;
    serial.resize(8, ' ');
    for (int i = 0; i < 4; ++i)
        mct_[0x69 + i] = static_cast<uint16_t>(uint8_t(serial[2 * i]) << 8 | uint8_t(serial[2 * i + 1]));
}

void P6397Model::powerOn() { station_ = CR; }

bool P6397Model::setStatusByte(int index, uint8_t value) {
    if (index < 0 || index >= 16) return false;
    base_[static_cast<size_t>(index)] = value;
    reportChange();
    return true;
}

void P6397Model::setFault(Fault fault, bool on) {
    uint8_t& bits = fault == kFaultFull ? faults1_ : faults2_;
    const uint8_t bit = fault == kFaultFull ? 0x80 : kFaultBits2[fault];
    bits = static_cast<uint8_t>(on ? bits | bit : bits & ~bit);
    reportChange();
}

void P6397Model::clearFaults() {
    faults1_ = faults2_ = 0;
    reportChange();
}

PrinterModel::Bytes P6397Model::deviceInfo() const {
    if (!options_.info.empty()) return options_.info;
    return {options_.deviceType, options_.subtype, options_.option, options_.feature, options_.ecLevel};
}

PrinterModel::Bytes P6397Model::statusBlock(bool answer) const {
    Bytes s(base_.begin(), base_.begin() + static_cast<long>(statusLength()));
    if (!answer) s[0] &= static_cast<uint8_t>(~0x01);
    if (paperOut(CR)) s[1] &= static_cast<uint8_t>(~0x04);
    if (paperOut(SJ)) s[1] &= static_cast<uint8_t>(~0x02);
    if (paperOut(DI)) s[1] &= static_cast<uint8_t>(~0x01);
    if (coverOpen()) s[0] |= 0x40;
    if (!documentIn()) s[0] |= 0x20;
    s[1] |= faults1_;
    s[2] |= faults2_;
    return s;
}

PrinterModel::Bytes P6397Model::rejectAnswer() const {
    Bytes s = statusBlock(true);
    s[0] = static_cast<uint8_t>((s[0] & ~0x01) | 0x80);
    return s;
}

uint16_t P6397Model::logoChecksum() const {
    return logos_.empty() ? 0 : CalculateCRC(logos_.data(), static_cast<int>(logos_.size()));
}

bool P6397Model::scanData(const Bytes& data, bool done) {
    if (!imaging()) return false;
    Bytes report = statusBlock(false);
    report[4] |= done ? 0x40 : 0x80;
    report.insert(report.end(), data.begin(), data.end());
    unasked_.push_back(report);
    if (done) ++images_;
    return true;
}

void P6397Model::onTick(int32_t /*now*/, ModelLink& link) {
    if (unasked_.empty()) return;
    answer(link, unasked_.front());
    unasked_.pop_front();
}

int P6397Model::flashByte(uint32_t address) const {
    auto it = flash_.find(address);
    return it == flash_.end() ? -1 : it->second;
}

void P6397Model::answerWith(ModelLink& link, uint8_t byte2, uint8_t byte4, const Bytes& data) {
    Bytes a = statusBlock(true);
    a[2] |= byte2;
    a[4] |= byte4;
    a.insert(a.end(), data.begin(), data.end());
    answer(link, a);
}

void P6397Model::command(const Bytes& c, ModelLink& link) {
    const bool logoFrame = startsWith(c, {0x1D, 0x2A}) || (logoOpen_ && startsWith(c, {0x1B, 0x2E}));
    logoOpen_ = logoFrame;
    if (logoFrame) {
        logos_.insert(logos_.end(), c.begin() + 2, c.end());
        return answerWith(link, 0, 0);
    }
    if (equals(c, {0x1B, 0x29, 0x00, 0x1B, 0x23, 0x01})) logos_.clear();
    if (equals(c, {0x00, 0x00, 0x01})) return answerWith(link, 0, 0x01, deviceInfo());
    if (equals(c, {0x00, 0x40, 0x00})) return resetCommand(link);
    if (equals(c, {0x00, 0x20, 0x00})) return answerWith(link, 0, 0);
    if (c.size() == 3 && c[0] == 0x1B && c[1] == 0x53) {
        const uint16_t v = mct_[c[2]];
        return answerWith(link, 0, 0x08, {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)});
    }
    if (equals(c, {0x1B, 0x22, 0x01})) {
        const uint16_t sum = logoChecksum();
        return answerWith(link, 0, 0x08, {static_cast<uint8_t>(sum >> 8), static_cast<uint8_t>(sum)});
    }
    if (imaging() && (equals(c, {0x1D, 0x4E, 0x01, 0x00}) || equals(c, {0x1D, 0x4E, 0x01, 0x01}))) {
        const uint16_t at = c[3] == 0 ? static_cast<uint16_t>(images_ + 1) : (images_ ? 1 : 0);
        return answerWith(link, 0, 0x08, {static_cast<uint8_t>(at >> 8), static_cast<uint8_t>(at)});
    }
    if (startsWith(c, {0x1B, 0x27}) && c.size() >= 6) {
        const size_t n = std::min<size_t>(c[2], c.size() - 6);
        const uint32_t at = address24(c, 3);
        for (size_t i = 0; i < n && at + i < options_.flashSize; ++i) flash_[static_cast<uint32_t>(at + i)] = c[6 + i];
        return answerWith(link, 0x80, 0);
    }
    if (startsWith(c, {0x1B, 0x34}) && c.size() >= 6) {
        const uint32_t at = address24(c, 3);
        Bytes data;
        if (at == 0xFFFFFF) {
            char digits[16];
            std::snprintf(digits, sizeof digits, "%08u", static_cast<unsigned>(options_.flashSize % 100000000u));
            data.assign(digits, digits + 8);
            data.resize(c[2], 0x00);
        } else {
            for (size_t i = 0; i < c[2]; ++i) {
                const int b = flashByte(static_cast<uint32_t>(at + i));
                data.push_back(b < 0 ? 0xFF : static_cast<uint8_t>(b));
            }
        }
        return answerWith(link, 0, 0x10, data);
    }
    if ((c.size() == 6 && startsWith(c, {0x1B, 0x29, 0x00, 0x1B, 0x23})) ||
        (c.size() == 3 && startsWith(c, {0x1B, 0x23})))
        return answerWith(link, 0x80, 0);
    if ((c.size() > 3 && endsWith(c, {0x1B, 0x53, 0x0A})) || endsWith(c, {0x1B, 0x3D, 0x99}) ||
        endsWith(c, {0x1B, 0x00, 0x80, 0x00})) {
        print(c); // a chase ends a frame of print data: the lines before it are printed
        return answerWith(link, 0, 0x02);
    }
    if (print(c)) {
        Bytes line(codeLine_.size() + 1, 0x00); // the status byte, then the code line
        std::copy(codeLine_.begin(), codeLine_.end(), line.begin() + 1);
        return answerWith(link, 0, 0x04, line);
    }
    answerWith(link, 0, 0);
}

bool P6397Model::print(const Bytes& c) {
    bool micr = false;
    for (size_t i = 0; i < c.size();) {
        const uint8_t b = c[i];
        if (b == 0x1B || b == 0x1D) {
            if (i + 1 >= c.size()) break;
            if (b == 0x1B && c[i + 1] == 0x49) micr = true;
            if (b == 0x1B && c[i + 1] == 0x63 && i + 3 < c.size() && c[i + 2] == 0x30) {
                switch (c[i + 3]) {
                case 0x02: case 0x80: station_ = CR; break;
                case 0x01: station_ = SJ; break;
                case 0x04: case 0x08: station_ = DI; break;
                default: break;
                }
            }
            if (b == 0x1B && c[i + 1] == 0x44) {
                // Tab stops: 16-bit positions up to a zero pair.
                for (i += 2; i + 1 < c.size();) {
                    const bool end = c[i] == 0 && c[i + 1] == 0;
                    i += 2;
                    if (end) break;
                }
                continue;
            }
            i += sequenceLength(b, c[i + 1]);
            continue;
        }
        if (b == 0x0A)
            lineFeed(station_);
        else
            printText(station_, &b, 1);
        ++i;
    }
    return micr;
}

} // namespace bussim
