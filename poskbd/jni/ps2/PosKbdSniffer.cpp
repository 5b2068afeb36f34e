// Natives of PosKbd for the keyboard's input node: the scan-code sniffer and the lights.
#include "Device.h"
#include "InputNode.h"
#include "JniCheck.h"
#include "Sniffer.h"
#include "Trace.h"

#include <errno.h>
#include <fcntl.h>

#include <cstring>
#include <vector>

using namespace jnicheck;

#define POSKBD_NATIVE(name) JNIEXPORT JNICALL Java_com_qorvel_poskbd_bus_ps2_PosKbd_##name

namespace {

std::vector<int> intArray(JNIEnv* env, jobject proxy, const char* name) {
    jintArray array = static_cast<jintArray>(objectField(env, proxy, "PosKbdProxy", name, "[I"));
    std::vector<int> out;
    if (!array) return out;
    jsize n = env->GetArrayLength(array);
    out.resize(static_cast<size_t>(n));
    if (n > 0) env->GetIntArrayRegion(array, 0, n, out.data());
    check(env, "Failed on GetIntArrayRegion");
    env->DeleteLocalRef(array);
    return out;
}

void takeLists(JNIEnv* env, jobject proxy) {
    ValidKeyboards lists;
    jintArray versions =
        static_cast<jintArray>(objectField(env, proxy, "PosKbdProxy", "validKbds", "[I"));
    if (!versions)
        posKbdTrace(env, "[PosKbdKeyboard.c::nativeSniffer()] ERR: Could not get validKbds "
                         "(array for valid VersionID's)");
    env->DeleteLocalRef(versions);
    lists.versions = intArray(env, proxy, "validKbds");
    lists.vendors = intArray(env, proxy, "validKbdsByVendor");
    lists.products = intArray(env, proxy, "validKbdsByProduct");
    jobject vendors = objectField(env, proxy, "PosKbdProxy", "validKbdsByVendor", "[I");
    jobject products = objectField(env, proxy, "PosKbdProxy", "validKbdsByProduct", "[I");
    if (!vendors || !products)
        posKbdTrace(env, "[PosKbdKeyboard.c::nativeSniffer()] ERR: Could not get "
                         "validKbdsByVendor and validKbdsByProduct (arrays for valid "
                         "Vendor/ProductID's)");
    env->DeleteLocalRef(vendors);
    env->DeleteLocalRef(products);
    inputnode::setValidKeyboards(lists);
}

struct LedFields {
    jfieldID caps, num, scroll;
};

LedFields ledFields(JNIEnv* env, jobject leds) {
    jclass cls = env->GetObjectClass(leds);
    LedFields f{field(env, cls, "PosKbdLeds", "capsLock", "Z"),
                field(env, cls, "PosKbdLeds", "numLock", "Z"),
                field(env, cls, "PosKbdLeds", "scrollLock", "Z")};
    env->DeleteLocalRef(cls);
    return f;
}

} // namespace

extern "C" {

void POSKBD_NATIVE(nativeSniffer)(JNIEnv* env, jclass, jobject proxy) {
    posKbdTraceInit(env);
    jclass proxyCls = env->GetObjectClass(proxy);
    jmethodID process = method(env, proxyCls, "PosKbdProxy", "processScancodes", "([BI)V");
    ProxyThread thread = currentProxyThread(env);
    takeLists(env, proxy);

    int node = inputnode::find(env, 0);
    if (node < 0) {
        posKbdTrace(env, "[PosKbdKeyboard.c::nativeSniffer()] Node not found-->Keyboard or "
                         "module not connected");
        thread.started(env, false);
        return;
    }
    const bool usb = inputnode::busKind(env) == 1;
    jbyteArray array = env->NewByteArray(static_cast<jsize>(kSnifferBytes));
    if (!array) {
        env->ExceptionClear();
        posKbdTrace(env, "[PosKbdKeyboard.c::nativeSniffer()] out of memory!");
        thread.started(env, false);
        return;
    }
    std::string path = inputnode::name(node);
    int fd = posKbdOps().open(path.c_str(), O_RDONLY);
    if (fd < 0) {
        posKbdTrace(env, "[PosKbdKeyboard.c::nativeSniffer()] could not open sniffer device %s "
                         ": %s", path.c_str(), std::strerror(errno));
        thread.started(env, false);
        return;
    }
    thread.setFd(env, fd);
    thread.started(env, true);
    posKbdTrace(env, "[PosKbdKeyboard.c::nativeSniffer()] Starting read.");

    KeyMapper mapper([env] {
        unsigned bits = 0;
        return inputnode::readLeds(env, bits) != 0 || (bits & NumLockLed);
    });
    uint8_t bytes[kSnifferBytes];
    while (thread.running(env)) {
        input_event ev;
        ssize_t n = posKbdOps().read(fd, &ev, sizeof ev);
        if (n < 0) {
            int e = errno;
            if (e == EOVERFLOW) {
                posKbdTrace(env, "[PosKbdKeyboard.c::nativeSniffer()] Internal buffer overflow, "
                                 "some scancodes lost!");
                continue;
            }
            if (e == EINTR) {
                posKbdTrace(env, "[PosKbdKeyboard.c::nativeSniffer()] Signal received while "
                                 "reading - ignoring!");
                continue;
            }
            posKbdTrace(env, "[PosKbdKeyboard.c::nativeSniffer()] Read error (aborting) : %s",
                        std::strerror(e));
            break;
        }
        size_t count = 0;
        if (n == static_cast<ssize_t>(sizeof ev)) {
            bool cut = false;
            count = snifferBytes(ev, usb, mapper, bytes, cut);
            if (cut)
                posKbdTrace(env, "[PosKbdKeyboard.c::nativeSniffer()] This should not happen - "
                                 "WARNING read TOO MUCH data!  Some scancodes LOST!");
        }
        if (count > 0)
            env->SetByteArrayRegion(array, 0, static_cast<jsize>(count),
                                    reinterpret_cast<const jbyte*>(bytes));
        env->CallVoidMethod(proxy, process, array, static_cast<jint>(count));
        check(env, "Failed on CallVoidMethod( env, proxy, processScancodes )");
    }
    posKbdTrace(env, "[PosKbdKeyboard.c::nativeSniffer()] Finished read.");
    posKbdOps().close(fd);
    env->DeleteLocalRef(array);
    env->DeleteLocalRef(proxyCls);
}

void POSKBD_NATIVE(nativeGetLeds)(JNIEnv* env, jclass, jobject leds) {
    posKbdTraceInit(env);
    LedFields f = ledFields(env, leds);
    unsigned bits = 0;
    int rc = inputnode::readLeds(env, bits);
    if (rc != 0) {
        posKbdTrace(env, "[PosKbdGetLeds.c::nativeGetLeds()] Error when getting the Leds state "
                         ": %s", std::strerror(-rc));
        return;
    }
    env->SetBooleanField(leds, f.caps, (bits & CapsLockLed) ? JNI_TRUE : JNI_FALSE);
    env->SetBooleanField(leds, f.num, (bits & NumLockLed) ? JNI_TRUE : JNI_FALSE);
    env->SetBooleanField(leds, f.scroll, (bits & ScrollLockLed) ? JNI_TRUE : JNI_FALSE);
}

void POSKBD_NATIVE(nativeSetLeds)(JNIEnv* env, jclass, jobject leds) {
    posKbdTraceInit(env);
    LedFields f = ledFields(env, leds);
    unsigned wanted = 0;
    if (env->GetBooleanField(leds, f.caps)) wanted |= CapsLockLed;
    if (env->GetBooleanField(leds, f.num)) wanted |= NumLockLed;
    if (env->GetBooleanField(leds, f.scroll)) wanted |= ScrollLockLed;
    inputnode::setLeds(env, wanted);
}

} // extern "C"
