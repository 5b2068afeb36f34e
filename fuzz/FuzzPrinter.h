// A physical printer confirmed on the fuzz bus, and a virtual printer that holds it without the
// system object's open and acquire.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzBus.h"
#include "FuzzFrames.h"
#include "PDEV.h"
#include "VDEV.h"
#include "ovktypes.h"
#include "prntdefs.h"

namespace fuzzprinter {

// A physical printer of model P on the null adapter, online; its holder is set by hand.
template <class P>
class Printer : public P {
public:
    explicit Printer(const DeviceID& id) : P(id) {
        this->adapter_ = fuzzbus::adapter();
        this->NowConfirmed();
    }
    ~Printer() override {
        this->owner_ = nullptr;
        this->adapter_ = nullptr;
        this->openCount_ = 0;
    }
    void Hold(VDEV* v) { this->owner_ = v; }
};

// A virtual printer of model V holding the printer p, in its own print mode and stations or in
// those given.
template <class V>
class Writer : public V {
public:
    Writer(PDEV& p, const DeviceID& id, const char* name)
        : V(id, 1, reinterpret_cast<const unsigned char*>(name)) {
        this->pdev_ = &p;
        this->SetStatusBits(VDEV_HOLDING);
    }
    Writer(PDEV& p, const DeviceID& id, const char* name, unsigned short mode, unsigned short stations)
        : Writer(p, id, name) {
        this->parm_.printMode = mode;
        this->parm_.printStation = stations;
    }
    ~Writer() override {
        this->ClearStatusBits(VDEV_HOLDING);
        this->pdev_ = nullptr;
    }
    void Mode(unsigned short mode) { this->parm_.printMode = mode; }
    void Stations(unsigned short stations) { this->parm_.printStation = stations; }
};

// Defines characters on v from data: as many whole definitions of `each` bytes as fit, at most
// `most`, each a code of `codeBytes` bytes (low byte first; none gives an empty name) and then
// its pattern, which is left in data.
inline void defineCharacters(VDEV& v, const uint8_t* data, size_t size, size_t each, unsigned codeBytes,
                             size_t most) {
    std::vector<PosArg> args;
    for (size_t at = 0; at + each <= size && args.size() < most; at += each) {
        uintptr_t code = 0;
        for (unsigned i = 0; i < codeBytes; ++i) code |= uintptr_t(data[at + i]) << (8 * i);
        args.push_back({codeBytes ? reinterpret_cast<const char*>(code) : "",
                        reinterpret_cast<intptr_t>(data + at + codeBytes)});
    }
    int out = 0;
    v.IOCtl(POS_PRN_DEFINE_CHARACTERS, args.data(), static_cast<int>(args.size()), out);
}

// Writes each frame cut from data to v.
inline void writeFrames(VDEV& v, const uint8_t* data, size_t size) {
    fuzzframes::forEachFrame(data, size, [&](unsigned char* m, int n) {
        int count = 0;
        v.Write(m, static_cast<unsigned>(n), count);
    });
}

} // namespace fuzzprinter
