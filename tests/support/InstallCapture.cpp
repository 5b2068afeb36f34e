// Every test program keeps what the host services log, trace and print, so that tests can
// look at it. Programs that do not use the host services do not link them: the reference is
// weak and then null.
namespace ovkhost {
__attribute__((weak)) void installCapture(bool on);
}

namespace {
const bool installed = [] {
    if (ovkhost::installCapture) ovkhost::installCapture(true);
    return true;
}();
} // namespace
