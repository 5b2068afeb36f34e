// The secondary side of the RS-485 link at one (port id, bus address): answers polls,
// keeps V(S) and V(R), and carries a device model's payloads in information frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "busmodel.h"

namespace bussim {

// Control bytes on the link.
namespace ctl {
constexpr uint8_t kROL = 0x0F;  // request online (station -> host)
constexpr uint8_t kNSA = 0x63;  // answer to SNRM (station -> host)
constexpr uint8_t kCMDR = 0x87; // command reject (station -> host)
constexpr uint8_t kSNRM = 0x83; // set normal response mode (host -> station)
constexpr uint8_t kNSI = 0x03;  // power-on reset, with data (host -> station)
inline uint8_t rr(int nr) { return static_cast<uint8_t>(((nr & 7) << 5) | 0x01); }
inline uint8_t info(int ns, int nr) { return static_cast<uint8_t>(((nr & 7) << 5) | ((ns & 7) << 1)); }
inline bool isInfo(uint8_t c) { return (c & 0x11) == 0; }
inline bool isRR(uint8_t c) { return (c & 0x1F) == 0x01; }
inline int ns(uint8_t c) { return (c >> 1) & 7; }
inline int nr(uint8_t c) { return (c >> 5) & 7; }
} // namespace ctl

// A frame on the wire between the node and a station: control byte and data.
struct LinkFrame {
    uint8_t control = 0;
    std::vector<uint8_t> data;
    bool broadcast = false; // received through the broadcast address
};

class Station : private ModelLink {
public:
    enum class Link { PowerOn, Normal };

    // Starts powered on: the first poll is answered with ROL.
    Station(uint8_t port, uint8_t address, std::unique_ptr<DeviceModel> model);
    ~Station() override;
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    uint8_t port() const { return port_; }
    uint8_t address() const { return address_; }
    DeviceModel& model() { return *model_; }

    // On the bus (answers polls) or taken away (polls time out, frames are lost).
    bool present() const { return present_ && !(model_ && model_->silent()); }
    void takeAway() { present_ = false; }
    // Acknowledges the next information frame it takes (the model gets it, its answer is
    // never sent), then leaves the bus as takeAway does.
    void leaveAfterAcknowledging() { leaveArmed_ = true; }
    // Plugged in again: powers on.
    void bringBack();

    Link link() const { return link_; }
    int vs() const { return vs_; }
    int vr() const { return vr_; }
    bool awaitingAck() const { return outstanding_.has_value(); }
    size_t queuedPayloads() const { return payloads_.size(); }

    // Every frame addressed to this station that reached it (the last kReceivedLimit).
    static constexpr size_t kReceivedLimit = 4096;
    const std::deque<LinkFrame>& received() const { return received_; }
    void clearReceived() { received_.clear(); }

    // --- bus side, driven by the engine ---
    // Power-on: sequence numbers and queued output cleared, the model reset, ROL armed.
    void powerOn();
    // A frame from the host with a good check (or a broadcast).
    void receive(const LinkFrame& frame);
    // Answer to one poll: a frame to send, or nothing (an idle answer the node keeps).
    std::optional<LinkFrame> poll();
    void tick(int32_t now);

    // Queues a payload as if the model sent it. A payload longer than one received frame
    // can carry (1735 bytes), or beyond 1024 waiting, is dropped.
    void send(const std::vector<uint8_t>& payload) override;
    void lose() override { lost_ = true; }
    void requestOnline() override { rolRequested_ = true; }

private:
    struct Sent {
        int ns;
        std::vector<uint8_t> payload;
    };

    void acknowledge(int nr);
    void record(const LinkFrame& frame);
    LinkFrame infoFrame(int ns, const std::vector<uint8_t>& payload) const;

    uint8_t port_;
    uint8_t address_;
    std::unique_ptr<DeviceModel> model_;
    bool present_ = true;
    bool leaveArmed_ = false; // leaves once the next information frame is acknowledged
    bool leaving_ = false;    // that frame came: its acknowledgement is the last answer
    Link link_ = Link::PowerOn;
    bool rolArmed_ = true;
    int vs_ = 0;
    int vr_ = 0;
    bool ackDue_ = false;
    bool resend_ = false;
    std::optional<Sent> outstanding_;
    std::deque<std::vector<uint8_t>> payloads_; // waiting to go out
    std::deque<uint8_t> responses_;             // NSA, CMDR waiting for a poll
    std::deque<LinkFrame> received_;
    bool lost_ = false;         // set by the model during receive
    bool rolRequested_ = false; // set by the model during receive
};

} // namespace bussim
