// A console for the tests: a keymap, the keyboard mode, the lock flags, and the characters
// pushed into its input. Pushing XOFF (0x13) turns its scroll lock on and XON (0x11) off, as
// the console does with those characters.
#pragma once

#include <linux/kd.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "KbdConsole.h"

namespace kbdbench {

// Keymap entries by {table, key code}; key codes above 88 are translated by the scan-code
// table.
class FakeConsole : public KbdConsole {
public:
    int Open(const char* path) override {
        opened.push_back(path);
        return std::find(paths.begin(), paths.end(), std::string(path)) != paths.end() ? 42 : -1;
    }
    int Ioctl(int fd, unsigned long request, void* argument) override {
        requests.push_back(request);
        if (fd != 42) return -1;
        if (request == KDGETKEYCODE) {
            auto* k = static_cast<kbkeycode*>(argument);
            auto it = keycodes.find(k->scancode);
            if (it == keycodes.end()) return -1;
            k->keycode = it->second;
            return 0;
        }
        if (request == KDGKBENT) {
            auto* e = static_cast<kbentry*>(argument);
            auto it = keymap.find({e->kb_table, e->kb_index});
            if (it == keymap.end()) return -1;
            e->kb_value = it->second;
            return 0;
        }
        if (request == KDGKBMODE) {
            *static_cast<int*>(argument) = mode;
            return 0;
        }
        if (request == KDGKBLED) {
            *static_cast<char*>(argument) = static_cast<char>(leds);
            return 0;
        }
        if (request == KDSKBLED) {
            const auto value = reinterpret_cast<uintptr_t>(argument);
            if (value > 0xFF) return -1;
            leds = static_cast<unsigned char>(value & 0x07); // bits 4-6 would be the defaults
            return 0;
        }
        if (request == TIOCSTI) {
            const char c = *static_cast<char*>(argument);
            pushed += c;
            if (c == 0x13) leds |= 0x01;
            if (c == 0x11) leds &= static_cast<unsigned char>(~0x01);
            return 0;
        }
        return -1;
    }
    void Close(int fd) override { closed += fd == 42; }

    std::vector<std::string> paths{"/dev/tty0"};
    std::vector<std::string> opened;
    std::map<std::pair<int, int>, unsigned short> keymap;
    std::map<unsigned, unsigned> keycodes;
    int closed = 0;
    int mode = K_XLATE;
    unsigned char leds = 0;
    std::string pushed;
    std::vector<unsigned long> requests; // every ioctl asked
};

} // namespace kbdbench
