// Helpers of the reader tests: virtual readers whose events go to a recording queue of
// their own, the track records Read hands out, and the terminal of the display tests
// (which carries each device's frames to a simulated station) with reader stations.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "DspTerminal.h"
#include "MSEV.h"
#include "MSP.h"
#include "MSV.h"
#include "RecordingQueue.h"
#include "msrmodel.h"
#include "ovksimmodels.h"

namespace msrtest {

using Bytes = std::vector<uint8_t>;
using dsptest::DspTerminal;
using Event = RecordedEvent;

// A virtual reader with its own event queue; released and closed when it goes.
template <class V>
class Reader : public V {
public:
    Reader(uint8_t slot, uint8_t port, uint8_t address) : V(DeviceID(slot, port, address), 1) {
        this->destination_ = queue.destination();
    }
    ~Reader() override {
        int ignored = 0;
        if (this->IsHolding()) this->IOCtl(POS_SYS_RELEASE_DEVICE, nullptr, 0, ignored);
        if (this->GetPhysical()) this->Close(ignored);
    }
    int open() {
        return this->Open(reinterpret_cast<const unsigned char*>("msr"),
                          reinterpret_cast<const unsigned char*>("PosMsr"), nullptr, 0);
    }
    // As the request road calls the device: under its lock.
    int ioctl(int request) {
        this->Lock();
        int out = 0;
        const int rc = this->IOCtl(request, nullptr, 0, out);
        this->Unlock();
        return rc;
    }
    // Opened, acquired and (unless told otherwise) unlocked.
    void ready(bool unlock = true) {
        ASSERT_EQ(open(), 0);
        ASSERT_EQ(ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
        if (unlock) {
            ASSERT_EQ(ioctl(POS_SYS_UNLOCK_DEVICE), 0);
        }
    }
    // Read with a buffer of `size` bytes: the result, and the bytes read in `data`.
    int read(Bytes& data, unsigned size = 1024) {
        data.assign(size, 0xEE);
        int count = -1;
        this->Lock();
        const int rc = this->Read(data.data(), size, count);
        this->Unlock();
        data.resize(count > 0 ? static_cast<size_t>(count) : 0);
        return rc;
    }
    // The data-available events so far (their p2), taking every event.
    std::vector<uint32_t> swipes() {
        std::vector<uint32_t> out;
        for (const Event& e : queue.take())
            if (e.msg == MSR_DATA_AVAIL) out.push_back(e.p2);
        return out;
    }
    RecordingQueue queue;
};

// One track record of Read: header {track bit, error, length} and the characters.
inline Bytes Track(int bit, int error, const std::string& data) {
    Bytes b{static_cast<uint8_t>(bit), 0, 0, 0, static_cast<uint8_t>(error), 0,
            static_cast<uint8_t>(data.size()), 0};
    for (char c : data) b.push_back(static_cast<uint8_t>(c));
    return b;
}
inline Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline bussim::MsrModel::Track T(const char* s) {
    bussim::MsrModel::Track t;
    t.present = s != nullptr;
    if (s) t.data = s;
    return t;
}
inline bussim::MsrModel::Track None() { return T(nullptr); }

inline bussim::MsrModel::Options Kind(bussim::MsrModel::Kind kind, bool encoder = false) {
    bussim::MsrModel::Options o;
    o.kind = kind;
    o.encoder = encoder;
    o.ecLevel = 0x21;
    return o;
}

} // namespace msrtest
