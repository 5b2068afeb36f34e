// The client API functions: argument checks, one request per call through a connection, and
// descriptor 0 served from the local event queue.
#include <strings.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "apihelpers.h"
#include "apipath.h"
#include "apistate.h"
#include "apitrace.h"
#include "ovkapi.h"
#include "ovkargs.h"
#include "ovkwire.h"
#include "posqueue.h"

using namespace ovkwire;

namespace {

constexpr size_t kMaxApplName = 32;
constexpr size_t kMaxDeviceName = 32;

const char* const kDeviceClasses[] = {"PosAlarm", "PosDrawer",  "PosDisplay", "PosKeyboard",
                                      "PosMsr",   "PosNvram",   "PosPower",   "PosPrinter",
                                      "PosRs232", "PosScale",   "PosScanner", "PosTouch"};

bool invalidAddress(const volatile void* p) {
    return apiCheckBuffer(p, 0, apiReadAccess) != 0;
}

// Text for a trace of a caller's string that may not be a valid address.
const char* shown(const char* s) { return invalidAddress(s) ? "(null)" : s; }

bool named(const PosArg& a, const char* name) {
    return !invalidAddress(a.name) && std::strcmp(a.name, name) == 0;
}

int fail(int code) {
    errno = code;
    return -1;
}

// Traces a function's result without disturbing errno.
int traced(const char* function, int result) {
    int e = errno;
    if (result < 0)
        apitrace("%s() returning %d, errno = 0x%x(%d)\n", function, result, e, e);
    else
        apitrace("%s() returning %d\n", function, result);
    errno = e;
    return result;
}

// The default read time-out of descriptor 0 from the first "readTimeout" line of the system
// resource file; 0 without one or when its value is not a whole number of -1 or more.
long defaultReadTimeout() {
    std::string path = apiOvkPath("/etc/ovksys.res");
    FILE* f = std::fopen(path.c_str(), "re");
    if (!f) return 0;
    long result = 0;
    char line[80];
    while (std::fgets(line, sizeof line, f)) {
        char* save = nullptr;
        char* first = strtok_r(line, " \t\n:", &save);
        if (!first || first[0] == '!' || std::strcmp(first, "readTimeout") != 0) continue;
        char* value = strtok_r(nullptr, " \t\n:", &save);
        if (!value) continue;
        char* end = nullptr;
        errno = 0;
        long v = std::strtol(value, &end, 0);
        if (errno == 0 && *end == '\0' && v >= -1 && v <= INT_MAX) result = v;
        break;
    }
    std::fclose(f);
    return result;
}

// The connection for requests on descriptor 0: the local one, else the first remote one.
Service* systemService(ApiState& st) {
    if (st.serviceTable[0].service) return st.serviceTable[0].service.get();
    return st.serviceTable[1].service.get();
}

// Serialises the arguments into `block` (room bytes at most); the length, or -1 with errno.
int serialize(std::vector<uint8_t>& block, size_t room, PosArg* args, int nargs, int request) {
    block.assign(room, 0);
    int len = apiSerializePosArgs(block.data(), static_cast<unsigned int>(room), args, nargs, request);
    if (len >= 0) block.resize(static_cast<size_t>(len));
    return len;
}

// Builds a request with `encode` into the request buffer, sends it and returns the rc; the
// caller holds `lock` on the buffers mutex and reads the reply before releasing it.
template <class R>
int exchange(Service* service, std::unique_lock<std::mutex>& lock, const R& request) {
    ApiState& st = apiState();
    size_t length = encodeRequest(st.requestBuffer, sizeof st.requestBuffer, request);
    if (length == 0) return fail(POSERR_SYS_INTERNAL_ERROR);
    return service->sendRequest(lock, static_cast<unsigned int>(length));
}

int doInitialize(char* applName, char* resFile, PosArg* args, int nargs) {
    ApiState& st = apiState();
    long readTimeout = defaultReadTimeout();
    const char* host = nullptr;
    bool hostGiven = false;
    bool haveArgs = !invalidAddress(args) && nargs > 0;
    for (int i = 0; haveArgs && i < nargs; ++i) {
        if (named(args[i], "readTimeout")) {
            long v = static_cast<int32_t>(args[i].value);
            readTimeout = v < 0 ? -1 : v;
        } else if (named(args[i], "deviceHost")) {
            host = reinterpret_cast<const char*>(args[i].value);
            hostGiven = true;
        }
    }

    // The connection slot: 0 for the local daemon, else the remote host's entry.
    int slot = -1;
    if (hostGiven && invalidAddress(host)) return fail(POSERR_SYS_INVALID_ADDRESS);
    if (!hostGiven || strcasecmp(host, "localhost") == 0 || std::strcmp(host, "127.0.0.1") == 0) {
        if (st.serviceTable[0].service) return fail(POSERR_SYS_ALREADY_INITIALIZED);
        slot = 0;
    } else {
        for (int i = 1; i < ApiState::TABLE_SIZE; ++i) {
            ServiceEntry& e = st.serviceTable[i];
            if (e.service && strcasecmp(e.host.c_str(), host) == 0)
                return fail(POSERR_SYS_ALREADY_INITIALIZED);
            if (!e.service && slot < 0) slot = i;
        }
        if (slot < 0) return fail(POSERR_SYS_SERVICE_NOT_AVAILABLE);
    }

    if (invalidAddress(applName) || invalidAddress(resFile)) return fail(POSERR_SYS_INVALID_ADDRESS);
    size_t nameLen = std::strlen(applName);
    if (nameLen == 0 || nameLen > kMaxApplName) return fail(POSERR_SYS_INVALID_NAME);
    size_t resLen = std::strlen(resFile);
    if (resLen == 0 || resLen > apiGetMaxPathFileLength()) return fail(POSERR_SYS_INVALID_FILE);
    if (invalidAddress(args) && nargs > 0) return fail(POSERR_SYS_INVALID_ADDRESS);
    if (nargs < 0) return fail(POSERR_SYS_INVALID_NARGS);
    if (!haveArgs) {
        args = nullptr;
        nargs = 0;
    }

    Service* service = new (std::nothrow) Service(slot);
    if (!service) return fail(POSERR_SYS_MEMORY_ALLOCATION);
    bool connected;
    if (!hostGiven) {
        std::string local = apiOvkPath("/tmp/.ovkctrl");
        connected = service->open(local.c_str()) || service->open("localhost", "ovkctrl") ||
                    service->open("127.0.0.1", "ovkctrl");
    } else {
        connected = service->open(host, "ovkctrl");
    }
    if (!connected) {
        delete service;
        return fail(POSERR_SYS_SERVICE_NOT_AVAILABLE);
    }

    int rc;
    int err;
    {
        std::unique_lock<std::mutex> lock(st.buffersMutex);
        InitializeRequest r;
        r.applName = applName;
        apitrace("applName == %s\n", applName);
        std::vector<char> resolved(apiGetMaxPathFileLength() + 1);
        r.resFile = resFile;
        if (slot == 0) {
            apitrace("resolving pathname for %s on local host\n", resFile);
            if (apiSearchPath(resFile, "POSAPPLRESDIR", resolved.data(),
                              static_cast<unsigned int>(resolved.size())) == 0)
                r.resFile = resolved.data();
        }
        apitrace("res file == %s\n", std::string(r.resFile).c_str());
        std::vector<uint8_t> block;
        size_t room = MESSAGE_BUFFER_SIZE - INITIALIZE_FIXED_SIZE - pad4(r.applName.size() + 1) -
                      pad4(r.resFile.size() + 1);
        if (serialize(block, room, args, nargs, 0) < 0) block.clear(); // sent without arguments
        r.argBlock = ByteSpan(block.data(), block.size());
        r.nargs = static_cast<uint16_t>(nargs > 0xFFFF ? 0xFFFF : nargs);
        apiQueryCpInfo(r.codePage);
        leadByteRanges(r.codePage, r.leadBytes);
        rc = exchange(service, lock, r);
        err = errno;
    }
    if (rc < 0) {
        delete service; // outside the buffers mutex: its thread may be waiting for it
        return fail(err);
    }
    ServiceEntry& e = st.serviceTable[slot];
    try {
        e.host = slot > 0 ? std::string(host) : std::string();
    } catch (const std::bad_alloc&) {
        delete service;
        return fail(POSERR_SYS_MEMORY_ALLOCATION);
    }
    e.service.reset(service);
    PosQueue::instance().setReadTimeout(readTimeout);
    return slot;
}

int doOpen(char* name, char* className, PosArg* args, int nargs) {
    ApiState& st = apiState();
    if (!st.initialized()) return fail(POSERR_SYS_NOT_INITIALIZED);
    if (invalidAddress(name) || strnlen(name, kMaxDeviceName + 1) > kMaxDeviceName)
        return fail(POSERR_SYS_INVALID_NAME);
    bool known = false;
    if (!invalidAddress(className))
        for (const char* c : kDeviceClasses) known = known || std::strcmp(className, c) == 0;
    if (!known) return fail(POSERR_SYS_INVALID_CLASS);
    if (invalidAddress(args) && nargs > 0) return fail(POSERR_SYS_INVALID_ADDRESS);
    if (nargs < 0) return fail(POSERR_SYS_INVALID_NARGS);
    if (invalidAddress(args) || nargs == 0) {
        args = nullptr;
        nargs = 0;
    }

    unsigned long servdes = 0;
    for (int i = 0; i < nargs; ++i) {
        if (named(args[i], "serviceDescriptor")) {
            servdes = static_cast<unsigned int>(args[i].value);
            break;
        }
    }
    if (servdes > 255) return fail(POSERR_SYS_INVALID_DESCRIPTOR);
    Service* service = st.serviceTable[servdes].service.get();
    if (!service) return fail(POSERR_SYS_NOT_INITIALIZED);

    int devdes = 1;
    while (devdes < ApiState::TABLE_SIZE && st.devdesTable[devdes].serverDes != 0) ++devdes;
    if (devdes == ApiState::TABLE_SIZE) return fail(POSERR_SYS_TOO_MANY_DEVICES);

    OpenRequest r;
    r.deviceName = name;
    r.className = className;
    std::vector<uint8_t> block;
    size_t room = MESSAGE_BUFFER_SIZE - OPEN_FIXED_SIZE - pad4(r.deviceName.size() + 1) -
                  pad4(r.className.size() + 1);
    if (serialize(block, room, args, nargs, 0) < 0) return -1;
    r.argBlock = ByteSpan(block.data(), block.size());
    r.nargs = static_cast<uint16_t>(nargs > 0xFFFF ? 0xFFFF : nargs);

    std::unique_lock<std::mutex> lock(st.buffersMutex);
    int rc = exchange(service, lock, r);
    if (rc <= 0) return rc < 0 ? -1 : 0;
    if ((rc & 0xFF) == 0) return fail(POSERR_SYS_INTERNAL_ERROR); // no descriptor to keep
    st.devdesTable[devdes].servdes = static_cast<uint8_t>(servdes);
    st.devdesTable[devdes].serverDes = static_cast<uint8_t>(rc & 0xFF);
    return devdes;
}

// The connection and server descriptor of a device descriptor that is in use, or null.
Service* deviceService(ApiState& st, int devdes, uint8_t& serverDes) {
    const DevdesEntry& e = st.devdesTable[devdes];
    serverDes = e.serverDes;
    return st.serviceTable[e.servdes].service.get();
}

bool badDescriptor(ApiState& st, int devdes) {
    return devdes < 0 || devdes > 255 || (devdes != 0 && st.devdesTable[devdes].serverDes == 0);
}

int readQueue(void* buf, unsigned int nbytes) {
    ApiState& st = apiState();
    {
        std::lock_guard<std::mutex> api(st.apiMutex);
        if (!st.initialized()) return fail(POSERR_SYS_NOT_INITIALIZED);
    }
    if (invalidAddress(buf)) return fail(POSERR_SYS_INVALID_ADDRESS);
    if (nbytes > INT_MAX) return fail(POSERR_SYS_INVALID_LENGTH);
    if (nbytes < static_cast<unsigned int>(PosQueue::SIZEOF_POSQMSG))
        return fail(POSERR_SYS_BUFFER_TOO_SMALL);
    return PosQueue::instance().read(static_cast<_POSQMSG*>(buf));
}

int readDevice(int devdes, void* buf, unsigned int nbytes) {
    ApiState& st = apiState();
    if (!st.initialized()) return fail(POSERR_SYS_NOT_INITIALIZED);
    if (badDescriptor(st, devdes)) return fail(POSERR_SYS_INVALID_DESCRIPTOR);
    if (invalidAddress(buf)) return fail(POSERR_SYS_INVALID_ADDRESS);
    if (nbytes > MAX_READ_BYTES) return fail(POSERR_SYS_INVALID_LENGTH);
    ReadRequest r;
    Service* service = deviceService(st, devdes, r.device);
    if (!service) return fail(POSERR_SYS_SERVICE_NOT_AVAILABLE);
    r.data = ByteSpan(buf, nbytes);
    std::unique_lock<std::mutex> lock(st.buffersMutex);
    int rc = exchange(service, lock, r);
    if (rc <= 0) return rc;
    // Never more than asked for, nor more than the reply carries.
    size_t n = static_cast<size_t>(rc);
    if (n > nbytes) n = nbytes;
    if (n > st.reply.dataLength) n = st.reply.dataLength;
    std::memcpy(buf, st.replyData, n);
    return static_cast<int>(n);
}

int doWrite(int devdes, void* buf, unsigned int nbytes) {
    ApiState& st = apiState();
    if (!st.initialized()) return fail(POSERR_SYS_NOT_INITIALIZED);
    if (badDescriptor(st, devdes)) return fail(POSERR_SYS_INVALID_DESCRIPTOR);
    if (invalidAddress(buf)) return fail(POSERR_SYS_INVALID_ADDRESS);
    if (nbytes > MAX_WRITE_BYTES) return fail(POSERR_SYS_INVALID_LENGTH);
    if (devdes == 0) return fail(POSERR_SYS_FUNCTION_NOT_SUPPORTED);
    WriteRequest r;
    Service* service = deviceService(st, devdes, r.device);
    if (!service) return fail(POSERR_SYS_SERVICE_NOT_AVAILABLE);
    r.data = ByteSpan(buf, nbytes);
    std::unique_lock<std::mutex> lock(st.buffersMutex);
    return exchange(service, lock, r);
}

int doIOCtl(int devdes, int request, PosArg* args, int nargs) {
    ApiState& st = apiState();
    if (!st.initialized()) return fail(POSERR_SYS_NOT_INITIALIZED);
    if (badDescriptor(st, devdes)) return fail(POSERR_SYS_INVALID_DESCRIPTOR);
    if (invalidAddress(args) && nargs > 0) return fail(POSERR_SYS_INVALID_ADDRESS);
    if (nargs < 0) return fail(POSERR_SYS_INVALID_NARGS);
    if (invalidAddress(args) || nargs == 0) {
        args = nullptr;
        nargs = 0;
    }
    IOCtlRequest r;
    Service* service;
    if (devdes == 0) service = systemService(st);
    else service = deviceService(st, devdes, r.device);
    if (!service) return fail(POSERR_SYS_SERVICE_NOT_AVAILABLE);
    r.request = static_cast<uint16_t>(request);
    std::vector<uint8_t> block;
    int len = serialize(block, MAX_IOCTL_ARGS, args, nargs, request);
    apitrace("args length == %d\n", len);
    if (len < 0) return fail(POSERR_SYS_INTERNAL_ERROR);
    r.argBlock = ByteSpan(block.data(), block.size());
    r.nargs = static_cast<uint16_t>(nargs > 0xFFFF ? 0xFFFF : nargs);

    int rc;
    {
        std::unique_lock<std::mutex> lock(st.buffersMutex);
        rc = exchange(service, lock, r);
        if (rc == 0 && request == POS_SYS_GET_VALUES &&
            apiDeserializePosArgs(st.replyData, st.reply.dataLength, args, nargs) != 0)
            return fail(POSERR_SYS_INTERNAL_ERROR); // a malformed reply block
    }
    if (devdes == 0 && rc == 0 && (request == POS_SYS_SET_VALUES || request == POS_SYS_GET_VALUES)) {
        PosQueue& q = PosQueue::instance();
        for (int i = 0; i < nargs; ++i) {
            if (!named(args[i], "readTimeout")) continue;
            if (request == POS_SYS_SET_VALUES) q.setReadTimeout(static_cast<int32_t>(args[i].value));
            else if (request == POS_SYS_GET_VALUES) args[i].value = q.getReadTimeout();
        }
    }
    return rc;
}

int doClose(int devdes) {
    ApiState& st = apiState();
    if (!st.initialized()) return fail(POSERR_SYS_NOT_INITIALIZED);
    if (devdes < 0 || devdes > 255) return fail(POSERR_SYS_INVALID_DESCRIPTOR);
    if (devdes == 0) return fail(POSERR_SYS_FUNCTION_NOT_SUPPORTED);
    if (st.devdesTable[devdes].serverDes == 0) return fail(POSERR_SYS_INVALID_DESCRIPTOR);
    CloseRequest r;
    Service* service = deviceService(st, devdes, r.device);
    int rc;
    if (!service) {
        rc = fail(POSERR_SYS_SERVICE_NOT_AVAILABLE);
    } else {
        std::unique_lock<std::mutex> lock(st.buffersMutex);
        rc = exchange(service, lock, r);
    }
    st.devdesTable[devdes] = DevdesEntry{}; // freed whatever the daemon said
    return rc;
}

int doTerm() {
    ApiState& st = apiState();
    bool any = false;
    for (ServiceEntry& e : st.serviceTable) {
        if (e.service) any = true;
        e.service.reset(); // stops its thread and closes the socket; nothing is sent
        e.host.clear();
    }
    for (DevdesEntry& d : st.devdesTable) d = DevdesEntry{};
    return any ? 0 : fail(POSERR_SYS_NOT_INITIALIZED);
}

} // namespace

extern "C" {

int PosInitialize(char* applName, char* resFile, int, int, PosArg* args, int nargs) {
    apitrace("PosInitialize(name=%s, file=%s, nargs=%d) entered\n", shown(applName), shown(resFile),
             nargs);
    std::lock_guard<std::mutex> api(apiState().apiMutex);
    return traced("PosInitialize", doInitialize(applName, resFile, args, nargs));
}

int PosOpen(char* name, char* className, PosArg* args, int nargs) {
    apitrace("PosOpen(%s, %s, %p, %d) entered\n", shown(name), shown(className),
             static_cast<void*>(args), nargs);
    std::lock_guard<std::mutex> api(apiState().apiMutex);
    return traced("PosOpen", doOpen(name, className, args, nargs));
}

int PosRead(int devdes, void* buf, unsigned int nbytes) {
    apitrace("PosRead(devdes=%d, nbytes=%u) entered\n", devdes, nbytes);
    if (nbytes == 0) return traced("PosRead", 0);
    ApiState& st = apiState();
    if (devdes == 0) {
        std::lock_guard<std::mutex> posq(st.posqMutex);
        return traced("PosRead", readQueue(buf, nbytes));
    }
    std::lock_guard<std::mutex> api(st.apiMutex);
    return traced("PosRead", readDevice(devdes, buf, nbytes));
}

int PosWrite(int devdes, void* buf, unsigned int nbytes) {
    apitrace("PosWrite(devdes=%d, nbytes=%u) entered\n", devdes, nbytes);
    if (nbytes == 0) return traced("PosWrite", 0);
    std::lock_guard<std::mutex> api(apiState().apiMutex);
    return traced("PosWrite", doWrite(devdes, buf, nbytes));
}

int PosIOCtl(int devdes, int request, PosArg* args, int nargs) {
    apitrace("PosIOCtl(devdes=%d, request=0x%x(%d), nargs=%d) entered\n", devdes, request, request,
             nargs);
    std::lock_guard<std::mutex> api(apiState().apiMutex);
    return traced("PosIOCtl", doIOCtl(devdes, request, args, nargs));
}

int PosClose(int devdes) {
    apitrace("PosClose(devdes=%d) entered\n", devdes);
    std::lock_guard<std::mutex> api(apiState().apiMutex);
    return traced("PosClose", doClose(devdes));
}

int PosTerm(void) {
    apitrace("PosTerm() entered\n");
    std::lock_guard<std::mutex> api(apiState().apiMutex);
    return traced("PosTerm", doTerm());
}

int PosVersion(int* version, int* release, int* modification) {
    ApiState& st = apiState();
    std::lock_guard<std::mutex> api(st.apiMutex);
    int rc;
    VersionInfo v;
    if (!st.initialized()) {
        rc = fail(POSERR_SYS_NOT_INITIALIZED);
    } else if (invalidAddress(version) || invalidAddress(release) || invalidAddress(modification)) {
        rc = fail(POSERR_SYS_INVALID_ADDRESS);
    } else {
        std::unique_lock<std::mutex> lock(st.buffersMutex);
        rc = exchange(systemService(st), lock, VersionRequest{});
        if (rc >= 0) v = decodeVersionData(ByteSpan(st.replyData, st.reply.dataLength));
    }
    int e = errno;
    if (rc < 0) {
        apitrace("PosVersion() returning %d, errno = 0x%x(%d)\n", rc, e, e);
        errno = e;
        return -1;
    }
    *version = v.version;
    *release = v.release;
    *modification = v.modification;
    apitrace("PosVersion() returning %d, ver.rel.mod=%d.%d.%d\n", rc, *version, *release,
             *modification);
    errno = e;
    return rc;
}

int PosErrno(void) { return errno; }

} // extern "C"
