#include "m3printermodel.h"

#include <algorithm>

#include "sycrc.h"

namespace bussim {


M3PrinterModel::M3PrinterModel(const Options& options) : options_(options), font_(kFontBytes, 0) {
    settings_[static_cast<unsigned char>('$')] = options_.codePage;
    settings_[static_cast<unsigned char>('\'')] = 0x0909; // font 2: height 9, width 9
    settings_[static_cast<unsigned char>('(')] = 0x0A0A;  // font 1
    settings_[static_cast<unsigned char>(')')] = 3;       // font 2 spacing
}

PrinterModel::Bytes M3PrinterModel::status() const {
    Bytes s{0x02, 0x48, 0x04, options_.ec};
    if (paperOut(CR)) s[1] &= static_cast<uint8_t>(~0x40);
    if (paperOut(SJ)) s[2] &= static_cast<uint8_t>(~0x04);
    if (coverOpen()) s[1] |= 0x10;
    if (documentIn()) s[1] |= 0x20;
    return s;
}

PrinterModel::Bytes M3PrinterModel::rejectAnswer() const {
    Bytes s = status();
    s[0] = static_cast<uint8_t>((s[0] | 0x80) & ~0x01);
    return s;
}

PrinterModel::Bytes M3PrinterModel::done() const {
    Bytes s = status();
    s[0] |= 0x01;
    return s;
}

uint16_t M3PrinterModel::fontCheck() const {
    const unsigned short crc = CalculateCRC(font_.data(), static_cast<int>(font_.size()));
    return static_cast<uint16_t>((crc & 0xFF) << 8 | ((crc >> 8) ? 1 : 0));
}

uint16_t M3PrinterModel::flashCrc() const {
    return CalculateCRC(flash_.data(), static_cast<int>(flash_.size()));
}

uint16_t M3PrinterModel::fontCrc() const { return CalculateCRC(font_.data(), static_cast<int>(font_.size())); }

void M3PrinterModel::command(const Bytes& c, ModelLink& link) {
    Bytes answer = done();
    if (rasErrors_ > 0) {
        --rasErrors_;
        answer[2] |= 0x10;
    }
    if (c.size() < 2) {
        PrinterModel::answer(link, rejectAnswer());
        return;
    }
    const uint8_t op0 = c[0], op1 = c[1];
    if (op0 == 0x00 && op1 == 0x40) {
        resetCommand(link);
        return;
    }
    if (op0 == 0x00 && op1 == 0x80) {
        if (options_.dbcs) answer[0] |= 0x04;
        if (options_.micr) answer[0] |= 0x08;
        const uint16_t check = fontCheck();
        answer.push_back(static_cast<uint8_t>(check >> 8));
        answer.push_back(static_cast<uint8_t>(check));
    } else if (op0 == 0x0B) {
        const uint16_t v = setting(op1);
        answer.push_back(static_cast<uint8_t>(v >> 8));
        answer.push_back(static_cast<uint8_t>(v));
    } else if (op0 == 0x0A) {
        if (c.size() >= 5 && op1 < kSettings) settings_[op1] = static_cast<uint16_t>(c[3] << 8 | c[4]);
    } else if (op0 == 0x09 && op1 == 0x00 && c.size() >= 5) {
        const Bytes data(c.begin() + 5, c.end());
        if (c[4] == 0x08) {
            // A font block: 8 glyphs of 12 bytes from printer code c[3].
            const int first = c[3] - 216;
            for (size_t i = 0; i < data.size() && i < 96; ++i) {
                const size_t at = static_cast<size_t>(first) * 12 + i;
                if (first >= 0 && at < font_.size()) font_[at] = data[i];
            }
        } else if (flash_.size() + data.size() <= kFlashLimit) {
            flash_.insert(flash_.end(), data.begin(), data.end());
            flashRecords_ += c[3];
            ++flashChunks_;
        }
    } else if (op0 == 0x01 && op1 == 0x18) {
        erased_ = true;
        flash_.clear();
        flashRecords_ = flashChunks_ = 0;
    } else if (op0 == 0x01 && op1 == 0x19) {
        const uint16_t f2 = flashCrc(), f1 = fontCrc();
        answer.push_back(static_cast<uint8_t>(f2 >> 8));
        answer.push_back(static_cast<uint8_t>(f2));
        answer.push_back(static_cast<uint8_t>(f1 >> 8));
        answer.push_back(static_cast<uint8_t>(f1));
    } else if (op0 == 0x01 && op1 == 0x17) {
        if (documentIn()) answer.insert(answer.end(), micrData_.begin(), micrData_.end());
    } else if (op0 == 0x01 && op1 == 0x12) {
        ++cuts_;
    } else {
        printM3Line(c);
    }
    PrinterModel::answer(link, answer);
}

} // namespace bussim
