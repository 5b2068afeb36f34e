// Adapter manager of the Japanese loop terminals (type 3100): the local NVRAM is on port 1.
#include "JapaneseNvramInfo.h"
#include "ObjectSupport.h"
#include "SIOAM.h"

class JapaneseLoopAdapter : public SIOAM {
public:
    JapaneseLoopAdapter(int slot, short adapterType, const unsigned char* name)
        : SIOAM(slot, adapterType, name) {}
    ~JapaneseLoopAdapter() override = default;
    void GetLocalNvramInfo(NvramInfoStruct& info) override { JapaneseLocalNvramInfo(*this, info); }
};

ADAPTER* _CreateJapaneseLoopAdapter(int slot, unsigned short adapterType) {
    return new JapaneseLoopAdapter(slot, static_cast<short>(adapterType),
                                   reinterpret_cast<const unsigned char*>("AD6562L"));
}

static ObjectSupport objectJapaneseLoopAdapter(3100, _CreateJapaneseLoopAdapter);
