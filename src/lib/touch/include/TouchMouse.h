// The mouse emulation of the touch screens: one per process, shared by every touch device.
// A touch moves a pointer device (created through the uinput node) to the touched place
// and presses its left button; the lift-off lets the button go.
#pragma once

#include <linux/input.h>

#include <cstdint>

#include "uinputnode.h"

// The pointer device.
class CMouse {
public:
    // Opens the node, describes the device ("tchuinput", EV_KEY with BTN_LEFT, EV_ABS with
    // ABS_X and ABS_Y from 0 to 65535) and creates it; when the description cannot be
    // written the node is closed and nothing is created.
    CMouse();
    ~CMouse();
    CMouse(const CMouse&) = delete;
    CMouse& operator=(const CMouse&) = delete;

    // Nothing when (x, y) is the last position; else absolute X, absolute Y, the button
    // event as last prepared, and a synchronisation.
    void Move(int x, int y);
    // Button down and a synchronisation, unless the button is down already.
    void LeftDown(int x, int y);
    // Button up and a synchronisation; a button not down is first moved and pressed, so a
    // touch seen only at its lift-off still clicks.
    void LeftUp(int x, int y);

    bool ButtonDown() const { return buttonDown_ != 0; }
    int LastX() const { return lastX_; }
    int LastY() const { return lastY_; }
    const ovkuinput::UinputNode& Node() const { return node_; }

    // Tests: closes the device and sets it up again as at load (the node is looked for
    // under the OVK_ROOT of now), state back to its start.
    void Reopen();

private:
    void Open();
    void Close();
    void Write(input_event& event);

    ovkuinput::UinputNode node_;
    int created_ = 0;
    int lastKind_ = 0; // 0 button up, 1 button down
    int lastX_ = 0;
    int lastY_ = 0;
    int buttonDown_ = 0;
    input_event button_{};
    input_event absX_{};
    input_event absY_{};
    input_event sync_{};
};

// The emulation's state.
struct TouchMouseState {
    int Online = 0;
    uint16_t xTotalSize = 1, yTotalSize = 1;
    uint16_t xFrameSize = 0, yFrameSize = 0;
    long double xCoordRatio = 0, yCoordRatio = 0;
};

// Screen geometry for the subtype, emulation on (off for an unknown subtype).
void TouchMouseOnline(unsigned char subtype);
void TouchMouseOffline();
// x in the high, y in the low 16 bits of point; bit 0x10000 of status: touching.
void TouchMouseData(unsigned long status, unsigned long point);

// The process's emulation and pointer device.
TouchMouseState& TouchMouseEmulation();
CMouse& TouchMousePointer();
