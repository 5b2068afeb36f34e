// The server side of one client connection.
//
// The daemon constructs one Process per connection, calls InitializeEnvironment with the
// client's lead-byte ranges and code page, then DLL_PosInitialize with the connection (on
// which the process's event queue, handle 0, writes its events), then COMD::AddProcess, and
// routes each later request to the matching DLL_Pos* entry point. At disconnection it calls
// COMD::RemoveProcess and deletes the Process, which closes and releases every device the
// client left open.
//
// Handles: 0 is the event queue; 1 to the handle limit - 1 are the virtual devices the
// client opened. Results are the error codes of the system range (0 success).
#pragma once

#include <cstdint>

#include "DbcsTable.h"
#include "STG.h"
#include "ovkhost.h"
#include "ovktypes.h"
#include "syresource.h"

class POSQ;
class ServiceConnection;
class VDEV;
struct _AppMessage; // the daemon's request record; not used by the core

class Process : public STG {
public:
    enum { kMaxHandles = 32, kMaxNameLength = 32, kMaxResourceFileLength = 257 };

    // handleLimit is at most 32 (a larger one is taken as 32).
    Process(int processId, unsigned short handleLimit, const unsigned char* name);
    Process(int processId, unsigned short handleLimit, const char* name)
        : Process(processId, handleLimit, reinterpret_cast<const unsigned char*>(name)) {}
    // When initialised: closes and releases every device left open, deletes the event queue
    // and the resource database.
    ~Process() override;

    // In this order.
    virtual int BuildProcessResourceDatabase(const unsigned char* applicationName,
                                             const unsigned char* resourceFile, PosArg* args,
                                             int count);
    // 325 for a negative count; a null list or a count of 0 becomes null and 0; otherwise
    // the list and each argument name must be readable (chCheckBuffer's code).
    virtual int CheckArgsNargs(PosArg*& args, int& count);
    virtual int DetermineDevID(const unsigned char* resourceName, const unsigned char* className,
                               DeviceID& id, PosArg* args, int count);
    virtual int InitProcess(const unsigned char* applicationName, const unsigned char* resourceFile,
                            PosArg* args, int count, ServiceConnection* connection);
    virtual int MakeVirtual(const DeviceID& id, int handle, VDEV*& vdev,
                            const unsigned char* className);
    virtual void TermProcess();
    virtual int ValidateAdapterAndPort(const DeviceID& id);            // 326, 327, 328
    virtual int ValidateClass(const unsigned char* className, unsigned char& deviceType); // 331
    virtual int ValidateClassDeviceCombo(unsigned char deviceType, unsigned int address); // 319
    virtual int ValidateDevice(unsigned char address);                  // 307
    virtual int ValidateHandle(int handle);                             // 303
    virtual int isdbcs1(int byte);
    virtual int getctype(const unsigned char* s, unsigned int n);
    virtual const unsigned char* ms_strchr(const unsigned char* s, const unsigned char* c);
    virtual int DLL_PosClose(_AppMessage* msg, int handle);
    virtual int DLL_PosInitialize(ServiceConnection* connection, const unsigned char* applicationName,
                                  const unsigned char* resourceFile, PosArg* args, int count);
    virtual int DLL_PosIOCtl(_AppMessage* msg, int handle, int request, PosArg* args, int count,
                             int* out);
    virtual int DLL_PosOpen(_AppMessage* msg, const unsigned char* deviceName,
                            const unsigned char* className, PosArg* args, int count, int* handle);
    virtual int DLL_PosRead(_AppMessage* msg, int handle, void* buffer, unsigned int length,
                            int* count);
    virtual int DLL_PosWrite(_AppMessage* msg, int handle, const void* buffer, unsigned int length,
                             int* count);
    virtual int GetValues(PosArg* args, int count);
    virtual int Init();
    // ranges: 32 bytes of (low, high) lead-byte pairs (null: none). Returns the DBCS-active
    // flag.
    virtual int InitializeEnvironment(unsigned char* ranges, unsigned short codePage,
                                      unsigned short secondCode, unsigned long cpInfo,
                                      unsigned long clientId);
    virtual int IOCtl(int request, PosArg* args, int count, int& out); // handle 0
    // Tells every virtual device of the process that the physical device id was released.
    virtual int PdevReleased(const DeviceID& id, unsigned char address);
    virtual int SetValues(PosArg* args, int count);
    virtual int SetValuesCreation(PosArg* args, int count);

    int GetProcessId() const { return processId_; }
    int GetClientId() const { return clientId_; }
    unsigned short GetHandleLimit() const { return handleLimit_; }
    // Where the process's events go (kind 1: its own event queue).
    const MsgQueueInfo& GetEventDestination() const { return destination_; }
    bool IsInitialized() const { return initialized_ != 0; }
    const char* GetApplicationName() const { return applicationName_; }
    const char* GetResourceFile() const { return resourceFile_; }
    ServiceConnection* GetConnection() const { return connection_; }
    POSQ* GetQueue() const { return queue_; }
    VDEV* GetDevice(int handle) const {
        return handle > 0 && handle < kMaxHandles ? devices_[handle] : nullptr;
    }
    XrmDatabase GetDatabase() const { return database_; }
    int32_t GetReadTimeout() const { return readTimeout_; }
    int32_t GetMessageLimit() const { return messageLimit_; }
    int32_t GetVdevTimeout() const { return vdevTimeout_; }
    unsigned short GetCodePage() const { return codePage_; }
    unsigned short GetSecondCode() const { return secondCode_; }
    unsigned long GetCpInfo() const { return cpInfo_; }
    const DbcsTable& GetDbcsTable() const { return dbcs_; }

protected:
    int32_t processId_;
    int32_t clientId_ = 0;
    int32_t initialized_ = 0;
    char applicationName_[kMaxNameLength + 1] = {};
    char resourceFile_[kMaxResourceFileLength + 1] = {};
    MsgQueueInfo destination_{1, 0, 0};
    int32_t readTimeout_ = 0;
    int32_t messageLimit_ = 128;
    int32_t vdevTimeout_ = 0;
    unsigned short handleLimit_;
    unsigned char ranges_[DbcsTable::kRangeBytes] = {};
    DbcsTable dbcs_;
    unsigned short codePage_ = 0;
    unsigned short secondCode_ = 0;
    unsigned long cpInfo_ = 0;
    POSQ* queue_ = nullptr;              // handle 0
    VDEV* devices_[kMaxHandles] = {};    // handles 1 .. handle limit - 1 (entry 0 unused)
    XrmDatabase database_ = nullptr;
    ServiceConnection* connection_ = nullptr;
    // Guards the device handles against PdevReleased, which other processes' requests run
    // (under the COMD lock) while this process opens and closes devices. Taken only around
    // a change of the table and around PdevReleased; never held while taking the COMD lock
    // or a device lock.
    mutexSem handleLock_;
};
