#include "msrmodel.h"

namespace bussim {

namespace {

constexpr size_t kQueueLimit = 4096;

void block(MsrModel::Bytes& m, const MsrModel::Track& t, bool unreadable) {
    if (!t.present || unreadable) {
        m.push_back(0);
        return;
    }
    m.push_back(static_cast<uint8_t>(t.data.size()));
    m.insert(m.end(), t.data.begin(), t.data.end());
}

} // namespace

void MsrModel::push(const Bytes& payload) {
    if (unasked_.size() < kQueueLimit) unasked_.push_back(payload);
}

void MsrModel::setNotReady(bool on) {
    notReady_ = on;
    push({status0(0), 0x00});
}

MsrModel::Bytes MsrModel::swipeMessage(const Track& t1, const Track& t2, const Track& t3) const {
    const int e = trackError_;
    Bytes m;
    switch (options_.kind) {
    case THREE: {
        uint8_t s = 0x02;
        if (e == 1) s |= 0x01;
        if (e == 2) s |= 0x04;
        if (e == 3 && !options_.encoder) s |= 0x10;
        m = {status0(0), s};
        block(m, t1, e == 1);
        block(m, t2, e == 2);
        block(m, t3, e == 3);
        break;
    }
    case TWO: {
        const bool first = t1.present;
        uint8_t s = 0x08;
        if (e == 2) s |= 0x40;
        if ((first && e == 1) || (!first && e == 3)) s |= 0x04;
        m = {static_cast<uint8_t>(first ? 0x40 : 0x00), s};
        block(m, t2, e == 2);
        block(m, first ? t1 : t3, first ? e == 1 : e == 3);
        break;
    }
    case ONE:
        m = {static_cast<uint8_t>(e == 2 ? 0x01 : 0x00)};
        if (t2.present && e != 2) m.insert(m.end(), t2.data.begin(), t2.data.end());
        break;
    case JIS:
        m = {0x00, static_cast<uint8_t>(0x88 | (e == 3 ? 0x01 : 0x00))};
        block(m, t2, e == 2);
        block(m, t3, e == 3);
        break;
    }
    return m;
}

bool MsrModel::swipe(const Track& t1, const Track& t2, const Track& t3) {
    for (const Track* t : {&t1, &t2, &t3})
        if (t->data.size() > 0xFF) return false;
    push(swipeMessage(t1, t2, t3));
    trackError_ = 0;
    return true;
}

void MsrModel::receive(const Bytes& payload, ModelLink& link) {
    if (received_.size() >= kReceivedLimit) received_.pop_front();
    received_.push_back(payload);
    const uint8_t ec = options_.ecLevel;
    const Bytes ecRequest = options_.kind == JIS ? Bytes{0x81, 0x00} : Bytes{0x00, 0x80};
    if (rejects_ > 0 && payload != ecRequest) {
        --rejects_;
        // The reader's error bit in this kind's layout; nothing confirmed.
        switch (options_.kind) {
        case THREE: link.send({status0(0x80), 0x00}); break;
        case TWO: link.send({0x80, 0x00}); break;
        case ONE: link.send({0x80}); break;
        case JIS: link.send({0x40, 0x00}); break;
        }
        return;
    }
    switch (options_.kind) {
    case THREE:
        if (payload == Bytes{0x00, 0x80}) {
            link.send({status0(0x40), 0x00, ec});
        } else if (payload == Bytes{0x00, 0x00, 0x01}) {
            link.send({status0(0x01), 0x00, 0x00, static_cast<uint8_t>(options_.encoder ? 5 : 0), 0x0F,
                       0x00, 0x00});
        } else if (payload.size() >= 3 && payload[0] == 0x01 && payload[1] == 0x80) {
            link.send({status0(0), 0x80});
        } else if (payload.size() >= 3 && payload[0] == 0x10 && payload[1] == 0x00) {
            if (written_.size() >= kReceivedLimit) written_.pop_front();
            written_.emplace_back(payload.begin() + 3, payload.end());
            link.send({status0(0), 0x80});
            push({status0(0), static_cast<uint8_t>(encodeWorks_ ? 0x20 : 0x10)});
        } else {
            link.send({status0(0x04), 0x00});
        }
        break;
    case TWO:
        link.send(payload == Bytes{0x00, 0x80} ? Bytes{0x02, 0x00, ec} : Bytes{0x10, 0x00});
        break;
    case ONE:
        link.send(payload == Bytes{0x00, 0x80} ? Bytes{0x02, ec} : Bytes{0x20});
        break;
    case JIS:
        link.send(payload == Bytes{0x81, 0x00} ? Bytes{0x01, 0x00, ec} : Bytes{0x00, 0x00});
        break;
    }
}

void MsrModel::tick(int32_t /*now*/, ModelLink& link) {
    while (!unasked_.empty()) {
        link.send(unasked_.front());
        unasked_.pop_front();
    }
}

} // namespace bussim
