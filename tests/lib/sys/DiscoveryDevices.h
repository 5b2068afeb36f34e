// Device classes for the discovery tests, matched to the simulator's test device model: an
// identifying oracle that asks the device which class it is, and a link device that asks
// for its status and goes online with the answer. Header-only, so that the end-to-end test
// plug-ins build the same classes.
//
// The test device's messages (payloads of information frames):
//   host -> device {0x01}: identify;  device -> host {0x81, type low, type high}
//   host -> device {0x02}: status;    device -> host {0x82, subtype, EC level}
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "ObjectSupport.h"
#include "Oracle.h"
#include "SIODEVICE.h"

namespace discovery {

constexpr unsigned char kIdentify[] = {0x01};
constexpr unsigned char kStatus[] = {0x02};
constexpr unsigned char kIdentAnswer = 0x81;
constexpr unsigned char kStatusAnswer = 0x82;

// Asks for the identification after each link reset and replaces itself by the class named
// in the answer.
class TestOracle : public Oracle {
public:
    explicit TestOracle(const DeviceID& id) : Oracle(id, "TSTORACL") {
        ++live;
        Pend();
    }
    ~TestOracle() override { --live; }

    int PowerOnResetInProgress() override {
        Oracle::PowerOnResetInProgress();
        Pend();
        return 0;
    }
    int NewMsgRcvd(const unsigned char* data, int n) override {
        if (n >= 3 && data[0] == kIdentAnswer) {
            chosen = data[1] | data[2] << 8;
            createResult = CreateNewDevice(chosen);
            return createResult;
        }
        return SendAck();
    }

    static inline std::atomic<int> live{0};
    long chosen = 0;
    int createResult = -1;

private:
    void Pend() {
        pending_ = kIdentify;
        pendingLength_ = sizeof kIdentify;
    }
};

// Asks for its status after each link reset (and, once online, every second so that a
// device that went away is noticed); goes online with the answer.
class TestDevice : public SIODEVICE {
public:
    explicit TestDevice(const DeviceID& id) : SIODEVICE(id, "TESTDEV") {
        ++live;
        deviceType_ = ObjectSupport::SIOAddresses[id.device].deviceType;
        statusDue_ = statusAtStart;
    }
    ~TestDevice() override { --live; }

    int CommandResetInProgress() override { return 0; }
    int LastAckLost(const unsigned char*, int) override { return SendAck(); }
    int LastMsgAcked() override { return 0; }
    int LastMsgLost(const unsigned char*, int) override {
        statusDue_ = true;
        return 0;
    }
    int NewMsgRcvd(const unsigned char* data, int n) override {
        received.emplace_back(data, data + (n > 0 ? n : 0));
        if (n >= 3 && data[0] == kStatusAnswer) {
            deviceSubtype_ = data[1];
            ecLevel_ = data[2];
            NowConfirmed();
        }
        if (SendAnyPendingMessage() == -1) return SendAck();
        return 0;
    }
    int PowerOnResetInProgress() override {
        statusDue_ = false;
        return 0;
    }
    int ResetComplete() override {
        statusDue_ = true;
        return 0;
    }
    int SendAnyPendingMessage() override {
        const int32_t now = chTime();
        const bool keepAlive = linkState_ == IDLE && TestStatusBits(PDEV_ONLINE) &&
                               chTimeDiff(now, lastStatus_) >= kKeepAliveMs;
        if (!statusDue_ && !keepAlive) return -1;
        int rc = SendMsg(kStatus, sizeof kStatus);
        if (rc == 0) {
            statusDue_ = false;
            lastStatus_ = now;
        }
        return rc;
    }
    int SequenceResetInProgress(const unsigned char*, int) override { return 0; }

    static constexpr int32_t kKeepAliveMs = 1000;
    // Whether a new device asks for its status before its first link reset.
    static inline bool statusAtStart = true;
    static inline std::atomic<int> live{0};
    std::vector<std::vector<unsigned char>> received;

private:
    bool statusDue_ = false;
    int32_t lastStatus_ = 0;
};

inline PDEV* _CreateTestOracle(const DeviceID& id) { return new TestOracle(id); }
inline PDEV* _CreateTestDevice(const DeviceID& id) { return new TestDevice(id); }

} // namespace discovery
