// Adapter manager of the terminals whose driver reports adapter type 1 or 6.
#include "ObjectSupport.h"
#include "SIOAM.h"

class ZarekAdapter : public SIOAM {
public:
    ZarekAdapter(int slot, short adapterType, const unsigned char* name)
        : SIOAM(slot, adapterType, name) {}
    ~ZarekAdapter() override = default;
};

ADAPTER* _CreateZarekAdapter(int slot, unsigned short adapterType) {
    return new ZarekAdapter(slot, static_cast<short>(adapterType),
                            reinterpret_cast<const unsigned char*>("AD6842"));
}

static ObjectSupport objectZarekAdapter(3500, _CreateZarekAdapter);
