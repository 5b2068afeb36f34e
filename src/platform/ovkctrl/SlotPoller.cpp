#include "SlotPoller.h"

#include <chrono>
#include <system_error>

#include "COMD.h"
#include "DaemonLog.h"
#include "PollWake.h"
#include "SIOAM.h"
#include "Slot.h"

SlotPoller::SlotPoller(int intervalMs) : intervalMs_(intervalMs) {}

SlotPoller::~SlotPoller() { StopAdapters(); }

bool SlotPoller::Start() {
    try {
        thread_ = std::thread(&SlotPoller::Run, this);
    } catch (const std::system_error& e) {
        daemonLog("no polling thread: %s", e.what());
        return false;
    }
    if (!watch_.Start("/dev/ovkdcs")) daemonLog("the driver node is not watched: polling at the interval");
    return true;
}

void SlotPoller::ServiceSlots() {
    if (!pcomd) return;
    for (int s = 0; s < COMD::kSlots; ++s)
        if (Slot* slot = pcomd->GetSlot(s)) slot->ServiceAdapter(0);
}

void SlotPoller::StopAllAdapters() {
    if (!pcomd) return;
    for (int s = 0; s < COMD::kSlots; ++s)
        if (Slot* slot = pcomd->GetSlot(s)) slot->StopAdapter();
}

bool SlotPoller::AdaptersStopped() {
    if (!pcomd) return true;
    for (int s = 0; s < COMD::kSlots; ++s) {
        Slot* slot = pcomd->GetSlot(s);
        if (!slot) continue;
        auto* manager = dynamic_cast<SIOAM*>(slot->GetAdapter());
        if (!manager) continue;
        const uint32_t state = manager->GetState();
        if (state != SIOAM_STOPPED && state != SIOAM_NO_ADAPTER && state != SIOAM_SUSPENDED)
            return false;
    }
    return true;
}

unsigned long SlotPoller::Rounds() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return rounds_;
}

void SlotPoller::Run() {
    using Clock = std::chrono::steady_clock;
    bool stopping = false;
    Clock::time_point deadline;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (stopRequested_ && !stopping) {
            stopping = true;
            deadline = Clock::now() + std::chrono::milliseconds(stopLimitMs_);
            lock.unlock();
            StopAllAdapters();
            lock.lock();
        }
        if (stopping) {
            lock.unlock();
            const bool done = AdaptersStopped();
            lock.lock();
            if (done || Clock::now() >= deadline) {
                allStopped_ = done;
                break;
            }
        }
        lock.unlock();
        ServiceSlots();
        lock.lock();
        ++rounds_;
        if (stopping) {
            // Rounds during stopping keep the interval, on the real clock.
            wake_.wait_for(lock, std::chrono::milliseconds(intervalMs_));
            continue;
        }
        lock.unlock();
        // A stop request posts the wake-up as well.
        PollWake::Wait(intervalMs_);
        lock.lock();
    }
    stopped_ = true;
    wake_.notify_all();
}

bool SlotPoller::StopAdapters(int limitMs) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!thread_.joinable()) return stopped_ ? allStopped_ : true; // never started
        stopRequested_ = true;
        stopLimitMs_ = limitMs;
    }
    PollWake::Post();
    thread_.join();
    watch_.Stop();
    std::lock_guard<std::mutex> lock(mutex_);
    return allStopped_;
}
