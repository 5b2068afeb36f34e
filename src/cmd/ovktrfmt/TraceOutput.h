// Where a formatter run writes: the output file, the copy file of application write data,
// the line prefixes and continuation indents built from the current record's columns, and
// the dump primitives.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

class TraceOutput {
public:
    explicit TraceOutput(FILE* out) : out_(out) {}

    FILE* file() const { return out_; }
    void setFile(FILE* out) { out_ = out; }
    // The copy file (null: none) and whether the current record's dumps go to it as well.
    void setCopyFile(FILE* copy) { copy_ = copy; }
    FILE* copyFile() const { return copy_; }
    void setCopyActive(bool on) { copyActive_ = on && copy_; }
    bool copyActive() const { return copyActive_; }

    // The current record's date, time-difference and process texts.
    void setColumns(const std::string& date, const std::string& time, const std::string& process);
    const std::string& date() const { return date_; }
    const std::string& time() const { return time_; }
    const std::string& process() const { return process_; }

    void print(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void text(const std::string& s);
    // Also to the copy file while it is active.
    void printBoth(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void flush();
    // To the copy file only, while it is active.
    void copyOnly(const std::string& s);

    // Line prefixes: "%s%-13s %s%s" and 10 blanks; with one number; with slot, port, device.
    void header(const char* name);
    void header2(const char* name, int number);
    void header3(const char* name, int slot, int port, int device);

    // Continuation indents: the columns' widths (each at least one position), 13 + 1
    // positions, then `extra` blanks.
    std::string indent(int extra) const;
    void blank() { text(indent(8)); }
    void blank3() { text(indent(19)); }
    void blankna() { text(indent(7)); }
    void blankn2() { text(indent(9)); }
    void blankn() { text(indent(20)); }
    void blankn3() { text(indent(31)); }
    std::string infoOffset3() const { return indent(19); }
    std::string infoOffset() const { return indent(24); }
    std::string infoOffset2() const { return indent(29); }

    // Hex dump "%02x" joined by "."; a line feed after the separator that follows every 25th
    // byte, each new line beginning with `lineIndent` (never written to the copy file).
    void dumpMsg(const uint8_t* data, int length, const std::string& lineIndent = "");
    void dumpMsgOffset(const uint8_t* data, int length) { dumpMsg(data, length, indent(20)); }
    void dumpMsgOffset2(const uint8_t* data, int length) { dumpMsg(data, length, indent(9)); }
    void dumpMsgOffset3(const uint8_t* data, int length) { dumpMsg(data, length, indent(31)); }
    // Characters, "." for what is not printable; a line feed after every 80.
    void dumpMsgAscii(const uint8_t* data, int length, const std::string& lineIndent = "");
    void dumpMsgAsciiOffset(const uint8_t* data, int length) {
        dumpMsgAscii(data, length, indent(7) + " |");
    }
    // Readable: a line feed as "\r", other unprintable bytes as "\x%02x"; 80 bytes a line.
    void dumpMsgAsciiPrintable(const uint8_t* data, int length);
    // 16 bytes a line: "     %04x: " hex pairs "|" characters.
    void HexDisplay(const uint8_t* data, int length);

private:
    void emit(const std::string& s, bool copy);

    FILE* out_;
    FILE* copy_ = nullptr;
    bool copyActive_ = false;
    std::string date_, time_, process_;
};
