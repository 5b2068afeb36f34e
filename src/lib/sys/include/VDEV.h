// A virtual device: what one open of a client gets. It belongs to one process and one
// handle, talks to its physical device through TellPhys, hears from it through TellVirt and
// posts events to its process's event destination. Every virtual-device class of the
// plug-ins derives from it, so the order of its virtual operations is a fixed interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

#include "DEVICE.h"
#include "DbcsTable.h"
#include "syresource.h"

class PDEV;
class POSQ;

// Status-word bit of a virtual device: it holds (has acquired) its physical device.
enum : uint32_t { VDEV_HOLDING = 0x0100 };

// System requests every virtual device serves through IOCtl.
enum {
    POS_SYS_ACQUIRE_DEVICE = 301,
    POS_SYS_GET_VALUES = 302,
    POS_SYS_LOCK_DEVICE = 303,
    POS_SYS_RELEASE_DEVICE = 304,
    POS_SYS_SET_VALUES = 305,
    POS_SYS_UNLOCK_DEVICE = 306,
};

// Link timing requests of the physical device (TellPhys): set / get.
enum {
    TELLPHYS_SET_ACK_WAIT = 9992,
    TELLPHYS_GET_ACK_WAIT = 9993,
    TELLPHYS_SET_EC_LEVEL = 9994,
    TELLPHYS_GET_EC_LEVEL = 9995,
    TELLPHYS_SET_BYTE_WAIT = 9996,
    TELLPHYS_GET_BYTE_WAIT = 9997,
    TELLPHYS_SET_ADDRESS_WAIT = 9998,
    TELLPHYS_GET_ADDRESS_WAIT = 9999,
};

class VDEV : public DEVICE {
public:
    VDEV(const DeviceID& id, int handle, const unsigned char* name);
    VDEV(const DeviceID& id, int handle, const char* name)
        : VDEV(id, handle, reinterpret_cast<const unsigned char*>(name)) {}
    // Frees the code-page table; logs 1306 when still attached to or holding a physical
    // device.
    ~VDEV() override;

    using DEVICE::Init;
    using DEVICE::Open;
    using DEVICE::Term;

    // In DEVICE's slots.
    int Close(int& remaining) override; // detaches from the physical device, then closes
    int Lock() override;                // own lock, then the held physical device's
    int Unlock() override;

    // Added operations, in this order.
    virtual int AcquirePhysical();                        // 0, 313 held by another, 314
    virtual int GetValues(PosArg* args, int count);
    virtual int InitializeEnvironment(unsigned char* ranges, unsigned short codePage,
                                      unsigned short secondCode, unsigned long clientId);
    virtual int IOCtl(int request, PosArg* args, int count, int& out);
    virtual int LockPhysical();                           // 316 in the base
    virtual int Notify(const DeviceID& id, unsigned char address);
    virtual int Open(const unsigned char* resourceName, const unsigned char* className,
                     PosArg* args, int count);
    virtual int PostQueueMsg(unsigned long msg, unsigned long p1, unsigned long p2);
    virtual int Read(void* buffer, unsigned int length, int& count);        // 311 in the base
    virtual int ReleasePhysical();                        // 0, 315 not holding
    virtual int SetValues(PosArg* args, int count);
    virtual int SetValuesCreation(PosArg* args, int count);
    virtual int StoreProcessInformation(int processId, POSQ* queue, XrmDatabase& database);
    virtual int TellVirt(const PDEV* from, int message, unsigned char* data, int length);
    virtual int UnlockPhysical();                         // 316 in the base
    virtual int Write(const void* buffer, unsigned int length, int& count); // 311 in the base

    // For the subclasses.
    int LoadResources(const unsigned char* namePrefix, const unsigned char* classPrefix,
                      const posResources* table, int rows);
    void DumpResources(const posResources* table, int rows);
    // Loads "cp%05d.fon" of codePage from "<data path>/fonts/" into table (the old table is
    // freed first). When that file cannot be opened and codePage is not 858, codePage
    // becomes 858 and its file is tried. 0 with the table; 316 no file, 305 no memory, 301
    // short read (table null then). For this device's own table the size is kept.
    int GetCpTable(unsigned short& codePage, unsigned short*& table);
    // Reads "<data path>/fonts/<fileName>" whole into a new buffer of size + 1 bytes (the
    // caller frees it with delete[]); a buffer passed in is freed first. 0, 316 no file,
    // 305 no memory, 301 short read (then no buffer).
    int LoadFontFile(char* fileName, unsigned char*& buffer);
    // The host's code-page information: its current code page.
    int RefreshCpInfo();
    // Makes the physical device's DeviceID the one this device waits for (0x4213 when its
    // holder releases it). A failed acquire registers while it still has the physical
    // device locked, so that a release cannot fall between the refusal and the wait.
    void NotifyWhenPdevReleased();

    int isdbcs1(int byte) const { return dbcs_.isdbcs1(byte); }
    int getctype(const unsigned char* s, unsigned int n) const { return dbcs_.getctype(s, n); }
    const unsigned char* ms_strchr(const unsigned char* s, const unsigned char* c) const {
        return dbcs_.ms_strchr(s, c);
    }

    int GetHandle() const { return handle_; }
    PDEV* GetPhysical() const { return pdev_; }
    bool IsHolding() const { return TestStatusBits(VDEV_HOLDING); }
    const MsgQueueInfo& GetEventDestination() const { return destination_; }
    int GetProcessId() const { return ownerProcessId_; }
    POSQ* GetQueue() const { return queue_; }
    XrmDatabase GetDatabase() const { return database_; }
    DeviceID GetWaitedFor() const {
        std::lock_guard<std::mutex> hold(waitLock_);
        return waitedFor_;
    }
    unsigned long GetClientId() const { return clientId_; }
    unsigned short GetCodePage() const { return codePage_; }
    unsigned short GetSecondCode() const { return secondCode_; }
    const unsigned short* GetCpTableData() const { return cpTable_; }
    size_t GetCpTableSize() const { return cpTableBytes_; } // bytes of the loaded file
    const DbcsTable& GetDbcsTable() const { return dbcs_; }

protected:
    int32_t handle_;
    MsgQueueInfo destination_{0, 0, 0};
    int32_t ownerProcessId_ = 0;
    POSQ* queue_ = nullptr;
    XrmDatabase database_ = nullptr;
    PDEV* pdev_ = nullptr;
    // The release a failed acquire waits for: registered by this device's request thread,
    // taken by whichever request thread releases the physical device.
    mutable std::mutex waitLock_;
    DeviceID waitedFor_;
    unsigned long clientId_ = 0;
    unsigned short codePage_ = 0;
    unsigned short secondCode_ = 0;
    unsigned short* cpTable_ = nullptr;
    size_t cpTableBytes_ = 0;
    DbcsTable dbcs_;
};
