// Scanned labels: chains, their read records, and the label wrapper tables.
#include "ScannerLabel.h"

#include <cstring>

#include "scandefs.h"

void FreeLabelChain(ScannerLabel* chain) {
    while (chain) {
        ScannerLabel* next = chain->next;
        delete[] chain->data;
        delete chain;
        chain = next;
    }
}

long ChainRecordSize(const ScannerLabel* chain) {
    long size = 0;
    for (; chain; chain = chain->next) size += chain->length + SCAN_RECORD_HEADER;
    return size;
}

int ChainLength(const ScannerLabel* chain) {
    int n = 0;
    for (; chain; chain = chain->next) ++n;
    return n;
}

void SetChainFlags(ScannerLabel* chain, int16_t bits) {
    for (; chain; chain = chain->next) chain->flags = static_cast<int16_t>(chain->flags | bits);
}

void WriteChainRecords(const ScannerLabel* chain, unsigned char* out) {
    for (; chain; chain = chain->next) {
        const int32_t type = chain->type;
        const int16_t flags = chain->flags;
        const int16_t length = static_cast<int16_t>(chain->length);
        std::memcpy(out, &type, 4);
        std::memcpy(out + 4, &flags, 2);
        std::memcpy(out + 6, &length, 2);
        if (chain->length) std::memcpy(out + SCAN_RECORD_HEADER, chain->data, chain->length);
        out += SCAN_RECORD_HEADER + chain->length;
    }
}

const LabelWrapper WrapperTable_00[] = {
    {LABEL_UPC_A, 12, 0x0D, 0},  {LABEL_UPC_D1, 14, 0x11, 1}, {LABEL_UPC_D2, 20, 0x12, 1},
    {LABEL_UPC_D3, 24, 0x14, 1}, {LABEL_UPC_D4, 28, 0x17, 1}, {LABEL_UPC_D5, 32, 0x1D, 1},
    {LABEL_UPC_E, 8, 0x0A, 0},   {LABEL_EAN_8, 8, 0x0C, 0},   {LABEL_EAN_13, 13, 0x16, 0},
    {0, 0, 0, 0},
};

const LabelWrapper WrapperTable_0B[] = {
    {LABEL_UPC_A_PLUS_2, 14, 0x16, 1}, {LABEL_UPC_A_PLUS_5, 17, 0x11, 1},
    {LABEL_UPC_E_PLUS_2, 10, 0x12, 1}, {LABEL_UPC_E_PLUS_5, 13, 0x14, 1},
    {LABEL_EAN_8_PLUS_2, 10, 0x17, 1}, {LABEL_EAN_8_PLUS_5, 13, 0x1D, 1},
    {LABEL_EAN_13_PLUS_2, 15, 0x13, 1}, {LABEL_EAN_13_PLUS_5, 18, 0x15, 1},
    {LABEL_CODE_39, 0, 0x0A, 1},       {LABEL_INT_2_OF_5, 0, 0x0D, 1},
    {LABEL_STD_2_OF_5, 0, 0x0C, 1},    {LABEL_CODABAR, 0, 0x0E, 1},
    {LABEL_CODE_128, 0, 0x18, 1},      {LABEL_CODE_93, 0, 0x19, 1},
    {0x8010, 0, 0x20, 1},              {0x4010, 0, 0x21, 1},
    {0x2010, 0, 0x22, 1},              {0x1010, 0, 0x23, 1},
    {0x100000, 0, 0x25, 1},            {0x400000, 14, 0x2A, 1},
    {0x800000, 0, 0x2B, 1},            {0x200000, 0, 0x2E, 1},
    {LABEL_UPC_D3, 24, 0xD3, 1},       {0, 0, 0, 0},
};
