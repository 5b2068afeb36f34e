#include "scannermodel.h"

#include "ovkhost.h"
#include "ovksimmodels.h"

namespace bussim {

namespace {

constexpr uint8_t S0_EC_LEVEL = 0x01;
constexpr uint8_t S0_ECHO = 0x02;
constexpr uint8_t S0_DIAG = 0x02; // model 87
constexpr uint8_t S0_FLAG_ECHO = 0x04;
constexpr uint8_t S0_BEEP = 0x10;
constexpr uint8_t S0_HARDWARE = 0x20;
constexpr uint8_t S1_READY = 0x01; // model 87
constexpr uint8_t S1_ENABLED = 0x02;
constexpr uint8_t S1_FAULT = 0x40;
constexpr uint8_t S1_NO_TWO_LABEL = 0x80;
constexpr uint8_t S2_CONFIGURED = 0x01;
constexpr uint8_t S2_FLAGS_CONFIGURED = 0x04;

constexpr size_t kUnaskedLimit = 1024;

const uint8_t kDefaultConfigure96[] = {0x20, 0x02, 0x00, 0x00, 0xD9, 0x00,
                                       0x51, 0x04, 0x03, 0xA2, 0x00, 0x00};
const uint8_t kDefaultConfigure98[] = {0x20, 0x02, 0x40, 0x00, 0x19, 0x00,
                                       0x51, 0x04, 0x03, 0xA2, 0x00, 0x00};
const uint8_t kDefaultConfigure8612[] = {0x20, 0x02, 0x00, 0x00, 0xDD, 0x00, 0x00, 0x00, 0x1B, 0x46};
const uint8_t kDefaultConfigureHandHeld[] = {0x20, 0x00, 0x24, 0x00, 0x00, 0x00};
const uint8_t kDefaultConfigure20[] = {0x31, 0x80};
const uint8_t kDefaultFlags[] = {0x23, 0x21, 0x22, 0x21, 0x28, 0x21, 0x29, 0x21, 0x22};

struct LabelKind {
    const char* name;
    size_t digits;
    uint8_t identifier;
};
const LabelKind kLabelKinds[] = {
    {"upca", 12, 0x0D}, {"upce", 8, 0x0A}, {"ean8", 8, 0x0C}, {"ean13", 13, 0x16}};

} // namespace

ScannerModel::ScannerModel(const Options& options) : options_(options) {
    if (options_.kind == Kind::Scan98)
        configure_.assign(std::begin(kDefaultConfigure98), std::end(kDefaultConfigure98));
    else if (options_.kind == Kind::HandHeld20)
        configure_.assign(std::begin(kDefaultConfigure20), std::end(kDefaultConfigure20));
    else if (handHeld())
        configure_.assign(std::begin(kDefaultConfigureHandHeld), std::end(kDefaultConfigureHandHeld));
    else if (has8612Layout())
        configure_.assign(std::begin(kDefaultConfigure8612), std::end(kDefaultConfigure8612));
    else if (hasConfigure())
        configure_.assign(std::begin(kDefaultConfigure96), std::end(kDefaultConfigure96));
    if (hasFlags()) flags_.assign(std::begin(kDefaultFlags), std::end(kDefaultFlags));
}

bool ScannerModel::ready() const {
    return options_.kind != Kind::Scan87 || !warming_;
}

bool ScannerModel::label(const std::string& kind, const std::string& digits) {
    for (const LabelKind& k : kLabelKinds) {
        if (kind != k.name) continue;
        if (digits.size() != k.digits) return false;
        Bytes bytes;
        for (char c : digits) {
            if (c < '0' || c > '9') return false;
            bytes.push_back(static_cast<uint8_t>(c - '0'));
        }
        bytes.push_back(k.identifier);
        scan({bytes});
        return true;
    }
    return false;
}

void ScannerModel::scan(const std::vector<Bytes>& messages) {
    for (size_t i = 0; i < messages.size(); ++i)
        if (unasked_.size() < kUnaskedLimit)
            unasked_.push_back({messages[i], handHeld() && i + 1 < messages.size(), false});
}

bool ScannerModel::noRead() {
    if (!handHeld()) return false;
    if (unasked_.size() < kUnaskedLimit) unasked_.push_back({{}, false, true});
    return true;
}

bool ScannerModel::fault(const std::string& which) {
    if (which == "hw" && hasEcho()) hwFault_ = true;
    else if (which == "hw" || which == "status") statusFault_ = true;
    else if (which == "diag" && hasDiagnostics()) diagFault_ = true;
    else return false;
    return true;
}

ScannerModel::Bytes ScannerModel::status(uint8_t s0, uint8_t s1, uint8_t s2) {
    if (beep_) s0 |= S0_BEEP;
    if (enabled_) s1 |= S1_ENABLED;
    if (options_.kind == Kind::Scan87 && ready()) s1 |= S1_READY;
    if (hwFault_) s0 |= S0_HARDWARE;
    if (diagFault_) s0 |= S0_DIAG;
    if (statusFault_) s1 |= S1_FAULT;
    hwFault_ = statusFault_ = diagFault_ = false;
    return {s0, s1, s2};
}

ScannerModel::Bytes ScannerModel::handHeldStatus(uint8_t s0, uint8_t s1) {
    const bool model20 = options_.kind == Kind::HandHeld20;
    if (model20) {
        if (beep_) s0 |= 0x10;
        if (!headBeep_) s0 |= 0x20;
        if (enabled_) s1 |= 0x02;
    } else {
        if (enabled_) s1 |= 0x01;
        if (beep_) s1 |= 0x02;
    }
    if (diagFault_) s0 |= 0x02;
    if (statusFault_) s1 |= 0x40;
    hwFault_ = statusFault_ = diagFault_ = false;
    if (!model20 && powerOn_) {
        powerOn_ = false;
        s1 = 0x80;
    }
    if (model20) return {s0, s1, 0x00};
    return {s0, s1};
}

void ScannerModel::receiveHandHeld(const Bytes& payload, ModelLink& link) {
    const bool model20 = options_.kind == Kind::HandHeld20;
    const uint8_t c = payload[0];
    // The enable, disable and beep commands: 1 byte, 2 on model 2 (a zero after the code).
    const size_t simple = options_.kind == Kind::HandHeld2 ? 2 : 1;
    const bool simpleCommand = payload.size() == simple && (simple == 1 || payload[1] == 0x00);
    Bytes answer;
    if (payload.size() == 2 && c == 0x00 && payload[1] == 0x80) {
        answer = handHeldStatus(0x01, 0);
        if (!model20) answer.push_back(0x00);
        answer.push_back(options_.ecLevel);
    } else if (simpleCommand && (c == 0x11 || c == 0x12)) {
        enabled_ = c == 0x11;
        answer = handHeldStatus(0, 0);
    } else if (simpleCommand && (c == 0x14 || c == 0x18)) {
        beep_ = c == 0x14;
        answer = handHeldStatus(0, 0);
    } else if (model20 && payload.size() == 1 && (c == 0x20 || c == 0x21)) {
        headBeep_ = c == 0x20;
        answer = handHeldStatus(0, 0);
    } else if (c == configure_[0] && payload.size() == configure_.size()) {
        const uint8_t group = model20 ? 0 : static_cast<uint8_t>(payload[2] >> 4);
        const bool model2Group = group == 5 || group == 6 || group == 7 || group >= 10;
        if (rejects_ > 0 || (options_.kind == Kind::HandHeld1 && model2Group)) {
            if (rejects_ > 0) --rejects_;
            answer = handHeldStatus(0, 0x80);
        } else {
            configure_ = payload;
            answer = handHeldStatus(0, 0);
        }
    } else if (!model20 && payload.size() == 2 && c == 0x31) {
        // Model 20's configure command: not understood, told by status 0 bit 6.
        answer = handHeldStatus(0x40, 0);
        answer[1] &= 0x80;
        answer.push_back(0x00);
        answer.push_back(0x00);
    } else {
        answer = handHeldStatus(0, 0);
    }
    link.send(answer);
}

std::string ScannerModel::state() const {
    std::string s = std::string("enabled=") + (enabled_ ? "1" : "0") + " beep=" + (beep_ ? "1" : "0");
    if (hasConfigure()) s += " config=" + hexBytes(configure_);
    if (hasFlags()) s += " flags=" + hexBytes(flags_);
    s += " ec=" + hexBytes({options_.ecLevel}) + " ready=" + (ready() ? "1" : "0") +
         " resets=" + std::to_string(resets_);
    return s;
}

void ScannerModel::reset() {
    ++resets_;
    enabled_ = false;
    beep_ = true;
    unasked_.clear();
    hwFault_ = statusFault_ = diagFault_ = false;
    headBeep_ = true;
    powerOn_ = true;
    if (options_.kind == Kind::Scan87 && options_.warmupMs > 0) {
        warming_ = true;
        readyAt_ = chTimeAdd(chTime(), options_.warmupMs);
    }
}

void ScannerModel::receive(const Bytes& payload, ModelLink& link) {
    if (received_.size() >= kReceivedLimit) received_.pop_front();
    received_.push_back(payload);
    if (payload.empty()) return;

    const uint8_t c = payload[0];
    if (options_.ident && payload.size() == 1 && c == 0x01) {
        link.send({0x81, static_cast<uint8_t>(options_.ident), static_cast<uint8_t>(options_.ident >> 8)});
        return;
    }
    if (payload.size() == 2 && c == 0x00 && payload[1] == 0x40) {
        reset(); // the reset command: the scanner starts again
        link.requestOnline();
        return;
    }
    if (handHeld()) {
        receiveHandHeld(payload, link);
        return;
    }
    Bytes answer;
    if (payload.size() == 2 && c == 0x00 && payload[1] == 0x80) {
        answer = status(S0_EC_LEVEL, 0, 0);
        answer.push_back(options_.ecLevel);
    } else if (payload.size() == 1 && (c == 0x11 || c == 0x12)) {
        enabled_ = c == 0x11;
        answer = status(0, 0, 0);
    } else if (payload.size() == 1 && (c == 0x14 || c == 0x18)) {
        beep_ = c == 0x14;
        answer = status(0, 0, 0);
    } else if (hasConfigure() && c == 0x20 && payload.size() == configure_.size()) {
        if (rejects_ > 0) {
            --rejects_;
            answer = status(0, 0, 0);
        } else {
            configure_ = payload;
            answer = status(0, 0, S2_CONFIGURED);
        }
    } else if (hasEcho() && payload.size() == 1 && c == 0x21) {
        answer = status(S0_ECHO, 0, 0);
        answer.insert(answer.end(), configure_.begin() + 1, configure_.end());
    } else if (hasFlags() && ((c == 0x23 && payload.size() == flags_.size()) ||
                              (c == 0x34 && payload.size() == 1))) {
        if (!options_.twoLabel) {
            answer = status(0, S1_NO_TWO_LABEL, 0);
        } else if (c == 0x23) {
            flags_ = payload;
            answer = status(0, 0, S2_FLAGS_CONFIGURED);
        } else {
            answer = status(S0_FLAG_ECHO, 0, 0);
            answer.insert(answer.end(), flags_.begin() + 1, flags_.end());
        }
    } else {
        answer = status(0, 0, 0);
    }
    link.send(answer);
}

void ScannerModel::tick(int32_t now, ModelLink& link) {
    if (warming_ && chTimeDiff(now, readyAt_) >= 0) {
        warming_ = false;
        link.send(status(0, 0, 0)); // ready now
    }
    if (hwFault_ || statusFault_ || diagFault_) link.send(handHeld() ? handHeldStatus(0, 0) : status(0, 0, 0));
    while (!unasked_.empty()) {
        const Message& next = unasked_.front();
        Bytes m;
        if (!handHeld())
            m = status(0, 0, 0);
        else if (options_.kind == Kind::HandHeld20)
            m = handHeldStatus(0, next.noRead ? 0x20 : 0);
        else
            m = handHeldStatus(0, static_cast<uint8_t>((next.noRead ? 0x08 : 0) | (next.more ? 0x20 : 0)));
        m.insert(m.end(), next.data.begin(), next.data.end());
        unasked_.pop_front();
        link.send(m);
    }
}

} // namespace bussim
