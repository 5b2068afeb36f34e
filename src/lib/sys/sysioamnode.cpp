// RS-485 adapter manager: a lost driver node. When a request no longer reaches the driver
// (the node or its forwarding peer went away), the manager closes the node, reports every
// device of its slot offline and opens the node again every second; once it opens, the
// adapter starts as at construction (buffer wait, 8051 reset, broadcast reset) and the
// link devices come back online by their own start-up (the others, off the link, at once).
// One plain line tells of the loss and one of the return; further losses within a minute
// of a logged one are only counted.
#include <algorithm>
#include <vector>

#include "PDEV.h"
#include "SIODEVICE.h"
#include "PollWake.h"
#include "SIOAM.h"
#include "Slot.h"
#include "sylocks.h"

void SIOAM::LoseNode() {
    const int32_t now = chTime();
    {
        std::lock_guard<std::recursive_mutex> g(imageLock_);
        nodeFailed_ = 0;
        CloseDD();
        // A manager that was stopping cannot send its final reset any more: it has stopped.
        const uint32_t state = state_;
        const bool stopping = state == SIOAM_STOPPING || state == SIOAM_FINAL_BROADCAST ||
                              state == SIOAM_FINAL_SENT;
        ResetForStart();
        if (stopping || !running_) SetState(SIOAM_STOPPED);
        nodeDown_ = 1;
        nodeRetryAt_ = chTimeAdd(now, kReopenIntervalMs);
    }

    int heldBack = 0;
    if (nodeLossLog_.Due(now, heldBack)) {
        if (heldBack > 0)
            aprintf("RS-485 slot %d: the bus driver node failed; its devices are offline and the "
                    "node is opened again every second (%d more failures since the last report)\n",
                    slot_, heldBack);
        else
            aprintf("RS-485 slot %d: the bus driver node failed; its devices are offline and the "
                    "node is opened again every second\n",
                    slot_);
        nodeLossLogged_ = true;
    } else {
        nodeLossLogged_ = false;
    }

    // Every device goes offline as if it had stopped answering: clients get the offline
    // event, and a device that is not online refuses what an offline device refuses.
    SlotLock guard(owner_);
    offLinkOnline_.clear();
    for (PDEV* device : owner_ ? owner_->ListedDevices() : std::vector<PDEV*>{}) {
        if (device->GetDeviceType() == PDEV_TYPE_SNIFFER) continue;
        DeviceLock lock(device);
        const DeviceID id = device->GetDeviceID();
        if (!dynamic_cast<SIODEVICE*>(device) && device->Confirmed(id.device)) offLinkOnline_.push_back(id);
        device->ForceOffline();
    }
}

void SIOAM::RetryNode() {
    const int32_t now = chTime();
    if (!chTimeReached(now, nodeRetryAt_)) return;
    nodeRetryAt_ = chTimeAdd(now, kReopenIntervalMs);
    {
        std::lock_guard<std::recursive_mutex> g(imageLock_);
        if (OpenNode() != 0) return;
        // Frames queued meanwhile were meant for a link that has gone: the start begins clean.
        ResetForStart();
        nodeDown_ = 0;
        nodeFailed_ = 0;
        RequestBuffer();
        SetPollListStale();
    }
    if (nodeLossLogged_)
        aprintf("RS-485 slot %d: the bus driver node is open again; the adapter starts again\n",
                slot_);
    nodeLossLogged_ = false;
    {
        SlotLock guard(owner_);
        for (PDEV* device : owner_ ? owner_->ListedDevices() : std::vector<PDEV*>{}) {
            const DeviceID id = device->GetDeviceID();
            if (std::find(offLinkOnline_.begin(), offLinkOnline_.end(), id) == offLinkOnline_.end())
                continue;
            DeviceLock lock(device);
            device->NowConfirmed();
        }
        offLinkOnline_.clear();
    }
    PollWake::Post();
}
