// The POS keyboard with 50 keys and its own message format.
//
// convertToOBScanCode holds the quoted translations: each key number's code on the extended
// 50-key keyboard at the index of its code here. The codes no key number reaches translate
// to themselves, our own choice.
#include "KB50P.h"

#include "ObjectSupport.h"
#include "VDEV.h"

constexpr unsigned char dk50Lookup[50] = { // external: declared in the header
    255, 18,  19,  20,  34,  21,  22,  35,  36,  55,  37,  38,  40,  52,  53,  54,  2,
    3,   255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 16,  17,  32,  33,
    23,  24,  46,  47,  41,  26,  44,  45,  27,  61,  62,  63,  57,  58,  59,  60,
};

namespace {

// The same key numbers on the extended 50-key keyboard.
constexpr unsigned char kExtendedCodes[50] = {
    255, 75,  59,  107, 76,  60,  108, 79,  63,  111, 78,  62,  110, 77,  61,  109, 123,
    27,  255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 139, 255, 255, 187,
    140, 156, 172, 188, 143, 159, 155, 171, 142, 158, 174, 190, 141, 157, 173, 189,
};

struct Table128 {
    unsigned char t[128];
};
struct Table64 {
    unsigned char t[64];
};

// "1234567890/" at codes 5-15 for the touch-tone style, "7894561230/" at 69-79 for the others.
constexpr Table128 makeCharLookup() {
    Table128 c{};
    const char touchTone[] = "1234567890/";
    const char calculator[] = "7894561230/";
    for (int i = 0; i < 11; ++i) {
        c.t[5 + i] = static_cast<unsigned char>(touchTone[i]);
        c.t[69 + i] = static_cast<unsigned char>(calculator[i]);
    }
    return c;
}

constexpr Table64 makeConvertToOBScanCode() {
    Table64 c{};
    for (int i = 0; i < 64; ++i) c.t[i] = static_cast<unsigned char>(i);
    for (int k = 0; k < 50; ++k)
        if (dk50Lookup[k] < 64 && kExtendedCodes[k] != 255) c.t[dk50Lookup[k]] = kExtendedCodes[k];
    return c;
}

constexpr Table128 charLookup = makeCharLookup();
constexpr Table64 convertToOBScanCode = makeConvertToOBScanCode();
static_assert(convertToOBScanCode.t[2] == 123 && convertToOBScanCode.t[16] == 139 &&
                  convertToOBScanCode.t[63] == 190,
              "the quoted translations");

const char kTag[] = "@(#)k50.cpp 1.1";
enum : uint32_t {
    kLogError = 15901,
    kLogStatusError = 15902,
    kLogDiagnostics = 15903,
    kLogCodeTooHigh = 15904,
    kLogTooManyCodes = 15905,
};
constexpr int kMaxCodes = 6;
constexpr unsigned char kNoPair = 0xFF;

PDEV* make(const DeviceID& id);
const unsigned char kAddresses[] = {0x10, 0x11};
ObjectSupport gKB50P(KB50P_TYPE_ID, make, kAddresses, 2);

} // namespace

extern "C" PDEV* _CreateKB50P(const DeviceID& id) { return new KB50P(id, "KB50P"); }

namespace {
PDEV* make(const DeviceID& id) { return _CreateKB50P(id); }
} // namespace

KB50P::KB50P(const DeviceID& id, const char* name) : KBP(id, name) {
    vdevType_ = KBV_TYPE_ID;
    deviceSubtype_ = 0;
    SetKeyNumberMap(dk50Lookup, sizeof dk50Lookup);
    // Lights 01 00 ll, tone off 42 00, a tone 22|flags 00 duration.
    lights_[0] = 0x01;
    lights_[1] = 0x00;
    lightsAt_ = 2;
    slots_[KBP_SLOT_LIGHTS].length = 3;
    toneOff_[0] = 0x42;
    toneOff_[1] = 0x00;
    tone_[0] = 0x22;
    tone_[1] = 0x00;
    toneFlagsAt_ = 0;
}

KB50P::~KB50P() = default;

void KB50P::Post(uint32_t msg, uint32_t p1, uint32_t p2) {
    if (owner_) owner_->PostQueueMsg(msg, p1, p2);
}

int KB50P::ValidateNumpadStyle(int style) {
    return style == 0 || style == 1 ? 0 : POSERR_KBD_INVALID_NUMPAD_STYLE;
}

int KB50P::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    if (request == KBD_REQ_TYPEMATIC_ON || request == KBD_REQ_TYPEMATIC_OFF) return 0;
    if (request == KBD_REQ_SETTINGS && data && length >= static_cast<int>(sizeof(KbdSettingsRecord))) {
        const auto* record = reinterpret_cast<const KbdSettingsRecord*>(data);
        int rc = ValidateNumpadStyle(record->numpadStyle);
        if (rc != 0) return rc;
        for (unsigned char& m : doubleKeyMap_) m = kNoPair;
        for (const auto& pair : record->doubleKeys) {
            if (pair[0] > 49 || pair[1] > 49) continue;
            const unsigned char s1 = keyNumberMap_[pair[0]], s2 = keyNumberMap_[pair[1]];
            doubleKeyMap_[s1] = s1;
            doubleKeyMap_[s2] = s1;
        }
    }
    return KBP::TellPhys(sender, request, data, length);
}

int KB50P::LastMsgAcked() {
    if (outstanding_ == KBP_SLOT_TONE && ToneOn()) ClearStatusBits(SIODEV_AWAITING_REPLY);
    return 0;
}

int KB50P::NewMsgRcvd(const unsigned char* msg, int length) {
    if (!msg || length < 0) length = 0;
    int start = 2;
    if (length >= 1) {
        const int old = keyLock_;
        keyLock_ = msg[0] & 0x40 ? 1 : 2;
        // The keyboard ends a tone with the error bit; that counts only while a tone sounds:
        // the tone command is the last one sent, or a continuous tone is on and no other
        // command awaits its answer. Otherwise the error bit rejects the outstanding command,
        // which goes again, whatever tone sounded before it.
        const bool continuousTone = ToneOn() && slots_[KBP_SLOT_TONE].bytes == tone_;
        const bool toneEnds = outstanding_ == KBP_SLOT_TONE ||
                              (continuousTone && !TestStatusBits(SIODEV_AWAITING_REPLY));
        if ((msg[0] & 0x80) && !toneEnds) {
            Log(kLogError, 322, 0, msg, length, kTag);
            RetryRejected();
        } else {
            AnswerAccepted();
        }
        if (keyLock_ != old && !Locked() && owner_)
            Post(KBD_WM_STATUS_CHANGE, 0x10000, static_cast<uint32_t>(keyLock_));
    }
    if (length >= 2) {
        if (msg[1] & 0x02) Log(kLogStatusError, 321, 0, msg, length, kTag);
        if ((msg[1] & 0x04) && length >= 3) {
            SetECLevel(msg[2]);
            ClearPending(KBP_SLOT_EC_LEVEL);
            NowConfirmed();
            start = 3;
        }
        if (msg[1] & 0x08) Log(kLogDiagnostics, 324, 0, msg, length, kTag);
    }
    const int count = length > start ? length - start : 0;
    if (!Locked() && owner_ && count > 0) {
        if (count > kMaxCodes) {
            Log(kLogTooManyCodes, 321, static_cast<uint32_t>(count), msg, length, kTag);
        } else {
            for (int i = 0; i < count; ++i) {
                const unsigned char c = msg[start + i];
                if (c > 63) {
                    Log(kLogCodeTooHigh, 321, c, msg, length, kTag);
                    continue;
                }
                const bool flagged = (msg[0] & (1u << i)) != 0;
                const unsigned char m = doubleKeyMap_[c];
                const bool samePair = previousCode_ >= 0 && m != kNoPair && doubleKeyMap_[previousCode_] == m;
                if (!(flagged && samePair)) {
                    const unsigned char character = charLookup.t[numpadStyle_ != 0 ? c + 64 : c];
                    uint32_t p2 = KBD_KEY_ALWAYS | convertToOBScanCode.t[m != kNoPair ? m : c];
                    if (flagged) p2 |= KBD_KEY_FAT_FINGER;
                    if (character) p2 |= KBD_KEY_CHARACTER;
                    Post(KBD_WM_CHAR, static_cast<uint32_t>(character) << 16, p2);
                }
                previousCode_ = c;
            }
        }
    }
    ClearStatusBits(SIODEV_AWAITING_REPLY);
    if (SendAnyPendingMessage() == 0) return 1;
    return SendAck();
}
