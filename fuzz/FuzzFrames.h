// Link frames cut from a fuzz input, each handed over in a heap buffer of exactly its size so
// that a read past it is seen.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

namespace fuzzframes {

// Calls take(buffer, n) with a copy of the n bytes (a 1-byte buffer when n is 0).
template <class Take>
void withCopy(const unsigned char* bytes, size_t n, Take&& take) {
    std::unique_ptr<unsigned char[]> copy(new unsigned char[n ? n : 1]);
    if (n) std::memcpy(copy.get(), bytes, n);
    take(copy.get(), n);
}

// Cuts data into frames, each a length byte and that many bytes (fewer at the end), and calls
// take(frame, length) for each. A length byte of at least `marker` is not a frame: it calls
// mark(byte, rest, restSize) instead, which returns how many of the following bytes it used.
template <class Take, class Mark>
void forEachFrame(const uint8_t* data, size_t size, unsigned marker, Mark&& mark, Take&& take) {
    size_t at = 0;
    while (at < size) {
        const size_t n = data[at++];
        if (n >= marker) {
            const size_t used = mark(static_cast<unsigned char>(n), data + at, size - at);
            at += used < size - at ? used : size - at;
            continue;
        }
        const size_t len = n < size - at ? n : size - at;
        withCopy(data + at, len,
                 [&](unsigned char* frame, size_t length) { take(frame, static_cast<int>(length)); });
        at += len;
    }
}

// Cuts data into frames, each a length byte and that many bytes (fewer at the end), and calls
// take(frame, length) for each.
template <class Take>
void forEachFrame(const uint8_t* data, size_t size, Take&& take) {
    forEachFrame(data, size, 0x100, [](unsigned char, const uint8_t*, size_t) { return size_t(0); },
                 std::forward<Take>(take));
}

} // namespace fuzzframes
