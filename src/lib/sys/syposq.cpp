// Event queue of a client process: writes each event to the client's connection.
#include "POSQ.h"

#include <cstring>

#include "ServiceConnection.h"

POSQ::POSQ(ServiceConnection* connection, const unsigned char* name)
    : EventQueue(name), messages_(0), connection_(connection) {}

POSQ::~POSQ() {
    // Nothing is queued on this side, but empty the list all the same.
    while (messages_.start() == 0 && messages_.linkout()) {
    }
}

int POSQ::Read(void* /*buffer*/, unsigned int /*length*/, int& count) {
    count = 0;
    return 0;
}

int POSQ::SetMessageLimit(unsigned short limit) {
    messageLimit_ = limit < kMinMessageLimit ? static_cast<unsigned short>(kMinMessageLimit) : limit;
    return 0;
}

int POSQ::SetReadTimeout(unsigned long timeout) {
    const int32_t value = static_cast<int32_t>(static_cast<uint32_t>(timeout));
    readTimeout_ = value < 0 ? 0 : value;
    return 0;
}

void POSQ::EncodeEvent(uint32_t msg, uint32_t p1, uint32_t p2, unsigned char out[kEventBytes]) {
    const uint32_t words[5] = {POSQ_EVENT_MESSAGE, 0, msg, p1, p2};
    std::memcpy(out, words, sizeof words);
}

int POSQ::Write(unsigned char* data, int length, int& count) {
    count = 0;
    if (!data || length < 12) return 310;
    uint32_t values[3];
    std::memcpy(values, data, sizeof values);
    unsigned char message[kEventBytes];
    EncodeEvent(values[0], values[1], values[2], message);
    if (!connection_) return 320;
    // The writer mutex is held for the whole message, so replies and other events never
    // interleave with it. The wait for a client that does not read is bounded (events are
    // posted under slot locks), and the message goes out whole or not at all.
    connection_->lockMutex();
    const long previous = connection_->setWriteTimeout(kMaxWriteWaitMs);
    const bool bounded = previous >= 0 && previous <= kMaxWriteWaitMs;
    if (bounded) connection_->setWriteTimeout(previous);
    const int sent = connection_->writeMessage(message, kEventBytes);
    if (!bounded) connection_->setWriteTimeout(previous);
    connection_->unlockMutex();
    if (sent != 0) return 320;
    count = kRecordBytes;
    return 0;
}
