// One scanned label and the chains they form (the labels of one scan), with the size of a
// chain's read records.
#pragma once

#include <cstdint>

#include "GDList.h"

// Label flags.
enum : int16_t {
    LABEL_FLAG_LAST = 1,     // last label of its chain
    LABEL_FLAG_DISABLED = 2, // queued while the scanner was disabled or had no owner
    LABEL_FLAG_PARTIAL = 4,  // queued by a reset or by close before it was complete
    LABEL_FLAG_EMPTY = 8,    // empty record, no data
};

struct ScannerLabel {
    int16_t flags = LABEL_FLAG_LAST;
    int32_t type = 0;
    uint16_t length = 0;
    unsigned char* data = nullptr; // owned, new[]
    ScannerLabel* next = nullptr;
};

// Size of the read record of one label: type, flags, length, data.
enum { SCAN_RECORD_HEADER = 8 };

// Frees a label and every label after it.
void FreeLabelChain(ScannerLabel* chain);
// Sum over the chain of (length + 8).
long ChainRecordSize(const ScannerLabel* chain);
int ChainLength(const ScannerLabel* chain);
// Sets bits on every label of the chain.
void SetChainFlags(ScannerLabel* chain, int16_t bits);
// Writes the chain's read records into out (ChainRecordSize bytes).
void WriteChainRecords(const ScannerLabel* chain, unsigned char* out);

using GDList_ScannerLabel = GDList<ScannerLabel>;

// A row of a label wrapper table; a row with label type 0 ends the table.
struct LabelWrapper {
    int32_t type;
    int32_t length;     // expected data length, 0 for any
    int32_t identifier; // the byte that names the label
    int32_t marker;     // a marker byte stands before the identifier
};

// Messages that do not end in 0x0B, and those that do.
extern const LabelWrapper WrapperTable_00[];
extern const LabelWrapper WrapperTable_0B[];
