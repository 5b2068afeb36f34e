// ovkk7eld: loads a character font into the flash memory of the M3 printer.
#include <cstdio>
#include <cstdlib>

#include "K7eLoader.h"
#include "ovkhost.h"

namespace {
// How long the program waits for the printer to come online; the environment may shorten
// it (tests).
long onlineLimitMs() {
    const char* text = std::getenv("OVK_K7ELD_ONLINE_LIMIT_MS");
    const long fallback = 120000;
    if (!text || !*text) return fallback;
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    return end && *end == '\0' && v >= 0 && v <= fallback ? v : fallback;
}
} // namespace

int main(int argc, char** argv) {
    const std::string logPath = ovkPath("/var/log/ovkk7eld.log");
    std::FILE* log = std::fopen(logPath.c_str(), "we");
    std::FILE* out = log ? log : stderr;
    std::setvbuf(out, nullptr, _IONBF, 0);

    k7e::Options options;
    bool run = false;
    const int status = k7e::parseOptions(argc, argv, options, run);
    if (!run) {
        if (log) std::fclose(log);
        return status;
    }
    {
        k7e::Loader loader(options, out);
        if (loader.prepare()) loader.initialize();
        loader.run(onlineLimitMs());
        loader.finish();
    }
    PosTerm();
    if (log) std::fclose(log);
    return 0;
}
