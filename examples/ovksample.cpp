// ovksample: a small application of the client library. It connects to the control daemon,
// prints the daemon's version and the system values it can read, then prints the events that
// arrive on handle 0 for a few seconds.
//
//   ovksample [seconds]      (default 3)
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ovkapi.h"

namespace {

const char* eventName(uint32_t msg) {
    switch (msg) {
    case POSM_SYS_DEVICE_OFFLINE: return "device offline";
    case POSM_SYS_DEVICE_ONLINE: return "device online";
    case POSM_SYS_DEVICE_RELEASED: return "device released";
    default: return "event";
    }
}

} // namespace

int main(int argc, char* argv[]) {
    int seconds = 3;
    if (argc > 1) seconds = std::atoi(argv[1]);
    if (argc > 2 || seconds < 0) {
        std::fprintf(stderr, "usage: ovksample [seconds]\n");
        return 2;
    }

    // Reads on handle 0 wait at most half a second, so that the loop below can end on time.
    PosArg init[] = {{"readTimeout", 500}};
    char appl[] = "ovksample";
    char resFile[] = "ovksample.res";
    if (PosInitialize(appl, resFile, 0, 0, init, 1) < 0) {
        std::fprintf(stderr, "PosInitialize failed: error %d\n", PosErrno());
        return 1;
    }

    int version = 0, release = 0, modification = 0;
    if (PosVersion(&version, &release, &modification) == 0)
        std::printf("daemon version %d.%d.%d\n", version, release, modification);
    else
        std::printf("PosVersion failed: error %d\n", PosErrno());

    unsigned char vpd[24] = {};
    PosArg values[] = {{"queueHandle", -1}, {"readTimeout", 0}, {"vitalProductData", 0}};
    values[2].value = reinterpret_cast<intptr_t>(vpd);
    if (PosIOCtl(0, POS_SYS_GET_VALUES, values, 3) == 0) {
        std::printf("queueHandle      %ld\n", static_cast<long>(values[0].value));
        std::printf("readTimeout      %ld ms\n", static_cast<long>(values[1].value));
        std::printf("vitalProductData");
        for (unsigned char b : vpd) std::printf(" %02x", b);
        std::printf("\n");
    } else {
        std::printf("reading the system values failed: error %d\n", PosErrno());
    }

    std::printf("events for %d s:\n", seconds);
    std::fflush(stdout);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int events = 0;
    while (std::chrono::steady_clock::now() < end) {
        _POSQMSG m;
        if (PosRead(0, &m, sizeof m) == static_cast<int>(sizeof m)) {
            ++events;
            std::printf("  %-16s msg 0x%04x p1 0x%08x p2 0x%08x\n", eventName(m.msg), m.msg, m.p1,
                        m.p2);
            std::fflush(stdout);
        } else if (PosErrno() != POSERR_SYS_TIMEOUT) {
            std::printf("reading events failed: error %d\n", PosErrno());
            break;
        }
    }
    std::printf("%d event(s)\n", events);
    PosTerm();
    return 0;
}
