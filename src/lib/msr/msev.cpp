// The virtual reader with an encoder: Write, the write events and the encode time-out.
#include "MSEV.h"

#include <cstring>

#include "ObjectSupport.h"
#include "PDEV.h"

namespace {

const char kEncodeTimeout[] = "msrEncodeTimeout";

VDEV* makeMSEV(const DeviceID& id, int handle) { return new MSEV(id, handle); }
ObjectSupport objectMSEV(MSEV_TYPE_ID, makeMSEV);

bool named(const PosArg& arg) { return arg.name && std::strcmp(arg.name, kEncodeTimeout) == 0; }

} // namespace

extern "C" VDEV* _CreateMSEV(const DeviceID& id, int handle) { return new MSEV(id, handle); }

MSEV::MSEV(const DeviceID& id, int handle, const unsigned char* name) : MSV(id, handle, name) {}

MSEV::~MSEV() = default;

int MSEV::Write(const void* buffer, unsigned int length, int& count) {
    count = 0;
    if (!IsHolding()) return 315;
    if (!pdev_ || !pdev_->Confirmed(id_.device)) return POSERR_SYS_DEVICE_OFFLINE;
    // The command carries the length in one byte.
    if (length > kMaxWrite || (length > 0 && !buffer)) return POSERR_SYS_INVALID_LENGTH;
    unsigned char timeout[2] = {static_cast<unsigned char>(encodeTimeout_ & 0xFF), 0};
    int rc = pdev_->TellPhys(this, MSR_REQ_ENCODE_TIMEOUT, timeout, sizeof timeout);
    if (rc != 0) return rc;
    rc = pdev_->TellPhys(this, MSR_REQ_ENCODE_DATA,
                         static_cast<unsigned char*>(const_cast<void*>(buffer)),
                         static_cast<int>(length));
    if (rc == 0) count = static_cast<int>(length);
    return rc;
}

int MSEV::TellVirt(const PDEV* from, int message, unsigned char* data, int length) {
    if (message == MSR_MSG_WRITE_SUCCESS) return PostQueueMsg(MSR_WRITE_SUCCESS, 0, 0), 0;
    if (message == MSR_MSG_WRITE_FAILED) return PostQueueMsg(MSR_WRITE_FAILED, 0, 0), 0;
    return MSV::TellVirt(from, message, data, length);
}

int MSEV::SetValues(PosArg* args, int count) {
    int32_t timeout = encodeTimeout_;
    bool given = false;
    for (int i = 0; args && i < count; ++i) {
        if (named(args[i])) {
            timeout = static_cast<int32_t>(args[i].value & 0xFFFF);
            given = true;
        }
    }
    const int rc = VDEV::SetValues(args, count);
    if (rc == 0 && given) encodeTimeout_ = timeout;
    return rc;
}

int MSEV::GetValues(PosArg* args, int count) {
    for (int i = 0; args && i < count; ++i)
        if (named(args[i])) args[i].value = encodeTimeout_;
    return VDEV::GetValues(args, count);
}
