#include "ovkhost.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {
constexpr int kWaitForever = 15;
constexpr int kTimeout = 329;
constexpr int kNotOwner = 315;
} // namespace

struct mutexSem::Impl {
    std::mutex mutex;
    std::condition_variable freed;
    std::atomic<unsigned long> owner{0};
    unsigned depth = 0;
};

mutexSem::mutexSem() : impl_(new Impl) {}

mutexSem::~mutexSem() { delete impl_; }

int mutexSem::Open() { return 0; }

int mutexSem::Close() { return 0; }

int mutexSem::Acquire(int wait) {
    const unsigned long self = chGetThreadId();
    std::unique_lock<std::mutex> lock(impl_->mutex);
    if (impl_->owner.load() == self) {
        ++impl_->depth;
        return 0;
    }
    auto isFree = [&] { return impl_->owner.load() == 0; };
    if (wait == kWaitForever || wait < 0) {
        impl_->freed.wait(lock, isFree);
    } else if (!impl_->freed.wait_for(lock, std::chrono::milliseconds(wait), isFree)) {
        return kTimeout;
    }
    impl_->owner = self;
    impl_->depth = 1;
    return 0;
}

int mutexSem::Release() {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->owner.load() != chGetThreadId() || impl_->depth == 0) return kNotOwner;
    if (--impl_->depth == 0) {
        impl_->owner = 0;
        impl_->freed.notify_one();
    }
    return 0;
}

unsigned long mutexSem::Owner() const { return impl_->owner.load(); }

bool mutexSem::HeldByCaller() const { return impl_->owner.load() == chGetThreadId(); }
