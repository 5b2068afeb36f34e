// The row message of a two-row character display that waits for its acknowledgement: a
// copy of the command as sent, kept until the display acknowledges it. When the message
// is lost the copy is resent first at the next turn, so the display never keeps a stale
// row.
#pragma once

#include <cstdint>

struct DspRowInFlight {
    enum { kMaxBytes = 22 };

    unsigned char copy[kMaxBytes] = {};
    int32_t length = 0;
    int32_t slot = -1;
    bool inFlight = false;
    bool resend = false;

    // A row command of slot went out.
    void Sent(int rowSlot, const unsigned char* bytes, int n);
    // The kept copy went out again.
    void Resent() {
        resend = false;
        inFlight = true;
    }
    // The display acknowledged the message in flight.
    void Acked();
    // The outstanding message was lost: true when it was the row in flight, which is then
    // due to be resent.
    bool Lost();
    // Forgets everything (a power-on reset makes the rows pending again anyway).
    void Reset();
};
