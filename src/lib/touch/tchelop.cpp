// The touch controller with calibration and modes.
#include "TCHELOP.h"

#include <cstring>

#include "ObjectSupport.h"
#include "VDEV.h"
#include "ovkhost.h"

namespace {

const char kTag[] = "@(#)tchelop.cpp 1.1";

enum : uint32_t {
    LOG_BUFFER_OVERFLOW = 29401,
    LOG_DIAG_FAILED = 29402,
    LOG_CMD_REJECT = 29403,
    LOG_SHORT_DEVICE_INFO = 29404,
};

// Answer bits: byte 0.
enum : unsigned char { ANS_DIAG_FAILED = 0x02, ANS_ERROR = 0x80 };
// Byte 1.
enum : unsigned char {
    ANS_SCALE_OR_PASS = 0x02,
    ANS_DEVICE_INFO = 0x04,
    ANS_BACKLIGHT_DONE = 0x10,
    ANS_CONFIGURE_DONE = 0x40,
    ANS_REJECT = 0x80,
};

constexpr unsigned char kSOH = 0x01, kCR = 0x0D;
constexpr int kReportLength = 12;
constexpr int kPassAnswerLength = 7;

uint16_t clip16(int n) { return static_cast<uint16_t>(n <= 0 ? 0 : (n > 0xFFFF ? 0xFFFF : n)); }

} // namespace

TCHELOP::TCHELOP(const DeviceID& id) : TCH95P(id, "TCHELOP") {
    const unsigned char configure[4] = {0x21, 0x51, 0x00, 0x01};
    std::memcpy(configure_, configure, sizeof configure_);
    brightnessAdjust_[2] = 0;
    slots_[TCHELOP_SLOT_SCALE_X] = {scaleX_, sizeof scaleX_};
    slots_[TCHELOP_SLOT_SCALE_Y] = {scaleY_, sizeof scaleY_};
    slots_[TCHELOP_SLOT_PASS_THROUGH] = {calibrate_, sizeof calibrate_};
    defaults_.contrast = 0;
    defaults_.brightness = 0;
    tchScheduleCmdMsg(TCHELOP_CMD_SCALE_X, nullptr);
    tchScheduleCmdMsg(TCHELOP_CMD_SCALE_Y, nullptr);
}

TCHELOP::~TCHELOP() = default;

void TCHELOP::tchScheduleCmdMsg(int command, TCHRES* settings) {
    switch (command) {
    case TCHELOP_CMD_SCALE_X: Schedule(TCHELOP_SLOT_SCALE_X); return;
    case TCHELOP_CMD_SCALE_Y: Schedule(TCHELOP_SLOT_SCALE_Y); return;
    case TCHELOP_CMD_CALIBRATE:
    case TCHELOP_CMD_RESTORE_DEFAULTS: {
        const bool calibrate = command == TCHELOP_CMD_CALIBRATE;
        slots_[TCHELOP_SLOT_PASS_THROUGH] =
            calibrate ? CommandSlot{calibrate_, sizeof calibrate_}
                      : CommandSlot{restoreDefaults_, sizeof restoreDefaults_};
        pendingOperation_ = calibrate ? TCHELOP_OP_CALIBRATE : TCHELOP_OP_RESTORE;
        Schedule(TCHELOP_SLOT_PASS_THROUGH);
        return;
    }
    case TCHELOP_CMD_NATIVE_MODE:
    case TCHELOP_CMD_EMULATION_MODE: {
        const bool native = command == TCHELOP_CMD_NATIVE_MODE;
        configure_[3] = native ? 0 : 1;
        pendingOperation_ = native ? TCHELOP_OP_NATIVE : TCHELOP_OP_EMULATION;
        Schedule(TCH95P_SLOT_CONFIGURE);
        return;
    }
    default:
        TCH95P::tchScheduleCmdMsg(command, settings);
        return;
    }
}

void TCHELOP::tchScheduleSetup(TCHRES* settings) {
    TCH95P::tchScheduleSetup(settings);
    tchScheduleCmdMsg(TCHELOP_CMD_SCALE_X, nullptr);
    tchScheduleCmdMsg(TCHELOP_CMD_SCALE_Y, nullptr);
}

int TCHELOP::tchSkipThisCmdMsg(int slot) {
    switch (slot) {
    case TCH95P_SLOT_CODE_UPDATE:
    case TCH95P_SLOT_BRIGHTNESS_REQUEST:
    case TCH95P_SLOT_BRIGHTNESS:
        Unschedule(slot); // not on this controller
        return 1;
    default:
        return TCH95P::tchSkipThisCmdMsg(slot);
    }
}

int TCHELOP::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    int command = -1;
    switch (request) {
    case TCH_REQ_CALIBRATE: command = TCHELOP_CMD_CALIBRATE; break;
    case TCH_REQ_RESTORE_DEFAULTS: command = TCHELOP_CMD_RESTORE_DEFAULTS; break;
    case TCH_REQ_NATIVE_MODE:
        if (!IsOwner(sender)) return 315;
        command = TCHELOP_CMD_NATIVE_MODE;
        break;
    case TCH_REQ_EMULATION_MODE: command = TCHELOP_CMD_EMULATION_MODE; break;
    default: return TCH95P::TellPhys(sender, request, data, length);
    }
    const bool locked = Lock() == 0;
    tchScheduleCmdMsg(command, nullptr);
    if (locked) Unlock();
    return 0;
}

void TCHELOP::PostStatus(uint32_t code) {
    if (owner_) owner_->PostQueueMsg(POSM_TOUCH_STATUS, touchStatus_, code);
}

int TCHELOP::NewMsgRcvd(const unsigned char* data, int n) {
    if (!data || n < 4) return 0; // not an answer of this controller

    const bool report = n == kReportLength && data[4] == 'T';
    touchStatus_ = 0;
    bool errorPending = false;
    if (data[0] & ANS_DIAG_FAILED) {
        clErrorLog(LOG_DIAG_FAILED, 306, 0, kTag, this, sizeof(TCHELOP), data, clip16(n));
        tchScheduleCmdMsg(TCHP_CMD_RESET, nullptr);
    } else if (data[0] & ANS_ERROR) {
        touchStatus_ = TCH_STATUS_ERROR;
        clErrorLog(LOG_BUFFER_OVERFLOW, 306, 0, kTag, this, sizeof(TCHELOP), data, clip16(n));
        if (!report && (data[0] & 0x28) == 0x08) touchStatus_ |= TCH_STATUS_TOUCHING;
        errorPending = true;
    }

    const unsigned char b1 = data[1];
    if (b1 & ANS_SCALE_OR_PASS) {
        if (data[2] > 7) {
            if (tchCompleteCmd(TCHELOP_SLOT_SCALE_X) != 0) tchCompleteCmd(TCHELOP_SLOT_SCALE_Y);
        } else {
            tchCompleteCmd(TCHELOP_SLOT_PASS_THROUGH);
            passThroughDone_ = 1;
        }
    }
    if (b1 & ANS_DEVICE_INFO) {
        if (n < 9) {
            clErrorLog(LOG_SHORT_DEVICE_INFO, 306, static_cast<uint32_t>(n), kTag, this,
                       sizeof(TCHELOP), data, clip16(n));
        } else if (tchCompleteCmd(TCHP_SLOT_DEVICE_INFO) == 0) {
            std::memcpy(deviceInfo_, data + 4, sizeof deviceInfo_);
            SetECLevel(deviceInfo_[4]);
            const unsigned char id = deviceInfo_[1], features = deviceInfo_[2];
            unsigned char subtype = 0;
            screenMaxX_ = 399;
            screenMaxY_ = 319;
            if (id == 17) {
                if ((features & 0xE0) == 0x40)
                    subtype = 11;
                else if (features > 95)
                    subtype = (features & 0xE0) == 0xA0 ? 12 : 0;
                else if (features < 32)
                    subtype = 10;
            } else if (id == 19) {
                subtype = 13;
            }
            deviceSubtype_ = subtype;
        }
    }
    if ((b1 & ANS_BACKLIGHT_DONE) && tchCompleteCmd(TCH95P_SLOT_BACKLIGHT) == 0 && !IsConfirmed()) {
        NowConfirmed();
        tchEmulateOnline();
    }
    if (b1 & ANS_CONFIGURE_DONE) {
        tchCompleteCmd(TCH95P_SLOT_CONFIGURE);
        if (pendingOperation_ == TCHELOP_OP_NATIVE) {
            PostStatus(1); // stays: every configure completion reports native mode
        } else if (pendingOperation_ == TCHELOP_OP_EMULATION) {
            PostStatus(2);
            pendingOperation_ = TCHELOP_OP_NONE;
        }
    }
    if (b1 & ANS_REJECT) {
        const int slot = outstanding_;
        const bool known = slot >= 0 && slot < TCHP_SLOTS && slots_[slot].bytes;
        clErrorLog(LOG_CMD_REJECT, 322, 0, kTag, this, sizeof(TCHELOP), data, clip16(n), &slot,
                   sizeof slot, known ? slots_[slot].bytes : nullptr,
                   known ? clip16(slots_[slot].length) : 0);
        CommandRefused();
        tchScheduleCmdMsg(TCHP_CMD_RESET, nullptr);
    }

    deviceTone_ = data[2] & 0x01;
    if (outstanding_ == TCH95P_SLOT_TONE && commandState_ == TCHP_CMD_ACKED &&
        deviceTone_ == expectedTone_)
        tchCompleteCmd(TCH95P_SLOT_TONE);

    if (report) {
        const unsigned char state = data[5];
        lastPoint_ = static_cast<uint32_t>(data[6] | data[7] << 8) << 16 |
                     static_cast<uint32_t>(data[8] | data[9] << 8);
        if (state == 1 || state == 2) touchStatus_ |= TCH_STATUS_TOUCHING;
        if (state == 4) touchStatus_ &= ~TCH_STATUS_TOUCHING;
        if ((state == 1 || state == 2 || state == 4) && IsConfirmed()) {
            tchEmulateData(touchStatus_, lastPoint_);
            if (owner_) owner_->PostQueueMsg(POSM_TOUCH_DATA, touchStatus_, lastPoint_);
            errorPending = false;
        }
    }
    if (errorPending && IsConfirmed()) {
        tchEmulateData(touchStatus_, lastPoint_);
        if (owner_) owner_->PostQueueMsg(POSM_TOUCH_DATA, touchStatus_, lastPoint_);
    }

    if (n == kPassAnswerLength && data[4] == kSOH && data[6] == kCR) {
        uint32_t code = 0;
        switch (data[5]) {
        case '0':
            if (passThroughDone_ && (pendingOperation_ == TCHELOP_OP_RESTORE ||
                                     pendingOperation_ == TCHELOP_OP_CALIBRATE)) {
                code = static_cast<uint32_t>(pendingOperation_);
                passThroughDone_ = 0;
            } else {
                code = 6;
            }
            break;
        case '1': code = 5; break;
        case '2': code = 6; break;
        default: break;
        }
        if (code) PostStatus(code);
    }

    const int rc = SendAnyPendingMessage();
    return rc == -1 ? SendAck() : rc;
}

PDEV* _CreateTCHELOP(const DeviceID& id) { return new TCHELOP(id); }

namespace {
const unsigned char addressesTCHELOP[] = {0x5C, 0x5D};
}
ObjectSupport objectTCHELOP(TCHELOP_TYPE_ID, _CreateTCHELOP, addressesTCHELOP, 2);
