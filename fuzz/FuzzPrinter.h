// A physical printer confirmed on the fuzz bus, and a virtual printer that holds it without the
// system object's open and acquire.
#pragma once

#include "FuzzBus.h"
#include "PDEV.h"
#include "VDEV.h"

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

} // namespace fuzzprinter
