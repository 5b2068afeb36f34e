// The process's touch mouse emulation: screen geometry per controller subtype and the
// scaling of touch points to the pointer device's 0-65535 range.
#include "TouchMouse.h"

namespace {

struct Geometry {
    uint16_t xTotal, yTotal, xFrame, yFrame;
};

TouchMouseState state;

} // namespace

// Built when the library is loaded, as the emulation's pointer device.
CMouse Mouse;

TouchMouseState& TouchMouseEmulation() { return state; }
CMouse& TouchMousePointer() { return Mouse; }

void TouchMouseOnline(unsigned char subtype) {
    Geometry g{1, 1, 0, 0};
    bool known = true;
    switch (subtype) {
    case 1: case 3: case 10: case 11: case 12: g = {66, 48, 0, 0}; break;
    case 2: g = {67, 49, 4, 3}; break;
    case 4: g = {79, 56, 8, 5}; break;
    case 13: g = {398, 318, 0, 0}; break;
    default: known = false; break;
    }
    state.xTotalSize = g.xTotal;
    state.yTotalSize = g.yTotal;
    state.xFrameSize = g.xFrame;
    state.yFrameSize = g.yFrame;
    state.Online = known ? 1 : 0;
    // Every row of the table leaves an active area of at least one unit.
    state.xCoordRatio = 65535.0L / (state.xTotalSize - 2 * state.xFrameSize);
    state.yCoordRatio = 65535.0L / (state.yTotalSize - 2 * state.yFrameSize);
}

void TouchMouseOffline() { state.Online = 0; }

namespace {

int scale(unsigned coordinate, uint16_t frame, long double ratio) {
    const unsigned inside = coordinate > frame ? coordinate - frame : 0;
    const long double v = inside * ratio;
    return v >= 65536.0L ? 65535 : static_cast<int>(v);
}

} // namespace

void TouchMouseData(unsigned long status, unsigned long point) {
    if (!state.Online) return;
    const int x = scale(static_cast<unsigned>((point >> 16) & 0xFFFF), state.xFrameSize,
                        state.xCoordRatio);
    const int y = scale(static_cast<unsigned>(point & 0xFFFF), state.yFrameSize,
                        state.yCoordRatio);
    if (status & 0x10000) {
        Mouse.Move(x, y);
        Mouse.LeftDown(x, y);
    } else {
        Mouse.LeftUp(x, y);
    }
}
