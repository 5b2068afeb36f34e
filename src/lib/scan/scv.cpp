// Scanner virtual base: the scan queue, the scan-data event, label records for reads, the
// four base resources and the state push to the physical device.
#include "SCV.h"

#include <cstring>

#include "PDEV.h"
#include "ovkhost.h"
#include "sclookup.h"

namespace {

const char kTag[] = "@(#)scv.cpp 1.1";

enum : uint32_t {
    LOG_OUT_OF_MEMORY = 12101,
    LOG_UPDATE_PDEV_STATE_ERROR = 12102,
};

bool zeroOrOne(intptr_t v) { return v == 0 || v == 1; }

} // namespace

SCV::SCV(const DeviceID& id, int handle, const char* name) : VDEV(id, handle, name) {}

SCV::~SCV() { FlushLabels(1); }

bool SCV::Named(const PosArg& arg, const char* name) {
    return arg.name && std::strcmp(arg.name, name) == 0;
}

int SCV::Tell(int request, unsigned char* data, int length) {
    if (!pdev_) return 321;
    return pdev_->TellPhys(this, request, data, length);
}

int SCV::ValidateBeepState(intptr_t value) {
    return zeroOrOne(value) ? 0 : POSERR_SCAN_INVALID_BEEP_STATE;
}

int SCV::ValidateQueueAllLabels(intptr_t value) {
    return zeroOrOne(value) ? 0 : POSERR_SCAN_INVALID_QUEUE_ALL_INDICATOR;
}

int SCV::ValidateAutoDisable(intptr_t value) {
    return zeroOrOne(value) ? 0 : POSERR_SCAN_INVALID_AUTO_DISABLE;
}

// ---------------------------------------------------------------------------------------
// Open and close.

int SCV::Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
              int count) {
    static const unsigned char kNone[] = "";
    int32_t labelsQueued = 0; // read only: a configured value is ignored
    const posResources table[] = {
        {"beepState", "BeepState", POSRES_INTEGER, &beepState_, 1, posEnableLookupTbl,
         posEnableLookupRows},
        {"labelsQueued", "LabelsQueued", POSRES_INTEGER, &labelsQueued, 0, nullptr, 0},
        {"queueAllLabels", "QueueAllLabels", POSRES_INTEGER, &queueAllLabels_, 1,
         posEnableLookupTbl, posEnableLookupRows},
        {"autoDisable", "AutoDisable", POSRES_INTEGER, &autoDisable_, 0, posEnableLookupTbl,
         posEnableLookupRows},
    };
    const int rows = static_cast<int>(sizeof table / sizeof table[0]);
    int rc = LoadResources(resourceName ? resourceName : kNone, className ? className : kNone,
                           table, rows);
    if (rc == 0) rc = VDEV::Open(resourceName, className, args, count);
    if (rc == 0) {
        rc = ValidateBeepState(beepState_);
        if (rc == 0) rc = ValidateQueueAllLabels(queueAllLabels_);
        if (rc == 0) rc = ValidateAutoDisable(autoDisable_);
        if (rc != 0) {
            int remaining = 0;
            VDEV::Close(remaining);
        }
    }
    DumpResources(table, rows);
    return rc;
}

int SCV::Close(int& remaining) {
    const int flushed = FlushLabels(0);
    const int rc = VDEV::Close(remaining);
    return rc != 0 ? rc : flushed;
}

int SCV::FlushLabels(int quiet) {
    bool dropped = false;
    while (labels_.count > 0) {
        labels_.start();
        FreeLabelChain(labels_.linkout());
        dropped = true;
    }
    return dropped && !quiet ? 320 : 0;
}

// ---------------------------------------------------------------------------------------
// Ownership and state.

int SCV::AcquirePhysical() {
    // An acquire that fails holds nothing: a scanner offline cannot take its state, so it is
    // not acquired (317) and keeps the labels it stored for the next owner; one that goes
    // offline meanwhile is released again, without the release's commands.
    if (!IsHolding() && pdev_ && !pdev_->Confirmed(id_.device)) return 317;
    int rc = VDEV::AcquirePhysical();
    if (rc != 0) return rc;
    rc = UpdatePDEVState();
    if (rc != 0) VDEV::ReleasePhysical();
    return rc;
}

int SCV::ReleasePhysical() {
    if (IsHolding()) {
        // Scans that come while nobody owns the scanner are kept for the next owner.
        Tell(SCP_REQ_DISABLE);
        Tell(SCP_REQ_QUEUE_ALL_ON);
    }
    return VDEV::ReleasePhysical();
}

int SCV::LockPhysical() {
    int rc = Tell(SCP_REQ_DISABLE);
    if (rc == 0) disabled_ = 1;
    return rc;
}

int SCV::UnlockPhysical() {
    int rc = Tell(SCP_REQ_ENABLE);
    if (rc == 0) disabled_ = 0;
    return rc;
}

int SCV::UpdatePDEVState() {
    int rc = disabled_ ? LockPhysical() : UnlockPhysical();
    if (rc == 0) rc = Tell(beepState_ == 1 ? SCP_REQ_BEEP_ON : SCP_REQ_BEEP_OFF);
    if (rc == 0) rc = Tell(queueAllLabels_ == 1 ? SCP_REQ_QUEUE_ALL_ON : SCP_REQ_QUEUE_ALL_OFF);
    if (rc == 0) rc = Tell(autoDisable_ == 1 ? SCP_REQ_AUTO_DISABLE_ON : SCP_REQ_AUTO_DISABLE_OFF);
    if (rc == 0 && configureLength_ > 0) {
        std::memset(configure_, 0, static_cast<size_t>(configureLength_));
        UpdateConfigData();
        rc = Tell(SCP_REQ_CONFIGURE, configure_, configureLength_);
    }
    if (rc != 0)
        clErrorLog(LOG_UPDATE_PDEV_STATE_ERROR, 321, static_cast<uint32_t>(rc), kTag, this,
                   sizeof(SCV));
    return rc;
}

int SCV::IOCtl(int request, PosArg* args, int count, int& out) {
    out = 0;
    switch (request) {
    case POS_SYS_SET_VALUES: {
        if (!args || count == 0) return 0;
        int rc = SetValues(args, count);
        if (rc == 0 && IsHolding()) rc = UpdatePDEVState();
        return rc;
    }
    case POS_SCAN_DISCARD_DATA:
        if (!IsHolding()) return 315;
        FlushLabels(1);
        return 0;
    default:
        return VDEV::IOCtl(request, args, count, out);
    }
}

// ---------------------------------------------------------------------------------------
// Values.

int SCV::SetValues(PosArg* args, int count) {
    int32_t beep = beepState_, queueAll = queueAllLabels_, autoDisable = autoDisable_;
    for (int i = 0; args && i < count; ++i) {
        const PosArg& a = args[i];
        int rc = 0;
        if (Named(a, "beepState")) {
            rc = ValidateBeepState(a.value);
            beep = static_cast<int32_t>(a.value);
        } else if (Named(a, "queueAllLabels")) {
            rc = ValidateQueueAllLabels(a.value);
            queueAll = static_cast<int32_t>(a.value);
        } else if (Named(a, "autoDisable")) {
            rc = ValidateAutoDisable(a.value);
            autoDisable = static_cast<int32_t>(a.value);
        }
        if (rc != 0) return rc;
    }
    int rc = VDEV::SetValues(args, count);
    if (rc != 0) return rc;
    beepState_ = beep;
    queueAllLabels_ = queueAll;
    autoDisable_ = autoDisable;
    return 0;
}

int SCV::GetValues(PosArg* args, int count) {
    for (int i = 0; args && i < count; ++i) {
        PosArg& a = args[i];
        if (Named(a, "beepState"))
            a.value = beepState_;
        else if (Named(a, "labelsQueued"))
            a.value = labels_.count;
        else if (Named(a, "queueAllLabels"))
            a.value = queueAllLabels_;
        else if (Named(a, "autoDisable"))
            a.value = autoDisable_;
    }
    return VDEV::GetValues(args, count);
}

// ---------------------------------------------------------------------------------------
// Scans.

int SCV::TellVirt(const PDEV* /*from*/, int message, unsigned char* data, int /*length*/) {
    if (message != SCV_TELL_LABEL || !data) return 0;
    ScannerLabel* chain = reinterpret_cast<ScannerLabel*>(data);
    const long size = ChainRecordSize(chain);
    labels_.end();
    if (labels_.linkin(chain) != 0) {
        clErrorLog(LOG_OUT_OF_MEMORY, 305, 0, kTag, this, sizeof(SCV));
        FreeLabelChain(chain);
        return 305;
    }
    PostQueueMsg(POSM_SCAN_DATA_AVAIL, 0, static_cast<unsigned long>(size));
    return 0;
}

int SCV::Read(void* buffer, unsigned int length, int& count) {
    count = 0;
    if (!IsHolding()) return 315;
    if (labels_.count <= 0) {
        if (disabled_) return 335;
        return pdev_ && pdev_->Confirmed(id_.device) ? 0 : 317;
    }
    labels_.start();
    ScannerLabel* chain = labels_.get();
    const long size = ChainRecordSize(chain);
    if (!buffer || static_cast<long>(length) < size) return 312;
    WriteChainRecords(chain, static_cast<unsigned char*>(buffer));
    labels_.linkout();
    FreeLabelChain(chain);
    count = static_cast<int>(size);
    return 0;
}
