// Natives of PosKbd for the keyboard's kernel driver: the driver loop and the commands.
#include "JniCheck.h"
#include "Ps2Driver.h"
#include "Trace.h"

#include <errno.h>

#include <cstring>

using namespace jnicheck;

#define POSKBD_NATIVE(name) JNIEXPORT JNICALL Java_com_qorvel_poskbd_bus_ps2_PosKbd_##name

namespace {

int staticInt(JNIEnv* env, jclass cls, const char* clsName, const char* name) {
    jint v = env->GetStaticIntField(cls, staticField(env, cls, clsName, name, "I"));
    check(env, "Failed on GetStaticIntField");
    return v;
}

int callInt(JNIEnv* env, jobject obj, const char* clsName, const char* name) {
    jclass cls = env->GetObjectClass(obj);
    jint v = env->CallIntMethod(obj, method(env, cls, clsName, name, "()I"));
    check(env, name);
    env->DeleteLocalRef(cls);
    return v;
}

bool callBool(JNIEnv* env, jobject obj, const char* clsName, const char* name, const char* sig,
              jint arg = 0, bool withArg = false) {
    jclass cls = env->GetObjectClass(obj);
    jmethodID m = method(env, cls, clsName, name, sig);
    jboolean v = withArg ? env->CallBooleanMethod(obj, m, arg) : env->CallBooleanMethod(obj, m);
    check(env, name);
    env->DeleteLocalRef(cls);
    return v == JNI_TRUE;
}

bool boolField(JNIEnv* env, jobject obj, const char* name) {
    jclass cls = env->GetObjectClass(obj);
    jboolean v = env->GetBooleanField(obj, field(env, cls, "PS2Command", name, "Z"));
    env->DeleteLocalRef(cls);
    return v == JNI_TRUE;
}

// Reports the outcome on the command object.
void complete(JNIEnv* env, jobject command, int rc) {
    jclass cls = env->GetObjectClass(command);
    env->CallVoidMethod(command, method(env, cls, "PS2Command", "setErrorCode", "(I)V"),
                        static_cast<jint>(rc));
    check(env, "Failed on CallVoidMethod( env, command, setErrorCode )");
    env->CallVoidMethod(command, method(env, cls, "PS2Command", "setCompleted", "(Z)V"),
                        JNI_TRUE);
    check(env, "Failed on CallVoidMethod( env, command, setCompleted )");
    env->DeleteLocalRef(cls);
}

// Copies a byte-array field of at most `max` bytes into `data`; -22 when it is missing or
// longer.
int byteField(JNIEnv* env, jobject command, const char* name, size_t max, uint8_t* data,
              uint16_t& length) {
    jbyteArray array =
        static_cast<jbyteArray>(objectField(env, command, "PS2Command", name, "[B"));
    if (!array) return -22;
    jsize n = env->GetArrayLength(array);
    if (static_cast<size_t>(n) > max) {
        env->DeleteLocalRef(array);
        return -22;
    }
    env->GetByteArrayRegion(array, 0, n, reinterpret_cast<jbyte*>(data));
    env->DeleteLocalRef(array);
    length = static_cast<uint16_t>(n);
    return 0;
}

void traceFailure(JNIEnv* env, int rc, const char* format) {
    if (rc != 0) posKbdTrace(env, format, std::strerror(-rc));
}

} // namespace

extern "C" {

void POSKBD_NATIVE(nativePS2)(JNIEnv* env, jclass posKbd, jobject proxy) {
    posKbdTraceInit(env);
    posKbdTrace(env, "[PosKbdFunctions.c::nativePS2()] Starting PS2 driver...");
    ProxyThread thread = currentProxyThread(env);
    jclass proxyCls = env->GetObjectClass(proxy);
    jmethodID kbdStatus = method(env, proxyCls, "PosKbdProxy", "processKbdStatus", "([BI)V");
    jmethodID msrData = method(env, proxyCls, "PosKbdProxy", "processMsrData", "([BI)V");
    jmethodID runCommands = method(env, proxyCls, "PosKbdProxy", "runPS2Command", "()V");
    jfieldID typeField = staticField(env, posKbd, "PosKbd", "keyboardType", "I");

    jbyteArray status = env->NewByteArray(sizeof(ps2::DataRecord));
    jbyteArray msr = status ? env->NewByteArray(sizeof(ps2::DataRecord)) : nullptr;
    if (!status || !msr) {
        env->ExceptionClear();
        posKbdTrace(env, "[PosKbdFunctions.c::nativePS2()] Out of memory!");
        thread.started(env, false);
        return;
    }
    if (!ps2::open()) {
        const int e = errno;
        posKbdTrace(env, "[PosKbdFunctions.c::openPS2Driver()] Could not access PS2 driver %s : "
                         "%s", "/dev/ps2driver", std::strerror(e));
        thread.started(env, false);
        posKbdTrace(env, "[PosKbdFunctions.c::nativePS2()] Keyboard found is not a valid "
                         "POSKeyboard (Module '/dev/ps2driver' could not open), aborting PS2!");
        return;
    }
    // The type is set before the start is told, so that whoever waits for the start sees it.
    env->SetStaticIntField(posKbd, typeField, ps2::keyboardType());
    thread.started(env, true);
    posKbdTrace(env, "[PosKbdFunctions.c::nativePS2()] PS2 ProxyThread starting.");

    ps2::Poller poller;
    while (thread.running(env)) {
        ps2::Poller::Result r = poller.poll();
        if (r.statusChanged) {
            env->SetByteArrayRegion(status, 0, 4, reinterpret_cast<const jbyte*>(r.status));
            env->CallVoidMethod(proxy, kbdStatus, status, 4);
            check(env, "Failed on CallVoidMethod( env, proxy, processKbdStatus )");
        }
        if (r.msrLength > 0) {
            env->SetByteArrayRegion(msr, 0, static_cast<jsize>(r.msrLength),
                                    reinterpret_cast<const jbyte*>(r.msrData));
            env->CallVoidMethod(proxy, msrData, msr, static_cast<jint>(r.msrLength));
            check(env, "Failed on CallVoidMethod( env, proxy, processMsrData )");
        }
        env->CallVoidMethod(proxy, runCommands);
        check(env, "Failed on CallVoidMethod( env, proxy, runPS2Command )");
    }
    posKbdTrace(env, "[PosKbdFunctions.c::nativePS2()] PS2 ProxyThread exiting.");
    ps2::close();
    env->DeleteLocalRef(status);
    env->DeleteLocalRef(msr);
}

void POSKBD_NATIVE(nativeCodeUpdate)(JNIEnv* env, jclass, jobject command) {
    static ps2::CodeUpdateRecord record;  // 10 KiB: kept off the Java thread's stack
    std::memset(&record, 0, sizeof record);
    int rc = byteField(env, command, "codeUpdate", ps2::kCodeUpdateMax, record.data, record.length);
    if (rc == 0) {
        rc = ps2::send(ps2::kCodeUpdate, &record);
        traceFailure(env, rc, "[PosKbdCodeUpdate.c::nativeCodeUpdate()] Error while updating the "
                              "code : %s");
    }
    complete(env, command, rc);
}

void POSKBD_NATIVE(nativeSetDoublekeys)(JNIEnv* env, jclass, jobject command) {
    ps2::DoubleKeysRecord record{};
    int rc = byteField(env, command, "doubleKeys", ps2::kDataSize, record.data, record.length);
    if (rc == 0) {
        rc = ps2::send(ps2::kDoubleKeys, &record);
        traceFailure(env, rc, "[PosKbdSetDoubleKeys.c::nativeSetDoublekeys()] Error while "
                              "setting double keys : %s");
    }
    complete(env, command, rc);
}

void POSKBD_NATIVE(nativeEnableTracks)(JNIEnv* env, jclass, jobject command) {
    jobject tracks = objectField(env, command, "PS2Command", "msrTracks",
                                 "Lcom/qorvel/poskbd/MsrTracks;");
    ps2::TracksRecord record{};
    if (tracks) {
        record.track1 = callBool(env, tracks, "MsrTracks", "getTrackISO1", "()Z");
        record.track2 = callBool(env, tracks, "MsrTracks", "getTrackISO2", "()Z");
        record.track3 = callBool(env, tracks, "MsrTracks", "getTrackISO3", "()Z");
        record.jis2 = callBool(env, tracks, "MsrTracks", "getTrackJISII", "()Z");
        record.extendedData = callBool(env, tracks, "MsrTracks", "getExtDataReportEnabled", "()Z");
    }
    int rc = ps2::send(ps2::kTracks, &record);
    traceFailure(env, rc, "[PosKbdEnableTracks.c::nativeEnableTracks()] Error while enabling MSR "
                          "tracks : %s");
    complete(env, command, rc);
}

void POSKBD_NATIVE(nativeGetDeviceInfo)(JNIEnv* env, jclass, jobject command) {
    ps2::QueryRecord q{};
    int rc = ps2::send(ps2::kQuery, &q);
    if (rc != 0) {
        traceFailure(env, rc, "[PosKbdGetDeviceInfo.c::nativeGetDeviceInfo()] Could not query "
                              "keyboard : %s");
    } else {
        posKbdTrace(env, "[PosKbdGetDeviceInfo.c::nativeGetDeviceInfo()] id 0x%X subtype 0x%X "
                         "features 0x%X kbd EC 0x%X feature1 0x%X firmware %u.%u MSR 0x%X MSR EC "
                         "0x%X", q.keyboardId, q.keyboardSubtype, q.features, q.keyboardEc,
                    q.featureByte1, q.firmwareVersion, q.firmwareRelease, q.msrType, q.msrEc);
        jclass cls = env->GetObjectClass(command);
        env->CallVoidMethod(command, method(env, cls, "PS2Command", "setDevInfo", "(SSBBBBBSB)V"),
                            static_cast<jshort>(q.keyboardId),
                            static_cast<jshort>(q.keyboardSubtype),
                            static_cast<jbyte>(q.features), static_cast<jbyte>(q.keyboardEc),
                            static_cast<jbyte>(q.featureByte1),
                            static_cast<jbyte>(q.firmwareVersion),
                            static_cast<jbyte>(q.firmwareRelease), static_cast<jshort>(q.msrType),
                            static_cast<jbyte>(q.msrEc));
        check(env, "Failed on CallVoidMethod( env, command, setDevInfo )");
        env->DeleteLocalRef(cls);
    }
    complete(env, command, rc);
}

void POSKBD_NATIVE(nativeGetStatus)(JNIEnv* env, jclass, jobject command) {
    ps2::DataRecord record{};
    int rc = ps2::send(ps2::kStatus, &record);
    if (rc != 0) {
        traceFailure(env, rc, "[PosKbdGetStatus.c::nativeGetStatus()] Error while getting the "
                              "setting status information : %s");
    } else {
        jbyteArray array = env->NewByteArray(4);
        if (!array) {
            env->ExceptionClear();
            rc = -12;
        } else {
            env->SetByteArrayRegion(array, 0, 4, reinterpret_cast<const jbyte*>(record.data));
            jclass cls = env->GetObjectClass(command);
            env->CallVoidMethod(command, method(env, cls, "PS2Command", "setStatus", "([B)V"),
                                array);
            check(env, "Failed on CallVoidMethod( env, command, setStatus )");
            env->DeleteLocalRef(cls);
            env->DeleteLocalRef(array);
        }
    }
    complete(env, command, rc);
}

void POSKBD_NATIVE(nativeSetClick)(JNIEnv* env, jclass, jobject command) {
    jobject click = objectField(env, command, "PS2Command", "click",
                                "Lcom/qorvel/poskbd/ClickCmd;");
    int rc = -22;
    if (click) {
        jclass cls = env->GetObjectClass(click);
        int setting = callInt(env, click, "ClickCmd", "getClickSetting");
        ps2::ByteRecord record{};
        rc = 0;
        if (setting == staticInt(env, cls, "ClickCmd", "CLICK_OFF"))
            record.value = 0;
        else if (setting == staticInt(env, cls, "ClickCmd", "CLICK_SOFT"))
            record.value = 1;
        else if (setting == staticInt(env, cls, "ClickCmd", "CLICK_LOUD"))
            record.value = 2;
        else
            rc = -22;
        env->DeleteLocalRef(cls);
        if (rc == 0) {
            rc = ps2::send(ps2::kClick, &record);
            traceFailure(env, rc, "[PosKbdSetClick.c::nativeSetClick()] Error while setting the "
                                  "click request : %s");
        }
    }
    complete(env, command, rc);
}

void POSKBD_NATIVE(nativeSetEnabled)(JNIEnv* env, jclass, jobject command) {
    ps2::WordRecord record{};
    record.value = boolField(env, command, "enabled") ? 1 : 0;
    int rc = ps2::send(ps2::kEnable, &record);
    traceFailure(env, rc, "[PosKbdSetEnabled.c::nativeSetEnabled()] Could not call the "
                          "SetEnables request : %s");
    complete(env, command, rc);
}

void POSKBD_NATIVE(nativeSetTypematic)(JNIEnv* env, jclass, jobject command) {
    ps2::WordRecord record{};
    record.value = boolField(env, command, "typematic") ? 1 : 0;
    int rc = ps2::send(ps2::kTypematic, &record);
    traceFailure(env, rc, "[PosKbdSetTypematic.c::nativeSetTypematic()] Error while sending the "
                          "Typematic request : %s");
    complete(env, command, rc);
}

void POSKBD_NATIVE(nativeSetPosLeds)(JNIEnv* env, jclass, jobject command) {
    jobject led = objectField(env, command, "PS2Command", "ledCmd", "Lcom/qorvel/poskbd/LedCmd;");
    bool lights[7] = {};
    if (led)
        for (int i = 0; i < 7; ++i) lights[i] = callBool(env, led, "LedCmd", "getLed", "(I)Z", i + 1, true);
    ps2::ByteRecord record{};
    record.value = ps2::posLightBits(lights);
    int rc = ps2::send(ps2::kPosLeds, &record);
    complete(env, command, rc);
}

void POSKBD_NATIVE(nativeSetTone)(JNIEnv* env, jclass, jobject command) {
    jobject tone = objectField(env, command, "PS2Command", "toneCmd",
                               "Lcom/qorvel/poskbd/ToneCmd;");
    int rc = -22;
    if (tone) {
        jclass cls = env->GetObjectClass(tone);
        ps2::ToneConstants c{staticInt(env, cls, "ToneCmd", "FREQUENCY_875"),
                             staticInt(env, cls, "ToneCmd", "FREQUENCY_1300"),
                             staticInt(env, cls, "ToneCmd", "FREQUENCY_2000"),
                             staticInt(env, cls, "ToneCmd", "VOLUME_LOW"),
                             staticInt(env, cls, "ToneCmd", "VOLUME_HIGH")};
        env->DeleteLocalRef(cls);
        bool on = callBool(env, tone, "ToneCmd", "getOn", "()Z");
        bool timed = callBool(env, tone, "ToneCmd", "getTimed", "()Z");
        int duration = callInt(env, tone, "ToneCmd", "getDuration");
        int frequency = callInt(env, tone, "ToneCmd", "getFrequency");
        int volume = callInt(env, tone, "ToneCmd", "getVolume");
        ps2::ByteRecord record{};
        switch (ps2::toneRecord(on, timed, duration, frequency, volume, c, record)) {
        case ps2::ToneBadFrequency:
            posKbdTrace(env, "[PosKbdSetTone.c::nativeSetTone()] Illegal frequency %d", frequency);
            break;
        case ps2::ToneBadVolume:
            posKbdTrace(env, "[PosKbdSetTone.c::nativeSetTone()] Illegal volume %d", volume);
            break;
        case ps2::ToneOk:
            rc = ps2::send(ps2::kTone, &record);
            traceFailure(env, rc, "[PosKbdSetTone.c::nativeSetTone()] Error while setting the "
                                  "tone : %s");
            break;
        }
    }
    complete(env, command, rc);
}

void POSKBD_NATIVE(nativeSetTrapKeys)(JNIEnv* env, jclass, jobject command) {
    jobject trap = objectField(env, command, "PS2Command", "trapKeys",
                               "Lcom/qorvel/poskbd/TrapKeys;");
    ps2::WordRecord record{};
    if (trap) {
        jclass cls = env->GetObjectClass(trap);
        ps2::TrapConstants c{
            staticInt(env, cls, "TrapKeys", "TRAP_CTRL_ALT_DELETE"),
            staticInt(env, cls, "TrapKeys", "TRAP_CTRL_ESC"),
            staticInt(env, cls, "TrapKeys", "TRAP_ALT_ESC"),
            staticInt(env, cls, "TrapKeys", "TRAP_ALT_TAB"),
            staticInt(env, cls, "TrapKeys", "TRAP_ALT_SHIFT_TAB"),
            staticInt(env, cls, "TrapKeys", "TRAP_ALT_HOME"),
            staticInt(env, cls, "TrapKeys", "TRAP_NUM_LOCK"),
            staticInt(env, cls, "TrapKeys", "TRAP_CAPS_LOCK"),
            staticInt(env, cls, "TrapKeys", "TRAP_SCROLL_LOCK"),
            staticInt(env, cls, "TrapKeys", "TRAP_POS_SPECIFIC"),
            staticInt(env, cls, "TrapKeys", "TRAP_HOT_KEYS"),
            staticInt(env, cls, "TrapKeys", "TRAP_ALL")};
        env->DeleteLocalRef(cls);
        record.value = ps2::trapBits(callInt(env, trap, "TrapKeys", "getTrapKeys"), c);
    }
    int rc = ps2::send(ps2::kTrapKeys, &record);
    traceFailure(env, rc, "[PosKbdSetTrapKeys.c::nativeSetTrapKeys()] Error while setting trap "
                          "keys : %s");
    complete(env, command, rc);
}

} // extern "C"
