// One run of the trace formatter: its switches, its output, and the reader of the trace file
// with its state (version, failed header reads, time base). The record loop hands each record
// to the formatter of its component.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "FormatOptions.h"
#include "TraceOutput.h"

// What the core records' formatters remember from one record to the next.
struct CoreState {
    bool hid = false;         // a USB record was seen: the HID records 200 and 201 are hidden
    int sendLineCount = 0;    // printer lines sent (-C)
    int receiveLineCount = 0; // printer lines the printer reported (-C)
    int printerLineCount = 0; // the line count byte of the printer's last status frame
    int ecRequests = 0;       // buffered EC-level requests sent to the printer
    int ecLevels = 0;         // EC levels the printer reported
    int mctRequests = 0;      // configuration-table requests sent
    int mctResponses = 0;     // configuration-table answers received
    int oposState = -1;       // the last "m_lState=" of an OPOS property line, until shown
};

class TraceFormatter {
public:
    static constexpr int kMaxPayload = 128000;   // longer records are not read
    static constexpr int kMaxHeaderFailures = 6; // short header reads that end the run
    static constexpr uint32_t kVersion2Marker = 500;
    static constexpr uint32_t kVersion3Marker = 501;

    TraceFormatter(const FormatOptions& options, FILE* out, FILE* err);

    const FormatOptions& options() const { return options_; }
    TraceOutput& out() { return out_; }
    FILE* err() const { return err_; }

    // Reads records from `in` until the sixth failed header read.
    void Run(FILE* in);

    int version() const { return version_; }
    CoreState& core() { return core_; }

private:
    // Formats one record of `component`; 1 when it was not shown.
    int Dispatch(uint32_t component, uint32_t minor, int length);
    void ComputeColumnsV3(double clock, uint32_t tid, uint32_t pid, uint32_t time, uint16_t ms);
    void ComputeColumnsV1(double clock, uint32_t tid, uint32_t pid);
    void PrintUnformatted(uint32_t component, uint32_t minor, int length);

    FormatOptions options_;
    TraceOutput out_;
    FILE* err_;
    CoreState core_;
    int version_ = 1;
    int failures_ = 0;
    double lastTime_ = 0;
    std::vector<uint8_t> payload_;
    int lastLength_ = 0; // bytes of the payload buffer in use since the last clearing
};
