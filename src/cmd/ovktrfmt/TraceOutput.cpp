#include "TraceOutput.h"

#include <cstdarg>
#include <vector>

namespace {

std::string vformat(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    char small[512];
    const int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (n < 0) return {};
    if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
    std::vector<char> big(static_cast<size_t>(n) + 1);
    std::vsnprintf(big.data(), big.size(), format, args);
    return std::string(big.data(), static_cast<size_t>(n));
}

bool printable(uint8_t c) { return c >= 0x20 && c < 0x7F; }

const char kHex[] = "0123456789abcdef";

} // namespace

void TraceOutput::setColumns(const std::string& date, const std::string& time,
                             const std::string& process) {
    date_ = date;
    time_ = time;
    process_ = process;
}

void TraceOutput::emit(const std::string& s, bool copy) {
    if (!s.empty()) std::fwrite(s.data(), 1, s.size(), out_);
    if (copy && copyActive_ && !s.empty()) std::fwrite(s.data(), 1, s.size(), copy_);
}

void TraceOutput::text(const std::string& s) { emit(s, false); }

void TraceOutput::print(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string s = vformat(format, args);
    va_end(args);
    emit(s, false);
}

void TraceOutput::printBoth(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string s = vformat(format, args);
    va_end(args);
    emit(s, true);
}

void TraceOutput::copyOnly(const std::string& s) {
    if (copyActive_ && !s.empty()) std::fwrite(s.data(), 1, s.size(), copy_);
}

void TraceOutput::flush() {
    std::fflush(out_);
    if (copy_) std::fflush(copy_);
}

void TraceOutput::header(const char* name) {
    print("%s%-13s %s%s          ", date_.c_str(), name, time_.c_str(), process_.c_str());
}

void TraceOutput::header2(const char* name, int number) {
    print("%s%-13s %s%s %d        ", date_.c_str(), name, time_.c_str(), process_.c_str(), number);
}

void TraceOutput::header3(const char* name, int slot, int port, int device) {
    print("%s%-13s %s%s %d  %02x %02x", date_.c_str(), name, time_.c_str(), process_.c_str(), slot,
          port, device);
}

std::string TraceOutput::indent(int extra) const {
    auto width = [](const std::string& s) { return s.empty() ? size_t{1} : s.size(); };
    return std::string(width(date_) + 14 + width(time_) + width(process_) + static_cast<size_t>(extra), ' ');
}

void TraceOutput::dumpMsg(const uint8_t* data, int length, const std::string& lineIndent) {
    std::string line;
    for (int i = 0; i < length; ++i) {
        line += kHex[data[i] >> 4];
        line += kHex[data[i] & 15];
        if (i + 1 < length) {
            line += '.';
            if ((i + 1) % 25 == 0) {
                line += '\n';
                emit(line, true);
                emit(lineIndent, false);
                line.clear();
            }
        }
    }
    emit(line, true);
}

void TraceOutput::dumpMsgAscii(const uint8_t* data, int length, const std::string& lineIndent) {
    std::string line;
    for (int i = 0; i < length; ++i) {
        line += printable(data[i]) ? static_cast<char>(data[i]) : '.';
        if ((i + 1) % 80 == 0 && i + 1 < length) {
            line += '\n';
            emit(line, true);
            emit(lineIndent, false);
            line.clear();
        }
    }
    emit(line, true);
}

void TraceOutput::dumpMsgAsciiPrintable(const uint8_t* data, int length) {
    std::string line;
    for (int i = 0; i < length; ++i) {
        const uint8_t c = data[i];
        if (c == '\n') {
            line += "\\r";
        } else if (printable(c)) {
            line += static_cast<char>(c);
        } else {
            line += "\\x";
            line += kHex[c >> 4];
            line += kHex[c & 15];
        }
        if ((i + 1) % 80 == 0 && i + 1 < length) line += '\n';
    }
    emit(line, true);
}

void TraceOutput::HexDisplay(const uint8_t* data, int length) {
    if (length <= 0) return;
    const long rounded = length > 65519 ? length : (length + 15) / 16 * 16;
    for (long off = 0; off < rounded; off += 16) {
        char head[16];
        std::snprintf(head, sizeof head, "%04lx: ", off & 0xFFFF);
        std::string hex = head, chars;
        for (long i = off; i < off + 16; ++i) {
            if (i == off + 8) hex += "- ";
            if (i < length) {
                hex += kHex[data[i] >> 4];
                hex += kHex[data[i] & 15];
                hex += ' ';
                chars += printable(data[i]) ? static_cast<char>(data[i]) : '.';
            } else {
                hex += "-- ";
                chars += ' ';
            }
        }
        emit("     " + hex + "|" + chars + "\n", true);
    }
}
