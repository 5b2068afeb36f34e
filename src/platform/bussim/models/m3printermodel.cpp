#include "m3printermodel.h"

#include <algorithm>

#include "sycrc.h"

namespace bussim {

namespace {

bool printOpcode(uint8_t op) {
    switch (op) {
    case 0x01: case 0x02: case 0x04: case 0x11: case 0x12: case 0x14:
    case 0x0D: case 0x1D: case 0x05: case 0x15:
        return true;
    default:
        return false;
    }
}

int stationOfLine(uint8_t op1) {
    switch (op1) {
    case 0x01: return PrinterModel::CR;
    case 0x02: return PrinterModel::SJ;
    case 0x03: case 0x04: case 0x06: case 0x07: return PrinterModel::DI;
    default: return -1;
    }
}

} // namespace

M3PrinterModel::M3PrinterModel(const Options& options) : options_(options), font_(kFontBytes, 0) {
    settings_[static_cast<unsigned char>('$')] = options_.codePage;
    settings_[static_cast<unsigned char>('\'')] = 0x0909; // font 2: height 9, width 9
    settings_[static_cast<unsigned char>('(')] = 0x0A0A;  // font 1
    settings_[static_cast<unsigned char>(')')] = 3;       // font 2 spacing
}

void M3PrinterModel::powerOn() {
    for (std::string& line : current_) line.clear();
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

void M3PrinterModel::print(int station, const Bytes& c) {
    std::string& line = current_[station];
    for (size_t i = 5; i < c.size(); ++i) {
        const size_t column = i - 5;
        const uint8_t b = c[i];
        if (b <= 0x20 || b >= 0x7F) continue;
        if (line.size() <= column) line.resize(column + 1, ' ');
        line[column] = static_cast<char>(b);
    }
    if (c[4] != 0) {
        while (!line.empty() && line.back() == ' ') line.pop_back();
        printText(station, reinterpret_cast<const uint8_t*>(line.data()), line.size());
        lineFeed(station);
        line.clear();
    }
}

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
    } else if (op0 == 0x01 && (op1 == 0x09 || op1 == 0x0A) && c.size() >= 5 && c[4] != 0) {
        // A feed ends a started line.
        const int station = op1 == 0x09 ? CR : SJ;
        if (!current_[station].empty()) print(station, Bytes{0x01, op1, 0, 1, c[4]});
    } else if (printOpcode(op0) && stationOfLine(op1) >= 0 && c.size() >= 5) {
        print(stationOfLine(op1), c);
    }
    PrinterModel::answer(link, answer);
}

} // namespace bussim
