// Adapter manager of the terminals whose driver reports adapter type 661.
#include "ObjectSupport.h"
#include "SIOAM.h"

class TevrinAdapter : public SIOAM {
public:
    TevrinAdapter(int slot, short adapterType, const unsigned char* name)
        : SIOAM(slot, adapterType, name) {}
    ~TevrinAdapter() override = default;
};

ADAPTER* _CreateTevrinAdapter(int slot, unsigned short adapterType) {
    return new TevrinAdapter(slot, static_cast<short>(adapterType),
                             reinterpret_cast<const unsigned char*>("AD6807"));
}

static ObjectSupport objectTevrinAdapter(37000, _CreateTevrinAdapter);
