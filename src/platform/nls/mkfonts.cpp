// Writes the code-page font files of libovknls ("cp%05d.fon") into a directory, so that
// a staging root has the tables that virtual devices load.
//   ovknlsfonts DIRECTORY
#include <cstdio>
#include <string>

#include "ovknls.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
        return 2;
    }
    for (const int* cp = nlsCodePages; *cp; ++cp) {
        unsigned char bytes[2 * NLS_CODE_PAGE_ENTRIES];
        if (nlsCodePageFile(*cp, bytes) != 0) return 1;
        char name[32];
        std::snprintf(name, sizeof name, "/cp%05d.fon", *cp);
        const std::string path = std::string(argv[1]) + name;
        FILE* f = std::fopen(path.c_str(), "wbe");
        if (!f) {
            std::perror(path.c_str());
            return 1;
        }
        const bool ok = std::fwrite(bytes, 1, sizeof bytes, f) == sizeof bytes;
        if (std::fclose(f) != 0 || !ok) {
            std::perror(path.c_str());
            return 1;
        }
    }
    return 0;
}
