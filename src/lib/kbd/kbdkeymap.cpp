// Console keymap lookup: the character the console's keymap gives a scan code under the
// keyboard's modifier state.
#include <linux/kd.h>

#include <cctype>

#include "KBP.h"
#include "KbdConsole.h"

namespace {

// Keymap tables of the console: plain 0, shift 1, alt-gr 2, control 4, alt 8 (added up).
unsigned char keymapTable(uint16_t modifiers) {
    unsigned char table = 0;
    if (modifiers & 0x0003) table += 1;
    if (modifiers & 0x0800) table += 2;
    if (modifiers & 0x0004) table += 4;
    if (modifiers & 0x0200) table += 8;
    return table;
}

} // namespace

int KBP::KbdHandler(KBDATA* state, unsigned char scanCode, unsigned char& character) {
    KbdConsole& console = kbdConsole();
    int fd = console.Open("/dev/console");
    if (fd < 0) fd = console.Open("/dev/tty");
    if (fd < 0) fd = console.Open("/dev/tty0");
    if (fd < 0) return 1;

    unsigned int keyCode = scanCode;
    if (scanCode > 88) {
        struct kbkeycode code = {scanCode, scanCode};
        if (console.Ioctl(fd, KDGETKEYCODE, &code) == 0) keyCode = code.keycode;
    }
    const uint16_t modifiers = state ? state->Modifiers() : 0;
    struct kbentry entry = {keymapTable(modifiers), static_cast<unsigned char>(keyCode), 0};
    if (console.Ioctl(fd, KDGKBENT, &entry) != 0) {
        console.Close(fd);
        return 1;
    }
    unsigned char c = static_cast<unsigned char>(entry.kb_value & 0xFF);
    if (std::isalpha(c) && (modifiers & 0x0040)) c = static_cast<unsigned char>(std::toupper(c));
    character = c;
    console.Close(fd);
    return 0;
}
