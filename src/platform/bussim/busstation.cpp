// Secondary link station: power-on/ROL, SNRM/NSA, numbered information frames with at
// most one unacknowledged frame outstanding.
#include "busstation.h"

#include "busexchange.h"

namespace bussim {

namespace {
// Largest payload one received frame record can carry (record of L + 3 <= 1742, L = data + 4).
constexpr size_t kMaxPayload = exch::kInFrameAreaSize - 7;
constexpr size_t kPayloadQueueLimit = 1024;
} // namespace

Station::Station(uint8_t port, uint8_t address, std::unique_ptr<DeviceModel> model)
    : port_(port), address_(address), model_(std::move(model)) {
    powerOn();
}

Station::~Station() = default;

void Station::bringBack() {
    present_ = true;
    powerOn();
}

void Station::powerOn() {
    link_ = Link::PowerOn;
    rolArmed_ = true;
    vs_ = vr_ = 0;
    ackDue_ = resend_ = false;
    leaveArmed_ = leaving_ = false;
    outstanding_.reset();
    payloads_.clear();
    responses_.clear();
    if (model_) model_->reset();
}

void Station::record(const LinkFrame& frame) {
    if (received_.size() >= kReceivedLimit) received_.pop_front();
    received_.push_back(frame);
}

void Station::acknowledge(int nr) {
    // The host's N(R) is the N(S) it expects next: equal to V(S), it covers the frame out.
    if (outstanding_ && nr == vs_) {
        outstanding_.reset();
        resend_ = false;
    }
}

void Station::receive(const LinkFrame& frame) {
    if (!present()) return;
    record(frame);
    const uint8_t c = frame.control;
    if (frame.broadcast || (c & 0xEF) == ctl::kNSI) {
        powerOn();
        return;
    }
    if ((c & 0xEF) == ctl::kSNRM) {
        // The unacknowledged payload is sent again after the reset rather than lost.
        if (outstanding_) payloads_.push_front(std::move(outstanding_->payload));
        outstanding_.reset();
        vs_ = vr_ = 0;
        ackDue_ = resend_ = false;
        responses_.clear();
        link_ = Link::Normal;
        rolArmed_ = false;
        responses_.push_back(ctl::kNSA);
        return;
    }
    if (link_ == Link::PowerOn) {
        // Not online yet: ask again.
        rolArmed_ = true;
        return;
    }
    if (ctl::isInfo(c)) {
        acknowledge(ctl::nr(c));
        const int s = ctl::ns(c);
        if (s == vr_) {
            vr_ = (vr_ + 1) & 7;
            ackDue_ = true;
            lost_ = rolRequested_ = false;
            const size_t queued = payloads_.size();
            if (model_) model_->receive(frame.data, *this);
            if (leaveArmed_) {
                // Taken and acknowledged, never answered: the station leaves after the RR.
                while (payloads_.size() > queued) payloads_.pop_back();
                rolRequested_ = lost_ = false;
                leaveArmed_ = false;
                leaving_ = true;
            }
            if (rolRequested_) {
                // The device reset itself: nothing is acknowledged, ROL at the next poll.
                rolRequested_ = lost_ = false;
                link_ = Link::PowerOn;
                rolArmed_ = true;
                vs_ = vr_ = 0;
                ackDue_ = resend_ = false;
                outstanding_.reset();
                payloads_.clear();
                responses_.clear();
            } else if (lost_) {
                // Never arrived: not counted, not acknowledged.
                lost_ = false;
                vr_ = (vr_ + 7) & 7;
                ackDue_ = false;
            }
        } else if (s == ((vr_ + 7) & 7)) {
            // A repeat of the last frame: our answer was lost; give it again.
            if (outstanding_) resend_ = true;
            else ackDue_ = true;
        } else {
            responses_.push_back(ctl::kCMDR);
        }
        return;
    }
    if (ctl::isRR(c)) {
        const int r = ctl::nr(c);
        acknowledge(r);
        // N(R) still naming the frame out: the host did not get it.
        if (outstanding_ && r == outstanding_->ns) resend_ = true;
        return;
    }
    responses_.push_back(ctl::kCMDR);
}

LinkFrame Station::infoFrame(int ns, const std::vector<uint8_t>& payload) const {
    LinkFrame f;
    f.control = ctl::info(ns, vr_);
    f.data = payload;
    return f;
}

std::optional<LinkFrame> Station::poll() {
    if (!present()) return std::nullopt;
    if (link_ == Link::PowerOn) {
        if (!rolArmed_) return std::nullopt;
        rolArmed_ = false;
        return LinkFrame{ctl::kROL, {}, false};
    }
    if (!responses_.empty()) {
        LinkFrame f{responses_.front(), {}, false};
        responses_.pop_front();
        return f;
    }
    if (leaving_) {
        leaving_ = false;
        ackDue_ = false;
        present_ = false;
        return LinkFrame{ctl::rr(vr_), {}, false};
    }
    if (outstanding_ && resend_) {
        resend_ = false;
        ackDue_ = false;
        return infoFrame(outstanding_->ns, outstanding_->payload);
    }
    if (!outstanding_ && !payloads_.empty()) {
        outstanding_ = Sent{vs_, std::move(payloads_.front())};
        payloads_.pop_front();
        vs_ = (vs_ + 1) & 7;
        ackDue_ = false;
        return infoFrame(outstanding_->ns, outstanding_->payload);
    }
    if (ackDue_) {
        ackDue_ = false;
        return LinkFrame{ctl::rr(vr_), {}, false};
    }
    return std::nullopt;
}

void Station::tick(int32_t now) {
    if (present() && model_) model_->tick(now, *this);
}

void Station::send(const std::vector<uint8_t>& payload) {
    if (payload.size() > kMaxPayload || payloads_.size() >= kPayloadQueueLimit) return;
    payloads_.push_back(payload);
}

} // namespace bussim
