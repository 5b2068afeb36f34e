// The identifying device: a link device created at an address that can carry several device
// models. It runs the link like any device, exchanges identification messages with the
// device (subclasses in the device-family plug-ins read the answer in NewMsgRcvd), and then
// has the slot create the class the answer selects with CreateNewDevice. The new device takes
// over the link where the oracle left it; the oracle is deleted by the adapter the next time
// the adapter rebuilds its poll list.
//
// The base class keeps one pending and one last-sent message (the data is owned by the
// subclass) and fills eight of the nine link handlers.
#pragma once

#include <cstdint>

#include "SIODEVICE.h"

class Oracle : public SIODEVICE {
public:
    Oracle(const DeviceID& id, const unsigned char* name);
    Oracle(const DeviceID& id, const char* name)
        : Oracle(id, reinterpret_cast<const unsigned char*>(name)) {}
    ~Oracle() override;

    // Sets the in-input flag around the link's frame handling.
    int ProcessInput(const unsigned char* record, int len) override;

    int CommandResetInProgress() override;
    int LastAckLost(const unsigned char* data, int n) override;
    int LastMsgAcked() override;
    int LastMsgLost(const unsigned char* data, int n) override;
    int PowerOnResetInProgress() override;
    int ResetComplete() override;
    // -1 when nothing is pending; otherwise SendMsg's result.
    int SendAnyPendingMessage() override;
    int SequenceResetInProgress(const unsigned char* data, int n) override;
    // NewMsgRcvd stays pure: the subclass reads the identification there.

    // Replaces the oracle by a device of the requested type (a device-table type at this
    // address): the slot makes, initialises, links in and opens it, and it takes over the
    // link. The oracle then steps aside (its port id no longer matches the address) and is
    // queued for deletion by the adapter. Returns the first failure or 0.
    int CreateNewDevice(long type);

    bool InInput() const { return inInput_ != 0; }
    const unsigned char* GetPendingMessage() const { return pending_; }
    int32_t GetPendingLength() const { return pendingLength_; }
    const unsigned char* GetLastSentMessage() const { return lastSent_; }
    int32_t GetLastSentLength() const { return lastSentLength_; }

protected:
    int32_t inInput_ = 0;
    int32_t resetMark_ = 1;      // sending the pending message marks a reset in progress
    int32_t progress_[2] = {};   // the subclass's identification progress
    const unsigned char* lastSent_ = nullptr;
    int32_t lastSentLength_ = 0;
    const unsigned char* pending_ = nullptr; // set by the subclass
    int32_t pendingLength_ = 0;

private:
    int32_t queued_ = 0; // handed to the adapter for deletion
};
