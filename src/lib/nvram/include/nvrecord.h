// Reading the request record of the NVRAM requests from a TellPhys block.
#pragma once

#include <cstring>

#include "nvramdefs.h"

// True with the record when the block holds a whole one.
inline bool NvramRecordOf(const unsigned char* data, int length, NvramRequest& rq) {
    if (!data || length < static_cast<int>(sizeof(NvramRequest))) return false;
    std::memcpy(&rq, data, sizeof rq);
    return true;
}

// Writes the record back into the block.
inline void NvramRecordBack(unsigned char* data, const NvramRequest& rq) { std::memcpy(data, &rq, sizeof rq); }
