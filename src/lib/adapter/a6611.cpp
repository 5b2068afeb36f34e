// Adapter manager of the 6611 model 3 terminals (type 3000).
#include "ObjectSupport.h"
#include "SIOAM.h"

class QORVEL6611Mod3Adapter : public SIOAM {
public:
    QORVEL6611Mod3Adapter(int slot, short adapterType, const unsigned char* name)
        : SIOAM(slot, adapterType, name) {}
    ~QORVEL6611Mod3Adapter() override = default;
};

ADAPTER* _CreateQORVEL6611Mod3Adapter(int slot, unsigned short adapterType) {
    return new QORVEL6611Mod3Adapter(slot, static_cast<short>(adapterType),
                                     reinterpret_cast<const unsigned char*>("AD6672"));
}

static ObjectSupport objectQORVEL6611Mod3Adapter(3000, _CreateQORVEL6611Mod3Adapter);
