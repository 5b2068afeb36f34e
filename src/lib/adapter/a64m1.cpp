// Adapter manager of the terminals whose driver reports adapter type 0xEFCB.
#include "ObjectSupport.h"
#include "SIOAM.h"

class QuiloAdapter : public SIOAM {
public:
    QuiloAdapter(int slot, short adapterType, const unsigned char* name)
        : SIOAM(slot, adapterType, name) {}
    ~QuiloAdapter() override = default;
};

ADAPTER* _CreateQuiloAdapter(int slot, unsigned short adapterType) {
    return new QuiloAdapter(slot, static_cast<short>(adapterType),
                            reinterpret_cast<const unsigned char*>("AD6412/A"));
}

static ObjectSupport objectQuiloAdapter(3600, _CreateQuiloAdapter);
