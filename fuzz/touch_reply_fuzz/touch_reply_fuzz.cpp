// Arbitrary controller answers into the reply handling of both touch controller models and
// of the identifier, and arbitrary files into the firmware reader.
//
// Input: one selector byte (low two bits: 0 TCH95P, 1 TCHELOP, 2 the identifier, 3 a
// firmware file), then for 0-2 a run of answers, each one length byte and that many bytes
// (a length of 0xFF runs a link reset instead), for 3 the file's bytes.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "../FuzzClock.h"
#include "../FuzzRoot.h"
#include "ADAPTER.h"
#include "Oracle_5C_5D.h"
#include "TCH95P.h"
#include "TCHELOP.h"
#include "ovkhost.h"

namespace {

// Takes every frame; never deletes a device.
class FuzzAdapter : public ADAPTER {
public:
    FuzzAdapter() : ADAPTER(1, 5, reinterpret_cast<const unsigned char*>("FuzzAdap")) {}
    int CloseDD() override { return 0; }
    int OpenDD() override { return 0; }
    int Run(int, int) override { return 0; }
    int RequestBuffer() override { return 0; }
    int SendFrame(const unsigned char*, int) override { return 0; }
    int PdevReadyToBeDeleted(const PDEV*) override { return 1; }
    int Suspend() override { return 0; }
    int Resume() override { return 0; }
};

// A device on the fuzz adapter with its link up.
template <class D>
class OnAdapter : public D {
public:
    explicit OnAdapter(ADAPTER* adapter) : D(DeviceID(1, 0x11, 0x5C)) {
        this->adapter_ = adapter;
        this->SetStatusBits(PDEV_PRESENT);
    }
    ~OnAdapter() override {
        this->adapter_ = nullptr;
        this->openCount_ = 0;
    }
};

template <class D>
void answers(const uint8_t* data, size_t size) {
    FuzzAdapter adapter;
    OnAdapter<D> device(&adapter);
    device.Lock();
    size_t at = 0;
    while (at < size) {
        const size_t n = data[at++];
        if (n == 0xFF) {
            device.PowerOnResetInProgress();
            device.ResetComplete();
            device.SendAnyPendingMessage();
            continue;
        }
        const size_t take = n < size - at ? n : size - at;
        device.LastMsgAcked(); // whatever is outstanding counts as taken by the link
        device.NewMsgRcvd(data + at, static_cast<int>(take));
        at += take;
    }
    device.Unlock();
}

void firmware(const uint8_t* data, size_t size) {
    const std::string path = fuzzroot::path() + "/fw/OVK000.TCH";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    FuzzAdapter adapter;
    OnAdapter<TCH95P> device(&adapter);
    device.tchCodeUpdateInit();
    // Every block goes out once; the image is at most 65535 bytes.
    for (int i = 0; i < 70000 && device.tchBuildCodeUpdateCmdMsg() == 0; ++i) {}
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzroot::usePrivateRoot();
    // The controller's pause between commands runs on the settable clock.
    fuzzclock::useManual();
    const std::string fw = fuzzroot::path() + "/fw";
    if (mkdir(fw.c_str(), 0700) != 0) std::abort();
    setenv("LD_LIBRARY_PATH", fw.c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzclock::restart();
    if (size == 0) return 0;
    switch (data[0] & 3) {
    case 0: answers<TCH95P>(data + 1, size - 1); break;
    case 1: answers<TCHELOP>(data + 1, size - 1); break;
    case 2: answers<Oracle_5C_5D>(data + 1, size - 1); break;
    default: firmware(data + 1, size - 1); break;
    }
    return 0;
}
