#include "Device.h"

#include <atomic>

namespace {
std::atomic<const OvkDevOps*> installed{nullptr};
}

const OvkDevOps& commOps() {
    const OvkDevOps* ops = installed.load();
    return ops ? *ops : *ovkSystemDevOps();
}

void ovkCommSetDevOps(const OvkDevOps* ops) { installed.store(ops); }
