// The planar keyboard driver node stand-in.
#include "kbdnode.h"

#include <cerrno>
#include <cstring>

namespace bussim {

namespace {

void put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void setResult(uint8_t* rec, size_t size, uint32_t result) {
    for (size_t i = 0; i < 4 && i < size; ++i) rec[i] = static_cast<uint8_t>(result >> (8 * i));
}

} // namespace

KeyboardNode::KeyboardNode(const KeyboardState& state) : state_(state) {}

int KeyboardNode::open(const char* path, int& fd) {
    fd = -1;
    if (!path) return EINVAL;
    const char* base = std::strrchr(path, '/');
    base = base ? base + 1 : path;
    if (std::strcmp(base, "ovkikbps") != 0) return ENOENT;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!state_.driver) return ENODEV;
    fd = next_++;
    descriptors_.insert(fd);
    return 0;
}

void KeyboardNode::ioctl(int fd, unsigned long request, void* record, size_t size) {
    auto* rec = static_cast<uint8_t*>(record);
    if (!rec || size == 0) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!descriptors_.count(fd)) return setResult(rec, size, EBADF);
    if (request == kReaderConfiguration) {
        if (size < kRecordSize) return setResult(rec, size, EINVAL);
        configuration_.assign(rec, rec + kRecordSize);
        return setResult(rec, size, 0);
    }
    if (request == kReadReader) {
        if (size < kReadRecordSize) return setResult(rec, size, EINVAL);
        const uint32_t most = static_cast<uint32_t>(rec[4]) | static_cast<uint32_t>(rec[5]) << 8 |
                              static_cast<uint32_t>(rec[6]) << 16 | static_cast<uint32_t>(rec[7]) << 24;
        size_t n = 0;
        if (!reader_.empty()) {
            const std::vector<uint8_t>& m = reader_.front();
            n = m.size();
            if (n > most) n = most;
            if (n > kReadRecordSize - 8) n = kReadRecordSize - 8;
            std::memcpy(rec + 8, m.data(), n);
            reader_.pop_front();
        }
        for (int i = 0; i < 4; ++i) rec[4 + i] = static_cast<uint8_t>(n >> (8 * i));
        return setResult(rec, size, 0);
    }
    if (request != kQueryKeyboard) return setResult(rec, size, ENOTTY);
    if (size < kRecordSize) return setResult(rec, size, EINVAL);
    ++queries_;
    put16(rec + 4, state_.id);
    put16(rec + 6, state_.type);
    put16(rec + 8, state_.msrFlag);
    rec[10] = state_.ecLevel;
    rec[11] = state_.msrEcLevel;
    rec[13] = state_.flags13;
    setResult(rec, size, state_.result);
}

int KeyboardNode::close(int fd) {
    std::lock_guard<std::mutex> lock(mutex_);
    return descriptors_.erase(fd) ? 0 : EBADF;
}

void KeyboardNode::set(const KeyboardState& state) {
    std::lock_guard<std::mutex> lock(mutex_);
    state_ = state;
}

KeyboardState KeyboardNode::state() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_;
}

int KeyboardNode::queries() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return queries_;
}

bool KeyboardNode::pushReader(const std::vector<uint8_t>& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (message.empty() || reader_.size() >= kReaderQueueLimit) return false;
    reader_.push_back(message);
    return true;
}

size_t KeyboardNode::readerQueued() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reader_.size();
}

std::vector<uint8_t> KeyboardNode::readerConfiguration() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return configuration_;
}

} // namespace bussim
