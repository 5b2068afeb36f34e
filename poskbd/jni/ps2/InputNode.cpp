#include "InputNode.h"

#include "Device.h"
#include "Trace.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/input.h>

#include <cstdio>
#include <cstring>
#include <mutex>

namespace inputnode {
namespace {

struct State {
    std::mutex mutex;
    int node = -1;
    int bus = -1;
    ValidKeyboards lists;
};

State& state() {
    static State* s = new State;
    return *s;
}

constexpr int kLastNode = 255;
constexpr int kTracedNodes = 13;

std::string nodePath(int n) {
    char name[40];
    std::snprintf(name, sizeof name, "/dev/input/event%-d", n);
    return posKbdPath(name);
}

bool isListed(const ValidKeyboards& lists, const input_id& id) {
    for (int v : lists.versions)
        if (v == id.version) return true;
    size_t pairs = std::min(lists.vendors.size(), lists.products.size());
    for (size_t i = 0; i < pairs; ++i)
        if (lists.vendors[i] == id.vendor && lists.products[i] == id.product) return true;
    return false;
}

bool hasKeys(int fd) {
    uint8_t bits[32] = {};
    if (posKbdOps().ioctl(fd, EVIOCGBIT(EV_KEY, sizeof bits), bits) < 0) return false;
    for (uint8_t b : bits)
        if (b) return true;
    return false;
}

} // namespace

void setValidKeyboards(const ValidKeyboards& lists) {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().lists = lists;
}

std::string name(int node) { return nodePath(node); }

int find(void* env, int start) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.node >= 0) return s.node;
    const OvkDevOps& ops = posKbdOps();
    const bool withLists = !s.lists.empty();
    int found = -1;
    int examined = 0;
    for (int n = start < 0 ? 0 : start; n <= kLastNode && found < 0; ++n) {
        std::string path = nodePath(n);
        bool traced = examined++ < kTracedNodes;
        int fd = ops.open(path.c_str(), O_RDONLY);
        if (fd < 0) {
            if (traced)
                posKbdTrace(env,
                            "[PosKbd.c::getNodeEvent()]    Validating node '%s'... Cannot open, "
                            "check read persmissions!!!",
                            path.c_str());
            continue;
        }
        bool valid = hasKeys(fd);
        if (withLists) {
            input_id id{};
            bool listed = ops.ioctl(fd, EVIOCGID, &id) >= 0 && isListed(s.lists, id);
            valid = valid && listed;
            if (traced)
                posKbdTrace(env,
                            "[PosKbd.c::getNodeEvent()]    Validating node '%s'....[%s] "
                            "Keyboard[Version:0x%.4X Vendor:0x%.4X Product:0x%.4X]",
                            path.c_str(), valid ? "VALID" : "REJECTED", id.version, id.vendor,
                            id.product);
        } else if (traced) {
            posKbdTrace(env, "[PosKbd.c::getNodeEvent()]    Validating node '%s'....[%s]",
                        path.c_str(), valid ? "VALID" : "REJECTED");
        }
        ops.close(fd);
        if (valid) found = n;
    }
    s.node = found;
    posKbdTrace(env, "[PosKbd.c::getNodeEvent()] <--Node Found was: '%s'",
                nodePath(found).c_str());
    return found;
}

int busKind(void* env) {
    State& s = state();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.bus >= 0) return s.bus;
    }
    int node = find(env, 0);
    if (node < 0) return 0;  // not determined: asked again next time
    int bus = 0;
    int fd = posKbdOps().open(nodePath(node).c_str(), O_RDONLY);
    if (fd >= 0) {
        input_id id{};
        if (posKbdOps().ioctl(fd, EVIOCGID, &id) >= 0 && id.bustype == BUS_USB) bus = 1;
        posKbdOps().close(fd);
    }
    std::lock_guard<std::mutex> lock(s.mutex);
    s.bus = bus;
    return bus;
}

int readLeds(void* env, unsigned& bits) {
    int node = find(env, 0);
    if (node < 0) {
        posKbdTrace(env, "[PosKbdGetLeds.c::sendGetLedsRequest()] Node not found-->Keyboard or "
                         "module not connected");
        return -ENODEV;
    }
    std::string path = nodePath(node);
    int fd = posKbdOps().open(path.c_str(), O_RDONLY);
    if (fd < 0) {
        int e = errno;
        posKbdTrace(env, "[PosKbdGetLeds.c::sendGetLedsRequest()] Could not open sniffer device "
                         "at %s : %s", path.c_str(), std::strerror(e));
        return -e;
    }
    uint8_t led[8] = {};
    int rc = posKbdOps().ioctl(fd, EVIOCGLED(sizeof led), led);
    int e = errno;
    posKbdOps().close(fd);
    if (rc < 0) {
        posKbdTrace(env, "[PosKbdGetLeds.c::sendGetLedsRequest()] Could not read led status : %s",
                    std::strerror(e));
        return -e;
    }
    bits = 0;
    if (led[0] & (1u << LED_NUML)) bits |= NumLockLed;
    if (led[0] & (1u << LED_CAPSL)) bits |= CapsLockLed;
    if (led[0] & (1u << LED_SCROLLL)) bits |= ScrollLockLed;
    return 0;
}

int setLeds(void* env, unsigned wanted) {
    unsigned current = 0;
    if (readLeds(env, current) != 0) {
        posKbdTrace(env, "[PosKbdSetLeds.c::sendSetLedsRequest()] Could not read current LED "
                         "status");
        return -1;
    }
    std::string path = nodePath(find(env, 0));
    int fd = posKbdOps().open(path.c_str(), O_RDWR);
    if (fd < 0) {
        posKbdTrace(env, "[PosKbdSetLeds.c::sendSetLedsRequest()] Could not open sniffer device "
                         "at %s : %s", path.c_str(), std::strerror(errno));
        return -1;
    }
    const struct {
        unsigned bit;
        uint16_t key;
    } locks[] = {{CapsLockLed, KEY_CAPSLOCK}, {NumLockLed, KEY_NUMLOCK},
                 {ScrollLockLed, KEY_SCROLLLOCK}};
    int rc = 0;
    for (const auto& l : locks) {
        if ((current & l.bit) == (wanted & l.bit)) continue;
        for (int value : {1, 0}) {
            input_event ev{};
            ev.type = EV_KEY;
            ev.code = l.key;
            ev.value = value;
            if (posKbdOps().write(fd, &ev, sizeof ev) != static_cast<ssize_t>(sizeof ev)) rc = -1;
        }
    }
    posKbdOps().close(fd);
    return rc;
}

void forget() {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().node = -1;
    state().bus = -1;
}

} // namespace inputnode
