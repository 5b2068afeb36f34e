#include "RequestFramer.h"

using namespace ovkwire;

RequestFramer::RequestFramer() : buffer_(MESSAGE_BUFFER_SIZE) {}

RequestFramer::Status RequestFramer::Received(Request& out) {
    if (invalid_) return Invalid;
    have_ = want_;
    DecodeResult r = decodeRequest(buffer_.data(), have_, out);
    switch (r.status) {
    case DecodeResult::Ok:
        if (r.bytes == have_) return Ready;
        break; // a decoder that used fewer bytes than it asked for: not to be trusted
    case DecodeResult::NeedMore:
        if (r.bytes > have_ && r.bytes <= buffer_.size()) {
            want_ = r.bytes;
            return NeedMore;
        }
        break;
    case DecodeResult::Invalid:
        break;
    }
    invalid_ = true;
    want_ = have_; // nothing more is wanted
    return Invalid;
}

void RequestFramer::Next() {
    if (invalid_) return;
    have_ = 0;
    want_ = REQUEST_HEADER_SIZE;
}
