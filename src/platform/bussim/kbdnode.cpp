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
    if (request != kQueryKeyboard) return setResult(rec, size, ENOTTY);
    if (size < kRecordSize) return setResult(rec, size, EINVAL);
    ++queries_;
    put16(rec + 4, state_.id);
    put16(rec + 6, state_.type);
    put16(rec + 8, state_.msrFlag);
    rec[10] = state_.ecLevel;
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

} // namespace bussim
