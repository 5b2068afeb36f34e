// The client's RS-232 port.
#include "RS232CV.h"

#include <cstring>
#include <new>

#include "ObjectSupport.h"
#include "PDEV.h"
#include "rs232setup.h"

namespace {

const char kTag[] = "@(#)rs232cv.cpp 1.1";

enum : uint32_t { LOG_QUEUE_FAILED = 27101, LOG_BAD_MESSAGE = 27102 };

#define ROWV(name, value) {name, LookupHash(name), value}
const posLookup kBaudRates[] = {
    ROWV("BAUD_RATE_110", 110), ROWV("BAUD_RATE_300", 300), ROWV("BAUD_RATE_1200", 1200),
    ROWV("BAUD_RATE_2400", 2400), ROWV("BAUD_RATE_4800", 4800), ROWV("BAUD_RATE_9600", 9600),
};
const posLookup kStopBits[] = {ROWV("STOP_BITS_1", 10), ROWV("STOP_BITS_1_5", 15), ROWV("STOP_BITS_2", 20)};
const posLookup kParity[] = {ROWV("PARITY_ODD", 1), ROWV("PARITY_EVEN", 2), ROWV("PARITY_NONE", 0)};
const posLookup kDataBits[] = {ROWV("DATA_BITS_5", 5), ROWV("DATA_BITS_6", 6), ROWV("DATA_BITS_7", 7),
                               ROWV("DATA_BITS_8", 8)};
#undef ROWV

bool named(const PosArg& a, const char* name) { return a.name && std::strcmp(a.name, name) == 0; }

// A received block: flags, length, data.
struct Block {
    int16_t flags;
    int16_t length;
    unsigned char data[1];
};

} // namespace

RS232CV::RS232CV(const DeviceID& id, int handle) : VDEV(id, handle, "RS232CV") {}

RS232CV::~RS232CV() { Discard(); }

void RS232CV::Discard() {
    while (queue_.start() == 0) delete[] static_cast<unsigned char*>(queue_.linkout());
}

void RS232CV::Take(const PosArg* args, int count, Rs232Settings& s, bool lineMode) {
    for (int i = 0; args && i < count; ++i) {
        const PosArg& a = args[i];
        const int32_t v = static_cast<int32_t>(a.value);
        if (named(a, "baudRate")) s.baud = v;
        else if (named(a, "stopBits")) s.stopBits = v;
        else if (named(a, "parity")) s.parity = v;
        else if (named(a, "dataBits")) s.dataBits = v;
        else if (named(a, "timeoutChar")) s.timeoutChars = v;
        else if (lineMode && named(a, "lineMode")) s.lineMode = v;
    }
}

int RS232CV::Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
                  int count) {
    static const unsigned char kNone[] = "";
    Rs232Settings s;
    const posResources table[] = {
        {"rs232Status", "Rs232Status", POSRES_BOOLEAN, nullptr, 0, nullptr, 0},
        {"lineMode", "LineMode", POSRES_INTEGER, &s.lineMode, 0x23, nullptr, 0},
        {"baudRate", "BaudRate", POSRES_INTEGER, &s.baud, 300, kBaudRates, 6},
        {"stopBits", "StopBits", POSRES_INTEGER, &s.stopBits, 10, kStopBits, 3},
        {"parity", "Parity", POSRES_INTEGER, &s.parity, 2, kParity, 3},
        {"dataBits", "DataBits", POSRES_INTEGER, &s.dataBits, 7, kDataBits, 4},
        {"timeoutChar", "TimeoutChar", POSRES_INTEGER, &s.timeoutChars, 16, nullptr, 0},
    };
    int rc = LoadResources(resourceName ? resourceName : kNone, className ? className : kNone, table, 7);
    if (rc != 0) return rc;
    settings_ = s;
    rc = VDEV::Open(resourceName, className, args, count);
    if (rc != 0) return rc;
    rc = Rs232Validate(settings_, true);
    if (rc != 0) {
        int remaining = 0;
        VDEV::Close(remaining);
    }
    return rc;
}

int RS232CV::Close(int& remaining) {
    const bool queued = queue_.count > 0;
    Discard();
    const int rc = VDEV::Close(remaining);
    return rc == 0 && queued ? 320 : rc;
}

int RS232CV::SetValuesCreation(PosArg* args, int count) {
    Rs232Settings s = settings_;
    Take(args, count, s, false);
    int rc = Rs232Validate(s, true);
    if (rc != 0) return rc;
    rc = VDEV::SetValuesCreation(args, count);
    if (rc != 0) return rc;
    settings_ = s;
    return 0;
}

int RS232CV::SetValues(PosArg* args, int count) {
    Rs232Settings s = settings_;
    Take(args, count, s, true);
    int rc = Rs232Validate(s, false);
    if (rc != 0) return rc;
    rc = VDEV::SetValues(args, count);
    if (rc != 0) return rc;
    settings_ = s;
    if (IsHolding() && pdev_) {
        Rs232Record rec;
        rec.field[4] = s.baud;
        rec.field[5] = s.stopBits;
        rec.field[6] = s.parity;
        rec.field[7] = s.dataBits;
        rec.field[8] = s.timeoutChars;
        rec.field[9] = s.lineMode;
        pdev_->TellPhys(this, RS232_REQ_SETTINGS, reinterpret_cast<unsigned char*>(&rec), sizeof rec);
    }
    return 0;
}

int RS232CV::GetValues(PosArg* args, int count) {
    for (int i = 0; args && i < count; ++i) {
        PosArg& a = args[i];
        if (named(a, "rs232Status")) {
            Rs232Record rec;
            if (pdev_) pdev_->TellPhys(this, RS232_REQ_STATUS, reinterpret_cast<unsigned char*>(&rec), sizeof rec);
            a.value = rec.field[3];
        } else if (named(a, "lineMode")) {
            a.value = settings_.lineMode;
        } else if (named(a, "baudRate")) {
            a.value = settings_.baud;
        } else if (named(a, "stopBits")) {
            a.value = settings_.stopBits;
        } else if (named(a, "parity")) {
            a.value = settings_.parity;
        } else if (named(a, "dataBits")) {
            a.value = settings_.dataBits;
        } else if (named(a, "timeoutChar")) {
            a.value = settings_.timeoutChars;
        }
    }
    return VDEV::GetValues(args, count);
}

int RS232CV::Write(const void* buffer, unsigned int length, int& count) {
    count = 0;
    if (!IsHolding() || !pdev_) return 315;
    if (length > RS232_MAX_WRITE) return 318;
    if (length == 0) return 0;
    if (chCheckBuffer(buffer, static_cast<int>(length), CH_ACCESS_READ) != 0) return 318;
    Rs232Record rec;
    rec.data = static_cast<unsigned char*>(const_cast<void*>(buffer));
    rec.field[1] = static_cast<int32_t>(length);
    const int rc = pdev_->TellPhys(this, RS232_REQ_TRANSMIT, reinterpret_cast<unsigned char*>(&rec), sizeof rec);
    count = rc == 0 ? rec.field[2] : 0;
    return rc;
}

int RS232CV::Read(void* buffer, unsigned int length, int& count) {
    count = 0;
    if (!IsHolding()) return 315;
    if (queue_.start() != 0) return 0;
    const auto* b = static_cast<const Block*>(queue_.get());
    const unsigned int whole = 4u + static_cast<uint16_t>(b->length);
    if (whole > length) return 312;
    if (chCheckBuffer(buffer, static_cast<int>(whole), CH_ACCESS_WRITE) != 0) return 312;
    std::memcpy(buffer, b, whole);
    delete[] static_cast<unsigned char*>(queue_.linkout());
    count = static_cast<int>(whole);
    return 0;
}

int RS232CV::IOCtl(int request, PosArg* args, int count, int& out) {
    if (request != POS_RS232_SEND_BREAK) return VDEV::IOCtl(request, args, count, out);
    out = 0;
    if (!IsHolding() || !pdev_) return 315;
    Rs232Record rec;
    return pdev_->TellPhys(this, RS232_REQ_BREAK, reinterpret_cast<unsigned char*>(&rec), sizeof rec);
}

int RS232CV::TellVirt(const PDEV* /*from*/, int message, unsigned char* data, int length) {
    Rs232Record rec;
    if (data && length >= static_cast<int>(sizeof rec)) std::memcpy(&rec, data, sizeof rec);
    switch (message) {
    case RS232_VIRT_SETTINGS:
        if (!data || length < static_cast<int>(sizeof rec)) return 321;
        rec.field[3] = settings_.baud;
        rec.field[4] = settings_.stopBits;
        rec.field[5] = settings_.parity;
        rec.field[6] = settings_.dataBits;
        rec.field[7] = settings_.timeoutChars;
        rec.field[8] = settings_.lineMode;
        std::memcpy(data, &rec, sizeof rec);
        return 0;
    case RS232_VIRT_BREAK:
        PostQueueMsg(POSM_RS232_BREAK_DETECTED, 0, 0);
        return 0;
    case RS232_VIRT_XMIT_COMPLETE:
        PostQueueMsg(POSM_RS232_XMIT_COMPLETE, 0, 0);
        return 0;
    case RS232_VIRT_XMIT_ABORT:
        PostQueueMsg(POSM_RS232_XMIT_ABORT, 0, 0);
        return 0;
    case RS232_VIRT_DATA: {
        const int n = rec.field[1];
        if (!rec.data || n <= 0 || n > 0x7FFF) return 321;
        auto* bytes = new (std::nothrow) unsigned char[4 + static_cast<size_t>(n)];
        if (!bytes) return 305;
        const int16_t head[2] = {static_cast<int16_t>(rec.field[2]), static_cast<int16_t>(n)};
        std::memcpy(bytes, head, 4);
        std::memcpy(bytes + 4, rec.data, static_cast<size_t>(n));
        queue_.end();
        const int rc = queue_.linkin(bytes);
        if (rc != 0) {
            delete[] bytes;
            clErrorLog(LOG_QUEUE_FAILED, static_cast<uint32_t>(rc), 0, kTag, this, sizeof *this);
            return rc;
        }
        PostQueueMsg(POSM_RS232_DATA_AVAIL, 0, static_cast<unsigned long>(n + 4));
        return 0;
    }
    default:
        clErrorLog(LOG_BAD_MESSAGE, 321, static_cast<uint32_t>(message), kTag, this, sizeof *this);
        return 321;
    }
}

VDEV* _CreateRS232CV(const DeviceID& id, int handle) { return new RS232CV(id, handle); }
ObjectSupport objectRS232CV(RS232CV_TYPE_ID, _CreateRS232CV);
