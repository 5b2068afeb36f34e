#include "jnipath.h"

#include <cstdlib>

std::string jniPath(const std::string& systemPath) {
    const char* root = std::getenv("OVK_ROOT");
    if (!root || !*root) return systemPath;
    std::string path(root);
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (systemPath.empty() || systemPath.front() != '/') path += '/';
    return path + systemPath;
}
