// The read list of the model-6397 virtual printer.
#include "Prnt63ReadList.h"

#include <cstring>
#include <new>
#include <vector>

#include "prntdefs.h"

namespace {

const char kSourceTag[] = "@(#)prnt63read";
enum : uint32_t {
    kLogPendingUnlink = 20309,
    kLogReadUnlink = 20310,
    kLogLock = 20311,
    kLogUnlock = 20312,
    kLogTooLong = 20314,
};

} // namespace

Prnt63ReadList::Prnt63ReadList(Poster post) : post_(std::move(post)) { lock_.Open(); }

Prnt63ReadList::~Prnt63ReadList() {
    FreeAll(pending_);
    FreeAll(list_);
    lock_.Close();
}

void Prnt63ReadList::FreeAll(GDList_ReadData& list) {
    list.start();
    while (ReadData* p = list.linkout()) delete p;
}

int Prnt63ReadList::ReadLock() {
    const int rc = lock_.Acquire(15);
    if (rc == 0) return 0;
    clErrorLog(kLogLock, 301, static_cast<uint32_t>(rc), kSourceTag);
    return 301;
}

int Prnt63ReadList::ReadUnlock() {
    const int rc = lock_.Release();
    if (rc == 0) return 0;
    clErrorLog(kLogUnlock, 301, static_cast<uint32_t>(rc), kSourceTag);
    return 301;
}

bool Prnt63ReadList::Unlink(GDList_ReadData& list, ReadData* entry, uint32_t logId) {
    ReadData* out = list.linkout();
    if (out == entry) return true;
    clErrorLog(logId, 0, 0, kSourceTag, entry, sizeof(void*), out, sizeof(void*));
    if (out) list.linkin(out);
    return false;
}

void Prnt63ReadList::AddToReadList(ReadData* entry, int key) {
    if (!entry) return;
    list_.end();
    list_.linkin(entry);
    unsigned long p2 = entry->length;
    if (key == 2)
        p2 = static_cast<unsigned long>(micr_[1]) << 24 | static_cast<unsigned long>(micr_[0]) << 16 |
             (entry->length & 0xFFFFu);
    if (post_) post_(static_cast<unsigned long>(key) << 16, p2);
}

int Prnt63ReadList::Store(int type, int key, const char* name, const unsigned char* data, int n) {
    if (n < 0 || (n > 0 && !data)) n = 0;
    if (n > PRN63_READ_MAX) {
        clErrorLog(kLogTooLong, 318, static_cast<uint32_t>(n), kSourceTag);
        return 318;
    }
    ReadData* entry = new (std::nothrow) ReadData;
    if (!entry) return 305;
    entry->type = static_cast<uint16_t>(type);
    entry->length = static_cast<uint32_t>(n);
    if (n) std::memcpy(entry->data, data, static_cast<size_t>(n));
    tprintf("%s() forwarding event (length=%d)\n", name, n);
    if (ReadLock() != 0) {
        delete entry;
        return 301;
    }
    AddToReadList(entry, key);
    ReadUnlock();
    return 0;
}

int Prnt63ReadList::StoreMicrData(const unsigned char* data, int n) {
    return Store(PRN63_READ_MICR, 2, "StoreMicrData", data, n);
}

int Prnt63ReadList::StoreScanData(const unsigned char* data, int n) {
    return Store(PRN63_READ_SCAN, 5, "StoreScanData", data, n);
}

int Prnt63ReadList::StoreScanComplete(const unsigned char* data, int n) {
    static const unsigned char kNothing[4] = {0, 0, 0, 0};
    if (n == 4 && data && std::memcmp(data, kNothing, 4) == 0) {
        tprintf("StoreScanComplete() discarding event\n");
        return 0;
    }
    return Store(PRN63_READ_SCAN_COMPLETE, 4, "StoreScanComplete", data, n);
}

int Prnt63ReadList::StoreFlashData(const unsigned char* data, int n) {
    if (n < 0 || (n > 0 && !data)) n = 0;
    if (n > PRN63_READ_MAX) {
        clErrorLog(kLogTooLong, 318, static_cast<uint32_t>(n), kSourceTag);
        return 318;
    }
    if (ReadLock() != 0) return 301;
    pending_.start();
    ReadData* entry = pending_.get();
    if (entry && Unlink(pending_, entry, kLogPendingUnlink)) {
        entry->type = PRN63_READ_FLASH;
        entry->length = static_cast<uint32_t>(n);
        if (n) std::memcpy(entry->data, data, static_cast<size_t>(n));
        tprintf("StoreFlashData() forwarding event (length=%d)\n", n);
        AddToReadList(entry, 3);
    }
    ReadUnlock();
    return 0;
}

int Prnt63ReadList::AddPendingRead(uint32_t recordNumber) {
    ReadData* entry = new (std::nothrow) ReadData;
    if (!entry) return 305;
    entry->recordNumber = recordNumber;
    entry->type = PRN63_READ_FLASH;
    if (ReadLock() != 0) {
        delete entry;
        return 301;
    }
    pending_.end();
    pending_.linkin(entry);
    ReadUnlock();
    return 0;
}

void Prnt63ReadList::DiscardMicrData(int type) {
    if (ReadLock() != 0) return;
    if (type == PRN63_READ_FLASH) {
        pending_.start();
        while (ReadData* p = pending_.get()) {
            if (!Unlink(pending_, p, kLogPendingUnlink)) break;
            delete p;
        }
    }
    for (int rc = list_.start(); rc == 0;) {
        ReadData* p = list_.get();
        if (!p) break;
        if (p->type != type) {
            rc = list_.fwd();
            continue;
        }
        if (!Unlink(list_, p, kLogReadUnlink)) break;
        delete p;
        rc = list_.get() ? 0 : 1;
    }
    ReadUnlock();
}

int Prnt63ReadList::OldestType() {
    if (ReadLock() != 0) return 0;
    list_.start();
    const ReadData* p = list_.get();
    const int type = p ? p->type : 0;
    ReadUnlock();
    return type;
}

int Prnt63ReadList::ReadOf(int type, const char* name, unsigned char* buf, int n, int& got) {
    got = 0;
    if (ReadLock() != 0) return 301;
    int result = 0;
    for (int rc = list_.start(); rc == 0;) {
        ReadData* p = list_.get();
        if (!p) break;
        if (p->type != type) {
            if (name) tprintf("%s() type=%d, skipping\n", name, p->type);
            rc = list_.fwd();
            continue;
        }
        if (p->length == 0) {
            if (name) tprintf("%s() length=%d, deleting\n", name, 0);
            if (!Unlink(list_, p, kLogReadUnlink)) break;
            delete p;
            rc = list_.get() ? 0 : 1;
            continue;
        }
        if (n < 0 || static_cast<uint32_t>(n) < p->length || !buf) {
            if (name) tprintf("%s() length=%d, too small\n", name, static_cast<int>(p->length));
            result = 312;
            break;
        }
        if (name) tprintf("%s() length=%d, returning data\n", name, static_cast<int>(p->length));
        if (!Unlink(list_, p, kLogReadUnlink)) break;
        std::memcpy(buf, p->data, p->length);
        got = static_cast<int>(p->length);
        delete p;
        break;
    }
    ReadUnlock();
    return result;
}

int Prnt63ReadList::ReadMicrData(unsigned char* buf, int n, int& got) {
    return ReadOf(PRN63_READ_MICR, nullptr, buf, n, got);
}

int Prnt63ReadList::ReadScanComp(unsigned char* buf, int n, int& got) {
    return ReadOf(PRN63_READ_SCAN_COMPLETE, "ReadScanComp", buf, n, got);
}

int Prnt63ReadList::ReadScanData(unsigned char* buf, int n, int& got) {
    return ReadOf(PRN63_READ_SCAN, "ReadScanData", buf, n, got);
}

int Prnt63ReadList::ReadFlashData(unsigned char* buf, int n, int& got) {
    got = 0;
    if (ReadLock() != 0) return 301;
    int result = 0;
    for (int rc = list_.start(); rc == 0;) {
        ReadData* p = list_.get();
        if (!p) break;
        if (p->type != PRN63_READ_FLASH) {
            tprintf("ReadFlashData() type=%d, skipping\n", p->type);
            rc = list_.fwd();
            continue;
        }
        if (p->recordNumber == 0 || p->length == 0) {
            if (p->recordNumber == 0)
                tprintf("ReadFlashData() record=%d, invalid record number\n", 0);
            else
                tprintf("ReadFlashData() length=%d, deleting\n", 0);
            const bool invalid = p->recordNumber == 0;
            if (!Unlink(list_, p, kLogReadUnlink)) break;
            delete p;
            if (invalid) {
                result = 4930;
                break;
            }
            rc = list_.get() ? 0 : 1;
            continue;
        }
        const uint32_t need = p->length + 8;
        if (n < 0 || static_cast<uint32_t>(n) < need || !buf) {
            tprintf("ReadFlashData() length=%d, too small\n", static_cast<int>(p->length));
            result = 312;
            break;
        }
        tprintf("ReadFlashData() length=%d, returning data\n", static_cast<int>(p->length));
        if (!Unlink(list_, p, kLogReadUnlink)) break;
        for (int i = 0; i < 4; ++i) {
            buf[i] = static_cast<unsigned char>(p->recordNumber >> (8 * i));
            buf[4 + i] = static_cast<unsigned char>(p->length >> (8 * i));
        }
        std::memcpy(buf + 8, p->data, p->length);
        got = static_cast<int>(need);
        delete p;
        break;
    }
    ReadUnlock();
    return result;
}

int Prnt63ReadList::Count() {
    if (ReadLock() != 0) return 0;
    const int n = list_.count;
    ReadUnlock();
    return n;
}

int Prnt63ReadList::PendingCount() {
    if (ReadLock() != 0) return 0;
    const int n = pending_.count;
    ReadUnlock();
    return n;
}

void Prnt63TraceRead(int type, const unsigned char* data, int n) {
    if (!data || n <= 0) {
        clTrace(93, 307, nullptr, 0, 0);
        return;
    }
    if (type != PRN63_READ_MICR) {
        clTrace(93, 307, data, static_cast<uint32_t>(n), 0);
        return;
    }
    std::vector<unsigned char> shown(data, data + n);
    for (unsigned char& c : shown)
        if (c >= '0' && c <= '9') c = '*';
    clTrace(93, 307, shown.data(), static_cast<uint32_t>(n), 0);
}
