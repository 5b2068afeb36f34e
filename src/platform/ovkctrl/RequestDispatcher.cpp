#include "RequestDispatcher.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <type_traits>

#include "DaemonLog.h"
#include "Process.h"
#include "ProcessHost.h"

using namespace ovkwire;

#ifndef OVKCTRL_VERSION
#define OVKCTRL_VERSION 1
#endif
#ifndef OVKCTRL_RELEASE
#define OVKCTRL_RELEASE 0
#endif
#ifndef OVKCTRL_MODIFICATION
#define OVKCTRL_MODIFICATION 0
#endif

namespace {

// Error codes the daemon gives of its own.
constexpr int kNotInitialized = 302;
constexpr int kNoMemory = 305;
constexpr int kBufferTooSmall = 312;
constexpr int kInternalError = 321;
constexpr int kGetValues = 302; // POS_SYS_GET_VALUES

const unsigned char* text(std::string_view s) {
    // The request decoder checked that every string is followed by its NUL.
    return reinterpret_cast<const unsigned char*>(s.data());
}

} // namespace

VersionInfo RequestDispatcher::DaemonVersion() {
    return VersionInfo{OVKCTRL_VERSION, OVKCTRL_RELEASE, OVKCTRL_MODIFICATION};
}

RequestDispatcher::RequestDispatcher(ProcessHost& host, ServiceConnection* connection,
                                     int processId)
    : host_(host), connection_(connection), processId_(processId) {
    encodeVersionData(DaemonVersion(), version_);
}

RequestDispatcher::~RequestDispatcher() { End(); }

void RequestDispatcher::End() {
    if (!process_) return;
    if (registered_) host_.RemoveProcess(processId_);
    registered_ = false;
    delete process_;
    process_ = nullptr;
}

RequestDispatcher::Result RequestDispatcher::Fail(int code) {
    Result r;
    r.rc = -1;
    r.error = code;
    return r;
}

RequestDispatcher::Result RequestDispatcher::Done(int rc, int value) {
    if (rc != 0) return Fail(rc);
    Result r;
    // A successful reply carries no negative rc: the client would take it for a failure.
    r.rc = value < 0 ? 0 : value;
    return r;
}

size_t RequestDispatcher::Dispatch(Request& request, uint8_t* reply) {
    ReplyHeader header;
    Result result;
    try {
        result = std::visit(
            [this, &header](auto& r) -> Result {
                using T = std::decay_t<decltype(r)>;
                header.handle = r.handle;
                if constexpr (std::is_same_v<T, VersionRequest>) {
                    return Version();
                } else if constexpr (std::is_same_v<T, InitializeRequest>) {
                    return Initialize(r);
                } else {
                    if (!registered_) return Fail(kNotInitialized);
                    if constexpr (std::is_same_v<T, OpenRequest>) return Open(r);
                    else if constexpr (std::is_same_v<T, IOCtlRequest>) return IOCtl(r);
                    else if constexpr (std::is_same_v<T, ReadRequest>) return Read(r);
                    else if constexpr (std::is_same_v<T, WriteRequest>) return Write(r);
                    else return Close(r);
                }
            },
            request);
    } catch (const std::exception& e) {
        daemonLog("process %d: request failed in the core: %s", processId_, e.what());
        result = Fail(kInternalError);
    } catch (...) {
        daemonLog("process %d: request failed in the core", processId_);
        result = Fail(kInternalError);
    }
    header.rc = result.rc;
    header.error = result.error;
    header.dataLength = static_cast<uint32_t>(result.data.size);
    size_t n = encodeReply(reply, REPLY_BUFFER_SIZE, header, result.data);
    if (n == 0) {
        header.rc = -1;
        header.error = kInternalError;
        header.dataLength = 0;
        n = encodeReply(reply, REPLY_BUFFER_SIZE, header, ByteSpan());
    }
    return n;
}

RequestDispatcher::Result RequestDispatcher::Version() {
    Result r;
    r.data = ByteSpan(version_, sizeof version_);
    return r;
}

RequestDispatcher::Result RequestDispatcher::Initialize(InitializeRequest& r) {
    if (registered_) {
        // The core answers a second initialise (304) and keeps the process as it is.
        return Done(process_->DLL_PosInitialize(connection_, text(r.applName), text(r.resFile),
                                                r.args.data(), r.args.size()),
                    0);
    }
    // A process left by an Initialize that the core broke off with an exception goes first.
    delete process_;
    process_ = host_.NewProcess(processId_);
    if (!process_) return Fail(kNoMemory);
    unsigned char ranges[LEAD_BYTES_SIZE];
    std::memcpy(ranges, r.leadBytes, sizeof ranges);
    process_->InitializeEnvironment(ranges, r.codePage, 0, 0,
                                    static_cast<unsigned long>(processId_));
    int rc = process_->DLL_PosInitialize(connection_, text(r.applName), text(r.resFile),
                                         r.args.data(), r.args.size());
    if (rc == 0) rc = host_.AddProcess(process_);
    if (rc != 0) {
        // Not listed: the next Initialize starts with a new process.
        delete process_;
        process_ = nullptr;
        return Fail(rc);
    }
    registered_ = true;
    return Done(0, 0);
}

RequestDispatcher::Result RequestDispatcher::Open(OpenRequest& r) {
    int handle = 0;
    int rc = process_->DLL_PosOpen(nullptr, text(r.deviceName), text(r.className), r.args.data(),
                                   r.args.size(), &handle);
    return Done(rc, handle);
}

RequestDispatcher::Result RequestDispatcher::IOCtl(IOCtlRequest& r) {
    int out = 0;
    int rc = process_->DLL_PosIOCtl(nullptr, r.device, r.request, r.args.data(), r.args.size(),
                                    &out);
    Result result = Done(rc, out);
    if (rc != 0 || r.request != kGetValues || r.args.empty()) return result;
    // The values in the request's argument order, in the argument block's own forms.
    scratch_.resize(MAX_REPLY_DATA);
    int n = r.args.encodeValues(scratch_.data(), static_cast<unsigned int>(scratch_.size()));
    if (n < 0) return Fail(kBufferTooSmall);
    result.data = ByteSpan(scratch_.data(), static_cast<size_t>(n));
    return result;
}

RequestDispatcher::Result RequestDispatcher::Read(const ReadRequest& r) {
    // The core reads into a copy of the client's buffer as it stood, never more than one
    // reply can carry.
    const size_t length = std::min(r.data.size, MAX_READ_BYTES);
    scratch_.assign(r.data.data, r.data.data + length);
    if (scratch_.empty()) scratch_.resize(1);
    int count = 0;
    int rc = process_->DLL_PosRead(nullptr, r.device, scratch_.data(),
                                   static_cast<unsigned int>(length), &count);
    Result result = Done(rc, count);
    if (rc != 0) return result;
    size_t n = std::min(static_cast<size_t>(result.rc), length);
    result.rc = static_cast<int32_t>(n);
    result.data = ByteSpan(scratch_.data(), n);
    return result;
}

RequestDispatcher::Result RequestDispatcher::Write(const WriteRequest& r) {
    int count = 0;
    int rc = process_->DLL_PosWrite(nullptr, r.device, r.data.data,
                                    static_cast<unsigned int>(r.data.size), &count);
    return Done(rc, count);
}

RequestDispatcher::Result RequestDispatcher::Close(const CloseRequest& r) {
    return Done(process_->DLL_PosClose(nullptr, r.device), 0);
}
