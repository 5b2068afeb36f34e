// Stands in for a program that the core starts: writes its process id and its arguments,
// one a line, to $OVK_ROOT/tmp/<its name>.args.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    const char* root = std::getenv("OVK_ROOT");
    if (!root || argc < 1) return 2;
    std::string name = argv[0];
    size_t slash = name.rfind('/');
    if (slash != std::string::npos) name = name.substr(slash + 1);
    std::string path = std::string(root) + "/tmp/" + name + ".args";
    std::string part = path + ".part";
    FILE* f = std::fopen(part.c_str(), "w");
    if (!f) return 3;
    std::fprintf(f, "%d\n", static_cast<int>(getpid()));
    for (int i = 1; i < argc; ++i) std::fprintf(f, "%s\n", argv[i]);
    std::fclose(f);
    return std::rename(part.c_str(), path.c_str()) == 0 ? 0 : 4;
}
