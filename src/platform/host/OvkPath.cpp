#include "ovkhost.h"

#include <cstdlib>

std::string ovkPath(const std::string& systemPath) {
    const char* root = std::getenv("OVK_ROOT"); // read at each call: tests change it
    if (!root || !*root) return systemPath;
    std::string path(root);
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (systemPath.empty() || systemPath.front() != '/') path += '/';
    return path + systemPath;
}
