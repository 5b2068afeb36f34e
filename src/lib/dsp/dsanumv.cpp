// Numeric display, virtual side: the display base with 40 cells.
#include <new>

#include "ANUM.h"
#include "ObjectSupport.h"

ANUMV::ANUMV(const DeviceID& id, int handle, const unsigned char* name) : DSV(id, handle, name) {
    cellCount_ = kCells;
}

ANUMV::~ANUMV() = default;

VDEV* _CreateANUMV(const DeviceID& id, int handle) {
    return new (std::nothrow) ANUMV(id, handle, "ANUMV");
}

ObjectSupport objectANUMV(ANUMV_TYPE_ID, _CreateANUMV);
