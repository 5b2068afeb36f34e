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

void PrinterModel::tick(int32_t, ModelLink& link) {
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
