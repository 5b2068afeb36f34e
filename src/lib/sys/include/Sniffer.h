// The discovery walk of an RS-485 slot. The sniffer is a link device of the slot (type 1600,
// created at {slot, 0, 0xFE}) that borrows bus addresses: it takes, one after another, the
// port id and bus address of each address that may carry a device and has none yet, so that
// the adapter manager polls that address for it. When an address answers, the sniffer has
// the slot create the device the device table names for it (requested type 1700) and hands
// it the frame; an address that stays silent is left after a few poll time-outs. The walk
// alternates between the two ports, follows the docked state of a mobile terminal, and stops
// after five passes in a row that found nothing.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "RepeatedFailure.h"
#include "SIODEVICE.h"

// Notices the slot gives its sniffer (TellPhys codes); data is {slot, port id, address}.
enum {
    SNIFF_DEVICE_LEFT = 1231,
    SNIFF_DEVICE_PRESENT = 1232,
    SNIFF_RESCAN = 1233,
    SNIFF_POLL_BYTE = 1234, // data[0] := the sniffer's poll byte
};

class Sniffer : public SIODEVICE {
public:
    // One entry of an order table: the address and the poll time-outs to wait for there.
    struct OrderEntry {
        uint8_t address;
        uint8_t waitCount;
    };
    // A row of a port's address table: a copy of the registered address row (12 bytes) in
    // which the sniffer keeps its own marks.
    struct AddressRow {
        uint8_t pollable;        // the address may be polled
        uint8_t addressWaitTime;
        uint8_t byteWaitTime;
        uint8_t present;         // a device is there
        int32_t lastResetTime;   // when the last power-on reset went there; 0: none
        uint8_t rest[4];
    };
    static_assert(sizeof(AddressRow) == 12, "address rows are 12 bytes");

    enum WalkState { BETWEEN_PASSES = 0, WALKING = 1, NOTHING_LEFT = 2 };
    enum { kOrderEntries = 128, kPassesBeforeStop = 5, kCyclesBeforeReset = 40 };

    Sniffer(const DeviceID& id, const unsigned char* name);
    Sniffer(const DeviceID& id, const char* name)
        : Sniffer(id, reinterpret_cast<const unsigned char*>(name)) {}
    ~Sniffer() override;

    // Attaches to the slot's adapter, copies the address tables and marks the devices the
    // slot already has as present.
    int Init() override;
    int Term() override;
    int TellPhys(const VDEV* sender, int code, unsigned char* data, int length) override;
    // A frame at the borrowed address: the device is created and given the frame.
    int ProcessInput(const unsigned char* record, int len) override;
    int ProcessError(const unsigned char* data, int len) override;
    // One step of the walk, once per adapter cycle.
    void ProcessOutput(long nowMs) override;

    int CommandResetInProgress() override;
    int LastAckLost(const unsigned char* data, int n) override;
    int LastMsgAcked() override;
    int LastMsgLost(const unsigned char* data, int n) override;
    int NewMsgRcvd(const unsigned char* data, int n) override;
    int PowerOnResetInProgress() override;
    int ResetComplete() override;
    int SendAnyPendingMessage() override;
    int SequenceResetInProgress(const unsigned char* data, int n) override;

    // The walk, for the slot's status and for tests.
    int GetWalkState() const { return walkState_; }
    bool WalkStopped() const { return stopped_ != 0; }
    int GetPassCount() const { return passes_; }
    int GetTimingFactor() const { return factor_; }
    uint8_t GetPollByte() const { return pollByte_; }
    int GetCurrentIndex() const { return index_; }
    int GetPortCount() const { return portCount_; }
    int GetCurrentPort() const { return curPort_; }
    int GetCycles() const { return cycles_; }
    int GetOwnPollTimeouts() const { return ownTimeouts_; }
    // The row of an address in the table of port id 0x11 or 0x22; null when that table is
    // not there.
    const AddressRow* GetAddressRow(uint8_t port, uint8_t address) const;
    // The entries of the order table in use (docked or undocked) and their count.
    const OrderEntry* GetOrder(int& count) const;

    // The docked order table: the addresses walked and how many poll time-outs each waits.
    static const std::array<OrderEntry, kOrderEntries> InitSniffOrder;
    // 0x51 (the second NVRAM, which also carries the power device 0x86) is walked too:
    // without it no device there could ever be found.
    static constexpr int kInitSniffCount = 52;

protected:
    // Creates the device at the borrowed address; the walk then moves on.
    int CreateNewDevice(PDEV*& out);
    // Logs that the device at an address could not be created, at most once a minute.
    void LogCreationFailure(const DeviceID& at, int rc);

private:
    struct PortRecord {
        std::unique_ptr<AddressRow[]> table;
        std::array<RepeatedFailure, 128> creationLog; // per address
        int32_t savedIndex = -1;
        int32_t savedState = BETWEEN_PASSES;
    };

    void StartPass(int32_t now);
    void GoToNextAddr(int32_t now, int depth = 0);
    void SwapPorts();
    void UseNewAddr(int32_t now);
    void Rescan();
    void FollowDockedState();
    void SetCurrentPort(int port);
    bool PortUsable(int port) const;
    int PositionOf(uint8_t address) const;
    AddressRow* TableOfPort(uint8_t portId);
    static uint8_t PortId(int port) { return port == 0 ? 0x11 : 0x22; }

    int32_t passStart_ = 0;
    AddressRow* curTable_ = nullptr;
    int32_t index_ = -1;
    int32_t walkState_ = BETWEEN_PASSES;
    int32_t rescan_ = 1;
    int32_t stopped_ = 0;
    int32_t passes_ = 0;
    int32_t factor_ = 0;
    int32_t prevDocked_ = 1;
    int32_t docked_ = 1;
    int32_t ownTimeouts_ = 0;
    uint8_t pollByte_ = 0x20;
    int32_t cycles_ = 0;
    int32_t portCount_ = 0;
    int32_t curPort_ = 0;
    OrderEntry order_[2][kOrderEntries] = {};
    int32_t orderCount_[2] = {3, kInitSniffCount};
    PortRecord ports_[2];
};

// Factory registered for type 1600: builds Sniffer(id, "SNIFFER").
PDEV* _CreateSniffer(const DeviceID& id);
