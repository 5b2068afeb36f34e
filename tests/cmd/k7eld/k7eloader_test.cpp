// The font download program's status lines: what it writes for the events it reads.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "K7eLoader.h"

namespace {

constexpr uint32_t Word(uint32_t slot, uint32_t port, uint32_t address, uint32_t type) {
    return slot << 24 | port << 16 | address << 8 | type;
}

// What a loader for the printer at slot 1, port 0x11 writes for one event that it does not
// act on.
std::string Written(const _POSQMSG& event, bool quiet = false) {
    char* buffer = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&buffer, &size);
    {
        k7e::Options options;
        options.slot = 1;
        options.port = 0x11;
        options.quiet = quiet;
        k7e::Loader loader(options, out);
        loader.handle(event);
    }
    std::fclose(out);
    std::string text(buffer, size);
    std::free(buffer);
    return text;
}

TEST(K7eLoader, StatusLinesOfEvents) {
    struct Case {
        _POSQMSG event;
        const char* written;
    } cases[] = {
        // Online and offline: message - slot, port, device type: (device address).
        {{0, 0x420C, Word(1, 0x11, 0x34, 3), 3}, "POSM_SYS_DEVICE_OFFLINE - SLOT_1, PORT_1, PRINTER: (PRINTER_3)\n"},
        {{0, 0x420D, Word(2, 0x22, 0x4A, 4), 1}, "POSM_SYS_DEVICE_ONLINE - SLOT_2, PORT_2, SCANNER: (SCANNER_A)\n"},
        // A value that no table names is shown as its number.
        {{0, 0x420D, Word(0x77, 0x99, 0x4A, 0x55), 1},
         "POSM_SYS_DEVICE_ONLINE - 119    (0x00000077), 153    (0x00000099), 85     (0x00000055): "
         "(SCANNER_A)\n"},
        // Any other event: the handle, the message and both parameters.
        {{0, 0x420F, 0x00010005, 7},
         "POSQ Message from Handle  5: POSM_TILL_OPENED\n"
         "     mp1 = 0x00010005 (65541)\n"
         "     mp2 = 0x00000007 (7)\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(Written(c.event), c.written) << c.event.msg;
    // Quiet (as the core starts it): nothing.
    EXPECT_EQ(Written(cases[0].event, true), "");
}

} // namespace
