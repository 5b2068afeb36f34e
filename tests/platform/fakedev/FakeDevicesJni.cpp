// Test-only natives of fakedev.FakeDevices: install the fake devices in the keyboard and port
// natives, script them, and give Java tests pseudo-terminals and a look at the semaphores.
#include "fakedev.h"

#include <jni.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/sem.h>
#include <unistd.h>

#include <string>
#include <vector>

extern "C" void ovkPosKbdSetDevOps(const OvkDevOps* ops);
extern "C" void ovkCommSetDevOps(const OvkDevOps* ops);

namespace {

std::string text(JNIEnv* env, jstring s) {
    const char* chars = env->GetStringUTFChars(s, nullptr);
    std::string out(chars ? chars : "");
    if (chars) env->ReleaseStringUTFChars(s, chars);
    return out;
}

std::vector<uint8_t> bytes(JNIEnv* env, jbyteArray a) {
    std::vector<uint8_t> out(static_cast<size_t>(env->GetArrayLength(a)));
    env->GetByteArrayRegion(a, 0, static_cast<jsize>(out.size()), reinterpret_cast<jbyte*>(out.data()));
    return out;
}

jbyteArray array(JNIEnv* env, const std::vector<uint8_t>& b) {
    jbyteArray a = env->NewByteArray(static_cast<jsize>(b.size()));
    env->SetByteArrayRegion(a, 0, static_cast<jsize>(b.size()), reinterpret_cast<const jbyte*>(b.data()));
    return a;
}

} // namespace

#define FAKE(ret, name) extern "C" JNIEXPORT ret JNICALL Java_fakedev_FakeDevices_##name

FAKE(void, install)(JNIEnv*, jclass) {
    fakedev::reset();
    ovkPosKbdSetDevOps(fakedev::ops());
    ovkCommSetDevOps(fakedev::ops());
}

FAKE(void, addInputNode)(JNIEnv*, jclass, jint n, jint bus, jint vendor, jint product, jint version) {
    fakedev::addInputNode(n, static_cast<uint16_t>(bus), static_cast<uint16_t>(vendor),
                          static_cast<uint16_t>(product), static_cast<uint16_t>(version));
}

FAKE(void, queueEvent)(JNIEnv*, jclass, jint n, jint type, jint code, jint value) {
    fakedev::queueEvent(n, static_cast<uint16_t>(type), static_cast<uint16_t>(code), value);
}

FAKE(jint, leds)(JNIEnv*, jclass, jint n) { return static_cast<jint>(fakedev::leds(n)); }

FAKE(void, setLeds)(JNIEnv*, jclass, jint n, jint bits) { fakedev::setLeds(n, static_cast<unsigned>(bits)); }

FAKE(jintArray, written)(JNIEnv* env, jclass, jint n) {
    std::vector<jint> flat;
    for (const input_event& ev : fakedev::written(n)) {
        flat.push_back(ev.type);
        flat.push_back(ev.code);
        flat.push_back(ev.value);
    }
    jintArray a = env->NewIntArray(static_cast<jsize>(flat.size()));
    env->SetIntArrayRegion(a, 0, static_cast<jsize>(flat.size()), flat.data());
    return a;
}

FAKE(void, addPs2Driver)(JNIEnv*, jclass) { fakedev::addPs2Driver(); }

FAKE(void, scriptPs2Error)(JNIEnv*, jclass, jint nr, jint error) {
    fakedev::scriptPs2Error(static_cast<unsigned>(nr), error);
}

FAKE(void, queueKbdStatus)(JNIEnv* env, jclass, jbyteArray status) {
    fakedev::queueKbdStatus(bytes(env, status));
}

FAKE(void, queueMsrData)(JNIEnv* env, jclass, jint length, jbyteArray data) {
    fakedev::queueMsrData(static_cast<uint32_t>(length), bytes(env, data));
}

FAKE(jint, ps2RequestCount)(JNIEnv*, jclass) { return static_cast<jint>(fakedev::ps2Requests().size()); }

FAKE(jlong, ps2RequestCode)(JNIEnv*, jclass, jint i) {
    auto r = fakedev::ps2Requests();
    return i >= 0 && static_cast<size_t>(i) < r.size() ? static_cast<jlong>(r[i].code) : -1;
}

FAKE(jbyteArray, ps2Request)(JNIEnv* env, jclass, jint i) {
    auto r = fakedev::ps2Requests();
    return i >= 0 && static_cast<size_t>(i) < r.size() ? array(env, r[i].record) : nullptr;
}

FAKE(void, addPort)(JNIEnv* env, jclass, jstring path, jint lines) { fakedev::addPort(text(env, path), lines); }

FAKE(void, toggleLines)(JNIEnv* env, jclass, jstring path, jint bits) {
    fakedev::toggleLines(text(env, path), bits);
}

FAKE(void, setPrinterStatus)(JNIEnv* env, jclass, jstring path, jint status) {
    fakedev::setPrinterStatus(text(env, path), static_cast<uint8_t>(status));
}

FAKE(jint, modemLines)(JNIEnv* env, jclass, jstring path) { return fakedev::modemLines(text(env, path)); }

FAKE(jstring, makeTempDir)(JNIEnv* env, jclass) {
    char dir[] = "/tmp/qcXXXXXX";
    return env->NewStringUTF(mkdtemp(dir) ? dir : "");
}

FAKE(jint, openPty)(JNIEnv* env, jclass, jstring link) {
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return -1;
    if (symlink(ptsname(master), text(env, link).c_str()) != 0) {
        close(master);
        return -1;
    }
    return master;
}

FAKE(jbyteArray, readMaster)(JNIEnv* env, jclass, jint fd, jint max, jint ms) {
    std::vector<uint8_t> got;
    pollfd p{fd, POLLIN, 0};
    while (got.size() < static_cast<size_t>(max) && poll(&p, 1, ms) == 1) {
        uint8_t buf[256];
        ssize_t n = read(fd, buf, std::min<size_t>(sizeof buf, static_cast<size_t>(max) - got.size()));
        if (n <= 0) break;
        got.insert(got.end(), buf, buf + n);
    }
    return array(env, got);
}

FAKE(jint, writeMaster)(JNIEnv* env, jclass, jint fd, jbyteArray b) {
    auto data = bytes(env, b);
    return static_cast<jint>(write(fd, data.data(), data.size()));
}

FAKE(jint, semget)(JNIEnv*, jclass, jint key) { return ::semget(key, 1, 0); }

FAKE(jint, semValue)(JNIEnv*, jclass, jint id) { return ::semctl(id, 0, GETVAL); }
