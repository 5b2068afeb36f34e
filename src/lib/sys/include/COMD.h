// The system object of the server core: configuration, slots, the list of client
// processes, the system values and the routes by which events reach the clients. The
// control daemon constructs it once; pcomd names it for the rest of the core and the
// plug-ins.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "DbcsTable.h"
#include "STG.h"
#include "ovkhost.h"
#include "ovktypes.h"

class ConfTable;
class Process;
class SDIDEVICE;
class SdiQuery;
class Slot;
struct _XrmHashBucketRec;

// Version bytes (version, release, modification) and a level text of up to 7 characters.
struct SubsystemInfo {
    uint8_t version[3];
    char level[9];
};
static_assert(sizeof(SubsystemInfo) == 12, "subsystem information is 12 bytes");

// System values the core keeps beside COMD.
struct CoreSystemValues {
    uint16_t envTraceOptions = 0;      // OVK_TRACE_OPTIONS
    uint16_t envProbeOptions = 1;      // OVK_PROBE_OPTIONS
    int32_t envAlertGeneration = 0;    // OVK_ALERT_GENERATION
    uint32_t slotMask = 0xFFFFFFFF;
    int32_t serviceThreadPriority = 0;
    uint8_t vitalProductData[24] = {};
};
CoreSystemValues& coreSystemValues();

class COMD : public STG {
public:
    enum { kSlots = 9 };

    // Reads the configuration and builds the slots; sets pcomd. Throws PosException when the
    // system object cannot be built (pcomd is then null).
    COMD();
    ~COMD() override;

    // Runs the post-construction start-up again (a second set of slots over the first).
    int Init();
    // Loads the system resources: file, environment, the system resource table.
    int BuildResourceDatabase(const unsigned char* applicationName,
                              const unsigned char* resourceFile, PosArg* args, int count);
    // Reads the 24 bytes of vital product data from the driver node; returns 0.
    int GetVitalProductData();
    // Builds the system's DBCS lead-byte table from pairs of (low, high) values ending with
    // a 0, 0 pair (at most 16 pairs); returns the DBCS-active flag.
    int InitializeEnvironment(unsigned char* ranges);
    // Closes the COMD lock: 0, or 301 (logged as 205).
    int Term();
    const char* GetDataPath() const { return dataPath_; }

    // Process list.
    int AddProcess(Process* process);
    int RemoveProcess(int processId);
    int FindProcess(int processId, Process*& out);
    int WhoIsOnline(const MsgQueueInfo& queue);
    int PdevReleased(const DeviceID& id, unsigned char address);

    // Events: to queue, or with a null queue to every listed process.
    int PostQueueMsg(const MsgQueueInfo* queue, unsigned long msg, unsigned long p1,
                     unsigned long p2);
    int PostMessageToApplication(const MsgQueueInfo* queue, unsigned long msg, unsigned long p1,
                                 unsigned long p2);

    // Validation.
    int ValidateSlot(int slot);                         // 0, or 326
    int ValidateOS_Queue(const MsgQueueInfo& queue);    // 308 for kind 0, else 0

    // System values.
    int SystemSetValuesCreation(PosArg* args, int count);
    int SystemSetValues(PosArg* args, int count);
    int SystemGetValues(PosArg* args, int count);
    int ValidateSystemResources();
    int QuerySubsystemInfo(SubsystemInfo& info);
    // Poll-list syntax check: 0, or 310.
    static int ProcessPollListStr(const char* list);

    // The resource file to read: the name without leading blanks, taken under OVK_ROOT when
    // absolute; "" when it cannot be opened for reading.
    static std::string GetResourceFileName(const unsigned char* resourceFile);

    // DBCS helpers over the system's table.
    int getctype(const unsigned char* s, unsigned int n);
    const unsigned char* ms_strchr(const unsigned char* s, const unsigned char* c);
    int isdbcs1(int byte) const { return dbcs_.isdbcs1(byte); }

    // Accessors.
    Slot* GetSlot(int slot) const { return slot >= 0 && slot < kSlots ? slots_[slot] : nullptr; }
    uint16_t GetSlotType(int slot) const { return slot >= 0 && slot < kSlots ? slotTypes_[slot] : 0; }
    uint16_t GetAdapterType(int slot) const {
        return slot >= 0 && slot < kSlots ? adapterTypes_[slot] : 0;
    }
    uint16_t GetTraceOptions() const { return traceOptions_; }
    uint16_t GetProbeOptions() const { return probeOptions_; }
    int32_t GetAlertGeneration() const { return alertGeneration_; }
    int32_t GetPlatform() const { return platform_; }
    const char* GetPollList() const { return pollList_; }
    ConfTable* GetConfTable() const { return confTable_; }
    _XrmHashBucketRec* GetResourceDatabase() const { return resources_; }
    SdiQuery* GetSdiQuery() const { return sdiQuery_; }
    void SetSdiQuery(SdiQuery* query) { sdiQuery_ = query; }
    // Raw-access proxies live as long as the system object: a device that goes away
    // leaves its proxy detached, and a device that takes its place takes it over.
    void AddSdiDevice(SDIDEVICE* proxy);
    SDIDEVICE* FindDetachedSdiDevice(const DeviceID& id);
    std::vector<SDIDEVICE*> SdiDevices();
    // Stops every raw-access server (listeners closed, threads ended).
    void StopRawAccess();

    // Test seam: the next start-up fails with rc as if the COMD lock could not be opened.
    static void FailNextStartupForTest(int rc);
    // Test seams: end a slot (devices, adapter) and leave it empty; build and start an
    // empty slot again as start-up does (the new slot, or null when none starts).
    void EndSlotForTest(int slot);
    Slot* StartSlotForTest(int slot);

private:
    int CommonPreinit();
    int CommonPostinit();
    int GetAdapterAndSlotInfo();
    // Builds and starts slot i when its type has slots; left empty when it does not start.
    void StartSlot(int i);
    int GetUsbHostControllerInfo(uint16_t& adapterType, uint16_t& slotType);
    void envVarsSet();
    bool LockComd();
    void UnlockComd();

    mutexSem lock_;
    DList processes_;
    SubsystemInfo subsystemInfo_{};
    _XrmHashBucketRec* resources_ = nullptr;
    char dataPath_[256] = {};
    char* pollList_ = nullptr;
    DbcsTable dbcs_;
    uint16_t slotTypes_[kSlots] = {};
    uint16_t adapterTypes_[kSlots] = {};
    Slot* slots_[kSlots] = {};
    // Set by the clients' request threads (under lock_), read by any thread.
    std::atomic<uint16_t> probeOptions_{1};
    std::atomic<uint16_t> traceOptions_{0};
    std::atomic<int32_t> alertGeneration_{0};
    int32_t platform_ = 0;
    ConfTable* confTable_ = nullptr;
    SdiQuery* sdiQuery_ = nullptr;
    std::mutex sdiMutex_;
    std::vector<SDIDEVICE*> sdiDevices_;

    void DeleteRawAccess();
};

// The system object, null until one is built.
extern COMD* pcomd;

// Event numbers of the system range.
enum : uint32_t { POSM_SYS_DEVICE_RELEASED = 0x4213 };
