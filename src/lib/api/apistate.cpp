#include "apistate.h"

ApiState& apiState() {
    static ApiState* s = new ApiState();
    return *s;
}
