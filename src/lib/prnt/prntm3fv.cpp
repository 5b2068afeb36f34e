// The fiscal M3 virtual printer: the M3 virtual printer plus fiscal writes (print mode 4),
// fiscal data reads (read mode 2), the fiscal resources, fiscal printing on and off, and the
// fiscal status and data events.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "ObjectSupport.h"
#include "PRNTM3F.h"
#include "ovkhost.h"
#include "sylookup.h"
#include "syresource.h"

namespace {

const char kTag[] = "@(#)prntm3fv.cpp 1.1";

enum : uint32_t {
    kLogDisableFlush = 19601,
    kLogEnableFlush = 19603,
    kLogCloseAfterOpen = 19605,
    kLogWriteNoMemory = 19607,
    kLogWriteSet = 19608,
};

enum { kModeFiscal = 4, kReadFiscal = 2 };

#define ROW(name, value) {name, LookupHash(name), value}
const posLookup kNotify[] = {ROW("FISCAL_NOTIFY_OFF", 0), ROW("FISCAL_NOTIFY_ON", 1)};
const posLookup kPld[] = {ROW("FISCAL_PLD_FALSE", 0), ROW("FISCAL_PLD_TRUE", 1)};
#undef ROW

bool named(const PosArg& a, const char* name) { return a.name && std::strcmp(a.name, name) == 0; }

} // namespace

PRNTM3FV::PRNTM3FV(const DeviceID& id, int handle, const unsigned char* name) : PRNTM3V(id, handle, name) {
    defaultPrintMode_ = kModeFiscal;
    defaultReadMode_ = kReadFiscal;
}

PRNTM3FV::~PRNTM3FV() { delete[] fiscalData_; }

int PRNTM3FV::validateMode(long value) { return value == kModeFiscal ? 0 : PRNTM3V::validateMode(value); }
int PRNTM3FV::validateReadMode(long value) {
    return value == kReadFiscal ? 0 : PRNTM3V::validateReadMode(value);
}
int PRNTM3FV::validateFiscalNotify(long value) {
    return value == 0 || value == 1 ? 0 : POSERR_PRN_INVALID_FISCAL_NOTIFY;
}

int PRNTM3FV::Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args, int count) {
    int32_t country = 0, notify = 0, pld = 0, version = 0;
    const posResources table[4] = {
        {"fiscalCountry", "FiscalCountry", POSRES_INTEGER, &country, 0, nullptr, 0},
        {"fiscalNotify", "FiscalNotify", POSRES_INTEGER, &notify, 0, kNotify, 2},
        {"fiscalPLDStatus", "FiscalPLDStatus", POSRES_INTEGER, &pld, 0, kPld, 2},
        {"fiscalVersion", "FiscalVersion", POSRES_INTEGER, &version, 0, nullptr, 0},
    };
    int rc = LoadResources(resourceName, className, table, 4);
    if (rc != 0) return rc;
    fiscalNotify_ = static_cast<unsigned short>(notify < 0 || notify > 0xFFFF ? 0xFFFF : notify);
    fiscalWish_ = 1;
    rc = PRNTM3V::Open(resourceName, className, args, count);
    if (rc != 0) return rc;
    rc = validateFiscalNotify(fiscalNotify_);
    if (rc != 0) {
        int remaining = 0;
        const int closed = PRNTM3V::Close(remaining);
        if (closed != 0) clErrorLog(kLogCloseAfterOpen, static_cast<uint32_t>(closed), 0, kTag, this, sizeof(PRNTM3FV));
    }
    return rc;
}

int PRNTM3FV::AcquirePhysical() {
    int rc = PRNTM3V::AcquirePhysical();
    if (rc != 0) return rc;
    rc = fiscalWish_ ? Tell(M3F_TP_ENABLE_FISCAL, nullptr, 0) : Tell(M3F_TP_DISABLE_FISCAL, nullptr, 0);
    if (rc == 305) {
        ReleasePhysical();
        return rc;
    }
    return 0;
}

int PRNTM3FV::ReleasePhysical() {
    DiscardFiscalData();
    return PRNTM3V::ReleasePhysical();
}

int PRNTM3FV::IOCtl(int request, PosArg* args, int count, int& out) {
    if (request == POS_PRN_DISABLE_FISCAL_PRINTING) {
        out = 0;
        return DisableFiscalPrinting();
    }
    if (request == POS_PRN_ENABLE_FISCAL_PRINTING) {
        out = 0;
        return EnableFiscalPrinting();
    }
    return PRNTM3V::IOCtl(request, args, count, out);
}

int PRNTM3FV::DisableFiscalPrinting() {
    int rc = RequireHolding();
    if (rc != 0) return rc;
    rc = SendWritePending();
    if (rc != 0) clErrorLog(kLogDisableFlush, static_cast<uint32_t>(rc), 0, kTag, this, sizeof(PRNTM3FV));
    fiscalWish_ = 0;
    return Tell(M3F_TP_DISABLE_FISCAL, nullptr, 0);
}

int PRNTM3FV::EnableFiscalPrinting() {
    int rc = RequireHolding();
    if (rc != 0) return rc;
    rc = SendWritePending();
    if (rc != 0) clErrorLog(kLogEnableFlush, static_cast<uint32_t>(rc), 0, kTag, this, sizeof(PRNTM3FV));
    fiscalWish_ = 1;
    return Tell(M3F_TP_ENABLE_FISCAL, nullptr, 0);
}

int PRNTM3FV::SetValues(PosArg* args, int count) {
    long notify = -1;
    for (int i = 0; args && i < count; ++i) {
        if (!named(args[i], "fiscalNotify")) continue;
        const int rc = validateFiscalNotify(static_cast<long>(args[i].value));
        if (rc != 0) return rc;
        notify = static_cast<long>(args[i].value);
    }
    // The base does not know the fiscal names: it gets the others only.
    std::vector<PosArg> rest;
    for (int i = 0; args && i < count; ++i)
        if (!named(args[i], "fiscalNotify")) rest.push_back(args[i]);
    int rc = rest.empty() ? 0 : PRNTM3V::SetValues(rest.data(), static_cast<int>(rest.size()));
    if (rc != 0) return rc;
    if (IsHolding()) SendWritePending();
    if (notify >= 0) fiscalNotify_ = static_cast<unsigned short>(notify);
    return 0;
}

int PRNTM3FV::GetValues(PosArg* args, int count) {
    std::vector<PosArg> rest;
    std::vector<int> restAt;
    for (int i = 0; args && i < count; ++i) {
        int request = 0;
        if (named(args[i], "fiscalCountry")) request = M3F_TP_COUNTRY;
        else if (named(args[i], "fiscalPLDStatus")) request = M3F_TP_PLD;
        else if (named(args[i], "fiscalVersion")) request = M3F_TP_VERSION;
        if (request) {
            if (!pdev_) return 315;
            unsigned char out[4] = {};
            const int rc = Tell(request, out, sizeof out);
            if (rc != 0) return rc;
            uint32_t v;
            std::memcpy(&v, out, sizeof v);
            args[i].value = static_cast<intptr_t>(v);
        } else if (named(args[i], "fiscalNotify")) {
            args[i].value = fiscalNotify_;
        } else {
            rest.push_back(args[i]);
            restAt.push_back(i);
        }
    }
    if (rest.empty()) return 0;
    const int rc = PRNTM3V::GetValues(rest.data(), static_cast<int>(rest.size()));
    for (size_t k = 0; k < rest.size(); ++k) args[restAt[k]].value = rest[k].value;
    return rc;
}

int PRNTM3FV::TellVirt(const PDEV* from, int message, unsigned char* data, int length) {
    if (message == M3F_TV_NOTIFY) {
        if (fiscalNotify_ != 1) return 0;
        PRNTMSG m;
        m.msg = POSM_PRN_FISCAL_STATUS;
        m.p1 = 0;
        m.p2 = data && length > 2 ? data[2] : 0;
        return SendUserAMessage(&m);
    }
    if (message == M3F_TV_DATA)
        return StoreFiscalData(data, static_cast<unsigned short>(data && length > 0 ? std::min(length, 0xFFFF) : 0));
    return PRNTM3V::TellVirt(from, message, data, length);
}

int PRNTM3FV::StoreFiscalData(const unsigned char* data, unsigned short length) {
    DiscardFiscalData();
    if (data && length > 0) {
        fiscalData_ = new (std::nothrow) unsigned char[length];
        if (!fiscalData_) return 305;
        std::memcpy(fiscalData_, data, length);
        fiscalLength_ = length;
    }
    PRNTMSG m;
    m.msg = POSM_PRN_DATA_AVAIL;
    m.p1 = 0x10000;
    m.p2 = fiscalLength_;
    return SendUserAMessage(&m);
}

int PRNTM3FV::DiscardFiscalData() {
    delete[] fiscalData_;
    fiscalData_ = nullptr;
    fiscalLength_ = 0;
    return 0;
}

int PRNTM3FV::ReadFiscalData(void* buffer, unsigned long size, int& count) {
    count = 0;
    if (!fiscalData_ || fiscalLength_ == 0) return 0;
    if (!buffer || size < fiscalLength_) return 312;
    std::memcpy(buffer, fiscalData_, fiscalLength_);
    count = fiscalLength_;
    DiscardFiscalData();
    return 0;
}

int PRNTM3FV::Read(void* buffer, unsigned int length, int& count) {
    count = 0;
    int rc = RequireHolding();
    if (rc != 0) return rc;
    if (GetParm().readMode == kReadFiscal) return ReadFiscalData(buffer, length, count);
    return PRNTM3V::Read(buffer, length, count);
}

int PRNTM3FV::Write(const void* buffer, unsigned int length, int& count) {
    count = 0;
    int rc = RequireHolding();
    if (rc != 0) return rc;
    if (GetParm().printMode != kModeFiscal) return PRNTM3V::Write(buffer, length, count);
    // A frame the printer cannot take would be sent again for ever: refused whole.
    if (length > kMaxFiscalWrite) return 318;
    return WriteFiscal(static_cast<const unsigned char*>(buffer), buffer ? length : 0, count);
}

int PRNTM3FV::WriteFiscal(const unsigned char* data, unsigned long length, int& written) {
    written = 0;
    std::vector<unsigned char> payload{0x1B, 'f'};
    if (data) payload.insert(payload.end(), data, data + length);
    PRNTCMDM3* command = new (std::nothrow) PRNTCMDM3;
    if (!command) {
        clErrorLog(kLogWriteNoMemory, 305, 0, kTag, this, sizeof(PRNTM3FV));
        return 305;
    }
    int rc = command->Set(M3_WRAPPED_DATA, this, 0, 0, static_cast<unsigned short>(payload.size()), payload.data(), 0, 0);
    if (rc == 0) rc = Tell(PRN_TP_PUT_QUEUE, command, sizeof(PRNTCMDM3));
    if (rc != 0) {
        clErrorLog(kLogWriteSet, static_cast<uint32_t>(rc), 0, kTag, this, sizeof(PRNTM3FV));
        delete command;
        return rc;
    }
    written = static_cast<int>(length);
    return 0;
}

// ---------------------------------------------------------------------------------------

VDEV* _CreatePRNTM3FV(const DeviceID& id, int handle) {
    return new (std::nothrow) PRNTM3FV(id, handle, reinterpret_cast<const unsigned char*>("PRNTM3FV"));
}

ObjectSupport objectPRNTM3FV(PRNTM3FV_TYPE_ID, _CreatePRNTM3FV);
