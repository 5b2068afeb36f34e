// A stand-in for the X library's keyboard functions, loaded by the tests as "libX11.so" from
// the test root: the lock modifiers live in fakeX, which the tests read and set.
#include <X11/XKBlib.h>

#include <cstring>

extern "C" {

struct FakeX {
    int reason;          // what XkbOpenDisplay reports (0: success)
    unsigned char locked; // the locked modifiers
    int lockResult;      // what XkbLockModifiers returns
    int getStateResult;  // what XkbGetState returns (0: success)
    unsigned int affect, values;
    int lockCalls;
};

FakeX fakeX = {0, 0, 1, 0, 0, 0, 0};

Display* XkbOpenDisplay(const char*, int*, int*, int*, int*, int* reason) {
    if (reason) *reason = fakeX.reason;
    return fakeX.reason == 0 ? reinterpret_cast<Display*>(&fakeX) : nullptr;
}

Bool XkbQueryExtension(Display*, int*, int*, int*, int*, int*) { return 1; }

Bool XkbLibraryVersion(int*, int*) { return 1; }

Status XkbGetState(Display*, unsigned int, XkbStatePtr state) {
    std::memset(state, 0, sizeof *state);
    state->locked_mods = fakeX.locked;
    return fakeX.getStateResult;
}

Bool XkbLockModifiers(Display*, unsigned int, unsigned int affect, unsigned int values) {
    ++fakeX.lockCalls;
    fakeX.affect = affect;
    fakeX.values = values;
    if (fakeX.lockResult == 1)
        fakeX.locked = static_cast<unsigned char>((fakeX.locked & ~affect) | (values & affect));
    return fakeX.lockResult;
}

} // extern "C"
