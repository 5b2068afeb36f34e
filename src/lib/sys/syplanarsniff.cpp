// The sniffer of the system board: the keyboard and MSR behind the planar keyboard driver.
#include "PlanarSniffer.h"

#include <new>

#include "ADAPTER.h"
#include "COMD.h"
#include "ObjectSupport.h"
#include "Slot.h"
#include "sydevnode.h"

namespace {

const char kTag[] = "@(#)syplanarsniff.cpp";

constexpr int32_t kPlanarSnifferType = 1800;
constexpr uint8_t kKeyboardAddress = 0x81;
constexpr uint8_t kMsrAddress = 0x82;

// Device classes by keyboard.
constexpr long kPosKeyboard = 15800;       // keyboard id 0x87AB, types 1, 3, 4, 7, 8, 9
constexpr long kOtherKeyboard = 16600;     // keyboard id 0x87AB, other types
constexpr long kPosKeyboardMsr = 10700;
constexpr long kMsrKeyboard = 15500;       // keyboard id 0x88AB
constexpr long kMsrKeyboardMsr = 10600;

uint16_t get16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

void releaseAdapter(PDEV* device) {
    if (ADAPTER* adapter = device->GetAdapter()) {
        int remaining = 0;
        adapter->Close(device, remaining);
    }
}

} // namespace

PDEV* _CreatePlanarSniffer(const DeviceID& id) {
    return new (std::nothrow) PlanarSniffer(id, "SYPLNSNF");
}

ObjectSupport objectPlanarSniffer(kPlanarSnifferType, _CreatePlanarSniffer,
                                  static_cast<const unsigned char*>(nullptr), 0);

PlanarSniffer::PlanarSniffer(const DeviceID& id, const unsigned char* name) : PDEV(id, name) {
    vdevType_ = kPlanarSnifferType;
    deviceType_ = PDEV_TYPE_SNIFFER;
}

PlanarSniffer::~PlanarSniffer() = default;

int PlanarSniffer::TellPhys(const VDEV* sender, int code, unsigned char* data, int length) {
    switch (code) {
    case PLANAR_MAKE_DEVICES:
        MakeMyPDEVs();
        return 0;
    case 1231:
    case 1232:
    case 1233:
        return 0;
    default:
        return PDEV::TellPhys(sender, code, data, length);
    }
}

void PlanarSniffer::MakeMyPDEVs() {
    if (made_) return;
    made_ = 1;
    DetermineKeyboard();
}

void PlanarSniffer::DetermineKeyboard() {
    int fd = -1;
    if (chDevOpen("/dev/ovkikbps", fd) != 0) return;
    // The whole record starts zeroed, so that nothing the driver leaves unset reads as a
    // keyboard; a request the driver refuses means there is none.
    unsigned char record[KBD_RECORD_SIZE] = {};
    const int result = chDevIoctl(fd, KBD_QUERY_KEYBOARD, record, sizeof record, 0);
    chDevClose(fd);
    if (result != 0) return;

    const uint16_t keyboard = get16(record + 4);
    const uint16_t type = get16(record + 6);
    const uint16_t msrFlag = get16(record + 8);
    const bool msrBit = (record[13] & 0x04) != 0;
    const DeviceID keyboardId(id_.slot, 0, kKeyboardAddress);
    const DeviceID msrId(id_.slot, 0, kMsrAddress);

    if (keyboard == KBD_ID_POS) {
        const bool msrTypes = type == 1 || type == 3 || type == 4;
        const bool msrBitTypes = type == 7 || type == 8 || type == 9;
        if (MakeInitOpenPDEV(keyboardId, msrTypes || msrBitTypes ? kPosKeyboard : kOtherKeyboard) != 0)
            return;
        const bool msr = msrTypes ? msrFlag != 0 : msrBitTypes && msrBit;
        if (msr) MakeInitOpenPDEV(msrId, kPosKeyboardMsr);
    } else if (keyboard == KBD_ID_POS_MSR) {
        if (MakeInitOpenPDEV(keyboardId, kMsrKeyboard) == 0 && msrFlag != 0)
            MakeInitOpenPDEV(msrId, kMsrKeyboardMsr);
    }
}

int PlanarSniffer::MakeInitOpenPDEV(const DeviceID& id, long type) {
    Slot* slot = pcomd ? pcomd->GetSlot(id_.slot) : nullptr;
    if (!slot) return 326;
    PDEV* device = nullptr;
    int rc = slot->FindPhysical(id, device);
    if (rc != 0) return rc;
    if (device) return 0;
    rc = slot->MakePhysical(id, type, device);
    if (rc != 0) return rc;
    if (!device) return 321;
    rc = device->Init();
    if (rc == 0) {
        rc = slot->LinkinPhysical(device);
        if (rc != 0) {
            releaseAdapter(device);
        } else {
            rc = device->Open(nullptr);
            if (rc != 0) device->Term();
        }
    }
    if (rc != 0) {
        if (rc != 317)
            clErrorLog(1801, static_cast<uint32_t>(rc), 0, kTag, this, sizeof(PlanarSniffer), device,
                       sizeof(PDEV));
        delete device;
    }
    return rc;
}
