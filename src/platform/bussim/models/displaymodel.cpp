#include "displaymodel.h"

#include <algorithm>

namespace bussim {

namespace {

bool isText(DisplayModel::Kind k) {
    return k == DisplayModel::Kind::Operator || k == DisplayModel::Kind::Alphanumeric;
}

} // namespace

DisplayModel::DisplayModel(const Options& options) : options_(options) { powerOn(); }

std::unique_ptr<DisplayModel> DisplayModel::make(const std::string& name) {
    Options o;
    if (name == "anum")
        o.kind = Kind::Numeric;
    else if (name == "oper")
        o.kind = Kind::Operator;
    else if (name == "anop")
        o.kind = Kind::Alphanumeric;
    else if (name == "shop")
        o.kind = Kind::Shopper;
    else
        return nullptr;
    return std::make_unique<DisplayModel>(o);
}

void DisplayModel::powerOn() {
    const bool dots = options_.kind == Kind::Numeric;
    const size_t width = options_.kind == Kind::Shopper ? kShopperChars
                         : dots                         ? size_t(kColumns * kCellBytes)
                                                        : size_t(kColumns);
    for (Bytes& row : rows_) row.assign(width, dots ? 0x00 : 0x20);
    lights_.fill(0);
    shopperLights_ = 0;
    codePage_ = 0;
    for (auto& p : patterns_) p.fill(0);
}

void DisplayModel::reset() {
    ++resets_;
    powerOn();
}

void DisplayModel::receive(const Bytes& c, ModelLink& link) {
    if (commands_.size() >= kCommandLimit) commands_.erase(commands_.begin());
    commands_.push_back(c);

    if (rejects_ > 0) {
        --rejects_;
        link.send({0x80, 0x00});
        return;
    }
    // The status request: status bit 5 with the EC level.
    if (c.size() == 2 && c[0] == 0x00 && c[1] == 0x80) {
        link.send({0x20, options_.ecLevel});
        return;
    }
    // The configuration query: status bit 4 with the device information.
    if (options_.kind == Kind::Alphanumeric && c.size() == 3 && c[0] == 0x00 && c[1] == 0x00 &&
        c[2] == 0x01) {
        link.send({0x10, options_.configuration, options_.type, 0x00, 0x00, options_.ecLevel});
        return;
    }
    apply(c);
}

void DisplayModel::tick(int32_t /*now*/, ModelLink& link) {
    for (; unasked_ > 0; --unasked_) link.send({0x80, 0x00});
}

void DisplayModel::apply(const Bytes& c) {
    if (c.empty()) return;
    const uint8_t op = c[0];
    const size_t n = c.size();

    if (options_.kind == Kind::Shopper) {
        if (op == 0x80 && n >= 2) {
            shopperLights_ = c[1];
            Bytes& line = rows_[0];
            std::fill(line.begin(), line.end(), 0x20);
            std::copy(c.begin() + 2, c.begin() + static_cast<long>(std::min(n, size_t(2 + kShopperChars))),
                      line.begin());
        }
        return;
    }
    if ((op == 0x81 || op == 0x82) && n >= 2) {
        Bytes& row = rows_[op - 0x81];
        const size_t take = std::min(n - 2, row.size());
        std::copy(c.begin() + 2, c.begin() + 2 + static_cast<long>(take), row.begin());
        return;
    }
    if (!isText(options_.kind)) return;
    if (op == 0x40 && n >= 10) {
        std::copy(c.begin() + 2, c.begin() + 10, patterns_[c[1] & 7].begin());
    } else if (options_.kind == Kind::Alphanumeric) {
        if ((op == 0x01 || op == 0x02) && n >= 2)
            std::fill(rows_[op - 0x01].begin(), rows_[op - 0x01].end(), 0x20);
        else if (op == 0x21 && n >= 5)
            std::copy(c.begin() + 1, c.begin() + 5, lights_.begin());
        else if (op == 0x41 && n >= 2)
            codePage_ = c[1];
    }
}

std::string DisplayModel::text(int row) const {
    const Bytes& r = rows_[row & 1];
    std::string out;
    if (options_.kind == Kind::Numeric) {
        for (size_t cell = 0; cell + kCellBytes <= r.size(); cell += kCellBytes)
            out += std::all_of(r.begin() + static_cast<long>(cell),
                               r.begin() + static_cast<long>(cell + kCellBytes),
                               [](uint8_t b) { return b == 0; })
                       ? ' '
                       : '#';
        return out;
    }
    for (uint8_t b : r) out += b >= 0x20 && b < 0x7F ? static_cast<char>(b) : b < 8 ? '*' : '?';
    return out;
}

} // namespace bussim
