// Stand-in for the model-6397 printer firmware loader, which this machine lacks. The core
// starts it as "ovkfld63 -P <port> -S <slot> -F <file>"; it appends its arguments, one line
// per start, to $OVK_ROOT/var/log/ovkfld63.log and ends with 0 (1 when it cannot write).
#include <cstdio>
#include <string>

#include "ovkhost.h"

int main(int argc, char** argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) line += std::string(i > 1 ? " " : "") + argv[i];
    const std::string path = ovkPath("/var/log/ovkfld63.log");
    FILE* f = std::fopen(path.c_str(), "ae");
    if (!f) {
        std::perror(path.c_str());
        return 1;
    }
    const bool ok = std::fprintf(f, "%s\n", line.c_str()) >= 0;
    return std::fclose(f) == 0 && ok ? 0 : 1;
}
