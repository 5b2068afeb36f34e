// Sniffer: the walk over the order table of each port, one step per adapter cycle.
#include "ADAPTER.h"
#include "COMD.h"
#include "Slot.h"
#include "Sniffer.h"
#include "sydevnode.h"

namespace {

constexpr uint8_t kDockedAdapterType = 8;
constexpr int32_t kLongFactor = 300; // seconds between passes once the walk found nothing
constexpr uint8_t kPollByte = 0x20;
constexpr uint8_t kSlowPollByte = 0x60;

} // namespace

void Sniffer::SetCurrentPort(int port) {
    curPort_ = port;
    curTable_ = ports_[port].table.get();
}

bool Sniffer::PortUsable(int port) const {
    return port >= 0 && port < portCount_ && port < 2 && ports_[port].table != nullptr;
}

void Sniffer::ProcessOutput(long nowMs) {
    const int32_t now = static_cast<int32_t>(nowMs);
    if (adapter_ && adapter_->GetAdapterType() == kDockedAdapterType) FollowDockedState();

    int count = 0;
    const OrderEntry* order = GetOrder(count);
    if (stopped_ || index_ < 0 || index_ >= count || !curTable_) return;

    if (rescan_) {
        Rescan();
        StartPass(now);
        return;
    }
    if (walkState_ == BETWEEN_PASSES) {
        // Without a pause the pass starts at once: the last pass's start may lie so far back
        // (or, unset, at 0) that the wrapping comparison would put it in the future.
        const int32_t start = chTimeAdd(passStart_, static_cast<int32_t>(static_cast<uint32_t>(factor_) * 1000u));
        if (factor_ == 0 || chTimeReached(now, start)) StartPass(now);
        return;
    }
    if (walkState_ != WALKING) return;

    ++cycles_;
    AddressRow& row = curTable_[id_.device & 0x7F];
    if (ownTimeouts_ == 0 && cycles_ > kCyclesBeforeReset) {
        // Something answers polls here without a link: reset it, then try SNRM.
        if (row.lastResetTime == 0) {
            PowerOnReset();
            row.lastResetTime = now != 0 ? now : 1;
        } else {
            SendSNRM();
            row.lastResetTime = 0;
        }
        cycles_ = 0;
        return;
    }
    if (cycles_ <= kCyclesBeforeReset && ownTimeouts_ < order[index_].waitCount) return;
    GoToNextAddr(now);
}

void Sniffer::FollowDockedState() {
    docked_ = chIsDocked() ? 1 : 0;
    if (docked_ == prevDocked_) return;
    prevDocked_ = docked_;
    tprintf("--> Dock state changed to %s\n", docked_ ? "TRUE" : "FALSE");
    if (docked_) {
        adapter_->SetDockedState();
        passes_ = 0;
        factor_ = 0;
        pollByte_ = kPollByte;
        stopped_ = 0;
        index_ = 0;
        rescan_ = 1;
    } else {
        adapter_->ResetDockedState();
        adapter_->AddNotDockedAddress(0x42);
        adapter_->AddNotDockedAddress(0x49);
    }
    adapter_->SetPollListStale();
}

// Takes the poll set afresh and starts the walk over on every port.
void Sniffer::Rescan() {
    rescan_ = 0;
    const bool second = adapter_ && adapter_->ValidatePort(0x22) == 0;
    // Without a second port its table goes, once; the walk leaves that port alone from then
    // on.
    if (!second) ports_[1].table.reset();
    portCount_ = second && ports_[1].table ? 2 : 1;
    if (!PortUsable(curPort_)) SetCurrentPort(0);

    BitVec256 pollable;
    Slot* slot = pcomd ? pcomd->GetSlot(id_.slot) : nullptr;
    if (slot) slot->GetValidPollAddrs(pollable);
    for (PortRecord& port : ports_) {
        if (port.table)
            for (unsigned a = 0; a < 128; ++a) port.table[a].pollable = pollable.test(a) ? 1 : 0;
        port.savedState = BETWEEN_PASSES;
    }
    passes_ = 0;
    factor_ = 0;
    pollByte_ = kPollByte;
}

void Sniffer::StartPass(int32_t now) {
    walkState_ = WALKING;
    for (int p = 0; p < 2; ++p) {
        if (PortUsable(p) && ports_[p].savedState == BETWEEN_PASSES) {
            ports_[p].savedState = WALKING;
            SetCurrentPort(p);
        }
    }
    id_.device = 0;
    index_ = 0;
    ports_[0].savedIndex = ports_[1].savedIndex = 0;
    const int last = portCount_ - 1;
    if (curPort_ != last && PortUsable(last) && ports_[last].savedState == WALKING) SetCurrentPort(last);
    GoToNextAddr(now);
}

void Sniffer::SwapPorts() {
    ports_[curPort_].savedIndex = index_;
    ports_[curPort_].savedState = walkState_;
    const int other = 1 - curPort_;
    SetCurrentPort(other);
    walkState_ = ports_[other].savedState;
    index_ = ports_[other].savedIndex;
    if (index_ >= 0 && index_ < kOrderEntries) {
        int count = 0;
        id_.device = GetOrder(count)[index_].address;
    }
}

void Sniffer::GoToNextAddr(int32_t now, int depth) {
    // The ports take turns.
    if (portCount_ == 2 && PortUsable(1 - curPort_) && ports_[1 - curPort_].savedState == WALKING)
        SwapPorts();

    int count = 0;
    const OrderEntry* order = GetOrder(count);
    const uint8_t current = id_.device;
    int i = index_ < 0 ? 0 : index_;
    bool taken = false;
    // At most once round the table: the walk comes back to its own address at the latest.
    for (int steps = 0; steps <= count && !taken && count > 0; ++steps) {
        if (++i >= count) {
            i = 0;
            walkState_ = BETWEEN_PASSES; // the pass has ended
        }
        const uint8_t address = order[i].address;
        const AddressRow& row = curTable_[address & 0x7F];
        if (address == current) {
            if (row.present || !row.pollable) walkState_ = NOTHING_LEFT;
            taken = true;
        } else if (!row.present && row.pollable) {
            taken = true;
        }
    }
    if (!taken) walkState_ = NOTHING_LEFT;
    index_ = i;

    if (walkState_ != WALKING) index_ = 0;
    if (portCount_ == 2 && PortUsable(1 - curPort_)) {
        const int other = 1 - curPort_;
        if (walkState_ != WALKING && ports_[other].savedState == WALKING && depth == 0) {
            // This port's pass is over; the other one goes on.
            SwapPorts();
            GoToNextAddr(now, depth + 1);
            return;
        }
        if (walkState_ == NOTHING_LEFT && ports_[other].savedState == BETWEEN_PASSES) SwapPorts();
    }

    if (walkState_ == BETWEEN_PASSES) {
        ++passes_;
        if (passes_ < kPassesBeforeStop) {
            factor_ = 0;
            pollByte_ = kPollByte;
        } else {
            factor_ = kLongFactor;
            pollByte_ = kSlowPollByte;
            stopped_ = 1;
        }
    }
    if (walkState_ == WALKING) {
        id_.device = order[index_].address;
        id_.port = PortId(curPort_);
    } else {
        id_.device = 0;
    }
    UseNewAddr(now);
    ports_[curPort_].savedState = walkState_;
    ports_[curPort_].savedIndex = index_;
    cycles_ = 0;
}

// The sniffer's link now stands for the address it took.
void Sniffer::UseNewAddr(int32_t now) {
    linkState_ = INIT;
    if (curTable_) {
        const AddressRow& row = curTable_[id_.device & 0x7F];
        addressWaitTime_ = row.addressWaitTime;
        byteWaitTime_ = row.byteWaitTime;
    }
    ownTimeouts_ = 0;
    passStart_ = now;
    cycles_ = 0;
    ClearStatusBits(SIODEV_INIT_TIMER);
    if (adapter_) adapter_->SetPollListStale();
}
