// The raw-access proxy of one RS-485 device: link handlers become client events, client
// commands go out one at a time through the command queue.
#include "SDIDEVICE.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "ADAPTER.h"
#include "COMD.h"
#include "SIODEVICE.h"
#include "SdiMessages.h"
#include "SdiServer.h"
#include "Slot.h"
#include "ovkhost.h"
#include "sylocks.h"

namespace {

const char kTag[] = "@(#)sysdidev.cpp";
const char kPassing[] = "PassingInTheNight";
constexpr int kPassingLen = sizeof kPassing - 1;
constexpr unsigned char kDelayedAddress = 0x38;

int32_t later(int32_t t, int32_t ms) {
    return static_cast<int32_t>(static_cast<uint32_t>(t) + static_cast<uint32_t>(ms));
}

// A time stamp that is never 0, which stands for "none".
int32_t stamp() {
    const int32_t now = chTime();
    return now ? now : 1;
}

} // namespace

SDIDEVICE::SDIDEVICE(const DeviceID& id, const unsigned char* name, SIODEVICE* device,
                     unsigned char deviceType, bool listen)
    : STG("SDIDEV"), id_(id), deviceType_(deviceType), device_(device) {
    if (device_ && device_->GetAdapter()) slot_ = device_->GetAdapter()->GetOwnerSlot();
    if (device_) device_->SetTwin(this);
    SdiQuery* query = pcomd ? pcomd->GetSdiQuery() : nullptr;
    if (pcomd && !query) {
        query = new (std::nothrow) SdiQuery("JSIOQUERY", listen);
        pcomd->SetSdiQuery(query);
    }
    queue_ = new (std::nothrow) MessageQueue();
    if (!queue_) clErrorLog(2001, 305, 0, kTag, this, sizeof(SDIDEVICE));
    ClearStatusBits(SDIDEV_ONLINE | SDIDEV_AWAITING_ACK | SDIDEV_MESSAGE_LOST);
    const char* text = name ? reinterpret_cast<const char*>(name) : "";
    server_ = new (std::nothrow) SdiVirtual(id_, this, deviceType_, text, query, listen);
    ReadDelays();
}

SDIDEVICE::~SDIDEVICE() {
    // The server first: once its threads have ended nothing calls in from a client.
    delete server_;
    server_ = nullptr;
    if (device_) {
        device_->SetRoute(0);
        device_->DetachTwin(this);
    }
    delete queue_;
    queue_ = nullptr;
}

void SDIDEVICE::ReadDelays() {
    ackDelay_ = sendDelay_ = ignoreLostAckTime_ = 0;
    delayStart_ = 0;
    delayedAck_ = 0;
    if (id_.device != kDelayedAddress) return;
    struct Variable {
        const char* name;
        const char* report;
        int32_t* value;
    } variables[] = {
        {"DELAY_ACK", "Slot=%x, Port=%x, Addr=%x: rr_delay=%d\n", &ackDelay_},
        {"DELAY_SEND", "Slot=%x, Port=%x, Addr=%x: send_delay=%d\n", &sendDelay_},
        {"IGNORE_LOST_ACK_TIME", "Slot=%x, Port=%x, Addr=%x: IgnoreAckLostTime=%d\n",
         &ignoreLostAckTime_},
    };
    for (const Variable& v : variables) {
        char name[64];
        std::snprintf(name, sizeof name, "%s_S%02x_P%02x_D%02x", v.name, id_.slot, id_.port,
                      id_.device);
        const char* text = std::getenv(name);
        int value = 0;
        if (!text || std::sscanf(text, "%d", &value) != 1) continue;
        *v.value = value;
        tprintf(v.report, id_.slot, id_.port, id_.device, value);
    }
}

void SDIDEVICE::DetachDevice() {
    // The device server's thread reads both before it waits for this lock and again once
    // it holds it.
    SlotLock held(slot_.load());
    device_ = nullptr;
    slot_ = nullptr;
}

void SDIDEVICE::AttachDevice(SIODEVICE* device, unsigned char deviceType) {
    Slot* slot = device && device->GetAdapter() ? device->GetAdapter()->GetOwnerSlot() : nullptr;
    SlotLock held(slot);
    device_ = device;
    deviceType_ = deviceType;
    slot_ = slot;
    if (!device_) return;
    device_->SetTwin(this);
    if (openCount_ > 0) device_->SetRoute(1);
}

// ---------------------------------------------------------------------------------------
// Client side (the device server's thread, slot lock held).

int SDIDEVICE::Open(unsigned char /*mode*/) {
    if (!queue_) return -1;
    if (!device_) return -2;
    if (++openCount_ == 1) device_->SetRoute(1);
    if (!device_->Confirmed(id_.device)) return -3;
    // The proxy starts from the device's own state, so that a client that leaves without
    // traffic leaves the device as online as it found it.
    SetStatusBits(SDIDEV_ONLINE);
    return 0;
}

int SDIDEVICE::Close(unsigned char /*mode*/) {
    if (!queue_) return -1;
    if (!device_) return -2;
    if (openCount_ <= 0) return 0;
    if (openCount_-- != 1) return 0;
    DiscardData();
    device_->SetRoute(0);
    if (TestStatusBits(SDIDEV_ONLINE))
        device_->NowConfirmed();
    else
        device_->NowNotConfirmed();
    return 0;
}

int SDIDEVICE::Write(int letter, unsigned char* command, int /*length*/) {
    SDICMD* cmd = reinterpret_cast<SDICMD*>(command);
    if (!queue_) return -1;
    if (!device_) return -2;
    int rc;
    switch (letter) {
    case 'D':
        rc = DiscardData();
        break;
    case 'R':
        if (TestStatusBits(SDIDEV_ACK_OWED)) {
            SendAckNow(2006);
            ClearStatusBits(SDIDEV_ACK_OWED);
        }
        ClearStatusBits(SDIDEV_AWAITING_ACK | SDIDEV_MESSAGE_LOST);
        rc = 0;
        break;
    case 'W':
        rc = 321;
        break;
    default:
        return 311;
    }
    if (cmd && cmd->GetLength() > 0) rc = PutQueue(cmd);
    return rc;
}

int SDIDEVICE::PutQueue(SDICMD* command) {
    if (!queue_) return -1;
    const int rc = queue_->StoreCommand(command);
    if (rc == 0 && device_ && device_->GetAdapter()) device_->GetAdapter()->RequestBuffer();
    return rc;
}

int SDIDEVICE::DiscardData() {
    if (!queue_) return -1;
    queue_->Retry();
    queue_->DiscardData(0);
    queue_->DiscardData(1);
    return 0;
}

int SDIDEVICE::SendMessageToClients(int letter, SDICMD* command, const unsigned char* data,
                                    int n) {
    if (!server_) return 0;
    const bool online = TestStatusBits(SDIDEV_ONLINE);
    const bool lost = TestStatusBits(SDIDEV_MESSAGE_LOST);
    if (command)
        return server_->SendRs485Message(letter, command->GetMessageID(), command->GetCID(),
                                         command->GetBuffer(), command->GetLength(), online, lost);
    return server_->SendRs485Message(letter, 0, 0, data, n, online, lost);
}

// ---------------------------------------------------------------------------------------
// Link handlers (the polling thread, slot and device locks held).

void SDIDEVICE::RetryOutstanding() {
    if (queue_) queue_->Retry();
}

int SDIDEVICE::SendAckNow(uint32_t logId) {
    if (!device_) return -2;
    const int rc = device_->SendAck();
    if (rc != 0) clErrorLog(logId, static_cast<uint32_t>(rc), 0, kTag, this, sizeof(SDIDEVICE));
    return rc;
}

int SDIDEVICE::SentSNRM(int /*pollTimeouts*/) {
    ClearStatusBits(SDIDEV_ONLINE);
    SetStatusBits(SDIDEV_AWAITING_ACK);
    SendMessageToClients('G', queue_ ? queue_->GetOutstanding() : nullptr, nullptr, 0);
    RetryOutstanding();
    return 0;
}

int SDIDEVICE::SequenceResetInProgress(const unsigned char* /*data*/, int /*n*/) {
    SetStatusBits(SDIDEV_AWAITING_ACK);
    SendMessageToClients('S', queue_ ? queue_->GetOutstanding() : nullptr, nullptr, 0);
    RetryOutstanding();
    return 0;
}

int SDIDEVICE::CommandResetInProgress() {
    SetStatusBits(SDIDEV_AWAITING_ACK);
    SendMessageToClients('Q', queue_ ? queue_->GetOutstanding() : nullptr, nullptr, 0);
    RetryOutstanding();
    return 0;
}

int SDIDEVICE::PowerOnResetInProgress() {
    ClearStatusBits(SDIDEV_ONLINE);
    SetStatusBits(SDIDEV_AWAITING_ACK);
    SendMessageToClients('R', queue_ ? queue_->GetOutstanding() : nullptr, nullptr, 0);
    RetryOutstanding();
    return 0;
}

int SDIDEVICE::PowerOnReset() {
    ClearStatusBits(SDIDEV_ONLINE);
    SetStatusBits(SDIDEV_AWAITING_ACK);
    SendMessageToClients('P', queue_ ? queue_->GetOutstanding() : nullptr, nullptr, 0);
    RetryOutstanding();
    return 0;
}

int SDIDEVICE::ResetComplete() {
    SetStatusBits(SDIDEV_ONLINE);
    ClearStatusBits(SDIDEV_AWAITING_ACK);
    SendMessageToClients('C', nullptr, nullptr, 0);
    return 0;
}

int SDIDEVICE::LastMsgAcked() {
    SetStatusBits(SDIDEV_ONLINE);
    ClearStatusBits(SDIDEV_AWAITING_ACK);
    SendMessageToClients('A', queue_ ? queue_->GetOutstanding() : nullptr, nullptr, 0);
    if (queue_) queue_->RespondToAck();
    return 0;
}

int SDIDEVICE::LastMsgLost(const unsigned char* data, int n) {
    ClearStatusBits(SDIDEV_AWAITING_ACK);
    const bool passing = data && n >= kPassingLen && std::memcmp(data, kPassing, kPassingLen) == 0;
    if (!passing) {
        SDICMD* outstanding = queue_ ? queue_->GetOutstanding() : nullptr;
        if (outstanding) SetStatusBits(SDIDEV_MESSAGE_LOST);
        SendMessageToClients('L', outstanding, data, n);
    }
    RetryOutstanding();
    return 0;
}

int SDIDEVICE::LastAckLost(const unsigned char* /*data*/, int /*n*/) {
    if (ignoreLostAckTime_ > 0 && delayStart_ != 0 &&
        !chTimeReached(chTime(), later(delayStart_, ignoreLostAckTime_)))
        return 0;
    SendAckNow(2003);
    SetStatusBits(SDIDEV_ACK_OWED);
    ClearStatusBits(SDIDEV_AWAITING_ACK);
    return 0;
}

int SDIDEVICE::NewMsgRcvd(const unsigned char* data, int n) {
    SetStatusBits(SDIDEV_ONLINE);
    if (!data || n <= 0)
        clErrorLog(2002, 320, 0, kTag, this, sizeof(SDIDEVICE));
    else
        SendMessageToClients('N', nullptr, data, n);

    const bool postpone = (ackDelay_ != 0 && ignoreLostAckTime_ <= 0) ||
                          (ackDelay_ == 0 && ignoreLostAckTime_ < 0);
    if (postpone) {
        if (!delayStart_) {
            delayStart_ = stamp();
            delayedAck_ = 1;
        }
        return 0;
    }
    if (ignoreLostAckTime_ > 0) {
        delayStart_ = stamp();
        return SendAckNow(2003);
    }
    if (SendAnyPendingMessage() != 0) return SendAckNow(2003);
    return 0;
}

int SDIDEVICE::SendAnyPendingMessage() {
    if (!device_) return -1;
    const int32_t now = chTime();
    if (delayedAck_ && ackDelay_ > 0 && delayStart_) {
        if (!chTimeReached(now, later(delayStart_, ackDelay_))) return -1;
        const int rc = SendAckNow(2007);
        if (rc == 0) delayStart_ = 0;
        return rc;
    }
    if (TestStatusBits(SDIDEV_AWAITING_ACK) || !queue_) return -1;
    SDICMD* outstanding = queue_->GetOutstanding();
    if (outstanding && !(outstanding->GetFlags() & SDICMD_NO_HOLD)) return -1;
    if (sendDelay_ > 0 && delayStart_ && !chTimeReached(now, later(delayStart_, sendDelay_)))
        return -1;

    unsigned short list = 1;
    SDICMD* command = queue_->GetPendingCommand(1);
    if (!command && !TestStatusBits(SDIDEV_MESSAGE_LOST)) {
        list = 0;
        command = queue_->GetPendingCommand(0);
    }
    if (!command) {
        if (!TestStatusBits(SDIDEV_ACK_OWED)) return -1;
        const int rc = SendAckNow(2006);
        ClearStatusBits(SDIDEV_ACK_OWED);
        return rc;
    }
    device_->SetAddressWaitTime(command->GetAWait());
    device_->SetByteWaitTime(command->GetBWait());
    const int rc = device_->SendMsg(command->GetBuffer(), command->GetLength());
    if (rc != 0) {
        clErrorLog(list ? 2004 : 2005, static_cast<uint32_t>(rc), 0, kTag, this,
                   sizeof(SDIDEVICE), command, sizeof(SDICMD));
        queue_->Retry();
        return -1;
    }
    if (ignoreLostAckTime_ == 0) delayStart_ = 0;
    ClearStatusBits(SDIDEV_ACK_OWED);
    if (command->GetFlags() & SDICMD_RELEASE) queue_->RespondToAck();
    if (!(command->GetFlags() & SDICMD_NO_ACK_WAIT)) SetStatusBits(SDIDEV_AWAITING_ACK);
    return 0;
}
