#include "nvrammodel.h"

namespace bussim {

namespace {
constexpr uint8_t kDone = 0x29;     // sound, completed, done
constexpr uint8_t kRejected = 0xA9; // the same, with the reject bit
} // namespace

NvramModel::NvramModel(const Options& options)
    : kind_(options.kind), ecLevel_(options.ecLevel),
      base_(options.kind == Kind::Cop ? 0x100 : 0xC00),
      maxLength_(options.kind == Kind::Cop ? 64 : 1024),
      lengthBytes_(options.kind == Kind::Cop ? 1 : 2),
      store_(options.kind == Kind::Cop ? 1024 : 0x5010 - 0xC00) {}

bool NvramModel::inside(uint32_t address, size_t length) const {
    return address >= base_ && store_.inside(address - base_, length);
}

bool NvramModel::dump(uint32_t address, size_t length, Bytes& out) const {
    if (!inside(address, length)) return false;
    out = store_.read(address - base_, length);
    return true;
}

bool NvramModel::persist(const std::string& dir, const std::string& stem, std::string& error) {
    return store_.attachFile(dir + "/" + stem, error);
}

void NvramModel::answer(ModelLink& link, uint8_t b0, uint8_t b1, const Bytes& data) {
    Bytes out{b0, b1};
    if (b1 & 0x40) out.push_back(ecLevel_);
    out.push_back(0);
    out.push_back(0);
    out.push_back(static_cast<uint8_t>(data.size()));
    if (lengthBytes_ == 2) out.push_back(static_cast<uint8_t>(data.size() >> 8));
    out.insert(out.end(), data.begin(), data.end());
    link.send(out);
}

void NvramModel::receive(const Bytes& p, ModelLink& link) {
    if (silent()) return;
    if (received_.size() >= kReceivedLimit) received_.erase(received_.begin());
    received_.push_back(p);

    if (p.size() == 2 && p[0] == 0x00 && p[1] == 0x80) return answer(link, 0x01, 0x40);
    const size_t head = 3 + static_cast<size_t>(lengthBytes_); // command, address, length
    if (p.empty()) return answer(link, kRejected, 0);
    if (rejects_ > 0) {
        --rejects_;
        return answer(link, kRejected, 0);
    }
    switch (p[0]) {
    case 0x03:
    case 0x02: {
        if (p.size() < head) return answer(link, kDone, kErrorLength);
        const uint32_t address = p[1] | p[2] << 8;
        const size_t length = lengthBytes_ == 1 ? p[3] : static_cast<size_t>(p[3] | p[4] << 8);
        const bool write = p[0] == 0x03;
        if (length == 0 || length > maxLength_ || (write && p.size() != head + length) ||
            (!write && p.size() != head))
            return answer(link, kDone, kErrorLength);
        if (!inside(address, length)) return answer(link, kDone, kErrorAddress);
        if (!write) return answer(link, kDone, 0, store_.read(address - base_, length));
        if (!store_.write(address - base_, p.data() + head, length)) return; // cut: silence
        return answer(link, kDone, 0);
    }
    case 0x40: {
        if (kind_ != Kind::Ocr) return answer(link, kRejected, 0);
        if (p.size() != 7) return answer(link, kDone, kErrorLength);
        const uint32_t to = p[1] | p[2] << 8, from = p[5] | p[6] << 8;
        const size_t length = static_cast<size_t>(p[3] | p[4] << 8);
        if (length == 0 || length > maxLength_) return answer(link, kDone, kErrorLength);
        if (!inside(to, length) || !inside(from, length)) return answer(link, kDone, kErrorAddress);
        const Bytes staged = store_.read(from - base_, length);
        if (!store_.write(to - base_, staged.data(), length)) return;
        return answer(link, kDone, 0);
    }
    case 0x80:
    case 0x81:
        if (kind_ != Kind::Ocr || p.size() != 3) return answer(link, kRejected, 0);
        powerOff_ = p[0] == 0x80;
        return answer(link, kDone, 0);
    default:
        return answer(link, kRejected, 0);
    }
}

} // namespace bussim
