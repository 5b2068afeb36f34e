// Scale virtual base: the weight mode, weight reads and the configure push.
#include "SCLV.h"

#include <cstring>

#include "PDEV.h"
#include "ovkhost.h"
#include "syresource.h"

namespace {
const char kTag[] = "@(#)sclv.cpp 1.1";
} // namespace

const posLookup posWtModeLookupTbl[] = {{"ENGLISH", LookupHash("ENGLISH"), 0},
                                        {"METRIC", LookupHash("METRIC"), 1}};
const int posWtModeLookupRows = 2;

SCLV::SCLV(const DeviceID& id, int handle, const char* name) : VDEV(id, handle, name) {}

SCLV::~SCLV() = default;

bool SCLV::Named(const PosArg& arg, const char* name) {
    return arg.name && std::strcmp(arg.name, name) == 0;
}

int SCLV::Tell(int request, unsigned char* data, int length) {
    if (!pdev_) return 321;
    return pdev_->TellPhys(this, request, data, length);
}

bool SCLV::PhysicalConfirmed() const { return pdev_ && pdev_->Confirmed(id_.device); }

int SCLV::ValidateWeightMode(intptr_t value) {
    return value == 0 || value == 1 ? 0 : POSERR_SCALE_INVALID_WEIGHT_MODE;
}

int SCLV::Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
               int count) {
    static const unsigned char kNone[] = "";
    const posResources table[] = {{"weightMode", "WeightMode", POSRES_INTEGER, &weightMode_, 0,
                                   posWtModeLookupTbl, posWtModeLookupRows}};
    int rc = LoadResources(resourceName ? resourceName : kNone, className ? className : kNone, table, 1);
    if (rc == 0) rc = VDEV::Open(resourceName, className, args, count);
    if (rc == 0) {
        rc = ValidateWeightMode(weightMode_);
        if (rc != 0) {
            int remaining = 0;
            VDEV::Close(remaining);
        }
    }
    DumpResources(table, 1);
    return rc;
}

int SCLV::SetValuesCreation(PosArg* args, int count) {
    int32_t mode = weightMode_;
    for (int i = 0; args && i < count; ++i) {
        if (!Named(args[i], "weightMode")) continue;
        int rc = ValidateWeightMode(args[i].value);
        if (rc != 0) return rc;
        mode = static_cast<int32_t>(args[i].value);
    }
    int rc = VDEV::SetValuesCreation(args, count);
    if (rc == 0) weightMode_ = mode;
    return rc;
}

int SCLV::GetValues(PosArg* args, int count) {
    for (int i = 0; args && i < count; ++i)
        if (Named(args[i], "weightMode")) args[i].value = weightMode_;
    return VDEV::GetValues(args, count);
}

int SCLV::AcquirePhysical() {
    // An acquire that fails holds nothing: a scale offline cannot take its state, so it is
    // not acquired (317), and one that goes offline meanwhile is released again.
    if (!IsHolding() && pdev_ && !PhysicalConfirmed()) return 317;
    int rc = VDEV::AcquirePhysical();
    if (rc != 0) return rc;
    rc = UpdatePDEVState();
    if (rc != 0) VDEV::ReleasePhysical();
    return rc;
}

int SCLV::UpdatePDEVState() {
    if (configureLength_ <= 0) return 0;
    std::memset(configure_, 0, static_cast<size_t>(configureLength_));
    UpdateConfigData();
    int rc = Tell(SCLP_REQ_CONFIGURE, configure_, configureLength_);
    if (rc != 0) clErrorLog(31101, 321, static_cast<uint32_t>(rc), kTag, this, sizeof(SCLV));
    return rc;
}

int SCLV::Read(void* buffer, unsigned int length, int& count) {
    count = 0;
    if (!IsHolding()) return PhysicalConfirmed() ? 315 : 317;
    if (!PhysicalConfirmed()) return 317;
    if (!buffer || length < sizeof(ScaleRecord)) return 312;
    ScaleReading reading{0, 0, 0};
    int rc = Tell(weightMode_ == 1 ? SCLP_REQ_WEIGHT_METRIC : SCLP_REQ_WEIGHT_ENGLISH,
                  reinterpret_cast<unsigned char*>(&reading), sizeof reading);
    if (rc != 0) return rc;
    const ScaleRecord record{static_cast<int16_t>(weightMode_), reading.status, reading.weight};
    std::memcpy(buffer, &record, sizeof record);
    count = static_cast<int>(sizeof record);
    return 0;
}
