// Client process: construction and end, environment, resources, values of handle 0,
// argument and device validation.
#include "Process.h"

#include <cstring>
#include <new>
#include <string>

#include "ADAPTER.h"
#include "COMD.h"
#include "ObjectSupport.h"
#include "PDEV.h"
#include "POSQ.h"
#include "ProcessTables.h"
#include "syproc.h"
#include "Slot.h"
#include "VDEV.h"

namespace {

bool named(const PosArg& arg, const char* name) {
    return arg.name && std::strcmp(arg.name, name) == 0;
}

void copyName(char* out, size_t size, const unsigned char* in) {
    std::strncpy(out, reinterpret_cast<const char*>(in), size - 1);
    out[size - 1] = '\0';
}

} // namespace

// ---------------------------------------------------------------------------------------
// Process resources: one table serves the process (at initialisation) and each device name
// (at open).

void ProcessResourceValues::MakeTable(posResources (&table)[kRows]) {
    table[0] = {"slotNumber", "SlotNumber", POSRES_INTEGER, &slotNumber, 5, posSlotsLookupTbl,
                posSlotsLookupRows};
    table[1] = {"portNumber", "PortNumber", POSRES_INTEGER, &portNumber, 0x11, posPortsLookupTbl,
                posPortsLookupRows};
    table[2] = {"deviceNumber", "DeviceNumber", POSRES_INTEGER, &deviceNumber, 0,
                posDevicesLookupTbl, posDevicesLookupRows};
    table[3] = {"queueHandle", "QueueHandle", POSRES_INTEGER, &queueHandle, 0, nullptr, 0};
    table[4] = {"readTimeout", "ReadTimeout", POSRES_INTEGER, &readTimeout, 0,
                posTimeoutLookupTbl, posTimeoutLookupRows};
    table[5] = {"msgLimit", "MsgLimit", POSRES_INTEGER, &msgLimit, 128, nullptr, 0};
    table[6] = {"vdevTimeout", "VdevTimeout", POSRES_INTEGER, &vdevTimeout, 0, nullptr, 0};
}

// ---------------------------------------------------------------------------------------
// Construction and end.

Process::Process(int processId, unsigned short handleLimit, const unsigned char* name)
    : STG(name),
      processId_(processId),
      handleLimit_(handleLimit > kMaxHandles ? static_cast<unsigned short>(kMaxHandles)
                                             : handleLimit) {
    handleLock_.Open();
}

Process::~Process() {
    if (initialized_) {
        uint32_t end[5 + kMaxHandles];
        end[0] = traceWord(pcomd);
        end[1] = 1;
        end[2] = static_cast<uint32_t>(destination_.kind);
        end[3] = static_cast<uint32_t>(destination_.clientId);
        end[4] = static_cast<uint32_t>(destination_.queue);
        end[5] = traceWord(queue_);
        for (int h = 1; h < kMaxHandles; ++h) end[5 + h] = traceWord(devices_[h]);
        clTrace(kProcessTraceComponent, 7, end, sizeof end, 0);

        TermProcess();

        uint32_t after[1 + kMaxHandles];
        after[0] = traceWord(pcomd);
        after[1] = traceWord(queue_);
        for (int h = 1; h < kMaxHandles; ++h) after[1 + h] = traceWord(devices_[h]);
        clTrace(kProcessTraceComponent, 23, after, sizeof after, 0);
        initialized_ = 0;
    }
    delete queue_;
    queue_ = nullptr;
    if (database_) DestroyResources(database_);
    database_ = nullptr;
}

void Process::TermProcess() {
    for (int h = 1; h < kMaxHandles; ++h) {
        VDEV* vdev = devices_[h];
        if (!vdev) continue;
        // Free what this process may still hold: its own device's lock, and the physical
        // device's lock only while this process's device owns that physical device (a
        // device that another process holds, or that the polling thread has locked, is
        // left alone; the host's lock refuses a release by another thread anyway).
        vdev->ClearLock();
        PDEV* pdev = vdev->GetPhysical();
        if (pdev && chCheckBuffer(pdev, static_cast<int>(sizeof(PDEV)), CH_ACCESS_READ) == 0 &&
            pdev->GetOwner() == vdev)
            pdev->ClearLock();
        DLL_PosClose(nullptr, h);
    }
    delete queue_;
    queue_ = nullptr;
    if (database_) DestroyResources(database_);
    database_ = nullptr;
}

int Process::Init() { return 0; }

// ---------------------------------------------------------------------------------------
// Environment and DBCS.

int Process::InitializeEnvironment(unsigned char* ranges, unsigned short codePage,
                                   unsigned short secondCode, unsigned long cpInfo,
                                   unsigned long clientId) {
    codePage_ = codePage;
    secondCode_ = secondCode;
    cpInfo_ = cpInfo;
    clientId_ = static_cast<int32_t>(clientId);
    destination_.clientId = clientId_;
    if (ranges)
        std::memcpy(ranges_, ranges, sizeof ranges_);
    else
        std::memset(ranges_, 0, sizeof ranges_);
    return dbcs_.Build(ranges_);
}

int Process::isdbcs1(int byte) { return dbcs_.isdbcs1(byte); }

int Process::getctype(const unsigned char* s, unsigned int n) { return dbcs_.getctype(s, n); }

const unsigned char* Process::ms_strchr(const unsigned char* s, const unsigned char* c) {
    return dbcs_.ms_strchr(s, c);
}

// ---------------------------------------------------------------------------------------
// Initialisation.

int Process::InitProcess(const unsigned char* applicationName, const unsigned char* resourceFile,
                         PosArg* args, int count, ServiceConnection* connection) {
    copyName(applicationName_, sizeof applicationName_, applicationName);
    copyName(resourceFile_, sizeof resourceFile_, resourceFile);
    connection_ = connection;

    int rc = 0;
    bool thrown = false;
    try {
        rc = BuildProcessResourceDatabase(applicationName, resourceFile, args, count);
    } catch (...) {
        tprintf("Exception creating resource database, try to build again\n");
        thrown = true;
    }
    if (thrown) {
        try {
            rc = BuildProcessResourceDatabase(applicationName, resourceFile, args, count);
        } catch (...) {
            tprintf("Second Exception creating resource database\n");
            rc = 321;
        }
    }
    if (rc == 0) {
        queue_ = new (std::nothrow) POSQ(connection, "POSQ");
        if (!queue_) rc = 305;
    }
    if (rc != 0) {
        if (database_) DestroyResources(database_);
        database_ = nullptr;
        return rc;
    }
    if (destination_.kind == 1) {
        destination_.queue = reinterpret_cast<intptr_t>(static_cast<EventQueue*>(queue_));
        destination_.clientId = clientId_;
    }
    return 0;
}

int Process::BuildProcessResourceDatabase(const unsigned char* applicationName,
                                          const unsigned char* resourceFile, PosArg* args,
                                          int count) {
    const std::string file = COMD::GetResourceFileName(resourceFile);
    try {
        InitResources(database_, file.c_str());
    } catch (...) {
        tprintf("Exception caught in InitResources(%s)\n", file.c_str());
        return 321;
    }

    const std::string app = reinterpret_cast<const char*>(applicationName);
    const std::string namePrefix = app + ".OVKPROC";
    const std::string classPrefix = app + ".PosProcess";
    ProcessResourceValues values;
    posResources table[ProcessResourceValues::kRows];
    values.MakeTable(table);
    int rc = 0;
    try {
        rc = XrmLoadResources(database_, namePrefix.c_str(), classPrefix.c_str(), table,
                              ProcessResourceValues::kRows);
    } catch (...) {
        tprintf("Exception caught in XrmLoadResource(%s, %s)\n", namePrefix.c_str(),
                classPrefix.c_str());
        return 321;
    }
    // The loaded values stay in the resources: the process's own values come from the
    // arguments alone.
    if (rc == 0) rc = SetValuesCreation(args, count);
    if (rc == 0) rc = SetValues(args, count);
    XrmDumpResources(table, ProcessResourceValues::kRows);
    return rc;
}

// ---------------------------------------------------------------------------------------
// Values of handle 0.

int Process::IOCtl(int request, PosArg* args, int count, int& out) {
    out = 0;
    switch (request) {
    case 302: return args && count != 0 ? GetValues(args, count) : 0;
    case 305: return args && count != 0 ? SetValues(args, count) : 0;
    default: return 316;
    }
}

int Process::GetValues(PosArg* args, int count) {
    for (int i = 0; args && i < count; ++i) {
        PosArg& arg = args[i];
        if (named(arg, "queueHandle"))
            arg.value = destination_.kind == 0 ? destination_.queue : 0;
        else if (named(arg, "readTimeout"))
            arg.value = readTimeout_;
        else if (named(arg, "msgLimit"))
            arg.value = messageLimit_;
        else if (named(arg, "vdevTimeout"))
            arg.value = vdevTimeout_;
    }
    return pcomd ? pcomd->SystemGetValues(args, count) : 0;
}

int Process::SetValuesCreation(PosArg* args, int count) {
    MsgQueueInfo destination{1, clientId_, reinterpret_cast<intptr_t>(static_cast<EventQueue*>(queue_))};
    int32_t vdevTimeout = vdevTimeout_;
    int rc = 0;
    for (int i = 0; rc == 0 && args && i < count; ++i) {
        const PosArg& arg = args[i];
        if (named(arg, "queueHandle")) {
            if (arg.value != 0) {
                destination = MsgQueueInfo{0, clientId_, arg.value};
                rc = pcomd ? pcomd->ValidateOS_Queue(destination) : 308;
            } else {
                destination = MsgQueueInfo{1, clientId_,
                                           reinterpret_cast<intptr_t>(static_cast<EventQueue*>(queue_))};
            }
        } else if (named(arg, "msgLimit")) {
            if (static_cast<uint32_t>(arg.value) <= 15) rc = 310;
        } else if (named(arg, "vdevTimeout")) {
            if (static_cast<int32_t>(arg.value) < 0)
                rc = 310;
            else
                vdevTimeout = static_cast<int32_t>(arg.value);
        }
    }
    // Nothing changes unless every argument passed.
    if (rc == 0) {
        destination_ = destination;
        vdevTimeout_ = vdevTimeout;
    }
    return rc;
}

int Process::SetValues(PosArg* args, int count) {
    int32_t readTimeout = readTimeout_;
    int32_t messageLimit = messageLimit_;
    int32_t vdevTimeout = vdevTimeout_;
    int rc = 0;
    for (int i = 0; rc == 0 && args && i < count; ++i) {
        const PosArg& arg = args[i];
        if (named(arg, "readTimeout")) {
            readTimeout = static_cast<int32_t>(arg.value);
        } else if (named(arg, "msgLimit")) {
            if (static_cast<uint32_t>(arg.value) <= 15)
                rc = 310;
            else
                messageLimit = static_cast<int32_t>(arg.value);
        } else if (named(arg, "vdevTimeout")) {
            if (static_cast<int32_t>(arg.value) < 0)
                rc = 310;
            else
                vdevTimeout = static_cast<int32_t>(arg.value);
        }
    }
    if (rc == 0 && pcomd) rc = pcomd->SystemSetValues(args, count);
    if (rc == 0) {
        readTimeout_ = readTimeout;
        messageLimit_ = messageLimit;
        vdevTimeout_ = vdevTimeout;
    }
    return rc;
}

int Process::PdevReleased(const DeviceID& id, unsigned char address) {
    handleLock_.Acquire(15);
    for (int h = 1; h < kMaxHandles; ++h)
        if (devices_[h]) devices_[h]->Notify(id, address);
    handleLock_.Release();
    return 0;
}

// ---------------------------------------------------------------------------------------
// Validation.

int checkArgList(PosArg*& args, int& count) {
    if (count < 0) return 325;
    if (!args || count == 0) {
        args = nullptr;
        count = 0;
        return 0;
    }
    if (static_cast<size_t>(count) > static_cast<size_t>(INT32_MAX) / sizeof(PosArg))
        return CH_ERR_INVALID_LENGTH;
    return chCheckBuffer(args, count * static_cast<int>(sizeof(PosArg)), CH_ACCESS_READ);
}

int Process::CheckArgsNargs(PosArg*& args, int& count) {
    int rc = checkArgList(args, count);
    if (rc != 0 || !args) return rc;
    for (int i = 0; i < count; ++i) {
        if (!args[i].name) continue;
        rc = chCheckBuffer(args[i].name, 0, CH_ACCESS_STRING);
        if (rc != 0) return rc;
    }
    return 0;
}

int Process::ValidateHandle(int handle) {
    if (!initialized_ || handle < 0 || handle >= handleLimit_) return 303;
    if (handle == 0) return queue_ ? 0 : 303;
    return devices_[handle] ? 0 : 303;
}

int Process::ValidateClass(const unsigned char* className, unsigned char& deviceType) {
    if (!className) return 331;
    for (int i = 0; i < PosClassRows; ++i) {
        if (std::strcmp(PosClasses[i].name, reinterpret_cast<const char*>(className)) == 0) {
            deviceType = PosClasses[i].deviceType;
            return 0;
        }
    }
    return 331;
}

int Process::ValidateAdapterAndPort(const DeviceID& id) {
    if (!pcomd) return 326;
    int rc = pcomd->ValidateSlot(id.slot);
    if (rc != 0) return rc;
    ADAPTER* adapter = nullptr;
    pcomd->GetSlot(id.slot)->FindAdapter(adapter);
    if (!adapter || chCheckBuffer(adapter, static_cast<int>(sizeof(ADAPTER)), CH_ACCESS_READ) != 0)
        return 327;
    return adapter->ValidatePort(id.port);
}

int Process::ValidateDevice(unsigned char address) {
    if (address & 0x80) {
        for (const NonSIOAddressRow& row : ObjectSupport::NonSIOAddresses)
            if (row.applicationAddress == address) return 0;
        return 307;
    }
    return ObjectSupport::AddressValid(address) ? 0 : 307;
}

int Process::ValidateClassDeviceCombo(unsigned char deviceType, unsigned int address) {
    if (address > 127) {
        for (const NonSIOAddressRow& row : ObjectSupport::NonSIOAddresses)
            if (row.applicationAddress == address) return row.deviceType == deviceType ? 0 : 319;
        return 319;
    }
    return ObjectSupport::SIOAddresses[address].deviceType == deviceType ? 0 : 319;
}
