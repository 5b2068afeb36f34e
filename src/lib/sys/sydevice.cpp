#include "DEVICE.h"

namespace {
const char kTag[] = "@(#)sydevice.cpp";
}

DEVICE::DEVICE(const DeviceID& id, const unsigned char* name) : STG(name), id_(id) {}

DEVICE::~DEVICE() {
    if (openCount_ != 0)
        clErrorLog(302, 321, static_cast<uint32_t>(openCount_.load()), kTag, this, sizeof(DEVICE));
}

int DEVICE::Close(int& remaining) {
    remaining = --openCount_;
    int rc = lock_.Close();
    if (rc != 0) {
        clErrorLog(301, 301, static_cast<uint32_t>(rc), kTag, this, sizeof(DEVICE));
        return 301;
    }
    return 0;
}

int DEVICE::Init() { return 0; }

int DEVICE::Lock() {
    int rc = lock_.Acquire(15);
    if (rc != 0) {
        clErrorLog(304, 301, static_cast<uint32_t>(rc), kTag, this, sizeof(DEVICE));
        return 301;
    }
    return 0;
}

int DEVICE::Open() {
    int rc = lock_.Open();
    if (rc != 0) {
        clErrorLog(305, 301, static_cast<uint32_t>(rc), kTag, this, sizeof(DEVICE));
        return 301;
    }
    ++openCount_;
    return 0;
}

int DEVICE::Term() { return 0; }

int DEVICE::Unlock() {
    int rc = lock_.Release();
    if (rc != 0) {
        clErrorLog(306, 301, static_cast<uint32_t>(rc), kTag, this, sizeof(DEVICE));
        return 301;
    }
    return 0;
}

void DEVICE::ClearLock() { lock_.Release(); }
