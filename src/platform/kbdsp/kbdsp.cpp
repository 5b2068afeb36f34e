// The system-board keyboard stand-in.
#include "KBDSP.h"

#include "ObjectSupport.h"
#include "VDEV.h"

namespace {

constexpr unsigned char kSubtype = 3;
constexpr int kConsoleLights = 24;

PDEV* make(const DeviceID& id) { return new KBDSP(id, "KBDSP"); }
const unsigned char* const kNoAddresses = nullptr;

// The keyboard types the planar sniffer and the device table name for the system board.
ObjectSupport g15500(15500, make, kNoAddresses, 0);
ObjectSupport g15800(15800, make, kNoAddresses, 0);
ObjectSupport g16600(16600, make, kNoAddresses, 0);
ObjectSupport g18200(18200, make, kNoAddresses, 0);
ObjectSupport g18700(18700, make, kNoAddresses, 0);

} // namespace

KBDSP::KBDSP(const DeviceID& id, const char* name) : KBP(id, name) {
    vdevType_ = KBANPV_TYPE_ID;
    deviceSubtype_ = kSubtype;
}

KBDSP::~KBDSP() = default;

int KBDSP::Open(const VDEV* vdev) {
    int rc = KBP::Open(vdev);
    if (rc == 0) {
        SetStatusBits(PDEV_PRESENT);
        NowConfirmed();
    }
    return rc;
}

int KBDSP::ProcessInput(const unsigned char*, int) { return 0; }

void KBDSP::ProcessOutput(long) {}

int KBDSP::NewMsgRcvd(const unsigned char*, int) { return 0; }

int KBDSP::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    if (request >= TELLPHYS_SET_ACK_WAIT && request <= TELLPHYS_GET_ADDRESS_WAIT)
        return PDEV::TellPhys(sender, request, data, length);
    if (requests_.size() >= kRequestLimit) requests_.erase(requests_.begin());
    requests_.push_back(request);
    if (request == kConsoleLights && data && length >= static_cast<int>(sizeof(KbdSettingsRecord)))
        consoleLights_ = reinterpret_cast<const KbdSettingsRecord*>(data)->lights;
    return 0;
}
