// The row message in flight of the two-row character displays.
#include "DspRowInFlight.h"

#include <cstring>

void DspRowInFlight::Sent(int rowSlot, const unsigned char* bytes, int n) {
    if (!bytes || n <= 0 || n > kMaxBytes) {
        Reset();
        return;
    }
    std::memcpy(copy, bytes, static_cast<size_t>(n));
    length = n;
    slot = rowSlot;
    inFlight = true;
    resend = false;
}

void DspRowInFlight::Acked() {
    if (resend) return; // still owed to the display
    Reset();
}

bool DspRowInFlight::Lost() {
    if (!inFlight) return false;
    resend = true;
    return true;
}

void DspRowInFlight::Reset() {
    length = 0;
    slot = -1;
    inFlight = false;
    resend = false;
}
