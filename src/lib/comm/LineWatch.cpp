#include "LineWatch.h"

#include "Device.h"

#include <errno.h>
#include <linux/serial.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>

#include <chrono>
#include <cstdio>

namespace {

// A signal that only ends the watch thread's blocking wait for a line change.
int wakeSignal() {
    static const int sig = [] {
        int s = SIGRTMIN + 7;
        struct sigaction sa {};
        sa.sa_handler = [](int) {};
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = 0;  // no restart: the wait returns EINTR
        sigaction(s, &sa, nullptr);
        return s;
    }();
    return sig;
}

bool readCounters(int fd, serial_icounter_struct& c) {
    return commOps().ioctl(fd, TIOCGICOUNT, &c) == 0;
}

} // namespace

void LineWatch::start() {
    wakeSignal();
    thread_ = std::thread([this] { run(); });
}

void LineWatch::stop() {
    if (!thread_.joinable()) return;
    stopping_ = true;
    wake_.notify_all();
    while (!done_) {
        pthread_kill(thread_.native_handle(), wakeSignal());
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    thread_.join();
}

void LineWatch::run() {
    serial_icounter_struct last{};
    if (!readCounters(fd_, last)) {
        std::fprintf(stderr, "Native device driver does not support notifyOnCarrierDetect, "
                             "notifyOnCTS, notifyOnDSR, notifyOnRingIndicator - "
                             "monitorSerialStatusNC: ioctl(TIOCGICOUNT) error %d!\n", errno);
        error_ = true;
        done_ = true;
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        int lines = 0;
        if (commOps().ioctl(fd_, TIOCMGET, &lines) != 0)
            std::fprintf(stderr, "Java_com_qorvel_comm_SerialStatusEventThread_"
                                 "monitorSerialStatusNC: ioctl(TIOCMGET) error %d!\n", errno);
        else
            snapshot_ = lines;
    }
    watching_ = true;
    while (!stopping_) {
        serial_icounter_struct now{};
        if (!readCounters(fd_, now)) {
            std::fprintf(stderr, "Java_com_qorvel_comm_SerialStatusEventThread_"
                                 "monitorSerialStatusNC: ioctl(TIOCGICOUNT) error %d!\n", errno);
            error_ = true;
            break;
        }
        if (now.cts == last.cts && now.dsr == last.dsr && now.rng == last.rng &&
            now.dcd == last.dcd) {
            commOps().ioctl(fd_, TIOCMIWAIT, reinterpret_cast<void*>(static_cast<long>(kLineMask)));
            continue;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            cts_ += now.cts - last.cts;
            dsr_ += now.dsr - last.dsr;
            rng_ += now.rng - last.rng;
            cd_ += now.dcd - last.dcd;
            int n = 0;
            if (commOps().ioctl(fd_, FIONREAD, &n) == 0) bytes_ = n;
            int lines = 0;
            if (commOps().ioctl(fd_, TIOCMGET, &lines) == 0) {
                // A line that ended changed must have an odd count.
                const struct {
                    int bit;
                    int& count;
                } rows[] = {{TIOCM_CTS, cts_}, {TIOCM_DSR, dsr_}, {TIOCM_RNG, rng_}, {TIOCM_CD, cd_}};
                for (const auto& r : rows)
                    if (((lines ^ snapshot_) & r.bit) && r.count % 2 == 0) ++r.count;
            }
            wake_.notify_all();
        }
        last = now;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    done_ = true;
}

LineWatch::Pass LineWatch::next(std::unique_lock<std::mutex>& held, int timeoutMs) {
    cts_ = dsr_ = rng_ = cd_ = 0;
    bytes_ = 0;
    wake_.wait_for(held, std::chrono::milliseconds(timeoutMs));
    Pass pass;
    pass.bytes = bytes_;
    const struct {
        int bit;
        int& count;
    } order[] = {{TIOCM_CD, cd_}, {TIOCM_CTS, cts_}, {TIOCM_DSR, dsr_}, {TIOCM_RNG, rng_}};
    bool left = true;
    while (left) {
        left = false;
        for (const auto& o : order) {
            if (o.count <= 0) continue;
            bool before = snapshot_ & o.bit;
            snapshot_ ^= o.bit;
            pass.transitions.push_back({o.bit, before, !before});
            --o.count;
            left = left || o.count > 0;
        }
    }
    return pass;
}
