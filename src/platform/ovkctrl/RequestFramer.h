// Collects one client request at a time from a byte stream. It asks for exactly the bytes the
// next decoding step needs (first the 8-byte header, then the whole request as its length
// fields give it), so nothing of a following request is read early and no request may grow
// beyond the protocol's message buffer.
//
//   while (framer.wanted() > 0 && read exactly framer.wanted() bytes into framer.space())
//       switch (framer.Received(request)) { Ready: answer it, framer.Next(); Invalid: close }
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ovkwire.h"

class RequestFramer {
public:
    enum Status { NeedMore, Ready, Invalid };

    RequestFramer();

    // Where the wanted bytes go, and how many are wanted before Received may be called.
    uint8_t* space() { return buffer_.data() + have_; }
    size_t wanted() const { return want_ - have_; }

    // Called once wanted() bytes have been stored. Ready: `out` holds the request, whose
    // views point into this framer and stay valid until Next. Invalid: the bytes cannot
    // begin a valid request (the connection is to be closed); the framer stays so.
    Status Received(ovkwire::Request& out);
    // Starts over for the next request.
    void Next();

    // The bytes of the request gathered so far.
    const uint8_t* bytes() const { return buffer_.data(); }
    size_t gathered() const { return have_; }

private:
    std::vector<uint8_t> buffer_;
    size_t have_ = 0;
    size_t want_ = ovkwire::REQUEST_HEADER_SIZE;
    bool invalid_ = false;
};
