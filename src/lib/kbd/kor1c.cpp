// The keyboard identifier.
#include "Oracle_1C_1D.h"

#include "ObjectSupport.h"
#include "kbddefs.h"
#include "ovkhost.h"

namespace {

const char kTag[] = "@(#)kor1c.cpp 1.1";

enum : uint32_t {
    kLogShort = 16001,
    kLogDeviceError = 16002,
    kLogRejected = 16003,
    kLogUnexpectedInformation = 16004,
    kLogShortInformation = 16005,
};

// The information answer: status byte 1 bit 2, then bytes 4-6 (byte 5 the keyboard type).
constexpr unsigned char kInformation = 0x04;
constexpr int kInformationLength = 7;

PDEV* makeOracle(const DeviceID& id) { return _CreateOracle_1C_1D(id); }
const unsigned char kAddresses[] = {0x1C, 0x1D};
ObjectSupport gOracle(ORACLE_1C_1D_TYPE_ID, makeOracle, kAddresses, 2);

uint16_t blockLength(int n) { return static_cast<uint16_t>(n <= 0 ? 0 : (n > 0xFFFF ? 0xFFFF : n)); }

} // namespace

extern "C" PDEV* _CreateOracle_1C_1D(const DeviceID& id) { return new Oracle_1C_1D(id); }

Oracle_1C_1D::Oracle_1C_1D(const DeviceID& id) : Oracle(id, "KBORC_1C_1D") {
    pending_ = probe_;
    pendingLength_ = sizeof probe_;
}

Oracle_1C_1D::~Oracle_1C_1D() = default;

long Oracle_1C_1D::TypeFor(unsigned char keyboardType, unsigned char info6) {
    switch (keyboardType) {
    case 1: return info6 & 0x10 ? KBOJUCCP_TYPE_ID : KBO50P_TYPE_ID;
    case 2: return KBO50P_TYPE_ID;
    case 3: return KBO133P_TYPE_ID;
    case 4: return KBO117P_TYPE_ID;
    case 5: return KBO121P_TYPE_ID;
    case 6: return KBOKBVP_TYPE_ID;
    case 10: return KB_UNREGISTERED_TYPE_ID;
    case 11: return KB6629P_TYPE_ID;
    case 12: return KBO32P_TYPE_ID;
    case 28: return KBOKBEP_TYPE_ID;
    default: return 0;
    }
}

int Oracle_1C_1D::ResetComplete() {
    pending_ = probe_;
    pendingLength_ = sizeof probe_;
    return Oracle::ResetComplete();
}

int Oracle_1C_1D::NewMsgRcvd(const unsigned char* msg, int n) {
    ClearStatusBits(SIODEV_AWAITING_REPLY);
    if (!msg) n = 0;
    auto log = [&](uint32_t id, uint32_t rc, uint32_t extra) {
        clErrorLog(id, rc, extra, kTag, this, blockLength(static_cast<int>(sizeof *this)), msg,
                   blockLength(n));
    };
    long type = 0;
    if (n < 4) {
        log(kLogShort, 306, static_cast<uint32_t>(n));
    } else {
        if (msg[0] & 0x80) log(kLogDeviceError, 306, 0);
        if (msg[1] & 0x80) log(kLogRejected, 322, 0);
        if (msg[1] & kInformation) {
            if (n < kInformationLength) {
                // An information answer too short to name the keyboard: asked again after
                // the next link reset.
                log(kLogShortInformation, 318, static_cast<uint32_t>(n));
            } else {
                pending_ = nullptr;
                pendingLength_ = 0;
                if (msg[4] != 0x10) log(kLogUnexpectedInformation, 321, msg[4]);
                type = TypeFor(msg[5], msg[6]);
            }
        }
    }
    if (type != 0 && CreateNewDevice(type) == 0) return 0;
    int rc = SendAnyPendingMessage();
    return rc == -1 ? SendAck() : rc;
}
