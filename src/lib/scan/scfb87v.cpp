// The client's table-top scanner model 87: the base state without a configure command;
// registration of the virtual class.
#include "SCFB87.h"

#include "ObjectSupport.h"
#include "ovkhost.h"

namespace {
const char kTag[] = "@(#)scfb87v.cpp 1.1";
} // namespace

SCFB87V::SCFB87V(const DeviceID& id, int handle, const char* name) : SCV(id, handle, name) {}

SCFB87V::~SCFB87V() = default;

void SCFB87V::UpdateConfigData() {}

int SCFB87V::UpdatePDEVState() {
    int rc = disabled_ ? LockPhysical() : UnlockPhysical();
    if (rc == 0) rc = Tell(beepState_ == 1 ? SCP_REQ_BEEP_ON : SCP_REQ_BEEP_OFF);
    if (rc == 0) rc = Tell(queueAllLabels_ == 1 ? SCP_REQ_QUEUE_ALL_ON : SCP_REQ_QUEUE_ALL_OFF);
    if (rc == 0) rc = Tell(autoDisable_ == 1 ? SCP_REQ_AUTO_DISABLE_ON : SCP_REQ_AUTO_DISABLE_OFF);
    if (rc != 0) clErrorLog(12801, 321, static_cast<uint32_t>(rc), kTag, this, sizeof(SCFB87V));
    return rc;
}

VDEV* _CreateSCFB87V(const DeviceID& id, int handle) { return new SCFB87V(id, handle); }
ObjectSupport objectSCFB87V(SCFB87V_TYPE_ID, _CreateSCFB87V);
