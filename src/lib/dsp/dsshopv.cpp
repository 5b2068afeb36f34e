// Shopper display, virtual side: 12 cells and the lights resource.
#include <new>

#include "ObjectSupport.h"
#include "SHOP.h"

SHOPV::SHOPV(const DeviceID& id, int handle, const unsigned char* name) : DSV(id, handle, name) {
    cellCount_ = kCells;
    StoreLights(0);
}

SHOPV::~SHOPV() = default;

void SHOPV::StoreLights(int32_t value) {
    lights_ = value;
    cells_[kCells] = static_cast<uint16_t>(value & 0xFFFF);
}

int SHOPV::Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
                int count) {
    int32_t lights = 0;
    const posResources table[] = {
        {"displayLightsOn", "DisplayLightsOn", POSRES_INTEGER, &lights, 0, nullptr, 0},
    };
    int rc = LoadResources(resourceName, className, table, 1);
    TraceResources(table, 1);
    DumpResources(table, 1);
    if (rc != 0) return rc;
    StoreLights(lights);
    return DSV::Open(resourceName, className, args, count);
}

int SHOPV::SetValues(PosArg* args, int count) {
    bool given = false;
    int32_t lights = lights_;
    for (int i = 0; args && i < count; ++i)
        if (Named(args[i], "displayLightsOn")) {
            given = true;
            lights = static_cast<int32_t>(args[i].value);
        }
    int rc = DSV::SetValues(args, count);
    if (rc != 0 || !given) return rc;
    StoreLights(lights);
    if (IsHolding()) SendCells(0, cellCount_);
    return 0;
}

int SHOPV::GetValues(PosArg* args, int count) {
    for (int i = 0; args && i < count; ++i)
        if (Named(args[i], "displayLightsOn")) args[i].value = lights_;
    return DSV::GetValues(args, count);
}

VDEV* _CreateSHOPV(const DeviceID& id, int handle) {
    return new (std::nothrow) SHOPV(id, handle, "SHOPV");
}

ObjectSupport objectSHOPV(SHOPV_TYPE_ID, _CreateSHOPV);
