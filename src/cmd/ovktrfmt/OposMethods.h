// The method decoders of the OPOS records: the printer service object (`CPosPrinter`), the
// event interfaces of the printer and the MICR, the MICR (`CMICR`) and the Windows printer
// (`CVuskWinPrinter`). Each reads the keyword=value pairs of one traced line and prints it
// with its numbers named; a line without the keywords its method needs prints as traced.
#pragma once

#include <string>

#include "NameTables.h"
#include "OposText.h"
#include "TextRecord.h"
#include "TraceOutput.h"

// One traced line of a service object's method.
class OposLine {
public:
    OposLine(TraceOutput& out, const TextRecord& r, const std::string& text) : out_(out), r_(r), text_(text) {}

    TraceOutput& out() const { return out_; }
    const std::string& text() const { return text_; }
    const std::string& method() const { return r_.methodName; }
    bool entered() const { return Holds(text_, "entered"); }
    bool returning() const { return Holds(text_, "returning"); }
    bool has(const char* keyword) const { return Holds(text_, keyword); }
    long number(const char* keyword, long fallback = -1) const { return KeywordValue(text_, {keyword}, fallback); }
    long hex(const char* keyword) const { return KeywordHex(text_, keyword, 0); }
    // The name of the keyword's value in the table.
    const char* name(const TableEntry* table, const char* keyword) const {
        return GetTableEntry(table, static_cast<int32_t>(number(keyword)));
    }
    // The result: the value after "rc=", else the one after "returning".
    long result() const;
    const char* rcName() const;
    // A quoted text after the keyword ("Data='...'"), without its closing quote; or the rest
    // of the line after the keyword without quotes. False when the keyword is not there.
    bool quoted(const char* keyword, std::string& value) const;

    // The prefix and "class(method): ".
    void lead() const;
    // The prefix, "class(method): " and the line as traced.
    void raw() const;
    // Print data on continuation lines: "     Data='" with ESC, CR and LF visible; each LF
    // ends a line.
    void dataLines(const std::string& data) const;

private:
    TraceOutput& out_;
    const TextRecord& r_;
    const std::string& text_;
};

// Each prints the line (prefix included, final line feed not) and returns 0, or returns 1
// when the line is not shown.
int FormatPrinterMethod(const OposLine& line);
int FormatEventInterface(const OposLine& line, bool micr);
int FormatMicrMethod(const OposLine& line);
int FormatWinPrinterMethod(const OposLine& line);
