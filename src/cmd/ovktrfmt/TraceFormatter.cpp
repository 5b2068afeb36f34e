#include "TraceFormatter.h"

#include <cstdarg>
#include <cstring>
#include <ctime>
#include <exception>

#include "NameTables.h"
#include "Payload.h"
#include "RecordFormatters.h"

namespace {

constexpr int kSlack = 4096; // zero bytes after the largest payload, for fixed-offset reads

uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

double leDouble(const uint8_t* p) {
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = bits << 8 | p[i];
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

std::string format(const char* f, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* f, ...) {
    char buf[128];
    va_list args;
    va_start(args, f);
    std::vsnprintf(buf, sizeof buf, f, args);
    va_end(args);
    return buf;
}

} // namespace

TraceFormatter::TraceFormatter(const FormatOptions& options, FILE* out, FILE* err)
    : options_(options), out_(out), err_(err),
      payload_(static_cast<size_t>(kMaxPayload + kSlack), 0) {}

void TraceFormatter::Run(FILE* in) {
    uint8_t head[50];
    for (;;) {
        // 1. The first half of the header.
        std::memset(head, 0, sizeof head);
        if (std::fread(head, 1, 16, in) < 16) {
            if (failures_++ >= kMaxHeaderFailures - 1) return;
            continue;
        }
        const uint32_t length = le32(head);
        const uint32_t minor = le32(head + 4);
        const double clock = leDouble(head + 8);
        // 2. Over-long: not read, and its payload not skipped either.
        if (length > static_cast<uint32_t>(kMaxPayload)) {
            if (options_.debug)
                std::fprintf(err_, "Length to read is too big (length=%d/0x%x), skipping\n",
                             static_cast<int>(length), length);
            continue;
        }
        const int n = static_cast<int>(length);
        // 3. Version markers.
        if (minor == kVersion2Marker || minor == kVersion3Marker) {
            version_ = minor == kVersion2Marker ? 2 : 3;
            if (n > 0 && std::fread(payload_.data(), 1, static_cast<size_t>(n), in) > 0) {
                // Read and discarded.
            }
            std::memset(payload_.data(), 0, static_cast<size_t>(n));
            continue;
        }
        // 4. The second half.
        if (version_ != 1 || options_.forceV2) {
            if (std::fread(head + 16, 1, 16, in) < 16) {
                std::fprintf(err_, "could not read version 2+ data\n");
                continue;
            }
        }
        // 5. The payload, into a cleared buffer.
        std::memset(payload_.data(), 0, static_cast<size_t>(lastLength_));
        const size_t got = n > 0 ? std::fread(payload_.data(), 1, static_cast<size_t>(n), in) : 0;
        lastLength_ = static_cast<int>(got);
        if (got < static_cast<size_t>(n)) {
            std::fprintf(err_, "Could not read data bytes expected=%d actual=%d\n", n, static_cast<int>(got));
            std::fflush(err_);
            continue;
        }
        const uint32_t tid = le32(head + 16), pid = le32(head + 20), time = le32(head + 24);
        const double before = lastTime_;
        uint32_t component = 0;
        if (version_ == 3) {
            component = head[28];
            ComputeColumnsV3(clock, tid, pid, time, static_cast<uint16_t>(head[30] | head[31] << 8));
        } else {
            ComputeColumnsV1(clock, tid, pid);
        }
        // 6-8. Formatting; a record that was not shown leaves the time base alone.
        out_.setCopyActive(false);
        int result;
        try {
            result = Dispatch(component, minor, n);
        } catch (const std::exception&) {
            PrintUnformatted(component, minor, n);
            result = 0;
        }
        FreeTableStrings();
        if (result == 1) lastTime_ = before;
    }
}

int TraceFormatter::Dispatch(uint32_t component, uint32_t minor, int length) {
    const uint8_t* p = payload_.data();
    const char* date = out_.date().c_str();
    const char* time = out_.time().c_str();
    const char* process = out_.process().c_str();
    switch (component) {
    case 0:
        if (version_ == 3 && options_.hideCore) return 1;
        return FormatCoreRecord(*this, minor, p, length, date, time, process);
    case 1: return FormatOposRecord(*this, minor, p, length, date, time, process);
    case 2: return FormatScsRecord(*this, minor, p, length);
    case 4: return FormatRs232Record(*this, minor, p, length);
    case 6: return FormatJposRecord(*this, minor, p, length);
    default: return 0; // no formatter: nothing printed, the time base moved
    }
}

void TraceFormatter::PrintUnformatted(uint32_t component, uint32_t minor, int length) {
    out_.setCopyActive(false);
    out_.print("Comp=%d, Minor=%d(%x), Length=%d, data='", static_cast<int>(component),
               static_cast<int>(minor), minor, length);
    out_.dumpMsg(payload_.data(), length);
    out_.print("'\n");
    out_.flush();
}

void TraceFormatter::ComputeColumnsV3(double clock, uint32_t tid, uint32_t pid, uint32_t time,
                                      uint16_t ms) {
    std::string date, diff, process;
    if (options_.timeDiff) {
        diff = format("%-10.3f ", clock - lastTime_);
        if (!options_.cumulative) lastTime_ = clock;
    }
    if (options_.date) {
        const time_t t = static_cast<time_t>(time);
        struct tm tm;
        if (localtime_r(&t, &tm))
            date = format("%02d/%02d-%02d:%02d:%02d.%03hu ", tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                          tm.tm_min, tm.tm_sec, ms);
    }
    if (options_.process) process = format("P%05x/T%05x ", pid, tid);
    out_.setColumns(date, diff, process);
}

void TraceFormatter::ComputeColumnsV1(double clock, uint32_t tid, uint32_t pid) {
    std::string diff;
    const double time = clock / options_.divisor;
    if (options_.timeDiff) {
        const double d = time - lastTime_;
        diff = options_.process ? format("%-10.3f  P%05x/T%05x ", d, pid, tid) : format("%-10.3f", d);
        if (!options_.cumulative) lastTime_ = time;
    }
    out_.setColumns("", diff, "");
}
