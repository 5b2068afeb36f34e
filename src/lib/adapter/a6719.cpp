// Adapter manager of the 6719 terminals (type 3300): two ports; the local NVRAM is of class
// 8100 on adapter type 4 and 8600 on every other.
#include "ObjectSupport.h"
#include "SIOAM.h"

class DunmoralAdapter : public SIOAM {
public:
    DunmoralAdapter(int slot, short adapterType, const unsigned char* name)
        : SIOAM(slot, adapterType, name) {
        portCount_ = 2;
    }
    ~DunmoralAdapter() override = default;
    void GetLocalNvramInfo(NvramInfoStruct& info) override {
        SIOAM::GetLocalNvramInfo(info);
        info.deviceClass = adapterType_ == 4 ? 8100 : 8600;
    }
};

ADAPTER* _CreateDunmoralAdapter(int slot, unsigned short adapterType) {
    return new DunmoralAdapter(slot, static_cast<short>(adapterType),
                               reinterpret_cast<const unsigned char*>("AD6719"));
}

static ObjectSupport objectDunmoralAdapter(3300, _CreateDunmoralAdapter);
