// Fake devices behind the device-operations table, for tests on a machine without input
// nodes, the PS/2 keyboard driver, UART modem lines or a parallel port:
//  - input nodes "/dev/input/eventN" (identification, key bits, lights, queued events; written
//    events are recorded and a lock-key press toggles its light as the kernel does);
//  - the PS/2 keyboard driver "/dev/ps2driver" (completion 256 or a scripted error per
//    request, scripted status and MSR data, every command request kept);
//  - modem lines, interrupt counters, termios character size and parity, and a printer
//    status byte for ports (ptys or files) registered by path.
// Paths are matched by their end, so that they may sit under any OVK_ROOT. Everything else
// passes to the system.
#pragma once

#include "ovkdevops.h"

#include <linux/input.h>

#include <cstdint>
#include <string>
#include <vector>

namespace fakedev {

const OvkDevOps* ops();
// Forgets every node, port and record (descriptors still open stay usable as plain files).
void reset();

// Input nodes.
void addInputNode(int n, uint16_t bus, uint16_t vendor, uint16_t product, uint16_t version,
                  bool hasKeys = true);
void queueEvent(int n, uint16_t type, uint16_t code, int32_t value);
void queueReadError(int n, int error);
void setLeds(int n, unsigned bits);
unsigned leds(int n);
std::vector<input_event> written(int n);
// Events not yet read.
size_t pending(int n);

// PS/2 keyboard driver.
struct Ps2Request {
    unsigned long code;
    std::vector<uint8_t> record;  // as the native sent it
};
void addPs2Driver();
// The next request with this number fails with `error`.
void scriptPs2Error(unsigned nr, int error);
void queueKbdStatus(const std::vector<uint8_t>& status);
// `length` is what the driver reports; `data` fills the data field (at most 1000 bytes).
void queueMsrData(uint32_t length, const std::vector<uint8_t>& data);
// Command requests (status and MSR reads are counted, not kept).
std::vector<Ps2Request> ps2Requests();
unsigned ps2StatusReads();

// Ports.
void addPort(const std::string& path, int modemLines = 0);
int modemLines(const std::string& path);
// Flips each line of `bits`, counting one interrupt per line and waking TIOCMIWAIT.
void toggleLines(const std::string& path, int bits);
void setPrinterStatus(const std::string& path, uint8_t status);
// Ports with no interrupt counters (as a pty): TIOCGICOUNT fails.
void refuseCounters(const std::string& path);

} // namespace fakedev
