// The virtual keyboard of type 15100: the virtual extended keyboard plus the hot-key,
// num-lock and scroll-lock requests. On the system keyboard it keeps the lock lights of the
// console (or, when the console is in raw mode, of the X server) in step with the keyboard.
#pragma once

#include "KBOBV.h"

// Status-word bits of a KBANPV.
enum : uint32_t {
    KBANPV_HOT_KEYS_ENABLED = 0x040000,
    KBANPV_NUM_LOCK_KEY_ENABLED = 0x080000,
    KBANPV_SCROLL_LOCK_KEY_ENABLED = 0x100000,
    KBANPV_NUM_LOCK_ON = 0x200000,
    KBANPV_SCROLL_LOCK_ON = 0x400000,
    KBANPV_CAPS_LOCK_ON = 0x800000,
};

// Requests to the physical keyboard beyond those of the extended keyboards.
enum {
    KBD_REQ_RELEASE = 2,
    KBD_REQ_ACQUIRE = 3,
    KBD_REQ_DISABLE_HOT_KEYS = 13,
    KBD_REQ_ENABLE_HOT_KEYS = 14,
    KBD_REQ_DISABLE_NUM_LOCK = 15,
    KBD_REQ_ENABLE_NUM_LOCK = 16,
    KBD_REQ_DISABLE_SCROLL_LOCK = 17,
    KBD_REQ_ENABLE_SCROLL_LOCK = 18,
    KBD_REQ_NUM_LOCK_OFF = 19,
    KBD_REQ_NUM_LOCK_ON = 20,
    KBD_REQ_SCROLL_LOCK_OFF = 21,
    KBD_REQ_SCROLL_LOCK_ON = 22,
    KBD_REQ_READ_LOCKS = 23,
    KBD_REQ_CONSOLE_LIGHTS = 24,
};

// Client requests.
enum {
    POS_KBD_DISABLE_HOT_KEYS = 4708,
    POS_KBD_ENABLE_HOT_KEYS = 4709,
    POS_KBD_DISABLE_NUM_LOCK = 4710,
    POS_KBD_ENABLE_NUM_LOCK = 4711,
    POS_KBD_DISABLE_SCROLL_LOCK = 4712,
    POS_KBD_ENABLE_SCROLL_LOCK = 4713,
    POS_KBD_SET_NUM_LOCK_OFF = 4715,
    POS_KBD_SET_NUM_LOCK_ON = 4716,
    POS_KBD_SET_SCROLL_LOCK_OFF = 4717,
    POS_KBD_SET_SCROLL_LOCK_ON = 4718,
};

class KBANPV : public KBOBV {
public:
    KBANPV(const DeviceID& id, int handle, const unsigned char* name);
    KBANPV(const DeviceID& id, int handle, const char* name = "KBANPV")
        : KBANPV(id, handle, reinterpret_cast<const unsigned char*>(name)) {}
    // Closes the console.
    ~KBANPV() override;

    // Closes the console with the last close.
    int Close(int& remaining) override;
    int AcquirePhysical() override;
    int IOCtl(int request, PosArg* args, int count, int& out) override;
    int Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
             int count) override;
    int ReleasePhysical() override;
    int SetValues(PosArg* args, int count) override;

    // Added operations.
    // Binds the X keyboard functions from "libX11.so": 0, or 301 (traced).
    virtual int LoadXLibs();
    // The X display ":0" with XKB 1.0, or null (traced).
    virtual void* getXDisplay();
    // The X lock state in the console's LED numbering (bit 0 scroll, 1 num, 2 caps): 0, or
    // 301.
    virtual int shiftX(unsigned char& state);
    // Sends the console's (or X's) lock state to the keyboard with request 24.
    virtual int setDriverShiftState();
    // Sets num lock (4715/4716) or scroll lock (4717/4718) on the console or in X.
    virtual int changeShiftState(int fd, int code);

    bool SystemKeyboard() const { return systemKeyboard_ != 0; }
    bool XMode() const { return xMode_ != 0; }
    // The console (or X) was found at open: its lock state follows the keyboard's.
    bool LockSync() const { return lockSync_ != 0; }
    int ConsoleFd() const { return console_; }

protected:
    // The lock state of the console or X (LED numbering).
    int ReadShiftState(unsigned char& state);
    int TellWith(int request, int32_t lights);
    void CloseConsole();

    int console_ = -1;
    int32_t systemKeyboard_ = 0;
    int32_t xMode_ = 0;
    int32_t lockSync_ = 0;
    void* display_ = nullptr;
    void* xkbOpenDisplay_ = nullptr;
    void* xkbQueryExtension_ = nullptr;
    void* xkbLibraryVersion_ = nullptr;
    void* xkbGetState_ = nullptr;
    void* xkbLockModifiers_ = nullptr;
};
