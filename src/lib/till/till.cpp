// The client's cash drawer: pulse width, drawer status and the open request.
#include "TILL.h"

#include <cstring>

#include "ObjectSupport.h"
#include "PDEV.h"
#include "ovkhost.h"

namespace {

bool named(const PosArg& arg, const char* name) {
    return arg.name && std::strcmp(arg.name, name) == 0;
}

} // namespace

TILL::TILL(const DeviceID& id, int handle) : VDEV(id, handle, "TILL") {}

TILL::~TILL() = default;

int TILL::Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
               int count) {
    static const unsigned char kNone[] = "";
    int32_t width = TILL_PULSE_WIDTH_DEFAULT;
    const posResources table[] = {
        {"pulseWidth", "PulseWidth", POSRES_INTEGER, &width, TILL_PULSE_WIDTH_DEFAULT, nullptr, 0},
        {"tillStatus", "TillStatus", POSRES_INTEGER, nullptr, 0, nullptr, 0}, // read only
    };
    int rc = LoadResources(resourceName ? resourceName : kNone, className ? className : kNone,
                           table, 2);
    if (rc != 0) return rc;
    pulseWidth_ = width;

    rc = VDEV::Open(resourceName, className, args, count);
    if (rc != 0) return rc;
    if (!ValidPulseWidth(pulseWidth_)) {
        int remaining = 0;
        VDEV::Close(remaining);
        return POSERR_TILL_INVALID_PULSE_WIDTH;
    }
    return 0;
}

int TILL::SetValues(PosArg* args, int count) {
    for (int i = 0; args && i < count; ++i)
        if (named(args[i], "pulseWidth") && !ValidPulseWidth(args[i].value))
            return POSERR_TILL_INVALID_PULSE_WIDTH;
    int rc = VDEV::SetValues(args, count);
    if (rc != 0) return rc;
    for (int i = 0; args && i < count; ++i)
        if (named(args[i], "pulseWidth")) pulseWidth_ = static_cast<int32_t>(args[i].value);
    return 0;
}

int TILL::GetValues(PosArg* args, int count) {
    for (int i = 0; args && i < count; ++i) {
        PosArg& arg = args[i];
        if (named(arg, "pulseWidth")) {
            arg.value = pulseWidth_;
        } else if (named(arg, "tillStatus")) {
            TillRequest rec{0, 0};
            if (pdev_) {
                int rc = pdev_->TellPhys(this, IsDrawer1() ? CDP_REQ_TILL1_STATUS : CDP_REQ_TILL2_STATUS,
                                         reinterpret_cast<unsigned char*>(&rec), sizeof rec);
                if (rc != 0) return rc;
            }
            arg.value = rec.result;
        }
    }
    return VDEV::GetValues(args, count);
}

int TILL::IOCtl(int request, PosArg* args, int count, int& out) {
    if (request != POS_TILL_OPEN_TILL) return VDEV::IOCtl(request, args, count, out);
    out = 0;
    if (!IsHolding() || !pdev_) return 315;
    TillRequest rec{pulseWidth_ * 1000, 0};
    return pdev_->TellPhys(this, IsDrawer1() ? CDP_REQ_OPEN_TILL1 : CDP_REQ_OPEN_TILL2,
                           reinterpret_cast<unsigned char*>(&rec), sizeof rec);
}

VDEV* _CreateTILL(const DeviceID& id, int handle) { return new TILL(id, handle); }
ObjectSupport objectTILL(TILL_TYPE_ID, _CreateTILL);
