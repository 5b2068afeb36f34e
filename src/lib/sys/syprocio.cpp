// Client process: the request entry points and the building of virtual devices.
#include <cstring>
#include <string>

#include "COMD.h"
#include "ObjectSupport.h"
#include "PDEV.h"
#include "POSQ.h"
#include "Process.h"
#include "Slot.h"
#include "VDEV.h"
#include "syproc.h"

namespace {

void trace(uint32_t minor, std::initializer_list<uint32_t> words) {
    uint32_t data[8] = {};
    size_t n = 0;
    for (uint32_t w : words)
        if (n < 8) data[n++] = w;
    clTrace(kProcessTraceComponent, minor, data, static_cast<uint32_t>(n * sizeof(uint32_t)), 0);
}

// Requests whose argument names are raw bytes (user-defined characters), not strings.
bool rawNameRequest(int request) { return request == 4402 || request == 4909; }

// One line per argument; the names have been checked to be readable strings.
void printArgs(const PosArg* args, int count) {
    for (int i = 0; args && i < count; ++i)
        tprintf("arg[%d].name='%s', value=0x%x(%d)\n", i, args[i].name ? args[i].name : "(null)",
                static_cast<unsigned>(args[i].value), static_cast<int>(args[i].value));
}

// The checked length of a readable string against 1 .. limit: 0, or badLength.
int checkLength(const unsigned char* s, size_t limit, int badLength) {
    const size_t n = std::strlen(reinterpret_cast<const char*>(s));
    return n >= 1 && n <= limit ? 0 : badLength;
}

bool writableInt(const int* p) {
    return chCheckBuffer(p, static_cast<int>(sizeof(int)), CH_ACCESS_WRITE) == 0;
}

} // namespace

// ---------------------------------------------------------------------------------------
// Initialise.

int Process::DLL_PosInitialize(ServiceConnection* connection, const unsigned char* applicationName,
                               const unsigned char* resourceFile, PosArg* args, int count) {
    trace(1, {traceWord(applicationName), traceWord(resourceFile), traceWord(args),
              static_cast<uint32_t>(count), 0, 0});
    int rc = initialized_ ? 304 : 0;
    if (rc == 0) rc = chCheckBuffer(applicationName, 0, CH_ACCESS_STRING);
    if (rc == 0) rc = chCheckBuffer(resourceFile, 0, CH_ACCESS_STRING);
    if (rc == 0) rc = CheckArgsNargs(args, count);
    if (rc == 0) rc = checkLength(applicationName, kMaxNameLength, 330);
    if (rc == 0) {
        // The name is kept in a field of 257 characters: a longer one is refused as well.
        const int hostLimit = chGetMaxPathFileLength();
        const size_t limit = hostLimit > 0 && hostLimit < kMaxResourceFileLength
                                 ? static_cast<size_t>(hostLimit)
                                 : static_cast<size_t>(kMaxResourceFileLength);
        rc = checkLength(resourceFile, limit, 336);
    }
    if (rc == 0) {
        // Only names that passed the checks are printed.
        tprintf("PosInitialize(%s, %s, %d)\n", reinterpret_cast<const char*>(applicationName),
                reinterpret_cast<const char*>(resourceFile), count);
        printArgs(args, count);
        rc = InitProcess(applicationName, resourceFile, args, count, connection);
        if (rc == 0) initialized_ = 1;
    }
    trace(17, {static_cast<uint32_t>(rc)});
    return rc;
}

// ---------------------------------------------------------------------------------------
// Open.

int Process::DetermineDevID(const unsigned char* resourceName, const unsigned char* className,
                            DeviceID& id, PosArg* args, int count) {
    // The resource manager matches a name only against a class of the same depth: the
    // class takes the place of the last component of the name (shop.receipt.slotNumber
    // has the class shop.PosPrinter.SlotNumber), so that class resources such as
    // *PosPrinter.SlotNumber or *SlotNumber apply to every device of the class.
    const std::string name = reinterpret_cast<const char*>(resourceName);
    const std::string::size_type dot = name.rfind('.');
    const std::string classPrefix = (dot == std::string::npos ? std::string() : name.substr(0, dot + 1)) +
                                    reinterpret_cast<const char*>(className);
    ProcessResourceValues values;
    posResources table[ProcessResourceValues::kRows];
    values.MakeTable(table);
    int rc = XrmLoadResources(database_, name.c_str(), classPrefix.c_str(), table,
                              ProcessResourceValues::kRows);
    XrmDumpResources(table, ProcessResourceValues::kRows);
    if (rc != 0) return rc;
    id = DeviceID(static_cast<uint8_t>(values.slotNumber), static_cast<uint8_t>(values.portNumber),
                  static_cast<uint8_t>(values.deviceNumber));
    for (int i = 0; args && i < count; ++i) {
        const PosArg& arg = args[i];
        if (!arg.name) continue;
        if (std::strcmp(arg.name, "slotNumber") == 0)
            id.slot = static_cast<uint8_t>(arg.value);
        else if (std::strcmp(arg.name, "portNumber") == 0)
            id.port = static_cast<uint8_t>(arg.value);
        else if (std::strcmp(arg.name, "deviceNumber") == 0)
            id.device = static_cast<uint8_t>(arg.value);
    }
    return 0;
}

int Process::MakeVirtual(const DeviceID& id, int handle, VDEV*& vdev,
                         const unsigned char* className) {
    vdev = nullptr;
    long vdevType = 700; // the internal device at address 0xFF
    if (id.device != 0xFF) {
        unsigned char classType = 0;
        int rc = ValidateClass(className, classType);
        if (rc == 0) rc = ValidateAdapterAndPort(id);
        if (rc == 0) rc = ValidateDevice(id.device);
        if (rc == 0) rc = ValidateClassDeviceCombo(classType, id.device);
        if (rc != 0) return rc;

        PDEV* pdev = nullptr;
        rc = pcomd->GetSlot(id.slot)->FindPhysical(id, pdev);
        if (rc != 0) return rc;
        if (!pdev) return 317;
        if (chCheckBuffer(pdev, static_cast<int>(sizeof(PDEV)), CH_ACCESS_READ) != 0) return 321;
        if (!pdev->Confirmed(id.device)) return 317;
        unsigned char deviceType = 0;
        rc = pdev->GetVdevInfo(id.device, deviceType, vdevType);
        if (rc != 0) return rc;
        if (deviceType != classType) return 317;
    }

    VDEV* made = nullptr;
    int rc = ObjectSupport::MakeVirtualObject(static_cast<unsigned short>(vdevType), id, handle, made);
    if (rc != 0) return rc == -1 ? 321 : rc; // -1: no class registered for the type
    if (!made || chCheckBuffer(made, static_cast<int>(sizeof(VDEV)), CH_ACCESS_WRITE) != 0)
        return 321;
    rc = made->StoreProcessInformation(processId_, queue_, database_);
    if (rc != 0) {
        delete made;
        return rc;
    }
    tprintf("--> %s (%x.%x.%x) created\n", made->NameTag(), id.slot, id.port, id.device);
    vdev = made;
    return 0;
}

int Process::DLL_PosOpen(_AppMessage* /*msg*/, const unsigned char* deviceName,
                         const unsigned char* className, PosArg* args, int count, int* handle) {
    trace(2, {traceWord(deviceName), traceWord(className), traceWord(args),
              static_cast<uint32_t>(count)});
    int h = 0;
    int rc = initialized_ ? 0 : 302;
    if (rc == 0) rc = chCheckBuffer(deviceName, 0, CH_ACCESS_STRING);
    if (rc == 0) rc = chCheckBuffer(className, 0, CH_ACCESS_STRING);
    if (rc == 0) rc = CheckArgsNargs(args, count);
    if (rc == 0) rc = chCheckBuffer(handle, static_cast<int>(sizeof(int)), CH_ACCESS_WRITE);
    if (rc == 0) rc = checkLength(deviceName, kMaxNameLength, 330);
    if (rc == 0) rc = checkLength(className, kMaxNameLength, 331);
    if (rc == 0) {
        tprintf("PosOpen(%s, %s, args, %d)\n", reinterpret_cast<const char*>(deviceName),
                reinterpret_cast<const char*>(className), count);
        printArgs(args, count);
        for (h = 1; h < handleLimit_ && devices_[h]; ++h) {
        }
        if (h >= handleLimit_) {
            h = 0;
            rc = 309;
        }
    }
    if (rc == 0) {
        const std::string resourceName =
            std::string(applicationName_) + "." + reinterpret_cast<const char*>(deviceName);
        const auto* resource = reinterpret_cast<const unsigned char*>(resourceName.c_str());
        DeviceID id;
        VDEV* vdev = nullptr;
        rc = DetermineDevID(resource, className, id, args, count);
        if (rc == 0) rc = pcomd ? pcomd->ValidateSlot(id.slot) : 326;
        if (rc == 0) rc = MakeVirtual(id, h, vdev, className);
        if (rc == 0) {
            vdev->InitializeEnvironment(ranges_, codePage_, secondCode_,
                                        static_cast<unsigned long>(clientId_));
            rc = vdev->Open(resource, className, args, count);
            if (rc == 0) {
                handleLock_.Acquire(15);
                devices_[h] = vdev;
                handleLock_.Release();
                *handle = h;
            } else {
                delete vdev;
            }
        }
        if (rc != 0) h = 0;
    }
    trace(18, {static_cast<uint32_t>(rc), static_cast<uint32_t>(h)});
    return rc;
}

// ---------------------------------------------------------------------------------------
// Read, write, I/O control, close.

int Process::DLL_PosRead(_AppMessage* /*msg*/, int handle, void* buffer, unsigned int length,
                         int* count) {
    trace(4, {static_cast<uint32_t>(handle), traceWord(buffer), length});
    int n = 0;
    const bool countOk = writableInt(count);
    int rc = initialized_ ? 0 : 302;
    if (rc == 0 && length != 0) {
        rc = chCheckBuffer(buffer, static_cast<int>(length), CH_ACCESS_WRITE);
        if (rc == 0) rc = chCheckBuffer(count, static_cast<int>(sizeof(int)), CH_ACCESS_WRITE);
        if (rc == 0) rc = ValidateHandle(handle);
    }
    if (rc == 0 && length != 0) {
        if (handle == 0) {
            rc = queue_->Read(buffer, length, n);
        } else {
            VDEV* vdev = devices_[handle];
            vdev->Lock();
            rc = vdev->Read(buffer, length, n);
            vdev->Unlock();
        }
    }
    if (countOk) *count = n;
    trace(20, {static_cast<uint32_t>(rc), static_cast<uint32_t>(n)});
    return rc;
}

int Process::DLL_PosWrite(_AppMessage* /*msg*/, int handle, const void* buffer,
                          unsigned int length, int* count) {
    trace(5, {static_cast<uint32_t>(handle), traceWord(buffer), length});
    int n = 0;
    const bool countOk = writableInt(count);
    int rc = initialized_ ? 0 : 302;
    if (rc == 0 && length != 0) {
        rc = chCheckBuffer(buffer, static_cast<int>(length), CH_ACCESS_READ);
        if (rc == 0) rc = chCheckBuffer(count, static_cast<int>(sizeof(int)), CH_ACCESS_WRITE);
        if (rc == 0) rc = ValidateHandle(handle);
    }
    if (rc == 0 && length != 0) {
        if (handle == 0) {
            // Events come from devices only: a client cannot write (or forge) them.
            rc = 311;
        } else {
            VDEV* vdev = devices_[handle];
            vdev->Lock();
            rc = vdev->Write(buffer, length, n);
            vdev->Unlock();
        }
    }
    if (countOk) *count = n;
    trace(21, {static_cast<uint32_t>(rc), static_cast<uint32_t>(n)});
    return rc;
}

int Process::DLL_PosIOCtl(_AppMessage* /*msg*/, int handle, int request, PosArg* args, int count,
                          int* out) {
    trace(6, {static_cast<uint32_t>(handle), static_cast<uint32_t>(request), traceWord(args),
              static_cast<uint32_t>(count)});
    int value = 0;
    int rc = initialized_ ? 0 : 302;
    const bool raw = rawNameRequest(request);
    if (rc == 0) rc = raw ? checkArgList(args, count) : CheckArgsNargs(args, count);
    if (rc == 0) {
        if (raw) {
            for (int i = 0; i < count; ++i)
                tprintf("(User Defined Char) arg[%d].name='0x%x'\n", i,
                        static_cast<unsigned>(reinterpret_cast<uintptr_t>(args[i].name)));
        } else {
            printArgs(args, count);
        }
    }
    if (rc == 0) rc = chCheckBuffer(out, static_cast<int>(sizeof(int)), CH_ACCESS_WRITE);
    if (rc == 0) rc = ValidateHandle(handle);
    if (rc == 0) {
        if (handle == 0) {
            rc = IOCtl(request, args, count, value);
        } else {
            VDEV* vdev = devices_[handle];
            vdev->Lock();
            rc = vdev->IOCtl(request, args, count, value);
            vdev->Unlock();
        }
        *out = value;
    }
    trace(22, {static_cast<uint32_t>(rc), static_cast<uint32_t>(value)});
    return rc;
}

int Process::DLL_PosClose(_AppMessage* /*msg*/, int handle) {
    trace(3, {static_cast<uint32_t>(handle)});
    int rc = initialized_ ? 0 : 302;
    if (rc == 0) rc = ValidateHandle(handle);
    if (rc == 0 && handle == 0) rc = 311;
    if (rc == 0) {
        VDEV* vdev = devices_[handle];
        int ignored = 0;
        vdev->Lock();
        vdev->IOCtl(POS_SYS_RELEASE_DEVICE, nullptr, 0, ignored);
        vdev->Unlock();
        // Out of the table before it goes, so that no release notice reaches it.
        handleLock_.Acquire(15);
        devices_[handle] = nullptr;
        handleLock_.Release();
        int remaining = 0;
        rc = vdev->Close(remaining);
        delete vdev;
    }
    trace(19, {static_cast<uint32_t>(rc)});
    return rc;
}
