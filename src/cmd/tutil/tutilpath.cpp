#include "TutilPath.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

std::string tutilPath(const std::string& systemPath) {
    const char* root = std::getenv("OVK_ROOT");
    if (!root || !*root) return systemPath;
    std::string path(root);
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (systemPath.empty() || systemPath.front() != '/') path += '/';
    return path + systemPath;
}

bool tutilReplaceFile(const std::string& path, const std::string& content) {
    const std::string temporary = path + ".tmp" + std::to_string(getpid());
    FILE* f = std::fopen(temporary.c_str(), "we");
    if (!f) return false;
    const bool written = std::fwrite(content.data(), 1, content.size(), f) == content.size();
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}
