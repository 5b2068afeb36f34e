// Identifying device: the link handlers, the pending message and the replacement of the
// oracle by the device class its identification selects.
#include "Oracle.h"

#include "ADAPTER.h"
#include "COMD.h"
#include "Slot.h"
#include "sylocks.h"

namespace {

const char kTag[] = "@(#)syoracle.cpp";

constexpr uint8_t kOracleVdevType = 254;
constexpr int32_t kUnidentified = 1700;

// Gives back the adapter open that Init took, for a device that never got into the list
// (Term would look for it there).
void releaseAdapter(PDEV* device) {
    if (ADAPTER* adapter = device->GetAdapter()) {
        int remaining = 0;
        adapter->Close(device, remaining);
    }
}

} // namespace

Oracle::Oracle(const DeviceID& id, const unsigned char* name) : SIODEVICE(id, name) {
    vdevType_ = kUnidentified;
    deviceType_ = kOracleVdevType;
}

Oracle::~Oracle() = default;

int Oracle::ProcessInput(const unsigned char* record, int len) {
    inInput_ = 1;
    int rc = SIODEVICE::ProcessInput(record, len);
    inInput_ = 0;
    return rc;
}

// ---------------------------------------------------------------------------------------
// Link handlers.

int Oracle::CommandResetInProgress() {
    progress_[0] = progress_[1] = 0;
    SetStatusBits(SIODEV_AWAITING_REPLY);
    return 0;
}

int Oracle::LastAckLost(const unsigned char* /*data*/, int /*n*/) { return SendAck(); }

int Oracle::LastMsgAcked() { return 0; }

int Oracle::LastMsgLost(const unsigned char* /*data*/, int /*n*/) {
    if (lastSentLength_ > 0) {
        pending_ = lastSent_;
        pendingLength_ = lastSentLength_;
    }
    return 0;
}

int Oracle::PowerOnResetInProgress() {
    lastSent_ = nullptr;
    lastSentLength_ = 0;
    SetStatusBits(SIODEV_AWAITING_REPLY);
    progress_[0] = progress_[1] = 0;
    return 0;
}

int Oracle::ResetComplete() {
    ClearStatusBits(SIODEV_AWAITING_REPLY);
    return 0;
}

int Oracle::SendAnyPendingMessage() {
    if (pendingLength_ <= 0) return -1;
    progress_[0] = 0;
    int rc = SendMsg(pending_, pendingLength_);
    if (rc == 0) {
        lastSent_ = pending_;
        lastSentLength_ = pendingLength_;
        pending_ = nullptr;
        pendingLength_ = 0;
        if (resetMark_) SetStatusBits(SIODEV_AWAITING_REPLY);
    }
    return rc;
}

int Oracle::SequenceResetInProgress(const unsigned char* /*data*/, int /*n*/) {
    SetStatusBits(SIODEV_AWAITING_REPLY);
    return 0;
}

// ---------------------------------------------------------------------------------------
// Replacement.

int Oracle::CreateNewDevice(long type) {
    // Once queued for deletion the oracle is out of the game: a second replacement would
    // queue it twice.
    if (queued_) return 321;
    Slot* slot = pcomd ? pcomd->GetSlot(id_.slot) : nullptr;
    PDEV* device = nullptr;
    int result = slot ? slot->MakePhysical(id_, type, device) : 326;
    bool replaced = false;
    if (result == 0 && device) {
        // The oracle steps aside so that the new device can be linked in under the same id.
        const uint8_t port = id_.port;
        id_.port = static_cast<uint8_t>(port - 1);
        result = device->Init();
        if (result == 0) {
            result = slot->LinkinPhysical(device);
            if (result != 0) {
                clErrorLog(1702, static_cast<uint32_t>(result), 0, kTag, this, sizeof(Oracle),
                           device, sizeof(PDEV));
                clErrorLog(1701, static_cast<uint32_t>(result), 0, kTag, this, sizeof(Oracle),
                           device, sizeof(PDEV));
                releaseAdapter(device);
            } else {
                result = device->Open(nullptr);
                if (result != 0) {
                    device->Term();
                    clErrorLog(1701, static_cast<uint32_t>(result), 0, kTag, this, sizeof(Oracle),
                               device, sizeof(PDEV));
                }
            }
        } else {
            clErrorLog(1701, static_cast<uint32_t>(result), 0, kTag, this, sizeof(Oracle), device,
                       sizeof(PDEV));
        }
        if (result != 0) {
            delete device;
            device = nullptr;
            id_.port = port; // still the device at this address until the adapter deletes it
        } else {
            replaced = true;
        }
    }

    if (replaced) {
        if (auto* link = dynamic_cast<SIODEVICE*>(device)) {
            link->TakeOverLink(*this);
            link->SetStatusBits(PDEV_PRESENT);
            DeviceLock lock(link);
            // The frame that carried the identification is acknowledged by the device that
            // now owns the link, so that it does not wait for an acknowledgement of its own.
            if (link->SendAnyPendingMessage() == -1) link->SendAck();
        }
        // Nothing more goes out from the oracle.
        linkState_ = IDLE;
        pending_ = nullptr;
        pendingLength_ = 0;
    }

    progress_[0] = 0;
    if (adapter_ && adapter_->PdevReadyToBeDeleted(this) == 0) {
        queued_ = 1;
        // The oracle's entry leaves the poll list, and the adapter deletes it when it
        // rebuilds the list.
        adapter_->SetPollListStale();
    }
    return result;
}
