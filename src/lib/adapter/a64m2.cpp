// Adapter manager of the terminals whose driver reports adapter type 2.
#include "ObjectSupport.h"
#include "SIOAM.h"

class MorvathAdapter : public SIOAM {
public:
    MorvathAdapter(int slot, short adapterType, const unsigned char* name)
        : SIOAM(slot, adapterType, name) {}
    ~MorvathAdapter() override = default;
};

ADAPTER* _CreateMorvathAdapter(int slot, unsigned short adapterType) {
    return new MorvathAdapter(slot, static_cast<short>(adapterType),
                              reinterpret_cast<const unsigned char*>("AD6412"));
}

static ObjectSupport objectMorvathAdapter(3700, _CreateMorvathAdapter);
