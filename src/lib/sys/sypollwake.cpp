#include "PollWake.h"

#include "ovkhost.h"

namespace {

// Never destroyed: adapters may post while static objects are torn down.
eventSem& sem() {
    static eventSem* s = [] {
        auto* e = new eventSem;
        e->Open();
        return e;
    }();
    return *s;
}

} // namespace

namespace PollWake {

void Post() { sem().Post(); }

bool Wait(int ms) {
    const bool posted = sem().Wait(ms) == 0;
    sem().Reset();
    return posted;
}

} // namespace PollWake
