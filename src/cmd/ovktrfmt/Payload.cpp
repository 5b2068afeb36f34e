#include "Payload.h"

std::string Payload::text(int at, int max) const {
    std::string out;
    for (int i = at; i >= 0 && i < length_ && static_cast<int>(out.size()) < max && data_[i]; ++i)
        out += static_cast<char>(data_[i]);
    return out;
}

int Payload::zeroAfter(int at) const {
    int i = clampOffset(at);
    while (i < length_ && data_[i]) ++i;
    return i;
}

int Payload::clampCount(int at, long count) const {
    if (count <= 0) return 0;
    const int rest = restFrom(at);
    return count < rest ? static_cast<int>(count) : rest;
}
