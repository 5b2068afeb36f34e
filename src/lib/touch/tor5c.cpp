// Identification of the touch controllers at 0x5C and 0x5D.
#include "Oracle_5C_5D.h"

#include "ObjectSupport.h"
#include "ovkhost.h"
#include "tchdefs.h"

namespace {

const char kTag[] = "@(#)tor5c.cpp 1.1";

enum : uint32_t { LOG_SHORT_ANSWER = 29501, LOG_ERROR = 29502, LOG_CMD_REJECT = 29503 };

constexpr int kDeviceIdAt = 5;

uint16_t clip16(int n) { return static_cast<uint16_t>(n <= 0 ? 0 : (n > 0xFFFF ? 0xFFFF : n)); }

} // namespace

Oracle_5C_5D::Oracle_5C_5D(const DeviceID& id) : Oracle(id, "TCORC_5C_5D") { Arm(); }

Oracle_5C_5D::~Oracle_5C_5D() = default;

void Oracle_5C_5D::Arm() {
    pending_ = request_;
    pendingLength_ = sizeof request_;
}

int Oracle_5C_5D::ResetComplete() {
    Arm();
    return Oracle::ResetComplete();
}

int Oracle_5C_5D::NewMsgRcvd(const unsigned char* data, int n) {
    ClearStatusBits(SIODEV_AWAITING_REPLY);
    if (!data || n < 4) {
        clErrorLog(LOG_SHORT_ANSWER, 306, static_cast<uint32_t>(n), kTag, this,
                   sizeof(Oracle_5C_5D), data, data ? clip16(n) : 0);
    } else {
        if (data[0] & 0x80)
            clErrorLog(LOG_ERROR, 306, 0, kTag, this, sizeof(Oracle_5C_5D), data, clip16(n));
        if (data[1] & 0x80)
            clErrorLog(LOG_CMD_REJECT, 322, 0, kTag, this, sizeof(Oracle_5C_5D), data, clip16(n));
        if (data[1] & 0x04) {
            if (n <= kDeviceIdAt) {
                // Device information without the device id: nothing to decide on.
                clErrorLog(LOG_SHORT_ANSWER, 306, static_cast<uint32_t>(n), kTag, this,
                           sizeof(Oracle_5C_5D), data, clip16(n));
            } else {
                pending_ = nullptr;
                pendingLength_ = 0;
                const unsigned char id = data[kDeviceIdAt];
                if (id >= 16 && id <= 18) typeToCreate_ = TCH95P_TYPE_ID;
                if (id == 19) typeToCreate_ = TCHELOP_TYPE_ID;
                if (typeToCreate_) identified_ = 1;
            }
        }
    }
    if (identified_) {
        // The new device takes over the link and acknowledges this answer itself.
        const int rc = CreateNewDevice(typeToCreate_);
        if (rc != 0) SendAck();
        return rc;
    }
    if (SendAnyPendingMessage() == -1) return SendAck();
    return 0;
}

PDEV* _CreateOracle_5C_5D(const DeviceID& id) { return new Oracle_5C_5D(id); }

namespace {
const unsigned char addressesOracle_5C_5D[] = {0x5C, 0x5D};
}
ObjectSupport objectOracle_5C_5D(ORACLE_5C_5D_TYPE_ID, _CreateOracle_5C_5D, addressesOracle_5C_5D, 2);
