// A physical device at one bus address of an RS-485 slot: the secondary side of the
// SDLC-like link. It frames the device class's messages as numbered information frames,
// keeps N(S) and N(R), acknowledges, detects lost messages and lost acknowledgements,
// resets the link, and runs the link timers from the adapter manager's cycle. The device
// class learns what happened through the nine pure handlers at the end of the class.
//
// Every link device class of the plug-ins derives from it, so the order of its virtual
// operations and its fields are a fixed interface.
#pragma once

#include <cstdint>
#include <string>

#include "PDEV.h"
#include "RejectPacer.h"
#include "sycrc.h"

class SDIDEVICE;

// Status-word bits of a link device (besides PDEV_PRESENT, the link-up bit, and
// PDEV_ONLINE).
enum : uint32_t {
    SIODEV_AWAITING_REPLY = 0x0200, // set and cleared by the device classes alone
    SIODEV_INIT_TIMER = 0x2000,     // the INIT timer has been started
};

// Control bytes of the link.
enum : unsigned char {
    SIODEV_CTL_SNRM = 0x83, // to the device: set normal response mode
    SIODEV_CTL_NSI = 0x03,  // to the device: power-on reset, with data
    SIODEV_CTL_ROL = 0x0F,  // from the device: request online
    SIODEV_CTL_NSA = 0x63,  // from the device: answer to SNRM and NSI
    SIODEV_CTL_CMDR = 0x87, // from the device: command reject
};

// What SendMsg returns while the device's rejects are being paced: nothing went out, and the
// device class keeps the message pending; the link asks for it again once the pace allows.
constexpr int SIODEV_SEND_PACED = 338;

class SIODEVICE : public PDEV {
public:
    enum LinkState { INIT = 0, IDLE = 1, WAITACK = 2, WAITNSA = 3 };

    SIODEVICE(const DeviceID& id, const unsigned char* name);
    SIODEVICE(const DeviceID& id, const char* name)
        : SIODEVICE(id, reinterpret_cast<const unsigned char*>(name)) {}
    ~SIODEVICE() override;

    // Frames from the adapter manager. The record is: 16-bit length L, port id, bus
    // address, control byte, data (L - 4 bytes), two check bytes; len is L + 3.
    int ProcessInput(const unsigned char* record, int len) override;
    // A one-byte link error code (0x13 poll time-out, 0x20), or the texts
    // "PassingInTheNight" / "ClearPassingInTheNight" around a crossed frame.
    int ProcessError(const unsigned char* data, int len) override;
    // The link timers, once per adapter cycle.
    void ProcessOutput(long nowMs) override;

    int GetLastMessageLostCounts() override;
    int GetLastAckLostCounts() override;
    int GetPollTimeoutCounts() override;
    int GetPowerOnResetCounts() override;
    int GetRequestOnlineCounts() override;
    int GetCommandRejectCounts() override;
    int GetUnknownMessageCounts() override;
    unsigned char GetAddressWaitTime() override;
    void SetAddressWaitTime(unsigned char value) override;
    unsigned char GetByteWaitTime() override;
    void SetByteWaitTime(unsigned char value) override;
    unsigned char GetECLevel() override;
    void SetECLevel(unsigned char value) override;
    long GetAckWaitTime() override;
    void SetAckWaitTime(long value) override;
    int Resume() override;
    int Suspend() override;

    // Added operations, in this order.
    // Sends an information frame; on success WAITACK and N(S) + 1. The adapter's result, or
    // SIODEV_SEND_PACED while the device's rejects hold it back.
    virtual int SendMsg(const unsigned char* data, int n);
    // The handlers every link device class implements.
    virtual int CommandResetInProgress() = 0;
    virtual int LastAckLost(const unsigned char* data, int n) = 0;
    virtual int LastMsgAcked() = 0;
    virtual int LastMsgLost(const unsigned char* data, int n) = 0;
    virtual int NewMsgRcvd(const unsigned char* data, int n) = 0; // must SendMsg or SendAck
    virtual int PowerOnResetInProgress() = 0;
    virtual int ResetComplete() = 0;
    virtual int SendAnyPendingMessage() = 0; // -1 when there is nothing to send
    virtual int SequenceResetInProgress(const unsigned char* data, int n) = 0;

    // RR with N(R); on success IDLE.
    int SendAck();
    // SNRM; on success N(S) = N(R) = 0 and WAITNSA.
    int SendSNRM();
    // NSI with data; on success WAITNSA.
    int SendNSI(const unsigned char* data, int n);
    // Builds the outgoing frame record and hands it to the adapter; on success the last
    // send time is now. 327 without an adapter, 607 for data that no record can hold.
    int SendFrame(unsigned char control, const unsigned char* data, int n);
    // Link down and offline, then NSI.
    void PowerOnReset();
    // SNRM, then SequenceResetInProgress(data, n).
    void SequenceReset(const unsigned char* data, int n);
    // 1 when a frame for id still waits in the adapter's outgoing buffer, else 0.
    int PdevSentMsg(const DeviceID& id) const;
    // Takes over the link that `from` ran at this address (a sniffer or an identifying
    // device stepping aside): link state, last send time, sequence byte and poll time-outs.
    void TakeOverLink(const SIODEVICE& from);

    // The pacing of a device that keeps rejecting (RejectPacer), one rule for every device
    // class. CommandRejected: the device rejected the command that awaited its answer; the
    // class keeps that command pending (SendAnyPendingMessage sends it again) and never
    // drops it for the reject. CommandAccepted: an answer without the reject. NewRequest: a
    // client's request has queued a new message, which may go at once, once, even while the
    // device is paced; called after the message is queued, and never by a request that sends
    // nothing (a status read, a get-values). It frees no message that is already held: the
    // rejected command and whatever the pace held back since go at the pace only.
    void CommandRejected() { rejectPacer_.Rejected(); }
    void CommandAccepted() { rejectPacer_.Accepted(); }
    void NewRequest() { rejectPacer_.Renew(); }
    const RejectPacer& GetRejectPacer() const { return rejectPacer_; }

    // Link state, for the device classes and for tests.
    LinkState GetLinkState() const { return static_cast<LinkState>(linkState_); }
    unsigned char GetSequenceByte() const { return sequence_; }
    int GetSendSequence() const { return (sequence_ >> 1) & 7; }    // N(S)
    int GetReceiveSequence() const { return (sequence_ >> 5) & 7; } // N(R)
    int32_t GetLastSendTime() const { return lastSendTime_; }
    int32_t GetPollTimeoutCount() const { return pollTimeoutCount_; }
    // Whether the device has stopped answering: more poll time-outs since its last frame than
    // the link allows before it takes the device for gone and resets it.
    bool StoppedAnswering() const;
    // Whether the device is going offline because it asked to come online again: it
    // restarted by itself and is on the bus, answering. Every other road offline (the link
    // giving the device up, a reset, a lost driver node) leaves no answer to wait for.
    bool Restarting() const { return restarting_ != 0; }
    bool Crossed() const { return crossed_ != 0; }
    const std::string& GetName() const { return name_; }

    // The raw-access twin: its route flag (1 while a raw-access client has the device
    // open) and the twin itself, which the device tells when it goes away.
    void SetRoute(int flag) { routeFlag_ = flag; }
    int GetRoute() const { return routeFlag_; }
    SDIDEVICE* GetTwin() const { return twin_; }
    void SetTwin(SDIDEVICE* twin) { twin_ = twin; }
    void DetachTwin(const SDIDEVICE* twin) {
        if (twin_ != twin) return;
        twin_ = nullptr;
        routeFlag_ = 0;
    }

protected:
    unsigned char nsiData_[2] = {0x00, 0x40};
    int32_t pollTimeouts_ = 0;
    int32_t powerOnResets_ = 0;
    int32_t requestOnlines_ = 0;
    int32_t commandRejects_ = 0;
    int32_t unknownMessages_ = 0;
    int32_t lastMessagesLost_ = 0;
    int32_t lastAcksLost_ = 0;
    int32_t lastSendTime_ = 0;
    int32_t linkState_ = INIT;
    unsigned char sequence_ = 0;       // N(R) in bits 5-7, N(S) in bits 1-3
    int32_t pollTimeoutCount_ = 0;     // poll time-outs since the last received frame
    int32_t routeFlag_ = 0;            // 1: handlers go to the raw-access twin
    SDIDEVICE* twin_ = nullptr;
    int32_t crossed_ = 0;
    int32_t restarting_ = 0; // within NowNotConfirmed for the device's request online
    unsigned char addressWaitTime_ = 30;
    unsigned char byteWaitTime_ = 0;
    unsigned char ecLevel_ = 0;
    int32_t ackWaitTime_ = 500;
    std::string name_;
    RejectPacer rejectPacer_;

private:
    uint32_t framesSent_ = 0;  // frames handed to the adapter
    bool pacedRefusal_ = false; // SendMsg held a message back for the pace
    void ProcessInfoFrame(const unsigned char* record, int len, unsigned char control,
                          const unsigned char* data, int n);
    void ProcessReceiveReady(const unsigned char* record, int len, unsigned char control);
    void ProcessRequestOnline();
    void ProcessNSA(const unsigned char* record, int len);
    void ProcessCommandReject(const unsigned char* record, int len);
    void ProcessUnknown(const unsigned char* record, int len);
    // Runs a handler that answers the device's message (a new one, or one repeated because
    // our acknowledgement was lost); when the pace held back the class's answer and it sent
    // nothing else, the message is acknowledged here.
    void AcknowledgeIfPaced(int (SIODEVICE::*handler)(const unsigned char*, int),
                            const unsigned char* data, int n);
    // Hands a new message to the device class, acknowledged as above.
    void DeliverNewMsg(const unsigned char* data, int n);

    void SetSendSequence(int ns);
    void SetReceiveSequence(int nr);
    void LogFrame(uint32_t id, uint32_t rc, uint32_t extra, const unsigned char* record, int len);

    // The raw-access twin (made for bus addresses 1-126 with the first received frame) and
    // the routes through which every handler is called.
    void MakeTwin();
    bool Routed() const { return routeFlag_ == 1 && twin_ != nullptr; }
    int RouteCommandResetInProgress();
    int RouteLastAckLost(const unsigned char* data, int n);
    int RouteLastMsgAcked();
    int RouteLastMsgLost(const unsigned char* data, int n);
    int RouteNewMsgRcvd(const unsigned char* data, int n);
    int RoutePowerOnResetInProgress();
    int RouteResetComplete();
    int RouteSendAnyPendingMessage();
    int RouteSequenceResetInProgress(const unsigned char* data, int n);
};
