#include "TraceFileBuilder.h"

#include <cstring>
#include <fstream>

namespace {

std::string le64(double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    std::string out(8, '\0');
    for (int i = 0; i < 8; ++i) out[i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
    return out;
}

} // namespace

std::string Le32(uint32_t v) {
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return out;
}

std::string Le16(uint16_t v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }

std::string Words(std::initializer_list<uint32_t> words) {
    std::string out;
    for (uint32_t w : words) out += Le32(w);
    return out;
}

std::string Field(const std::string& text, size_t width) {
    std::string out = text.substr(0, width);
    out.resize(width, '\0');
    return out;
}

std::string TextPayload(uint32_t level, const std::string& cls, const std::string& method,
                        const std::string& text, const std::string& data) {
    return Le32(level) + Field(cls, 50) + Field(method, 50) + text + std::string(1, '\0') + data;
}

TraceFileBuilder& TraceFileBuilder::Header16(uint32_t length, uint32_t minor, double clock) {
    bytes_ += Le32(length) + Le32(minor) + le64(clock);
    return *this;
}

TraceFileBuilder& TraceFileBuilder::Marker(uint32_t minor, const std::string& payload) {
    Header16(static_cast<uint32_t>(payload.size()), minor);
    bytes_ += payload;
    return *this;
}

TraceFileBuilder& TraceFileBuilder::V1(const TraceRec& r) {
    Header16(static_cast<uint32_t>(r.payload.size()), r.minor, r.clock);
    bytes_ += r.payload;
    return *this;
}

TraceFileBuilder& TraceFileBuilder::V2(const TraceRec& r) {
    Header16(static_cast<uint32_t>(r.payload.size()), r.minor, r.clock);
    bytes_ += Le32(r.tid) + Le32(r.pid) + Le32(r.time) + Le32(0) + r.payload;
    return *this;
}

TraceFileBuilder& TraceFileBuilder::V3(const TraceRec& r) {
    Header16(static_cast<uint32_t>(r.payload.size()), r.minor, r.clock);
    bytes_ += Le32(r.tid) + Le32(r.pid) + Le32(r.time);
    bytes_ += static_cast<char>(r.component & 0xFF);
    bytes_ += '\0';
    bytes_ += Le16(r.ms) + r.payload;
    return *this;
}

TraceFileBuilder& TraceFileBuilder::Raw(const std::string& bytes) {
    bytes_ += bytes;
    return *this;
}

bool TraceFileBuilder::WriteTo(const std::string& path) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes_.data(), static_cast<std::streamsize>(bytes_.size()));
    return static_cast<bool>(out);
}
