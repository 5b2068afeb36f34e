// The terminal description file of ovksim: which slots and adapters the driver node
// reports, the planar keyboard, and which device model sits at which port and address.
//
//   # a comment; blank lines are ignored
//   slot <n> planar
//   slot <n> rs485 type <adapter type> [kind <k>] [ports <count>] [nvram <flag>]
//        [nvramsize <bytes>] [journal <offset>] [absent]
//   (the adapter's NVRAM: 8192 bytes by default, 0 for none; its journal block of 1040
//   bytes at the end unless placed elsewhere)
//   keyboard [driver=0|1] [id=<id>] [type=<type>] [msr=<flag>] [flags=<byte 13>]
//            [ec=<EC level>] [msrec=<reader EC level>] [result=<query result>]
//   station <slot> <port id> <address> <model> [key=value ...]
//   vpd <text of up to 24 characters>
//
// Numbers are decimal or 0x hex. Slots not named are empty; without a keyboard line the
// keyboard driver is there and reports no POS keyboard.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "busterminal.h"
#include "kbdnode.h"
#include "ovksimmodels.h"

namespace bussim {

struct StationSpec {
    int slot = 0;
    uint8_t port = 0;
    uint8_t address = 0;
    std::string model;
    ModelOptions options;
    int line = 0; // where it was given
};

struct TerminalFile {
    TerminalDescription terminal;
    KeyboardState keyboard;
    std::vector<StationSpec> stations;
};

// Splits a line into words at blanks and tabs.
std::vector<std::string> splitWords(const std::string& line);
// key=value words into options; false with the reason for a word without '=' or a key given
// twice.
bool parseOptions(const std::vector<std::string>& words, size_t first, ModelOptions& options,
                  std::string& error);
// Keyboard settings from key=value options (driver, id, type, msr, flags, result) over
// `state`; false with the reason.
bool applyKeyboardOptions(const ModelOptions& options, KeyboardState& state, std::string& error);

// Reads a description from text; false with "line N: reason" in `error`. Lines are limited
// to 1024 characters and the text to 1 MiB.
bool parseTerminalFile(const std::string& text, TerminalFile& out, std::string& error);
// Reads the file at path (as given, not under OVK_ROOT).
bool loadTerminalFile(const std::string& path, TerminalFile& out, std::string& error);

} // namespace bussim
