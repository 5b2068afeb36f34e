// The model-6397 virtual printer's read path: what the physical printer reports (MICR and
// raw-mode data, flash records, images and their locations) goes to the read list, and
// PosRead hands it out by the read mode.
#include <cstring>

#include "PRNT63V.h"
#include "ovkhost.h"

int PRNT63V::TellVirtData(int message, const unsigned char* data, int length) {
    if (!data) length = 0;
    switch (message) {
    case PRN63_TV_READ_DATA:
        return StoreFlashData(data, length);
    case PRN63_TV_IMAGE1:
        return StoreScanComplete(data, length);
    case PRN63_TV_IMAGE2:
        return StoreScanData(data, length);
    case PRN63_TV_LOGO_CHECKSUM:
        return StoreLogoChecksum(data, length);
    case PRN63_TV_NEXT_IMAGE:
    case PRN63_TV_FIRST_IMAGE:
        PostQueueMsg(POSM_PRN_DATA_AVAIL, message == PRN63_TV_NEXT_IMAGE ? 0x60000ul : 0x70000ul,
                     length > 0 ? data[0] : 0);
        return 0;
    case PRN63_TV_MICR_DATA:
        Tell(PRN63_TP_MICR_STATUS, &micrStatus_[0], 1);
        Tell(PRN63_TP_NOISE_LEVEL, &micrStatus_[1], 1);
        return StoreMicrData(data, length);
    default:
        return 0;
    }
}

int PRNT63V::ReadLock() { return reads_.ReadLock(); }
int PRNT63V::ReadUnlock() { return reads_.ReadUnlock(); }

int PRNT63V::AddToReadList(int type, const unsigned char* data, int length) {
    switch (type) {
    case PRN63_READ_MICR: return StoreMicrData(data, length);
    case PRN63_READ_FLASH: return StoreFlashData(data, length);
    case PRN63_READ_SCAN_COMPLETE: return StoreScanComplete(data, length);
    case PRN63_READ_SCAN: return StoreScanData(data, length);
    default: return 311;
    }
}

int PRNT63V::StoreMicrData(const unsigned char* data, int length) {
    reads_.SetMicrStatus(micrStatus_[0], micrStatus_[1]);
    return reads_.StoreMicrData(data, length);
}

int PRNT63V::StoreScanData(const unsigned char* data, int length) { return reads_.StoreScanData(data, length); }
int PRNT63V::StoreScanComplete(const unsigned char* data, int length) {
    return reads_.StoreScanComplete(data, length);
}
int PRNT63V::StoreFlashData(const unsigned char* data, int length) { return reads_.StoreFlashData(data, length); }

int PRNT63V::DiscardMicrData(int type) {
    reads_.DiscardMicrData(type);
    return 0;
}

int PRNT63V::Read(void* buffer, unsigned int length, int& count) {
    count = 0;
    if (!IsHolding()) return 315;
    int mode = parm_.readMode;
    if (mode == PRN63_READ_OLDEST) mode = reads_.OldestType();
    const int n = length > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(length);
    int rc = 0;
    switch (mode) {
    case PRN63_READ_MICR: rc = ReadMicrData(buffer, static_cast<unsigned>(n), count); break;
    case PRN63_READ_FLASH: rc = ReadFlashData(buffer, static_cast<unsigned>(n), count); break;
    case PRN63_READ_SCAN_COMPLETE: rc = ReadScanComp(buffer, static_cast<unsigned>(n), count); break;
    case PRN63_READ_SCAN: rc = ReadScanData(buffer, static_cast<unsigned>(n), count); break;
    case PRN63_READ_MCT: rc = ReadMctData(buffer, static_cast<unsigned>(n), count); break;
    default: break;
    }
    if (count > 0) Prnt63TraceRead(mode, static_cast<const unsigned char*>(buffer), count);
    parm_.readMode = PRN63_READ_OLDEST;
    return rc;
}

int PRNT63V::ReadMicrData(void* buffer, unsigned int length, int& count) {
    count = 0;
    if (parm_.printMode != PRN63_MODE_RAW && !(printFeatures_ & 0x1)) return 311;
    return reads_.ReadMicrData(static_cast<unsigned char*>(buffer), static_cast<int>(length), count);
}

int PRNT63V::ReadScanComp(void* buffer, unsigned int length, int& count) {
    return reads_.ReadScanComp(static_cast<unsigned char*>(buffer), static_cast<int>(length), count);
}

int PRNT63V::ReadScanData(void* buffer, unsigned int length, int& count) {
    return reads_.ReadScanData(static_cast<unsigned char*>(buffer), static_cast<int>(length), count);
}

int PRNT63V::ReadFlashData(void* buffer, unsigned int length, int& count) {
    return reads_.ReadFlashData(static_cast<unsigned char*>(buffer), static_cast<int>(length), count);
}

int PRNT63V::ReadMctData(void* buffer, unsigned int length, int& count) {
    enum { kMctLength = 512 };
    count = 0;
    tprintf("ReadMctData() nbyte=%d, mctlength=%d\n", static_cast<int>(length), kMctLength);
    if (length < kMctLength || !buffer) return 312;
    const int rc = Tell(PRN63_TP_MCT_VALUES, buffer, kMctLength);
    if (rc == 0) count = kMctLength;
    return rc;
}
