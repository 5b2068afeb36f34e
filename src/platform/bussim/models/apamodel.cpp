#include "apamodel.h"

#include <algorithm>

namespace bussim {

namespace {

constexpr size_t kPictureHead = 5;    // 08 00 00 03 20
constexpr size_t kColumnForm = 800;   // 5 bands x 20 byte columns x 8 pixel columns
const char kDigits[] = "0123456789abcdef";

} // namespace

ApaModel::ApaModel(const Options& options) : options_(options) {}

void ApaModel::reset() {}

bool ApaModel::pixel(int x, int y) const {
    if (x < 0 || x >= kWidth || y < 0 || y >= kHeight) return false;
    return (picture_[static_cast<size_t>(y)][static_cast<size_t>(x / 8)] >> (7 - x % 8)) & 1;
}

ApaModel::Bytes ApaModel::pictureRow(int y) const {
    if (y < 0 || y >= kHeight) return Bytes(kRowBytes, 0);
    const auto& row = picture_[static_cast<size_t>(y)];
    return Bytes(row.begin(), row.end());
}

std::string ApaModel::picture() const {
    std::string out;
    for (int y = 0; y < kHeight; ++y) {
        if (y) out += ' ';
        for (uint8_t b : picture_[static_cast<size_t>(y)]) {
            out += kDigits[b >> 4];
            out += kDigits[b & 15];
        }
    }
    return out;
}

void ApaModel::apply(const Bytes& c) {
    if (c.size() == 2 && c[0] == 0x01 && c[1] == 0x40) {
        for (auto& row : picture_) row.fill(0);
        text_.fill(0);
        ++clears_;
    } else if (c.size() == 2 && c[0] == 0xA1) {
        mode_ = c[1];
    } else if (c.size() >= 2 && c[0] == 0xA0 && c[1] < kBlocks) {
        blocks_[c[1]] = Bytes(c.begin() + 2, c.end());
    } else if (c.size() >= 3 && c[0] == 0x40 && c[1] == 0x00) {
        const size_t n = std::min<size_t>({c[2], c.size() - 3, kTextLine});
        std::copy(c.begin() + 3, c.begin() + 3 + static_cast<long>(n), text_.begin());
    } else if (c.size() == 6 && c[0] == 0x10 && c[1] == 0x00) {
        std::copy(c.begin() + 2, c.end(), lights_.begin());
    } else if (c.size() >= kPictureHead && c[0] == 0x08 && c[1] == 0x00 && c[2] == 0x00 &&
               c[3] == 0x03 && c[4] == 0x20) {
        // Column form: band k, byte column col, pixel column j: bit r is row 8k + r.
        const size_t n = std::min(c.size() - kPictureHead, kColumnForm);
        for (auto& row : picture_) row.fill(0);
        for (size_t i = 0; i < n; ++i) {
            const size_t band = i / 160, col = (i / 8) % kRowBytes, j = i % 8;
            for (size_t r = 0; r < 8; ++r) {
                const size_t y = band * 8 + r;
                if (y < kHeight && ((c[kPictureHead + i] >> r) & 1))
                    picture_[y][col] = static_cast<uint8_t>(picture_[y][col] | (0x80u >> j));
            }
        }
    }
}

void ApaModel::receive(const Bytes& p, ModelLink& link) {
    if (commands_.size() >= kCommandLimit) commands_.erase(commands_.begin());
    commands_.push_back(p);
    if (p == Bytes{0x00, 0x80}) {
        link.send({0x20, options_.ecLevel});
        return;
    }
    if (p == Bytes{0x00, 0x00, 0x01}) {
        link.send({0x10, 0x00, 0x00, options_.type, 0x00, 0x00});
        return;
    }
    if (p == Bytes{0xB1, 0x00}) {
        link.send({0x04, mode_, 0x00});
        return;
    }
    if (rejects_ > 0) {
        --rejects_;
        link.send({0x80});
        return;
    }
    apply(p);
    link.send({0x00});
}

} // namespace bussim
