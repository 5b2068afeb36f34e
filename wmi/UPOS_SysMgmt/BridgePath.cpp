#include "BridgePath.h"

#include <cstdlib>

std::string bridgePath(const std::string& systemPath) {
    const char* root = std::getenv("OVK_ROOT");
    if (!root || !*root) return systemPath;
    return std::string(root) + systemPath;
}
