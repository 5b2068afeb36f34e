#include "rs232model.h"

namespace bussim {

Rs232Model::Rs232Model(const Options& options)
    : echo_(options.echo), ecLevel_(options.ecLevel), quickBreak_(options.quickBreak) {}

void Rs232Model::reset() {
    hold_ = held_ = completeDue_ = breakEndDue_ = false;
    unasked_ = 0;
    outgoing_.clear();
}

void Rs232Model::queueReceived(const Bytes& data, bool withLineStatus, uint8_t lineStatus) {
    Bytes msg{0x00, static_cast<uint8_t>(lineBits() | (withLineStatus ? 0x01 : 0x00))};
    msg.insert(msg.end(), data.begin(), data.end());
    if (withLineStatus) msg.push_back(lineStatus);
    outgoing_.push_back(msg);
}

void Rs232Model::setLines(bool up) { lines_ = up; }

void Rs232Model::setHold(bool hold) {
    hold_ = hold;
    if (!hold && held_) {
        held_ = false;
        completeDue_ = true;
    }
}

void Rs232Model::receive(const Bytes& p, ModelLink& link) {
    if (received_.size() >= kReceivedLimit) received_.erase(received_.begin());
    received_.push_back(p);
    if (rejects_ > 0) {
        --rejects_;
        link.send({0x00, static_cast<uint8_t>(0x20 | lineBits())});
        return;
    }
    if (p.size() == 2 && p[0] == 0x00 && p[1] == 0x80) {
        link.send({0x00, static_cast<uint8_t>(0x10 | lineBits()), ecLevel_});
        return;
    }
    if (!p.empty() && p[0] == 0x08 && p.size() > 1) {
        transmitted_.insert(transmitted_.end(), p.begin() + 1, p.end());
        if (hold_) {
            held_ = true;
            link.send({0x80, lineBits()});
            return;
        }
        link.send({0x00, lineBits()});
        if (echo_) queueReceived(Bytes(p.begin() + 1, p.end()), false, 0);
        return;
    }
    if (p.size() == 2 && p[0] == 0x02 && (p[1] & 0x08) && !quickBreak_) {
        breakEndDue_ = true;
        link.send({0x80, lineBits()});
        return;
    }
    link.send({0x00, lineBits()});
}

void Rs232Model::tick(int32_t, ModelLink& link) {
    if (breakEndDue_) {
        breakEndDue_ = false;
        link.send({0x00, lineBits()});
    }
    if (completeDue_) {
        completeDue_ = false;
        link.send({0x00, lineBits()});
    }
    for (const Bytes& m : outgoing_) link.send(m);
    outgoing_.clear();
    for (; unasked_ > 0; --unasked_) link.send({0x00, static_cast<uint8_t>(0x20 | lineBits())});
}

} // namespace bussim
