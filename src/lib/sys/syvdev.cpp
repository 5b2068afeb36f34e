// Virtual device base: open and close against the physical device, the system requests
// (acquire, release, get and set values), link timing values and the code-page table.
#include "VDEV.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "COMD.h"
#include "EventQueue.h"
#include "PDEV.h"
#include "POSQ.h"
#include "Slot.h"
#include "syload.h"

namespace {

const char kTag[] = "@(#)syvdev.cpp";

bool named(const PosArg& arg, const char* name) {
    return arg.name && std::strcmp(arg.name, name) == 0;
}

uint16_t clip16(size_t n) { return static_cast<uint16_t>(n > 0xFFFF ? 0xFFFF : n); }

} // namespace

VDEV::VDEV(const DeviceID& id, int handle, const unsigned char* name)
    : DEVICE(id, name), handle_(handle) {}

VDEV::~VDEV() {
    if (pdev_ || IsHolding()) clErrorLog(1306, 321, 0, kTag, this, sizeof(VDEV));
    delete[] cpTable_;
}

// ---------------------------------------------------------------------------------------
// Open and close.

int VDEV::Open(const unsigned char* /*resourceName*/, const unsigned char* /*className*/,
               PosArg* args, int count) {
    const bool wasOpen = openCount_ > 0;
    int rc = 0;
    if (!wasOpen) {
        rc = Init();
        if (rc != 0) return rc;
    }
    rc = DEVICE::Open();
    if (rc != 0) {
        if (!wasOpen) Term();
        return rc;
    }

    if (id_.slot != 0xFF) {
        PDEV* pdev = nullptr;
        Slot* slot = pcomd ? pcomd->GetSlot(id_.slot) : nullptr;
        int found = slot ? slot->FindPhysical(id_, pdev) : 326;
        if (found != 0 || !pdev) {
            clErrorLog(1303, 321, static_cast<uint32_t>(found), kTag, this, sizeof(VDEV));
            rc = 321;
        } else {
            rc = pdev->Open(this);
            if (rc == 0) pdev_ = pdev;
        }
    }

    if (rc == 0 && !wasOpen) {
        rc = SetValuesCreation(args, count);
        if (rc == 0) rc = SetValues(args, count);
        if (rc != 0 && pdev_) {
            int remaining = 0;
            pdev_->Close(this, remaining);
            pdev_ = nullptr;
        }
    }

    if (rc != 0) {
        int remaining = 0;
        DEVICE::Close(remaining);
        pdev_ = nullptr;
        if (!wasOpen) Term();
    }
    return rc;
}

int VDEV::Close(int& remaining) {
    int result = 0;
    if (pdev_) {
        int pdevRemaining = 0;
        result = pdev_->Close(this, pdevRemaining);
        pdev_ = nullptr;
    }
    int rc = DEVICE::Close(remaining);
    if (result == 0) result = rc;
    if (remaining <= 0) {
        rc = Term();
        if (result == 0) result = rc;
    }
    return result;
}

// ---------------------------------------------------------------------------------------
// Locks and ownership of the physical device.

int VDEV::Lock() {
    int rc = DEVICE::Lock();
    if (IsHolding() && pdev_) pdev_->Lock();
    return rc;
}

int VDEV::Unlock() {
    int rc = DEVICE::Unlock();
    if (IsHolding() && pdev_) pdev_->Unlock();
    return rc;
}

int VDEV::AcquirePhysical() {
    if (IsHolding()) return 314;
    if (!pdev_) return 316;
    pdev_->Lock();
    int rc = pdev_->Acquire(this);
    if (rc != 0) {
        // The holder releases only with the physical device locked: waiting now, before
        // the lock is let go, the release notice cannot be missed.
        if (rc == 313) NotifyWhenPdevReleased();
        pdev_->Unlock();
        return rc;
    }
    SetStatusBits(VDEV_HOLDING);
    return 0;
}

int VDEV::ReleasePhysical() {
    if (!IsHolding() || !pdev_) return 315;
    int rc = pdev_->Release(this);
    if (rc != 0) {
        clErrorLog(1304, 321, static_cast<uint32_t>(rc), kTag, this, sizeof(VDEV));
        return rc;
    }
    ClearStatusBits(VDEV_HOLDING);
    pdev_->Unlock();
    return 0;
}

int VDEV::LockPhysical() { return 316; }

int VDEV::UnlockPhysical() { return 316; }

void VDEV::NotifyWhenPdevReleased() {
    if (!pdev_) return;
    std::lock_guard<std::mutex> hold(waitLock_);
    waitedFor_ = pdev_->GetDeviceID();
}

int VDEV::Notify(const DeviceID& id, unsigned char address) {
    if (address != id_.device) return 0;
    {
        std::lock_guard<std::mutex> hold(waitLock_);
        if (id != waitedFor_ || waitedFor_ == DeviceID()) return 0;
        waitedFor_ = DeviceID();
    }
    if (pcomd) pcomd->PostQueueMsg(&destination_, POSM_SYS_DEVICE_RELEASED,
                                   static_cast<unsigned long>(handle_), 0);
    return 0;
}

// ---------------------------------------------------------------------------------------
// Requests.

int VDEV::IOCtl(int request, PosArg* args, int count, int& out) {
    out = 0;
    switch (request) {
    case POS_SYS_ACQUIRE_DEVICE:
        return AcquirePhysical();
    case POS_SYS_GET_VALUES:
        return args && count != 0 ? GetValues(args, count) : 0;
    case POS_SYS_LOCK_DEVICE:
        return LockPhysical();
    case POS_SYS_RELEASE_DEVICE: {
        const bool held = IsHolding();
        PDEV* pdev = pdev_;
        int rc = ReleasePhysical();
        if (held && !IsHolding() && pdev && pcomd)
            pcomd->PdevReleased(pdev->GetDeviceID(), id_.device);
        return rc;
    }
    case POS_SYS_SET_VALUES:
        return args && count != 0 ? SetValues(args, count) : 0;
    case POS_SYS_UNLOCK_DEVICE:
        return UnlockPhysical();
    default:
        return 316;
    }
}

int VDEV::Read(void* /*buffer*/, unsigned int /*length*/, int& count) {
    count = 0;
    return 311;
}

int VDEV::Write(const void* /*buffer*/, unsigned int /*length*/, int& count) {
    count = 0;
    return 311;
}

int VDEV::TellVirt(const PDEV* from, int message, unsigned char* data, int length) {
    clErrorLog(1305, 321, static_cast<uint32_t>(message), kTag, from,
               from ? static_cast<uint16_t>(sizeof(PDEV)) : 0, data,
               data && length > 0 ? clip16(static_cast<size_t>(length)) : 0);
    return 321;
}

int VDEV::PostQueueMsg(unsigned long msg, unsigned long p1, unsigned long p2) {
    if (!pcomd) return 321;
    const unsigned long first = (p1 & 0xFFFF0000ul) | (static_cast<unsigned long>(handle_) & 0xFFFFul);
    return pcomd->PostQueueMsg(&destination_, msg, first, p2);
}

// ---------------------------------------------------------------------------------------
// Values.

int VDEV::GetValues(PosArg* args, int count) {
    if (!args) return 0;
    for (int i = 0; i < count; ++i) {
        PosArg& arg = args[i];
        if (!arg.name) continue;
        int rc = 0;
        if (named(arg, "slotNumber")) {
            arg.value = id_.slot;
        } else if (named(arg, "portNumber")) {
            arg.value = id_.port;
        } else if (named(arg, "deviceNumber")) {
            arg.value = id_.device;
        } else if (named(arg, "queueHandle")) {
            arg.value = destination_.kind == 0 ? destination_.queue : 0;
        } else if (named(arg, "addressWaitTime") || named(arg, "byteWaitTime") ||
                   named(arg, "ecLevel")) {
            const int request = named(arg, "addressWaitTime") ? TELLPHYS_GET_ADDRESS_WAIT
                                : named(arg, "byteWaitTime")  ? TELLPHYS_GET_BYTE_WAIT
                                                              : TELLPHYS_GET_EC_LEVEL;
            unsigned char byte = 0;
            if (pdev_) rc = pdev_->TellPhys(this, request, &byte, 1);
            arg.value = byte;
        } else if (named(arg, "ackWaitTime")) {
            unsigned char word[4] = {};
            if (pdev_) rc = pdev_->TellPhys(this, TELLPHYS_GET_ACK_WAIT, word, sizeof word);
            int32_t value;
            std::memcpy(&value, word, sizeof value);
            arg.value = value;
        } else if (named(arg, "codePage")) {
            arg.value = codePage_;
            tprintf("Current CodePage=%d\n", codePage_);
        }
        if (rc != 0) return rc;
    }
    return 0;
}

int VDEV::SetValues(PosArg* args, int count) {
    struct Noted {
        const char* name;
        int request;
        bool set;
        int32_t value;
    } noted[] = {
        {"addressWaitTime", TELLPHYS_SET_ADDRESS_WAIT, false, 0},
        {"byteWaitTime", TELLPHYS_SET_BYTE_WAIT, false, 0},
        {"ecLevel", TELLPHYS_SET_EC_LEVEL, false, 0},
        {"ackWaitTime", TELLPHYS_SET_ACK_WAIT, false, 0},
    };
    for (int i = 0; args && i < count; ++i) {
        const PosArg& arg = args[i];
        if (!arg.name) continue;
        bool timing = false;
        for (Noted& n : noted) {
            if (named(arg, n.name)) {
                n.set = true;
                n.value = static_cast<int32_t>(arg.value);
                timing = true;
            }
        }
        if (!timing && named(arg, "codePage")) {
            codePage_ = static_cast<unsigned short>(arg.value & 0xFFFF);
            GetCpTable(codePage_, cpTable_);
            tprintf("New CodePage=%d\n", codePage_);
        }
    }
    // The physical device takes timing values only from the device that holds it.
    if (!IsHolding() || !pdev_) return 0;
    for (Noted& n : noted) {
        if (!n.set) continue;
        unsigned char word[4];
        std::memcpy(word, &n.value, sizeof word);
        int rc = pdev_->TellPhys(this, n.request, word, sizeof word);
        if (rc != 0) return rc;
    }
    return 0;
}

int VDEV::SetValuesCreation(PosArg* args, int count) {
    MsgQueueInfo destination = destination_;
    for (int i = 0; args && i < count; ++i) {
        const PosArg& arg = args[i];
        if (!named(arg, "queueHandle")) continue;
        if (arg.value != 0) {
            destination = MsgQueueInfo{0, static_cast<int32_t>(clientId_), arg.value};
            int rc = pcomd ? pcomd->ValidateOS_Queue(destination) : 308;
            if (rc != 0) return rc;
        } else {
            destination = MsgQueueInfo{1, static_cast<int32_t>(clientId_),
                                       reinterpret_cast<intptr_t>(static_cast<EventQueue*>(queue_))};
        }
    }
    destination_ = destination;
    return 0;
}

int VDEV::StoreProcessInformation(int processId, POSQ* queue, XrmDatabase& database) {
    ownerProcessId_ = processId;
    queue_ = queue;
    database_ = database;
    destination_.kind = 1;
    destination_.queue = reinterpret_cast<intptr_t>(static_cast<EventQueue*>(queue));
    return 0;
}

int VDEV::InitializeEnvironment(unsigned char* ranges, unsigned short codePage,
                                unsigned short secondCode, unsigned long clientId) {
    codePage_ = codePage;
    secondCode_ = secondCode;
    clientId_ = clientId;
    destination_.clientId = static_cast<int32_t>(clientId);
    tprintf("ClientId=0x%lx\n", clientId);
    GetCpTable(codePage_, cpTable_);
    return dbcs_.Build(ranges);
}

// ---------------------------------------------------------------------------------------
// Resources and font files.

int VDEV::LoadResources(const unsigned char* namePrefix, const unsigned char* classPrefix,
                        const posResources* table, int rows) {
    return XrmLoadResources(database_, reinterpret_cast<const char*>(namePrefix),
                            reinterpret_cast<const char*>(classPrefix), table, rows);
}

void VDEV::DumpResources(const posResources* table, int rows) { XrmDumpResources(table, rows); }

int VDEV::GetCpTable(unsigned short& codePage, unsigned short*& table) {
    delete[] table;
    table = nullptr;
    const bool own = &table == &cpTable_;
    if (own) cpTableBytes_ = 0;

    char name[32];
    std::snprintf(name, sizeof name, "cp%05d.fon", codePage);
    size_t size = 0;
    int rc = chReadFontFile(name, table, size);
    if (rc == 316 && codePage != 858) {
        codePage = 858;
        std::snprintf(name, sizeof name, "cp%05d.fon", codePage);
        rc = chReadFontFile(name, table, size);
    }
    if (rc == 0 && own) cpTableBytes_ = size;
    return rc;
}

int VDEV::LoadFontFile(char* fileName, unsigned char*& buffer) {
    delete[] buffer;
    buffer = nullptr;
    size_t size = 0;
    return chReadFontFile(fileName, buffer, size);
}

int VDEV::RefreshCpInfo() {
    int codePage = codePage_;
    chQueryCpInfo(codePage);
    return codePage;
}
