// Case-insensitive comparison of two texts (0 when they are equal without regard to case);
// the bridge supplies it itself.
#include <strings.h>

extern "C" __attribute__((visibility("default"))) int stricmp(const char* a, const char* b) {
    if (!a || !b) return a == b ? 0 : (a ? 1 : -1);
    return ::strcasecmp(a, b);
}
