// Raw access to one RS-485 device: the proxy that stands between the device's link and the
// raw-access clients. While a client has the device open, the link's handlers come here
// instead of to the device class; each becomes an event for the clients, and the clients'
// queued commands go out as link messages one at a time.
//
// The slot's lock guards the proxy and its queue: the link's handlers run with it held (the
// polling thread), and the device server's thread takes it around Open, Close and Write.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "GDList.h"
#include "STG.h"
#include "ovktypes.h"

class SDICMD;
class SIODEVICE;
class SdiQuery;
class SdiVirtual;
class Slot;

using GDList_SDICMD = GDList<SDICMD>;

// Normal (0) and priority (1) commands in arrival order, and the outstanding command (the
// one last handed to the link). Owns every command it holds.
class MessageQueue : public STG {
public:
    MessageQueue();
    ~MessageQueue() override;

    // Appends to the command's list: 0; 305 (logged) when it cannot. Null does nothing.
    virtual int StoreCommand(SDICMD* command);
    // Takes the head of the list and makes it the outstanding command; null when empty.
    virtual SDICMD* GetPendingCommand(unsigned short list);
    // Deletes the outstanding command.
    virtual int RespondToAck();
    // Puts the outstanding command back at the head of its list.
    virtual int Retry();
    virtual SDICMD* GetOutstanding();
    // Deletes every command of the list; the number it looked at.
    virtual int DiscardData(unsigned short list);

    int Count(unsigned short list) { return list < 2 ? lists_[list].count : 0; }

private:
    GDList_SDICMD lists_[2];
    SDICMD* outstanding_ = nullptr;
};

// State bits of the proxy (in the STG status word).
enum : uint32_t {
    SDIDEV_ONLINE = 0x100,
    SDIDEV_AWAITING_ACK = 0x200,
    SDIDEV_MESSAGE_LOST = 0x10000,
    SDIDEV_ACK_OWED = 0x20000,
};

class SDIDEVICE : public STG {
public:
    // Creates the query server first when the system object has none, then the queue and
    // the device server (which listens at once unless `listen` is false).
    SDIDEVICE(const DeviceID& id, const unsigned char* name, SIODEVICE* device,
              unsigned char deviceType, bool listen = true);
    // Clears the device's route, discards the queue and ends the device server.
    ~SDIDEVICE() override;

    // -1 without queue, -2 without device. One open more; the first routes the device's
    // handlers here and asks the device whether it is online: -3 when not, else 0.
    int Open(unsigned char mode);
    // One open less; the last discards the queue, ends the route and tells the device
    // whether it is online.
    int Close(unsigned char mode);
    // A client command ('D' discard, 'R' reset, 'W' write); a command with data is then
    // queued. 311 for other letters, 321 for 'W' without data. A command that is not
    // queued stays the caller's.
    int Write(int letter, unsigned char* command, int length);
    int PutQueue(SDICMD* command);
    int DiscardData();
    int SendMessageToClients(int letter, SDICMD* command, const unsigned char* data, int n);

    // The link's handlers.
    int SentSNRM(int pollTimeouts);
    int SequenceResetInProgress(const unsigned char* data, int n);
    int CommandResetInProgress();
    int PowerOnResetInProgress();
    int PowerOnReset();
    int ResetComplete();
    int LastMsgAcked();
    int LastMsgLost(const unsigned char* data, int n);
    int LastAckLost(const unsigned char* data, int n);
    int NewMsgRcvd(const unsigned char* data, int n);
    int SendAnyPendingMessage();

    // The device goes away (the proxy then answers -2), or a new device at the same
    // address takes its place. Both change the proxy's device and slot under the slot's
    // lock, so that a thread that holds it finds them as they are.
    void DetachDevice();
    void AttachDevice(SIODEVICE* device, unsigned char deviceType);

    const DeviceID& GetDeviceID() const { return id_; }
    // Stable only while the slot's lock is held (see DetachDevice).
    SIODEVICE* GetDevice() const { return device_; }
    // Read before that lock is taken, to know which lock to take.
    Slot* GetSlot() const { return slot_.load(); }
    SdiVirtual* GetServer() const { return server_; }
    MessageQueue* GetQueue() const { return queue_; }
    int32_t OpenCount() const { return openCount_; }
    unsigned char GetDeviceType() const { return deviceType_; }
    void SetDelays(int32_t ackDelay, int32_t sendDelay, int32_t ignoreLostAckTime) {
        ackDelay_ = ackDelay;
        sendDelay_ = sendDelay;
        ignoreLostAckTime_ = ignoreLostAckTime;
    }

private:
    int SendAckNow(uint32_t logId);
    void RetryOutstanding();
    void ReadDelays();

    DeviceID id_;
    unsigned char deviceType_;
    SIODEVICE* device_;
    std::atomic<Slot*> slot_{nullptr};
    MessageQueue* queue_ = nullptr;
    SdiVirtual* server_ = nullptr;
    int32_t openCount_ = 0;
    int32_t ackDelay_ = 0;
    int32_t sendDelay_ = 0;
    int32_t ignoreLostAckTime_ = 0;
    int32_t delayStart_ = 0;
    int32_t delayedAck_ = 0;
};
