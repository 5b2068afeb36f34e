// Graphic display, physical side: the fourteen command slots, the picture in column form,
// the text line, mode, lights and defined characters, and the display's replies.
#include <cstring>
#include <new>

#include "APA2.h"
#include "ObjectSupport.h"
#include "ovkhost.h"

namespace {

const char kTag[] = "@(#)dsapa2p.cpp 1.1";

enum : uint32_t {
    kLogDiagFailed = 4801,
    kLogCommandReject = 4802,
    kLogBadRequest = 4803,
    kLogBadEcMessage = 4804,
    kLogBadModeReply = 4805,
    kLogBadConfiguration = 4806,
};

} // namespace

void Apa2ColumnForm(const unsigned char* bitmap, unsigned char* out) {
    for (int band = 0; band < APA2_ROWS / 8; ++band)
        for (int c = 0; c < APA2_ROW_BYTES; ++c)
            for (int j = 0; j < 8; ++j) {
                unsigned char b = 0;
                for (int r = 0; r < 8; ++r)
                    if (bitmap[(band * 8 + r) * APA2_ROW_BYTES + c] & (0x80u >> j))
                        b = static_cast<unsigned char>(b | (1u << r));
                *out++ = b;
            }
}

APA2P::APA2P(const DeviceID& id, const unsigned char* name) : DSP(id, name) {
    vdevType_ = APA2V_TYPE_ID;
    for (int k = 0; k < 4; ++k) {
        blocks_[k][0] = 0xA0;
        blocks_[k][1] = static_cast<unsigned char>(k);
        std::memset(blocks_[k] + 2, 0, kBlockBytes);
    }
    lastBlock_[0] = 0xA0;
    lastBlock_[1] = 0x04;
    std::memset(lastBlock_ + 2, 0, kLastBlockBytes);
    textCmd_[0] = 0x40;
    textCmd_[1] = 0x00;
    textCmd_[2] = APA2_TEXT_LINE;
    std::memset(textCmd_ + 3, 0, APA2_TEXT_LINE);
    const unsigned char bitmapHead[5] = {0x08, 0x00, 0x00, 0x03, 0x20};
    std::memcpy(bitmapCmd_, bitmapHead, sizeof bitmapHead);
    std::memset(bitmapCmd_ + 5, 0, APA2_BITMAP_BYTES);

    SetSlot(kConfigQuery, configQuery_, sizeof configQuery_, true);
    SetSlot(kModeQuery, modeQuery_, sizeof modeQuery_, true);
    SetSlot(kClear, clear_, sizeof clear_);
    SetSlot(kSetMode, setMode_, sizeof setMode_);
    for (int k = 0; k < 4; ++k) SetSlot(kFirstBlock + k, blocks_[k], sizeof blocks_[k]);
    SetSlot(kLastBlock, lastBlock_, sizeof lastBlock_);
    SetSlot(kTextLine, textCmd_, sizeof textCmd_);
    SetSlot(kSetModeKeep, setModeKeep_, sizeof setModeKeep_, true);
    SetSlot(kBitmap, bitmapCmd_, sizeof bitmapCmd_);
    SetSlot(kLights, lightsCmd_, sizeof lightsCmd_);
    slotCount_ = kSlots;
    SetPending(kConfigQuery);
    SetPending(kModeQuery);
    SetPending(kSetMode);
    SetPending(kTextLine);
}

APA2P::~APA2P() = default;

// ---------------------------------------------------------------------------------------
// Requests of the virtual device.

int APA2P::Update(const Apa2Record& record) {
    if (record.clear) {
        std::memset(textCmd_ + 3, 0, APA2_TEXT_LINE);
        std::memset(bitmapCmd_ + 5, 0, APA2_BITMAP_BYTES);
        notBlank_ = false;
        SetPending(kClear);
    }
    if (record.graphics && record.bitmap) {
        Apa2ColumnForm(record.bitmap, bitmapCmd_ + 5);
        notBlank_ = false;
        for (int i = 0; i < APA2_BITMAP_BYTES && !notBlank_; ++i) notBlank_ = bitmapCmd_[5 + i] != 0;
        if (!(mode_ & kModeReported)) SetPending(kSetModeKeep);
        SetPending(kBitmap);
    }
    if (record.textUpdate && record.text) {
        const int first = record.first < 0 ? 0 : record.first;
        const long long end = static_cast<long long>(first) + (record.count > 0 ? record.count : 0);
        const int last = end < APA2_TEXT_LINE ? static_cast<int>(end) : APA2_TEXT_LINE;
        for (int i = first; i < last; ++i) textCmd_[3 + i] = record.text[i];
        if (mode_ & kModeReported) SetPending(kSetMode);
        SetPending(kTextLine);
        if (notBlank_) {
            SetPending(kSetModeKeep);
            SetPending(kBitmap);
        }
    }
    if (record.lightsUpdate) {
        const uint32_t v = static_cast<uint32_t>(record.lights);
        for (int i = 0; i < 4; ++i) lightsCmd_[2 + i] = static_cast<unsigned char>(v >> (24 - 8 * i));
        SetPending(kLights);
    }
    return RequestSendTurn();
}

int APA2P::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    if (request >= 9992 && request <= 9999) return DSP::TellPhys(sender, request, data, length);
    if (request >= APA2_REQ_UPDATE && request <= APA2_REQ_DEFINE) {
        int rc = CheckHolder(sender);
        if (rc != 0) return rc;
    }
    switch (request) {
    case APA2_REQ_UPDATE: {
        if (!data || length < static_cast<int>(sizeof(Apa2Record))) break;
        Apa2Record record;
        std::memcpy(&record, data, sizeof record);
        return Update(record);
    }
    case APA2_REQ_UPSIDE_DOWN:
        mode_ = static_cast<unsigned char>(data ? mode_ | kModeUpsideDown : mode_ & ~kModeUpsideDown);
        setMode_[1] = setModeKeep_[1] = static_cast<unsigned char>(mode_ & 0xF0);
        for (int slot : {kClear, kSetMode, kTextLine, kSetModeKeep, kBitmap}) SetPending(slot);
        return RequestSendTurn();
    case APA2_REQ_DEFINE:
        if (!data || length != APA2_DEFINE_BYTES) break;
        for (int k = 0; k < 4; ++k) std::memcpy(blocks_[k] + 2, data + k * kBlockBytes, kBlockBytes);
        std::memcpy(lastBlock_ + 2, data + 4 * kBlockBytes, kLastBlockBytes);
        defined_ = true;
        for (int slot = kFirstBlock; slot <= kLastBlock; ++slot) SetPending(slot);
        return RequestSendTurn();
    case APA2_REQ_MODE:
    case APA2_REQ_TYPE:
        if (!data || length < 1) break;
        data[0] = request == APA2_REQ_MODE ? mode_ : type_;
        return 0;
    default:
        break;
    }
    LogWith(kLogBadRequest, 321, static_cast<uint32_t>(request), kTag, data,
            data && length > 0 ? length : 0);
    return 321;
}

// ---------------------------------------------------------------------------------------
// Link notifications.

int APA2P::NewMsgRcvd(const unsigned char* data, int n) {
    if (!data) n = 0;
    const unsigned char status = n > 0 ? data[0] : 0;
    if (status & 0x04) {
        if (n >= 3) {
            mode_ = data[1];
            ClearPending(kModeQuery);
        } else {
            LogWith(kLogBadModeReply, 322, static_cast<uint32_t>(n), kTag, data, n);
        }
    }
    if (status & 0x10) {
        if (n >= 6) {
            config_[0] = data[1];
            config_[1] = data[2];
            type_ = data[3];
            config_[2] = data[4];
            deviceSubtype_ = type_ == APA2_TYPE_A ? 17 : type_ == APA2_TYPE_B ? 18 : type_;
            ClearPending(kConfigQuery);
            NowConfirmed();
        } else {
            LogWith(kLogBadConfiguration, 322, static_cast<uint32_t>(n), kTag, data, n);
        }
    }
    if (status & 0x20) {
        if (n >= 2) {
            SetECLevel(data[1]);
            ClearPending(0);
        } else {
            LogWith(kLogBadEcMessage, 322, static_cast<uint32_t>(n), kTag, data, n);
        }
    }
    if (status & 0x40) LogWith(kLogDiagFailed, 324, 0, kTag, data, n);
    bool retry = false;
    if (status & 0x80) {
        LogWith(kLogCommandReject, 322, 0, kTag, data, n);
        retry = RetryRejected();
    } else if (n > 0) {
        AnswerAccepted();
    }
    if (n > 0 && !retry && (lastSent_ == kSetMode || lastSent_ == kSetModeKeep)) ClearPending(lastSent_);

    ClearStatusBits(SIODEV_AWAITING_REPLY);
    int rc = SendAnyPendingMessage();
    if (rc == -1) return SendAck();
    return rc + 1;
}

int APA2P::PowerOnResetInProgress() {
    DSP::PowerOnResetInProgress();
    for (int slot = kConfigQuery; slot <= kSetMode; ++slot) SetPending(slot);
    for (int slot = kTextLine; slot <= kLights; ++slot) SetPending(slot);
    if (defined_)
        for (int slot = kFirstBlock; slot <= kLastBlock; ++slot) SetPending(slot);
    return 0;
}

// ---------------------------------------------------------------------------------------

PDEV* _CreateAPA2P(const DeviceID& id) { return new (std::nothrow) APA2P(id, "APA2P"); }

namespace {
const unsigned char kAddresses[] = {0x2A, 0x2B, 0x2C, 0x2D};
} // namespace

ObjectSupport objectAPA2P(APA2P_TYPE_ID, _CreateAPA2P, kAddresses, 4);
