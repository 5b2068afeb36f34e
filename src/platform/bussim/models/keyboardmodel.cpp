#include "keyboardmodel.h"

namespace bussim {

namespace {

constexpr uint8_t kInformation = 0x04;
constexpr uint8_t kEcLevel = 0x08;
constexpr uint8_t kCompleted = 0x20;
constexpr uint8_t kRejected = 0x80;
constexpr size_t kQueueLimit = 4096;
constexpr size_t kBlockLimit = 1024;

} // namespace

void KeyboardModel::keys(const Bytes& codes, uint8_t flags) {
    Bytes m;
    switch (options_.format) {
    case EXTENDED: m = {flags, 0x00, options_.lock, 0x00}; break;
    case K50: m = {static_cast<uint8_t>((options_.lock & 0xC0) | (flags & 0x3F)), 0x00}; break;
    case TEXT: m = {static_cast<uint8_t>((options_.lock & 0xC0) | (flags & 0x3F)), 0x00, 0x00, 0x00}; break;
    case ANPOS:
        m = {static_cast<uint8_t>((options_.lock & 0xC0) | (flags & 0x3F)), static_cast<uint8_t>(toneOn_ ? 1 : 0),
             anposStatus()};
        break;
    }
    m.insert(m.end(), codes.begin(), codes.end());
    push(m);
}

void KeyboardModel::keyLock(uint8_t bits) {
    options_.lock = bits;
    keys({}, 0);
}

void KeyboardModel::fixTypematic(int a, int b) {
    fixedA_ = a;
    fixedB_ = b;
}

uint8_t KeyboardModel::anposStatus() const {
    const bool a = fixedA_ >= 0 ? fixedA_ != 0 : typematicA_;
    const bool b = fixedB_ >= 0 ? fixedB_ != 0 : typematicB_;
    return static_cast<uint8_t>((got1D_ ? 0x08 : 0) | (a ? 0x10 : 0) | (b ? 0x20 : 0));
}

void KeyboardModel::push(const Bytes& payload) {
    if (unasked_.size() < kQueueLimit) unasked_.push_back(payload);
}

void KeyboardModel::unasked() {
    const uint8_t lockByte = static_cast<uint8_t>(options_.lock & 0xC0);
    switch (options_.format) {
    case EXTENDED: push({0x00, kRejected, options_.lock, 0x00}); break;
    case K50: push({static_cast<uint8_t>(lockByte | 0x80), 0x00}); break;
    case TEXT: push({static_cast<uint8_t>(lockByte | 0x80), 0x00, 0x00, 0x00}); break;
    case ANPOS: push({static_cast<uint8_t>(lockByte | 0x80), static_cast<uint8_t>(toneOn_ ? 1 : 0), anposStatus()}); break;
    }
}

void KeyboardModel::reset() {
    ++resets_;
    blocks_.clear();
}

void KeyboardModel::receive(const Bytes& payload, ModelLink& link) {
    if (received_.size() >= kReceivedLimit) received_.pop_front();
    received_.push_back(payload);
    const uint8_t lock = options_.lock;
    if (options_.format != EXTENDED) {
        const uint8_t lockByte = static_cast<uint8_t>(lock & 0xC0);
        const bool ecRequest = payload == Bytes{0x00, 0x80};
        bool continuousTone = false; // a tone command that starts a continuous tone
        const bool rejected = !ecRequest && rejects_ > 0;
        if (rejected) --rejects_;
        if (!payload.empty() && !ecRequest && !rejected) {
            const uint8_t c = payload[0];
            if (c == 0x01 || c == 0x1C || c == 0xED) {
                lights_ = payload;
            } else if (c == 0x13 || c == 0x42) { // tone of the alphanumeric keyboard, tone off
                tone_ = payload;
                toneOn_ = c == 0x13 && payload.size() == 2 && (payload[1] & 0x20);
                continuousTone = toneOn_;
            } else if (options_.format == ANPOS) {
                if (c == 0x1D) got1D_ = true;
                if (c == 0x14 || c == 0x15) typematicA_ = c == 0x14;
                if (c == 0x16 || c == 0x17) typematicB_ = c == 0x16;
            } else if ((c & 0xC3) == 0x02) { // 22|flags 00 [duration]
                tone_ = payload;
                toneOn_ = (c & 0x20) && payload.size() == 2;
                continuousTone = toneOn_;
            }
        }
        if (rejected) {
            // The error bit answers the command, which is not carried out.
            const uint8_t b0 = static_cast<uint8_t>(lockByte | 0x80);
            link.send(options_.format == K50    ? Bytes{b0, 0x00}
                      : options_.format == TEXT ? Bytes{b0, 0x00, 0x00, 0x00}
                                                : Bytes{b0, static_cast<uint8_t>(toneOn_ ? 1 : 0), anposStatus()});
            return;
        }
        switch (options_.format) {
        case K50:
            // The 50-key keyboard does not answer a continuous tone.
            if (!continuousTone)
                link.send(ecRequest ? Bytes{lockByte, 0x04, options_.ecLevel} : Bytes{lockByte, 0x00});
            break;
        case TEXT:
            link.send(ecRequest ? Bytes{lockByte, 0x04, 0x00, options_.ecLevel} : Bytes{lockByte, 0x00});
            break;
        default: {
            const uint8_t s1 = static_cast<uint8_t>((ecRequest ? 0x04 : 0x00) | (toneOn_ ? 0x01 : 0x00));
            Bytes answer{lockByte, s1, anposStatus()};
            if (ecRequest) answer.push_back(options_.ecLevel);
            link.send(answer);
            break;
        }
        }
        return;
    }
    if (payload == Bytes{0x00, 0x00, 0x01}) {
        link.send({0x00, kInformation, lock, 0x00, 0x10, options_.type, options_.info6, 0x00,
                   options_.ecLevel});
        return;
    }
    if (payload == Bytes{0x00, 0x80}) {
        link.send({0x00, kEcLevel, lock, 0x00, options_.ecLevel});
        return;
    }
    if (rejects_ > 0) {
        --rejects_;
        link.send({0x00, kRejected, lock, 0x00});
        return;
    }
    if (!payload.empty()) {
        switch (payload[0]) {
        case 0x1C: lights_ = payload; break;
        case 0x13: tone_ = payload; break;
        case 0x21: configure_ = payload; break;
        case 0x22:
            if (blocks_.size() < kBlockLimit) blocks_.push_back(payload);
            break;
        default: break;
        }
    }
    link.send({0x00, kCompleted, lock, 0x00});
}

void KeyboardModel::tick(int32_t /*now*/, ModelLink& link) {
    while (!unasked_.empty()) {
        link.send(unasked_.front());
        unasked_.pop_front();
    }
}

} // namespace bussim
