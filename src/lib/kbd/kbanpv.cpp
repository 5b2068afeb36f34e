// The virtual keyboard of type 15100: hot keys, num and scroll lock, and the lock lights of
// the console or the X server on the system keyboard.
#include "KBANPV.h"

#include <X11/XKBlib.h>
#include <linux/kd.h>
#include <sys/ioctl.h>

#include <cstdint>

#include "KbdConsole.h"
#include "ObjectSupport.h"
#include "PDEV.h"
#include "syload.h"

namespace {

using OpenDisplayFn = Display* (*)(const char*, int*, int*, int*, int*, int*);
using QueryExtensionFn = Bool (*)(Display*, int*, int*, int*, int*, int*);
using LibraryVersionFn = Bool (*)(int*, int*);
using GetStateFn = int (*)(Display*, unsigned int, XkbStatePtr);
using LockModifiersFn = Bool (*)(Display*, unsigned int, unsigned int, unsigned int);

// X lock modifiers: caps (the lock modifier), num (mod2), scroll (mod5).
constexpr unsigned int kXCaps = 0x02, kXNum = 0x10, kXScroll = 0x80;
constexpr unsigned int kXLockMods = kXCaps | kXNum | kXScroll;
// Console LED numbering.
constexpr unsigned char kLedScroll = 0x01, kLedNum = 0x02, kLedCaps = 0x04;
// Console input that toggles its scroll lock: XOFF turns it on, XON off.
constexpr char kXoff = 0x13, kXon = 0x11;

const char kX11[] = "libX11.so";

VDEV* make(const DeviceID& id, int handle) { return new KBANPV(id, handle); }
ObjectSupport gKBANPV(KBANPV_TYPE_ID, make);

} // namespace

KBANPV::KBANPV(const DeviceID& id, int handle, const unsigned char* name) : KBOBV(id, handle, name) {
    SetStatusBits(KBANPV_HOT_KEYS_ENABLED | KBANPV_NUM_LOCK_KEY_ENABLED | KBANPV_SCROLL_LOCK_KEY_ENABLED);
}

KBANPV::~KBANPV() { CloseConsole(); }

void KBANPV::CloseConsole() {
    if (console_ >= 0) kbdConsole().Close(console_);
    console_ = -1;
}

int KBANPV::Close(int& remaining) {
    int rc = KBOBV::Close(remaining);
    if (remaining == 0) CloseConsole();
    return rc;
}

int KBANPV::TellWith(int request, int32_t lights) {
    settings_.lights = lights;
    return Tell(request);
}

// ---------------------------------------------------------------------------------------
// Open: the console, its mode, and X when the console is raw.

int KBANPV::Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
                 int count) {
    int rc = KBOBV::Open(resourceName, className, args, count);
    if (rc != 0) return rc;
    KbdConsole& console = kbdConsole();
    if (console_ < 0) {
        for (const char* path : {"/dev/console", "/dev/tty", "/dev/tty0"}) {
            console_ = console.Open(path);
            if (console_ >= 0) break;
        }
        if (console_ < 0) tprintf("KBANPV::Open(): Cannot open the console driver.\n");
    }
    // A keyboard on the RS-485 bus leaves the console alone.
    if (id_.slot != 0) return 0;
    systemKeyboard_ = 1;

    int error = 0;
    int mode = 0;
    if (console_ < 0) {
        tprintf("KBANPV::Could not open a console file descriptor.\n");
        error = 1;
    } else if (console.Ioctl(console_, KDGKBMODE, &mode) != 0) {
        tprintf("KBANPV::Could not determine keyboard mode -- ioctl KDGKBMODE failed.\n");
        error = 2;
    } else if (mode != K_RAW) {
        tprintf("KBANPV::Open(): kbd_mode != K_RAW.\n");
        xMode_ = 0;
    } else {
        tprintf("KBANPV::Open(): kbd_mode == K_RAW.\n");
        xMode_ = 1;
        if (LoadXLibs() != 0) {
            tprintf("KBANPV::LoadXlibs() failed.\n");
            error = 3;
        } else if (!(display_ = getXDisplay())) {
            tprintf("KBANPV::Could not find a valid X display.\n");
            error = 3;
        }
    }
    // Without the console or X the keyboard works without lock-state sync.
    if (error != 0) return 0;
    lockSync_ = 1;
    rc = setDriverShiftState();
    tprintf("KBANPV::Open(): setDriverShiftState() rc = 0x%x\n", rc);
    if (rc != 0) {
        // A failed open leaves nothing open behind.
        int remaining = 0;
        Close(remaining);
    }
    return rc;
}

int KBANPV::LoadXLibs() {
    if (chLoadLibrary("libXt.so") != 0) {
        tprintf("KBANPV::LoadXlibs(): Could not load libXt\n");
        return 301;
    }
    if (chLoadLibrary("libXext.so") != 0) {
        tprintf("KBANPV::LoadXlibs(): Could not load libXext\n");
        return 301;
    }
    if (chLoadLibrary(kX11) != 0) {
        tprintf("KBANPV::LoadXlibs(): Could not load libX11\n");
        return 301;
    }
    const struct {
        void** slot;
        const char* symbol;
        const char* missing;
    } binds[] = {
        {&xkbOpenDisplay_, "XkbOpenDisplay", "KBANPV::LoadXlibs(): XXkbOpenDisplay not assigned\n"},
        {&xkbQueryExtension_, "XkbQueryExtension", "KBANPV::LoadXlibs(): XXkbQueryExtension not assigned\n"},
        {&xkbLibraryVersion_, "XkbLibraryVersion", "KBANPV::LoadXlibs(): XXkbLibraryVersion not assigned\n"},
        {&xkbGetState_, "XkbGetState", "KBANPV::LoadXlibs(): XXkbGetState not assigned\n"},
        // changeShiftState calls it in X mode: bound with the others.
        {&xkbLockModifiers_, "XkbLockModifiers", "KBANPV::LoadXlibs(): XXkbLockModifiers not assigned\n"},
    };
    for (const auto& b : binds) {
        *b.slot = chGetLibrarySymbol(kX11, b.symbol);
        if (!*b.slot) {
            tprintf("%s", b.missing);
            return 301;
        }
    }
    return 0;
}

void* KBANPV::getXDisplay() {
    if (!xkbOpenDisplay_) return nullptr;
    int event = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion, reason = 0;
    const char name[] = ":0";
    Display* display = reinterpret_cast<OpenDisplayFn>(xkbOpenDisplay_)(name, &event, &error, &major,
                                                                        &minor, &reason);
    tprintf("KBANPV::getXDisplay(): X library supports version %d.%02d\n", major, minor);
    switch (reason) {
    case XkbOD_Success:
        break;
    case XkbOD_ConnectionRefused:
        tprintf("KBANPV::getXDisplay(): Cannot open display\n");
        break;
    case XkbOD_NonXkbServer:
        tprintf("KBANPV::getXDisplay(): XKB extension not present\n");
        break;
    case XkbOD_BadLibraryVersion:
        tprintf("KBANPV::getXDisplay(): This API was compiled with XKB version %d.%02d\n",
                XkbMajorVersion, XkbMinorVersion);
        tprintf("KBANPV::getXDisplay(): X library supports incompatible version %d.%02d\n", major, minor);
        break;
    case XkbOD_BadServerVersion:
        tprintf("KBANPV::getXDisplay(): This API was compiled with XKB version %d.%02d\n",
                XkbMajorVersion, XkbMinorVersion);
        tprintf("KBANPV::getXDisplay(): Server uses incompatible version %d.%02d\n", major, minor);
        break;
    default:
        tprintf("KBANPV::getXDisplay(): Unknown error %d from XkbOpenDisplay\n", reason);
        break;
    }
    return reason == XkbOD_Success ? display : nullptr;
}

// ---------------------------------------------------------------------------------------
// Lock state.

int KBANPV::shiftX(unsigned char& state) {
    XkbStateRec x{};
    if (!xkbGetState_ || !display_ ||
        reinterpret_cast<GetStateFn>(xkbGetState_)(static_cast<Display*>(display_), XkbUseCoreKbd, &x) != 0) {
        tprintf("KPANPV::shiftX(): X shift state struct not assigned.\n");
        return 301;
    }
    tprintf("KBANPV::shiftX(): locked modifiers 0x%x\n", x.locked_mods);
    state = 0;
    if (x.locked_mods & kXCaps) {
        state |= kLedCaps;
        tprintf("KBANPV::shiftX(): caps lock\n");
    }
    if (x.locked_mods & kXNum) {
        state |= kLedNum;
        tprintf("KBANPV::shiftX(): num lock\n");
    }
    if (x.locked_mods & kXScroll) {
        state |= kLedScroll;
        tprintf("KBANPV::shiftX(): scroll lock\n");
    }
    return 0;
}

int KBANPV::ReadShiftState(unsigned char& state) {
    if (xMode_) return shiftX(state);
    char leds = 0;
    if (console_ < 0 || kbdConsole().Ioctl(console_, KDGKBLED, &leds) != 0) {
        tprintf("KBANPV::setDriverShiftState(): Cannot retrieve console shift state from kernel\n");
        return 301;
    }
    state = static_cast<unsigned char>(leds & 0x07);
    return 0;
}

int KBANPV::setDriverShiftState() {
    unsigned char state = 0;
    int rc = ReadShiftState(state);
    if (rc != 0) return rc;
    return TellWith(KBD_REQ_CONSOLE_LIGHTS, state << 4);
}

int KBANPV::changeShiftState(int fd, int code) {
    unsigned char state = 0;
    int rc = ReadShiftState(state);
    if (rc != 0) return rc;
    unsigned char wanted = static_cast<unsigned char>(state << 4);
    switch (code) {
    case POS_KBD_SET_NUM_LOCK_OFF: wanted &= static_cast<unsigned char>(~0x20); break;
    case POS_KBD_SET_NUM_LOCK_ON: wanted |= 0x20; break;
    case POS_KBD_SET_SCROLL_LOCK_OFF: wanted &= static_cast<unsigned char>(~0x10); break;
    case POS_KBD_SET_SCROLL_LOCK_ON: wanted |= 0x10; break;
    default: break;
    }
    if (xMode_) {
        unsigned int values = 0;
        if (wanted & 0x40) values |= kXCaps;
        if (wanted & 0x20) values |= kXNum;
        if (wanted & 0x10) values |= kXScroll;
        if (!xkbLockModifiers_ || !display_) return 301;
        const Bool locked = reinterpret_cast<LockModifiersFn>(xkbLockModifiers_)(
            static_cast<Display*>(display_), XkbUseCoreKbd, kXLockMods, values);
        if (locked == 0) {
            tprintf("KBANPV::changeShiftState(): Lock failed\n");
            return 301;
        }
        if (locked != 1) {
            tprintf("KBANPV::changeShiftState(): Corrupted status from XkbLockModifiers\n");
            return 301;
        }
        if ((rc = shiftX(state)) != 0) return rc;
    } else {
        KbdConsole& console = kbdConsole();
        const unsigned char next = static_cast<unsigned char>(wanted >> 4);
        // The lock flags go in bits 0-2. Scroll lock changes only through the XOFF/XON
        // pushed below, so the flag keeps the console's current scroll lock: setting it
        // clear would turn a scroll lock that stays on off.
        const uintptr_t flags = (next & (kLedNum | kLedCaps)) | (state & kLedScroll);
        if (console.Ioctl(fd, KDSKBLED, reinterpret_cast<void*>(flags)) != 0) return 301;
        const bool scrollWas = (state & kLedScroll) != 0, scrollNow = (next & kLedScroll) != 0;
        if (scrollWas != scrollNow) {
            char c = scrollNow ? kXoff : kXon;
            if (console.Ioctl(fd, TIOCSTI, &c) != 0) return 301;
        }
        state = next;
    }
    return TellWith(KBD_REQ_CONSOLE_LIGHTS, (state & 0x0F) << 4);
}

// ---------------------------------------------------------------------------------------
// Requests.

int KBANPV::SetValues(PosArg* args, int count) {
    bool lights = false;
    for (int i = 0; args && i < count; ++i) lights = lights || Named(args[i], "keyboardLightsOn");
    // Only the system keyboard reads the console's state.
    if (lights && lockSync_) {
        int rc = setDriverShiftState();
        if (rc != 0) return rc;
    }
    return KBV::SetValues(args, count);
}

int KBANPV::AcquirePhysical() {
    settings_.hotKeysEnabled = TestStatusBits(KBANPV_HOT_KEYS_ENABLED) ? 1 : 0;
    settings_.numLockKeyEnabled = TestStatusBits(KBANPV_NUM_LOCK_KEY_ENABLED) ? 1 : 0;
    settings_.scrollLockKeyEnabled = TestStatusBits(KBANPV_SCROLL_LOCK_KEY_ENABLED) ? 1 : 0;
    settings_.numLockOn = TestStatusBits(KBANPV_NUM_LOCK_ON) ? 1 : 0;
    settings_.scrollLockOn = TestStatusBits(KBANPV_SCROLL_LOCK_ON) ? 1 : 0;
    settings_.capsLockOn = TestStatusBits(KBANPV_CAPS_LOCK_ON) ? 1 : 0;
    int rc = KBOBV::AcquirePhysical();
    if (rc != 0) return rc;
    Tell(KBD_REQ_ACQUIRE);
    if (lockSync_) {
        changeShiftState(console_, TestStatusBits(KBANPV_NUM_LOCK_ON) ? POS_KBD_SET_NUM_LOCK_ON
                                                                       : POS_KBD_SET_NUM_LOCK_OFF);
        changeShiftState(console_, TestStatusBits(KBANPV_SCROLL_LOCK_ON) ? POS_KBD_SET_SCROLL_LOCK_ON
                                                                          : POS_KBD_SET_SCROLL_LOCK_OFF);
    }
    return rc;
}

int KBANPV::ReleasePhysical() {
    if (!IsHolding()) return 315;
    Tell(KBD_REQ_RELEASE);
    if (Tell(KBD_REQ_READ_LOCKS) == 0) {
        auto mark = [this](uint32_t bit, int32_t on) {
            if (on)
                SetStatusBits(bit);
            else
                ClearStatusBits(bit);
        };
        mark(KBANPV_NUM_LOCK_ON, settings_.numLockOn);
        mark(KBANPV_SCROLL_LOCK_ON, settings_.scrollLockOn);
        mark(KBANPV_CAPS_LOCK_ON, settings_.capsLockOn);
    }
    Tell(KBD_REQ_ENABLE_HOT_KEYS);
    Tell(KBD_REQ_ENABLE_NUM_LOCK);
    Tell(KBD_REQ_ENABLE_SCROLL_LOCK);
    Tell(KBD_REQ_RELEASE);
    settings_.click = 0;
    Tell(KBD_REQ_CLICK);
    return KBOBV::ReleasePhysical();
}

int KBANPV::IOCtl(int request, PosArg* args, int count, int& out) {
    out = 0;
    struct Row {
        int code, keyboardRequest;
        uint32_t bit;
        bool set, lockState;
    };
    static const Row rows[] = {
        {POS_KBD_DISABLE_HOT_KEYS, KBD_REQ_DISABLE_HOT_KEYS, KBANPV_HOT_KEYS_ENABLED, false, false},
        {POS_KBD_ENABLE_HOT_KEYS, KBD_REQ_ENABLE_HOT_KEYS, KBANPV_HOT_KEYS_ENABLED, true, false},
        {POS_KBD_DISABLE_NUM_LOCK, KBD_REQ_DISABLE_NUM_LOCK, KBANPV_NUM_LOCK_KEY_ENABLED, false, false},
        {POS_KBD_ENABLE_NUM_LOCK, KBD_REQ_ENABLE_NUM_LOCK, KBANPV_NUM_LOCK_KEY_ENABLED, true, false},
        {POS_KBD_DISABLE_SCROLL_LOCK, KBD_REQ_DISABLE_SCROLL_LOCK, KBANPV_SCROLL_LOCK_KEY_ENABLED, false, false},
        {POS_KBD_ENABLE_SCROLL_LOCK, KBD_REQ_ENABLE_SCROLL_LOCK, KBANPV_SCROLL_LOCK_KEY_ENABLED, true, false},
        {POS_KBD_SET_NUM_LOCK_OFF, KBD_REQ_NUM_LOCK_OFF, KBANPV_NUM_LOCK_ON, false, true},
        {POS_KBD_SET_NUM_LOCK_ON, KBD_REQ_NUM_LOCK_ON, KBANPV_NUM_LOCK_ON, true, true},
        {POS_KBD_SET_SCROLL_LOCK_OFF, KBD_REQ_SCROLL_LOCK_OFF, KBANPV_SCROLL_LOCK_ON, false, true},
        {POS_KBD_SET_SCROLL_LOCK_ON, KBD_REQ_SCROLL_LOCK_ON, KBANPV_SCROLL_LOCK_ON, true, true},
    };
    for (const Row& r : rows) {
        if (r.code != request) continue;
        if (!IsHolding()) return 315;
        int rc = 0;
        // Only the system keyboard changes the console's (or X's) lock state, and only
        // when its open found them.
        if (r.lockState && lockSync_) rc = changeShiftState(console_, request);
        if (rc == 0) rc = Tell(r.keyboardRequest);
        if (rc != 0) return rc;
        if (r.set)
            SetStatusBits(r.bit);
        else
            ClearStatusBits(r.bit);
        return 0;
    }
    return KBOBV::IOCtl(request, args, count, out);
}
