#include "STG.h"

#include <cstring>

#include "ovkhost.h"

STG::STG(const unsigned char* name) {
    nameTag_[0] = '<';
    nameTag_[1] = '<';
    size_t i = 0;
    if (name)
        for (; i < 8 && name[i]; ++i) nameTag_[2 + i] = static_cast<char>(name[i]);
    for (; i < 8; ++i) nameTag_[2 + i] = ' ';
    nameTag_[10] = '>';
    nameTag_[11] = '>';
    nameTag_[12] = '\0';
    processId_ = static_cast<uint32_t>(chGetProcessId());
    threadId_ = static_cast<uint32_t>(chGetThreadId());
}

STG::~STG() = default;
