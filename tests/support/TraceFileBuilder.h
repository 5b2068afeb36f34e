// Builds trace files as the host's trace service writes them, for the formatter's tests and
// its fuzz seeds: version markers, records with version 1, 2 or 3 headers of any component
// and minor code, and raw bytes for cut and over-long records.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

// One record; every field little-endian as in the file.
struct TraceRec {
    uint32_t minor = 0;
    std::string payload;
    double clock = 0;      // milliseconds in version 3 files
    uint32_t component = 0; // version 3 only
    uint32_t tid = 0, pid = 0;
    uint32_t time = 0;      // seconds since 1970
    uint16_t ms = 0;        // version 3 only
};

class TraceFileBuilder {
public:
    // A version marker: 500 (version 2) or 501 (version 3), 16 bytes and its payload.
    TraceFileBuilder& Marker(uint32_t minor = 501, const std::string& payload = "");
    // A record with the 16-byte header only.
    TraceFileBuilder& V1(const TraceRec& r);
    // A record with the 32-byte header of version 2 (reserved word 0) or 3.
    TraceFileBuilder& V2(const TraceRec& r);
    TraceFileBuilder& V3(const TraceRec& r);
    // A 16-byte header half with any length word (the payload is not appended).
    TraceFileBuilder& Header16(uint32_t length, uint32_t minor, double clock = 0);
    TraceFileBuilder& Raw(const std::string& bytes);

    const std::string& bytes() const { return bytes_; }
    // Writes the file; false when it cannot be written.
    bool WriteTo(const std::string& path) const;

private:
    std::string bytes_;
};

// Payload helpers.
std::string Le32(uint32_t v);
std::string Le16(uint16_t v);
std::string Words(std::initializer_list<uint32_t> words);
// The 104-byte text header (level, class and method names in 50-byte fields), the text and
// its zero byte, then `data`.
std::string TextPayload(uint32_t level, const std::string& cls, const std::string& method,
                        const std::string& text, const std::string& data = "");
// A field of `width` bytes holding the text (cut) and zero padding.
std::string Field(const std::string& text, size_t width);
