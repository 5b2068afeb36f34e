// Adapter manager of the HLCN terminals (type 3400).
#include "ObjectSupport.h"
#include "SIOAM.h"

class HalcineAdapter : public SIOAM {
public:
    HalcineAdapter(int slot, short adapterType, const unsigned char* name)
        : SIOAM(slot, adapterType, name) {}
    ~HalcineAdapter() override = default;
};

ADAPTER* _CreateHalcineAdapter(int slot, unsigned short adapterType) {
    return new HalcineAdapter(slot, static_cast<short>(adapterType),
                              reinterpret_cast<const unsigned char*>("ADHLCN"));
}

static ObjectSupport objectHalcineAdapter(3400, _CreateHalcineAdapter);
