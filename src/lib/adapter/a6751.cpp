// Adapter manager of the terminals whose driver reports adapter type 5 or 0x917D.
#include "ObjectSupport.h"
#include "SIOAM.h"

class OstraneFerumaAdapter : public SIOAM {
public:
    OstraneFerumaAdapter(int slot, short adapterType, const unsigned char* name)
        : SIOAM(slot, adapterType, name) {}
    ~OstraneFerumaAdapter() override = default;
};

ADAPTER* _CreateOstraneFerumaAdapter(int slot, unsigned short adapterType) {
    return new OstraneFerumaAdapter(slot, static_cast<short>(adapterType),
                                    reinterpret_cast<const unsigned char*>("AD6751"));
}

static ObjectSupport objectOstraneFerumaAdapter(3800, _CreateOstraneFerumaAdapter);
