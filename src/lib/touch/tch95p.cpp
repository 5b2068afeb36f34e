// The touch controller of the integrated touch display: commands, answers, touch records
// and the firmware code update.
#include "TCH95P.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "ADAPTER.h"
#include "ObjectSupport.h"
#include "VDEV.h"
#include "ovkhost.h"

namespace {

const char kTag[] = "@(#)tch95p.cpp 1.1";

// Log ids of this module.
enum : uint32_t {
    LOG_BUFFER_OVERFLOW = 29201,
    LOG_CMD_REJECT = 29203,
    LOG_FILE_OPEN_ERROR = 29204,
    LOG_FILE_READ_ERROR_1 = 29205,
    LOG_ALLOC_ERROR = 29206,
    LOG_FILE_READ_ERROR_2 = 29207,
    LOG_SHORT_DEVICE_INFO = 29208,
};

// Answer bits: byte 0.
enum : unsigned char { ANS_ERROR = 0x80, ANS_LIFT = 0x20 };
// Byte 1.
enum : unsigned char {
    ANS_DEVICE_INFO = 0x04,
    ANS_BACKLIGHT_DONE = 0x10,
    ANS_CODE_BLOCK_DONE = 0x20,
    ANS_CONFIGURE_DONE = 0x40,
    ANS_REJECT = 0x80,
};
// Byte 2.
enum : unsigned char { ANS_TONE_ON = 0x01, ANS_BRIGHTNESS_DONE = 0x40, ANS_BRIGHTNESS = 0x80 };

// Touch record markers.
enum : unsigned char { REC_TOUCH = 0xFE, REC_LIFT = 0xFD, REC_END = 0xFF };

constexpr int kDeviceInfoEnd = 9; // device information: bytes 4-8
constexpr int kSendPauseMs = 250;

uint16_t clip16(int n) { return static_cast<uint16_t>(n <= 0 ? 0 : (n > 0xFFFF ? 0xFFFF : n)); }

} // namespace

TCH95P::TCH95P(const DeviceID& id) : TCH95P(id, "TCH95P") {}

TCH95P::TCH95P(const DeviceID& id, const char* name) : TCHP(id, name) {
    vdevType_ = TCH95V_TYPE_ID;
    addressWaitTime_ = 144;
    byteWaitTime_ = 104;
    ackWaitTime_ = 5000;
    sendPauseMs_ = kSendPauseMs;

    slots_[TCH95P_SLOT_CODE_UPDATE] = {codeUpdate_, sizeof codeUpdate_};
    slots_[TCH95P_SLOT_BRIGHTNESS_REQUEST] = {brightnessRequest_, sizeof brightnessRequest_};
    slots_[TCH95P_SLOT_BRIGHTNESS] = {brightnessAdjust_, sizeof brightnessAdjust_};
    slots_[TCH95P_SLOT_CONFIGURE] = {configure_, sizeof configure_};
    slots_[TCH95P_SLOT_TONE] = {tone_, sizeof tone_};
    slots_[TCH95P_SLOT_BACKLIGHT] = {backlight_, sizeof backlight_};

    tchScheduleCmdMsg(TCHP_CMD_DEVICE_INFO, nullptr);
    tchScheduleCmdMsg(TCH95P_CMD_CONFIGURE, &defaults_);
    tchScheduleCmdMsg(TCH95P_CMD_BRIGHTNESS, &defaults_);
    tchScheduleCmdMsg(TCH95P_CMD_TONE, &defaults_);
    tchScheduleCmdMsg(TCH95P_CMD_BACKLIGHT, &defaults_);
}

TCH95P::~TCH95P() { delete[] codeImage_; }

// ---------------------------------------------------------------------------------------
// Command building.

unsigned char TCH95P::ModeFlags(int32_t mode) {
    if (mode & 1) return 0x50;
    if ((mode & 6) == 6) return 0x40;
    if (mode & 4) return 0x20;
    return 0x00;
}

void TCH95P::tchScheduleCmdMsg(int command, TCHRES* s) {
    switch (command) {
    case TCH95P_CMD_CODE_UPDATE:
        if (tchBuildCodeUpdateCmdMsg() != 0) return;
        Schedule(TCH95P_SLOT_CODE_UPDATE);
        return;
    case TCH95P_CMD_BRIGHTNESS_REQUEST:
        Schedule(TCH95P_SLOT_BRIGHTNESS_REQUEST);
        return;
    case TCH95P_CMD_BRIGHTNESS:
        // -1 is the controller's own brightness: the byte it holds stays.
        if (s && s->brightness != -1) brightnessAdjust_[2] = static_cast<unsigned char>(s->brightness);
        Schedule(TCH95P_SLOT_BRIGHTNESS);
        return;
    case TCH95P_CMD_CONFIGURE:
        if (s) {
            unsigned char flags = TCH_CFG_ALWAYS;
            if (s->backLightOnEvent) flags |= TCH_CFG_BACKLIGHT_ON_EVENT;
            flags |= ModeFlags(s->mode);
            if (s->clickVolume == 3) flags |= TCH_CFG_CLICK_VOLUME_HIGH;
            if (s->entryClick == 1) flags |= TCH_CFG_ENTRY_CLICK;
            if (s->exitClick == 1) flags |= TCH_CFG_EXIT_CLICK;
            configure_[1] = flags;
            // -1 is the controller's own contrast: the byte it holds stays.
            if (s->contrast != -1) configure_[2] = static_cast<unsigned char>(s->contrast);
        }
        Schedule(TCH95P_SLOT_CONFIGURE);
        return;
    case TCH95P_CMD_TONE:
        if (s) {
            tone_[1] &= 0x1F;
            if (s->toneDuration == 0) {
                tone_[1] |= 0x40;
            } else if (s->toneDuration == 1) {
                tone_[1] |= 0x20;
            } else {
                tone_[2] = static_cast<unsigned char>(s->toneDuration);
            }
            if (s->toneDuration != 0) {
                if (s->toneVolume == 1)
                    tone_[1] |= 0x04;
                else
                    tone_[1] &= static_cast<unsigned char>(~0x04);
                tone_[1] &= static_cast<unsigned char>(~0x18);
                if (s->toneFreq == 2) tone_[1] |= 0x08;
                if (s->toneFreq == 3) tone_[1] |= 0x10;
            }
        }
        Schedule(TCH95P_SLOT_TONE);
        return;
    case TCH95P_CMD_BACKLIGHT:
        if (s) {
            if (s->screenSaverTime == 0) {
                backlight_[1] = 0x00;
                backlight_[2] = backlight_[3] = 0;
            } else if (s->screenSaverTime == 1) {
                backlight_[1] = 0x40;
                backlight_[2] = backlight_[3] = 0;
            } else {
                backlight_[1] = 0x20;
                backlight_[2] = static_cast<unsigned char>(s->screenSaverTime >> 8);
                backlight_[3] = static_cast<unsigned char>(s->screenSaverTime);
            }
        }
        Schedule(TCH95P_SLOT_BACKLIGHT);
        return;
    case TCH95P_CMD_BACKLIGHT_ON_EVENT:
    case TCH95P_CMD_MODE:
    case TCH95P_CMD_CLICK_VOLUME:
    case TCH95P_CMD_ENTRY_CLICK:
    case TCH95P_CMD_EXIT_CLICK:
    case TCH95P_CMD_CONTRAST:
        if (s) {
            unsigned char& flags = configure_[1];
            auto setIf = [&flags](unsigned char bits, bool on) {
                flags = static_cast<unsigned char>(on ? flags | bits : flags & ~bits);
            };
            switch (command) {
            case TCH95P_CMD_BACKLIGHT_ON_EVENT:
                setIf(TCH_CFG_BACKLIGHT_ON_EVENT, s->backLightOnEvent != 0);
                break;
            case TCH95P_CMD_MODE:
                flags = static_cast<unsigned char>((flags & ~TCH_CFG_MODE_MASK) | ModeFlags(s->mode));
                break;
            case TCH95P_CMD_CLICK_VOLUME: setIf(TCH_CFG_CLICK_VOLUME_HIGH, s->clickVolume == 3); break;
            case TCH95P_CMD_ENTRY_CLICK: setIf(TCH_CFG_ENTRY_CLICK, s->entryClick == 1); break;
            case TCH95P_CMD_EXIT_CLICK: setIf(TCH_CFG_EXIT_CLICK, s->exitClick == 1); break;
            default:
                if (s->contrast != -1) configure_[2] = static_cast<unsigned char>(s->contrast);
                break;
            }
        }
        Schedule(TCH95P_SLOT_CONFIGURE);
        return;
    default:
        TCHP::tchScheduleCmdMsg(command, s);
        return;
    }
}

void TCH95P::tchScheduleSetup(TCHRES* settings) {
    tchScheduleCmdMsg(TCH95P_CMD_CONFIGURE, settings);
    tchScheduleCmdMsg(TCH95P_CMD_BRIGHTNESS, settings);
    tchScheduleCmdMsg(TCH95P_CMD_BACKLIGHT, settings);
    // A setup never sounds a tone.
    tchScheduleCmdMsg(TCH95P_CMD_TONE, &defaults_);
}

// ---------------------------------------------------------------------------------------
// Sending.

int TCH95P::tchSkipThisCmdMsg(int slot) {
    switch (slot) {
    case TCH95P_SLOT_BRIGHTNESS_REQUEST:
    case TCH95P_SLOT_BRIGHTNESS:
        if (ecLevel_ > 7 && deviceInfo_[1] != 17) return 0;
        // This controller has no brightness control.
        Unschedule(slot);
        if (defaults_.brightness == -1) {
            defaults_.brightness = 0;
            brightnessAdjust_[2] = 0;
        }
        return 1;
    case TCH95P_SLOT_TONE:
        if (!(tone_[1] & 0x40)) {
            if (deviceTone_ == 1) return 1; // the previous tone still sounds: later
            expectedTone_ = 1;
            return 0;
        }
        if (deviceTone_) {
            expectedTone_ = 0;
            return 0;
        }
        Unschedule(slot); // nothing sounds: nothing to silence
        return 1;
    default:
        return TCHP::tchSkipThisCmdMsg(slot);
    }
}

int TCH95P::SendAnyPendingMessage() {
    if (pending_ == 0) return -1;
    return SendPendingSlot();
}

int TCH95P::ResetComplete() {
    tchScheduleCmdMsg(TCHP_CMD_DEVICE_INFO, nullptr);
    tchScheduleSetup(nullptr);
    return TCHP::ResetComplete();
}

// ---------------------------------------------------------------------------------------
// Requests of the virtual device.

int TCH95P::RequestSendTurn() {
    if (!LinkUp() || !IsConfirmed()) return 317;
    return adapter_ ? adapter_->RequestBuffer() : 317;
}

int TCH95P::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    if (request >= TELLPHYS_SET_ACK_WAIT && request <= TELLPHYS_GET_ADDRESS_WAIT)
        return SIODEVICE::TellPhys(sender, request, data, length);

    // The record may sit anywhere in the caller's memory: it is worked on as a copy.
    TCHRES rec{};
    const bool haveRecord = data && length >= static_cast<int>(sizeof(TCHRES));
    if (haveRecord) std::memcpy(&rec, data, sizeof rec);
    TCHRES* s = haveRecord ? &rec : nullptr;

    // The requesting thread and the link's thread meet here.
    const bool locked = Lock() == 0;
    int rc = 0;
    bool sendTurn = false;
    switch (request) {
    case TCH_REQ_SILENCE:
    case TCH_REQ_SOUND:
        if (!IsOwner(sender)) {
            rc = 315;
            break;
        }
        tchScheduleCmdMsg(TCH95P_CMD_TONE, request == TCH_REQ_SILENCE ? &defaults_ : s);
        sendTurn = true;
        break;
    case TCH_REQ_SETUP:
        tchScheduleSetup(s ? s : &defaults_);
        sendTurn = true;
        break;
    case TCH_REQ_GET_SIZE:
        rec.maxX = screenMaxX_;
        rec.maxY = screenMaxY_;
        break;
    case TCH_REQ_GET_CONTRAST: rec.contrast = configure_[2]; break;
    case TCH_REQ_GET_BRIGHTNESS: rec.brightness = brightnessAdjust_[2]; break;
    case TCH_REQ_SET_BRIGHTNESS: tchScheduleCmdMsg(TCH95P_CMD_BRIGHTNESS, s); break;
    case TCH_REQ_BACKLIGHT_ON_EVENT: tchScheduleCmdMsg(TCH95P_CMD_BACKLIGHT_ON_EVENT, s); break;
    case TCH_REQ_MODE:
        // The mode stays with the controller while the mouse emulation may run.
        if (!emulateAllowed_) tchScheduleCmdMsg(TCH95P_CMD_MODE, s);
        break;
    case TCH_REQ_CLICK_VOLUME: tchScheduleCmdMsg(TCH95P_CMD_CLICK_VOLUME, s); break;
    case TCH_REQ_ENTRY_CLICK: tchScheduleCmdMsg(TCH95P_CMD_ENTRY_CLICK, s); break;
    case TCH_REQ_EXIT_CLICK: tchScheduleCmdMsg(TCH95P_CMD_EXIT_CLICK, s); break;
    case TCH_REQ_CONTRAST: tchScheduleCmdMsg(TCH95P_CMD_CONTRAST, s); break;
    case TCH_REQ_BACKLIGHT: tchScheduleCmdMsg(TCH95P_CMD_BACKLIGHT, s); break;
    default: break;
    }
    if (haveRecord) std::memcpy(data, &rec, sizeof rec);
    if (locked) Unlock();
    if (sendTurn) rc = RequestSendTurn();
    return rc;
}

// ---------------------------------------------------------------------------------------
// Answers and reports.

void TCH95P::LogShortDeviceInformation(const unsigned char* data, int n) {
    clErrorLog(LOG_SHORT_DEVICE_INFO, 306, static_cast<uint32_t>(n), kTag, this, sizeof(TCH95P),
               data, clip16(n));
}

int TCH95P::NewMsgRcvd(const unsigned char* data, int n) {
    if (!data || n < 4) return 0; // not an answer of this controller

    touchStatus_ = 0;
    bool errorPending = false;
    if (data[0] & ANS_ERROR) {
        touchStatus_ = TCH_STATUS_ERROR;
        clErrorLog(LOG_BUFFER_OVERFLOW, 306, 0, kTag, this, sizeof(TCH95P), data, clip16(n));
        if ((data[0] & 0x28) == 0x08) touchStatus_ |= TCH_STATUS_TOUCHING;
        errorPending = true;
    }

    int scan = 4;
    const unsigned char b1 = data[1];
    if (b1 & ANS_DEVICE_INFO) {
        if (n < kDeviceInfoEnd) {
            LogShortDeviceInformation(data, n);
        } else {
            // Device information is never read as touch records.
            scan = n;
            if (tchCompleteCmd(TCHP_SLOT_DEVICE_INFO) == 0) {
                std::memcpy(deviceInfo_, data + 4, sizeof deviceInfo_);
                const unsigned char id = deviceInfo_[1], features = deviceInfo_[2];
                const unsigned char ec = deviceInfo_[4];
                SetECLevel(ec);
                unsigned char subtype = 0;
                screenMaxX_ = 66;
                screenMaxY_ = 48;
                int32_t contrast = deviceInfo_[3] >> 2;
                if (id == 17) {
                    if ((features & 0xE0) == 0x40)
                        subtype = 11;
                    else if (features > 95)
                        subtype = (features & 0xE0) == 0xA0 ? 12 : 0;
                    else if (features < 32)
                        subtype = 10;
                } else if (id == 16 || id == 18) {
                    const unsigned char display =
                        ec > 7 ? (features & 0xF0) : ((features & 0xE0) | 0x10);
                    switch (display) {
                    case 0x30: subtype = 1; contrast = 29; break;
                    case 0x50:
                        subtype = 2;
                        if (ec <= 2) contrast = 34;
                        break;
                    case 0x70:
                    case 0x80:
                        subtype = 4;
                        screenMaxX_ = 78;
                        screenMaxY_ = 56;
                        break;
                    case 0xB0: case 0xC0: case 0xD0: subtype = 3; break;
                    default: break;
                    }
                }
                deviceSubtype_ = subtype;
                if (defaults_.contrast == -1) {
                    defaults_.contrast = contrast;
                    configure_[2] = static_cast<unsigned char>(contrast);
                }
                tchCodeUpdateInit();
                tchScheduleCmdMsg(TCH95P_CMD_CODE_UPDATE, nullptr);
                tchScheduleCmdMsg(TCH95P_CMD_BRIGHTNESS_REQUEST, nullptr);
            }
        }
    }
    if ((b1 & ANS_BACKLIGHT_DONE) && tchCompleteCmd(TCH95P_SLOT_BACKLIGHT) == 0 && !IsConfirmed()) {
        NowConfirmed();
        if (emulateAllowed_) tchEmulateOnline();
    }
    if ((b1 & ANS_CODE_BLOCK_DONE) && tchCompleteCmd(TCH95P_SLOT_CODE_UPDATE) == 0)
        tchScheduleCmdMsg(TCH95P_CMD_CODE_UPDATE, nullptr);
    if (b1 & ANS_CONFIGURE_DONE) tchCompleteCmd(TCH95P_SLOT_CONFIGURE);
    if (b1 & ANS_REJECT) {
        const int slot = outstanding_;
        const bool known = slot >= 0 && slot < TCHP_SLOTS && slots_[slot].bytes;
        clErrorLog(LOG_CMD_REJECT, 322, 0, kTag, this, sizeof(TCH95P), data, clip16(n), &slot,
                   sizeof slot, known ? slots_[slot].bytes : nullptr,
                   known ? clip16(slots_[slot].length) : 0);
        CommandRefused();
        tchScheduleCmdMsg(TCHP_CMD_RESET, nullptr);
    }

    const unsigned char b2 = data[2];
    deviceTone_ = b2 & ANS_TONE_ON;
    if (outstanding_ == TCH95P_SLOT_TONE && commandState_ == TCHP_CMD_ACKED &&
        deviceTone_ == expectedTone_)
        tchCompleteCmd(TCH95P_SLOT_TONE);
    if (b2 & ANS_BRIGHTNESS_DONE) tchCompleteCmd(TCH95P_SLOT_BRIGHTNESS);
    if (b2 & ANS_BRIGHTNESS) {
        if (defaults_.brightness == -1 && scan < n) {
            defaults_.brightness = data[scan];
            brightnessAdjust_[2] = data[scan];
            ++scan;
        }
        tchCompleteCmd(TCH95P_SLOT_BRIGHTNESS_REQUEST);
    }

    // Touch records: 4 bytes each; a record of another kind runs up to its 0xFF.
    while (scan < n) {
        const unsigned char marker = data[scan];
        if (marker == REC_TOUCH || marker == REC_LIFT) {
            if (n - scan < 4) break;
            lastPoint_ = static_cast<uint32_t>(data[scan + 1]) << 16 | data[scan + 2];
            if (IsConfirmed()) {
                if (marker == REC_LIFT || (data[0] & ANS_LIFT))
                    touchStatus_ &= ~TCH_STATUS_TOUCHING;
                else
                    touchStatus_ |= TCH_STATUS_TOUCHING;
                tchEmulateData(touchStatus_, lastPoint_);
                if (owner_) owner_->PostQueueMsg(POSM_TOUCH_DATA, touchStatus_, lastPoint_);
                errorPending = false;
            }
            scan += 4;
            continue;
        }
        const void* end = std::memchr(data + scan, REC_END, static_cast<size_t>(n - scan));
        if (!end) break;
        scan = static_cast<int>(static_cast<const unsigned char*>(end) - data) + 1;
    }

    if (errorPending && IsConfirmed()) {
        tchEmulateData(touchStatus_, lastPoint_);
        if (owner_) owner_->PostQueueMsg(POSM_TOUCH_DATA, touchStatus_, lastPoint_);
    }

    const int rc = SendAnyPendingMessage();
    return rc == -1 ? SendAck() : rc;
}

// ---------------------------------------------------------------------------------------
// Firmware code update.

void TCH95P::tchCodeUpdateInit() {
    codeUpdateDone_ = 0;
    codeReadPosition_ = 0;
}

bool TCH95P::LoadCodeImage() {
    char name[16];
    std::snprintf(name, sizeof name, "OVK%.3d.TCH", static_cast<int>(ecLevel_));
    char path[100];
    if (chSearchPath(name, "LD_LIBRARY_PATH", path, sizeof path) != 0) return false;

    FILE* f = std::fopen(path, "rbe");
    if (!f) {
        clErrorLog(LOG_FILE_OPEN_ERROR, 333, 0, kTag, this, sizeof(TCH95P), path,
                   clip16(static_cast<int>(std::strlen(path)) + 1));
        return false;
    }
    unsigned char header[2];
    if (std::fread(header, 1, 2, f) != 2) {
        clErrorLog(LOG_FILE_READ_ERROR_1, 333, 0, kTag, this, sizeof(TCH95P), path,
                   clip16(static_cast<int>(std::strlen(path)) + 1));
        std::fclose(f);
        return false;
    }
    const int32_t size = header[0] << 8 | header[1];
    if (size > 0) {
        unsigned char* image = new (std::nothrow) unsigned char[size];
        if (!image) {
            clErrorLog(LOG_ALLOC_ERROR, 333, static_cast<uint32_t>(size), kTag, this,
                       sizeof(TCH95P));
        } else if (std::fread(image, 1, static_cast<size_t>(size), f) != static_cast<size_t>(size)) {
            clErrorLog(LOG_FILE_READ_ERROR_2, 333, static_cast<uint32_t>(size), kTag, this,
                       sizeof(TCH95P), path, clip16(static_cast<int>(std::strlen(path)) + 1));
            delete[] image;
        } else {
            codeImage_ = image;
            codeImageSize_ = size;
        }
    }
    std::fclose(f);
    return codeImage_ != nullptr;
}

int TCH95P::tchBuildCodeUpdateCmdMsg() {
    if (codeUpdateDone_) return -1;
    if (!codeImage_) LoadCodeImage();
    auto finish = [this] {
        codeUpdate_[1] = 0;
        codeUpdateDone_ = 1;
        slots_[TCH95P_SLOT_CODE_UPDATE].length = 2;
        return 0;
    };
    if (!codeImage_) return finish(); // no update for this controller: the empty block

    const int32_t at = codeReadPosition_;
    const int32_t length = at < codeImageSize_ ? codeImage_[at] : -1;
    if (length < 0 || length > codeImageSize_ - at - 1) {
        // The image ends inside the block (or before a block of length 0): the update ends.
        clErrorLog(LOG_FILE_READ_ERROR_2, 333, static_cast<uint32_t>(at), kTag, this,
                   sizeof(TCH95P));
        return finish();
    }
    codeUpdate_[1] = static_cast<unsigned char>(length);
    std::memcpy(codeUpdate_ + 2, codeImage_ + at + 1, static_cast<size_t>(length));
    codeReadPosition_ = at + 1 + length;
    if (length == 0) codeUpdateDone_ = 1;
    slots_[TCH95P_SLOT_CODE_UPDATE].length = length + 2;
    return 0;
}

// ---------------------------------------------------------------------------------------
// Registration.

PDEV* _CreateTCH95P(const DeviceID& id) { return new TCH95P(id); }

namespace {
const unsigned char addressesTCH95P[] = {0x5C};
}
ObjectSupport objectTCH95P(TCH95P_TYPE_ID, _CreateTCH95P, addressesTCH95P, 1);
