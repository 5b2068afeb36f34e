#include "printermodel.h"

namespace bussim {

namespace {
constexpr size_t kPartialLimit = 4096; // characters of a line kept before its end
}

bool PrinterModel::setPaper(int station, bool out) {
    if (!validStation(station) || paperOut_[station] == out) return false;
    paperOut_[station] = out;
    reportDue_ = true;
    return true;
}

bool PrinterModel::setCover(bool open) {
    if (coverOpen_ == open) return false;
    coverOpen_ = open;
    reportDue_ = true;
    return true;
}

bool PrinterModel::setDocument(bool in) {
    if (documentIn_ == in) return false;
    documentIn_ = in;
    reportDue_ = true;
    return true;
}

void PrinterModel::reset() {
    ++resets_;
    reportDue_ = false; // the host asks for the status after a power-on
    for (std::string& p : partial_) p.clear();
    for (std::string& p : overlay_) p.clear();
    powerOn();
}

void PrinterModel::receive(const Bytes& payload, ModelLink& link) {
    if (drops_ > 0) {
        // Lost on the line: the printer never sees it.
        --drops_;
        link.lose();
        return;
    }
    if (commands_.size() >= kCommandLimit) commands_.pop_front();
    commands_.push_back(payload);
    ++commandCount_;
    if (rejects_ > 0) {
        --rejects_;
        answer(link, rejectAnswer());
        return;
    }
    command(payload, link);
}

void PrinterModel::tick(int32_t now, ModelLink& link) {
    onTick(now, link);
    if (reportDue_) answer(link);
}

void PrinterModel::answer(ModelLink& link) { answer(link, status()); }

void PrinterModel::answer(ModelLink& link, const Bytes& bytes) {
    reportDue_ = false;
    link.send(bytes);
}

void PrinterModel::resetCommand(ModelLink& link) {
    ++resets_;
    reportDue_ = false;
    for (std::string& p : partial_) p.clear();
    for (std::string& p : overlay_) p.clear();
    powerOn();
    link.requestOnline();
}

void PrinterModel::printText(int station, const uint8_t* text, size_t n) {
    if (!validStation(station) || !text) return;
    std::string& line = partial_[station];
    for (size_t i = 0; i < n && line.size() < kPartialLimit; ++i)
        if (text[i] >= 0x20 && text[i] < 0x7F) line += static_cast<char>(text[i]);
}

void PrinterModel::lineFeed(int station) {
    if (!validStation(station)) return;
    std::deque<std::string>& lines = lines_[station];
    if (lines.size() >= kLineLimit) lines.pop_front();
    lines.push_back(std::move(partial_[station]));
    partial_[station].clear();
    ++lineCounts_[station];
}

} // namespace bussim

namespace bussim {

namespace {

bool m3PrintOpcode(uint8_t op) {
    switch (op) {
    case 0x01: case 0x02: case 0x04: case 0x11: case 0x12: case 0x14:
    case 0x0D: case 0x1D: case 0x05: case 0x15:
        return true;
    default:
        return false;
    }
}

int m3LineStation(uint8_t op1) {
    switch (op1) {
    case 0x01: return PrinterModel::CR;
    case 0x02: return PrinterModel::SJ;
    case 0x03: case 0x04: case 0x06: case 0x07: return PrinterModel::DI;
    default: return -1;
    }
}

} // namespace

bool PrinterModel::printM3Line(const Bytes& c) {
    if (c.size() < 5) return false;
    int station = -1;
    bool text = false;
    if (c[0] == 0x01 && (c[1] == 0x09 || c[1] == 0x0A)) {
        station = c[1] == 0x09 ? CR : SJ;
        if (overlay_[station].empty()) return true;
    } else if (m3PrintOpcode(c[0]) && m3LineStation(c[1]) >= 0) {
        station = m3LineStation(c[1]);
        text = true;
    } else {
        return false;
    }
    std::string& line = overlay_[station];
    for (size_t i = 5; text && i < c.size() && i - 5 < kPartialLimitColumns; ++i) {
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
    return true;
}

} // namespace bussim
