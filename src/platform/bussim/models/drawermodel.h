// The cash-drawer unit as a device model: two drawers and an alarm behind bus address
// 0x54. It answers the status request and the unit's commands with its status, records
// every command, and lets a script open, close, plug and unplug each drawer; a change made
// by a script is reported to the host unasked at the next tick.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "busmodel.h"

namespace bussim {

class DrawerModel : public DeviceModel {
public:
    using Bytes = std::vector<uint8_t>;

    struct Options {
        bool drawer1Connected = true;
        bool drawer2Connected = true; // drawer 2 and the alarm
        uint8_t ecLevel = 0x21;
    };

    DrawerModel();
    explicit DrawerModel(const Options& options);

    // Script: drawer 1 or 2 opened or closed by hand, plugged in or unplugged. False for
    // another drawer number, an unplugged drawer (open, close), or no change.
    bool openDrawer(int drawer);
    bool closeDrawer(int drawer);
    bool setConnected(int drawer, bool connected);

    bool drawerOpen(int drawer) const;
    bool connected(int drawer) const;
    bool alarmSounding() const { return alarm_; }
    // Pulse time of drawer 1 or 2 in microseconds, as last set by the host.
    uint32_t pulseTime(int drawer) const;
    // The status byte the unit reports now.
    uint8_t statusByte() const;

    // Every payload the host sent, oldest first (the last kReceivedLimit).
    static constexpr size_t kReceivedLimit = 4096;
    // The next n commands other than the status request are answered with the reject bit
    // and not carried out.
    void reject(int n) { rejects_ = n < 0 ? 0 : n; }
    const std::vector<Bytes>& received() const { return received_; }
    int resets() const { return resets_; }

    void reset() override;
    void receive(const Bytes& payload, ModelLink& link) override;
    void tick(int32_t now, ModelLink& link) override;

private:
    struct Drawer {
        bool connected = true;
        bool open = false;
        uint32_t pulse = 80000;
    };
    Drawer* drawer(int number);
    const Drawer* drawer(int number) const;
    // Answers with the status: byte 1 marks the command accepted, with the EC level.
    void answer(ModelLink& link, uint8_t command);

    Drawer drawers_[2];
    bool alarm_ = false;
    uint8_t ecLevel_;
    bool reportDue_ = false;
    int resets_ = 0;
    int rejects_ = 0;
    std::vector<Bytes> received_;
};

} // namespace bussim
