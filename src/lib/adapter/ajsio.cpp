// Adapter manager of the Japanese SIO terminals (type 3200): the local NVRAM is on port 1.
#include "JapaneseNvramInfo.h"
#include "ObjectSupport.h"
#include "SIOAM.h"

class JapaneseSIOAdapter : public SIOAM {
public:
    JapaneseSIOAdapter(int slot, short adapterType, const unsigned char* name)
        : SIOAM(slot, adapterType, name) {}
    ~JapaneseSIOAdapter() override = default;
    void GetLocalNvramInfo(NvramInfoStruct& info) override { JapaneseLocalNvramInfo(*this, info); }
};

ADAPTER* _CreateJapaneseSIOAdapter(int slot, unsigned short adapterType) {
    return new JapaneseSIOAdapter(slot, static_cast<short>(adapterType),
                                  reinterpret_cast<const unsigned char*>("AD6562S"));
}

static ObjectSupport objectJapaneseSIOAdapter(3200, _CreateJapaneseSIOAdapter);
