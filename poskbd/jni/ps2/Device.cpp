#include "Device.h"

#include <atomic>
#include <cstdlib>

namespace {
std::atomic<const OvkDevOps*> installed{nullptr};
}

const OvkDevOps& posKbdOps() {
    const OvkDevOps* ops = installed.load();
    return ops ? *ops : *ovkSystemDevOps();
}

void ovkPosKbdSetDevOps(const OvkDevOps* ops) { installed.store(ops); }

std::string posKbdPath(const std::string& systemPath) {
    const char* root = std::getenv("OVK_ROOT");
    if (!root || !*root) return systemPath;
    std::string path(root);
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path + systemPath;
}
