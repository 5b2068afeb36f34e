// Scanner answers as the set-up program reads them: bytes split into read bursts (the first
// byte of each chunk gives its length) through the omni and line scanners' packet readers,
// bar-code decoding, firmware answers and unstuffing.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "LineScanner.h"
#include "OmniScanner.h"
#include "ScriptedSerialPort.h"

namespace {

void queueBursts(ScriptedSerialPort& port, const uint8_t* data, size_t size) {
    size_t at = 0;
    while (at < size) {
        const size_t n = data[at++] % 64 + 1;
        const size_t take = n < size - at ? n : size - at;
        port.queue(Bytes(data + at, data + at + take));
        at += take;
    }
}

template <typename F>
void attempt(F&& f) {
    try {
        f();
    } catch (ZelException* e) {
        delete e;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool quiet = std::freopen("/dev/null", "w", stdout) != nullptr;
    (void)quiet;
    char arg0[] = "ovkscantool";
    char* argv[] = {arg0, nullptr};
    ConfigObject options(1, argv);
    unsigned char buffer[Scanner::BUFFER_SIZE];

    for (int round = 0; round < 2; ++round) {
        ScriptedSerialPort port;
        queueBursts(port, data, size);
        OmniScanner omni(&port, &options);
        if (round == 0) {
            while (!port.bursts.empty()) attempt([&] { delete omni.scan(); });
        } else {
            while (!port.bursts.empty()) attempt([&] { omni.requestFirmware(); });
        }
    }
    for (int round = 0; round < 3; ++round) {
        LineScanner::resetProtocolState();
        ScriptedSerialPort port;
        queueBursts(port, data, size);
        LineScanner line(&port, &options);
        for (int i = 0; i < 64 && !port.bursts.empty(); ++i) {
            if (round == 0) attempt([&] { delete line.scan(); });
            if (round == 1) attempt([&] { line.requestFirmware(); });
            if (round == 2)
                attempt([&] {
                    const int n = line.readPort(buffer);
                    line.decodeDLE(buffer, n);
                });
        }
    }
    LineScanner::resetProtocolState();
    return 0;
}
