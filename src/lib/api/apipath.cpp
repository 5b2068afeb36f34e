#include "apipath.h"

#include <cstdlib>

std::string apiOvkPath(const char* systemPath) {
    const char* root = std::getenv("OVK_ROOT");
    return root ? std::string(root) + systemPath : std::string(systemPath);
}
