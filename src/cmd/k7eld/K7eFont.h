// The font files of the font download program: one record a line. A line starting with '*'
// is a comment, an empty line is ignored; "width", "height", "space", "codepage" and "mode"
// lines are settings (a word and a decimal number); every other line is a character record
// in pairs of hexadecimal digits (two code bytes, then the pattern).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace k7e {

enum class LineKind { Skip, Setting, Record, Bad };
enum class Setting { Width, Height, Space, CodePage, Mode };

constexpr size_t kMaxLine = 199;  // characters of a line that count
constexpr size_t kMaxRecord = kMaxLine / 2;

struct FontLine {
    LineKind kind = LineKind::Skip;
    Setting setting = Setting::Width;
    int value = 0;                 // a setting's value (the defaults when it has none)
    std::vector<uint8_t> bytes;    // a record's bytes
    size_t textLength = 0;         // characters of the line as read
};

// Decodes one line (without its end-of-line character); never reads beyond n bytes.
FontLine parseLine(const char* text, size_t n);

// Reads a font file line by line.
class FontFile {
public:
    FontFile() = default;
    ~FontFile();
    FontFile(const FontFile&) = delete;
    FontFile& operator=(const FontFile&) = delete;

    bool open(const std::string& path);
    void close();
    bool isOpen() const { return file_ != nullptr; }
    // The next line that is not skipped; false at the end of the file.
    bool next(FontLine& line);
    // The number of character records of a file, or -1 when it cannot be opened.
    static int countRecords(const std::string& path);

private:
    std::FILE* file_ = nullptr;
};

} // namespace k7e
