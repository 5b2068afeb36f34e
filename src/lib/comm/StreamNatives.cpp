// Natives of the port streams (timed reads, writes) and of the three event threads.
#include "CommJni.h"
#include "LineWatch.h"
#include "PortControl.h"
#include "PortStream.h"

#include <errno.h>
#include <sys/ioctl.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

using namespace commjni;

namespace {

// The polling time of the output stream: read once for the process, 0 when it cannot be.
std::atomic<int> outputPollingTime{-1};

struct InputFields {
    jfieldID fd, tmo, tmoDone;
};

bool inputFields(JNIEnv* env, jobject self, InputFields& f) {
    jclass cls = env->GetObjectClass(self);
    f.fd = env->GetFieldID(cls, "fd", "I");
    f.tmo = f.fd ? env->GetFieldID(cls, "tmo", "I") : nullptr;
    f.tmoDone = f.tmo ? env->GetFieldID(cls, "tmoDone", "Z") : nullptr;
    env->DeleteLocalRef(cls);
    return f.tmoDone != nullptr;
}

jobject objectField(JNIEnv* env, jobject self, const char* name, const char* sig, int step) {
    jclass cls = env->GetObjectClass(self);
    jfieldID f = env->GetFieldID(cls, name, sig);
    env->DeleteLocalRef(cls);
    if (!f) {
        asserted(step);
        return nullptr;
    }
    jobject value = env->GetObjectField(self, f);
    if (!value) asserted(step);
    return value;
}

bool boolField(JNIEnv* env, jobject obj, jfieldID f) { return env->GetBooleanField(obj, f) == JNI_TRUE; }

} // namespace

extern "C" {

JNIEXPORT jint JNICALL Java_com_qorvel_comm_NSDeviceInputStream_readDeviceOneByteNC(JNIEnv* env,
                                                                                    jobject self) {
    InputFields f;
    if (!inputFields(env, self, f)) {
        if (env->ExceptionCheck()) env->ExceptionClear();
        throwIOException(env);
        return -1;
    }
    int fd = env->GetIntField(self, f.fd);
    if (fd == -1) {
        throwIOException(env);
        return -1;
    }
    int b = portio::readOne(fd, env->GetIntField(self, f.tmo));
    if (b == -2) {
        throwIOException(env);
        return -1;
    }
    return b;
}

JNIEXPORT jint JNICALL Java_com_qorvel_comm_NSDeviceInputStream_readDeviceNC(JNIEnv* env,
                                                                             jobject self,
                                                                             jbyteArray b,
                                                                             jint off, jint len) {
    InputFields f;
    if (!inputFields(env, self, f)) {
        if (env->ExceptionCheck()) env->ExceptionClear();
        return -1;
    }
    int fd = env->GetIntField(self, f.fd);
    if (fd == -1 || !b) return -1;
    jsize size = env->GetArrayLength(b);
    if (off < 0 || len < 0 || off > size || len > size - off) return -1;
    std::vector<uint8_t> buf(static_cast<size_t>(len > 0 ? len : 1));
    bool timedOut = false;
    int n = portio::readSome(fd, env->GetIntField(self, f.tmo), buf.data(), len, timedOut);
    if (timedOut) env->SetBooleanField(self, f.tmoDone, JNI_TRUE);
    if (n > 0) env->SetByteArrayRegion(b, off, n, reinterpret_cast<const jbyte*>(buf.data()));
    return n;
}

JNIEXPORT jint JNICALL Java_com_qorvel_comm_NSDeviceInputStream_getReadCountNC(JNIEnv* env,
                                                                               jobject self) {
    int fd = -1;
    if (!intField(env, self, "fd", 30, fd)) return -1;
    int n = portio::waiting(fd);
    if (n < 0) throwIOException(env);
    return n;
}

JNIEXPORT jint JNICALL Java_com_qorvel_comm_NSDeviceOutputStream_writeDeviceNC(JNIEnv* env,
                                                                               jobject self,
                                                                               jbyteArray b,
                                                                               jint off, jint len) {
    if (len == 0) return 0;
    int fd = -1, type = 0;
    if (!intField(env, self, "fd", 31, fd) || !intField(env, self, "pt", 32, type)) return -1;
    if (!b) return -1;
    jsize size = env->GetArrayLength(b);
    if (off < 0 || len < 0 || off > size || len > size - off) return -1;
    if (type == 1) {
        int seconds = outputPollingTime.load();
        if (seconds < 0) {
            seconds = 0;
            jclass cls = env->FindClass("javax/comm/CommPortIdentifier");
            jfieldID field = cls ? env->GetStaticFieldID(cls, "pollingTime", "I") : nullptr;
            if (field) seconds = env->GetStaticIntField(cls, field);
            if (env->ExceptionCheck()) env->ExceptionClear();
            if (cls) env->DeleteLocalRef(cls);
            if (seconds < 0) seconds = 0;
            outputPollingTime = seconds;
        }
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
    }
    std::vector<uint8_t> buf(static_cast<size_t>(len));
    env->GetByteArrayRegion(b, off, len, reinterpret_cast<jbyte*>(buf.data()));
    return portio::writeAll(fd, buf.data(), len);
}

JNIEXPORT jint JNICALL Java_com_qorvel_comm_SerialDataEventThread_monitorSerialDataNC(JNIEnv* env,
                                                                                     jobject self,
                                                                                     jint fd) {
    jobject port = objectField(env, self, "serialPort", "Lcom/qorvel/comm/NSSerialPort;", 50);
    jmethodID isInterrupted = isInterruptedMethod(env);
    if (!port || !isInterrupted) return -1;
    jclass portCls = env->GetObjectClass(port);
    jmethodID setByteCount = env->GetMethodID(portCls, "setByteCount", "(I)Z");
    env->DeleteLocalRef(portCls);
    if (!setByteCount) {
        asserted(51);
        return -1;
    }
    const int waitMs = pollingTime(env) * 1000;
    while (!interrupted(env, self, isInterrupted)) {
        if (portio::waitReadable(fd, waitMs) != portio::Readable) continue;
        int n = portio::waiting(fd);
        if (n > 0) {
            env->CallBooleanMethod(port, setByteCount, n);
            if (env->ExceptionCheck()) env->ExceptionClear();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
}

JNIEXPORT jint JNICALL Java_com_qorvel_comm_SerialStatusEventThread_monitorSerialStatusNC(
    JNIEnv* env, jobject self, jint fd) {
    jobject port = objectField(env, self, "serialPort", "Lcom/qorvel/comm/NSSerialPort;", 60);
    jmethodID isInterrupted = isInterruptedMethod(env);
    if (!port || !isInterrupted) return -1;
    jclass cls = env->GetObjectClass(port);
    jmethodID setByteCount = env->GetMethodID(cls, "setByteCount", "(I)Z");
    jmethodID report = env->GetMethodID(cls, "reportSerialEvent", "(IZZ)V");
    jfieldID onCD = env->GetFieldID(cls, "notifyOnCDFlag", "Z");
    jfieldID onCTS = env->GetFieldID(cls, "notifyOnCTSFlag", "Z");
    jfieldID onDSR = env->GetFieldID(cls, "notifyOnDSRFlag", "Z");
    jfieldID onRI = env->GetFieldID(cls, "notifyOnRIFlag", "Z");
    env->DeleteLocalRef(cls);
    if (!setByteCount || !report || !onCD || !onCTS || !onDSR || !onRI) {
        asserted(61);
        return -1;
    }
    int evCD = 0, evCTS = 0, evDSR = 0, evRI = 0;
    const char* events = "javax/comm/SerialPortEvent";
    if (!staticInt(env, events, "CD", 62, evCD) || !staticInt(env, events, "CTS", 63, evCTS) ||
        !staticInt(env, events, "DSR", 64, evDSR) || !staticInt(env, events, "RI", 65, evRI))
        return -1;
    const int waitMs = pollingTime(env) * 1000;

    LineWatch watch(fd);
    std::unique_lock<std::mutex> held(watch.mutex());
    watch.start();
    for (;;) {
        LineWatch::Pass pass = watch.next(held, waitMs);
        if (pass.bytes > 0) {
            env->CallBooleanMethod(port, setByteCount, pass.bytes);
            if (env->ExceptionCheck()) env->ExceptionClear();
        }
        if (interrupted(env, self, isInterrupted)) break;
        const bool cd = boolField(env, port, onCD), cts = boolField(env, port, onCTS);
        const bool dsr = boolField(env, port, onDSR), ri = boolField(env, port, onRI);
        for (const auto& t : pass.transitions) {
            int event = 0;
            bool notify = false;
            switch (t.line) {
            case TIOCM_CD: event = evCD; notify = cd; break;
            case TIOCM_CTS: event = evCTS; notify = cts; break;
            case TIOCM_DSR: event = evDSR; notify = dsr; break;
            case TIOCM_RNG: event = evRI; notify = ri; break;
            }
            if (!notify) continue;
            env->CallVoidMethod(port, report, event, t.before ? JNI_TRUE : JNI_FALSE,
                                t.after ? JNI_TRUE : JNI_FALSE);
            if (env->ExceptionCheck()) env->ExceptionClear();
        }
    }
    held.unlock();
    watch.stop();
    return 0;
}

JNIEXPORT jint JNICALL Java_com_qorvel_comm_ParallelErrorEventThread_monitorParallelErrorNC(
    JNIEnv* env, jobject self, jint fd) {
    jobject pp = objectField(env, self, "pp", "Lcom/qorvel/comm/NSParallelPort;", 70);
    jmethodID isInterrupted = isInterruptedMethod(env);
    if (!pp || !isInterrupted) return -1;
    jclass cls = env->GetObjectClass(pp);
    jfieldID onError = env->GetFieldID(cls, "notifyOnErrorFlag", "Z");
    jmethodID report = env->GetMethodID(cls, "reportParallelEvent", "(IZZ)V");
    env->DeleteLocalRef(cls);
    int parError = 0;
    if (!onError || !report) {
        asserted(71);
        return -1;
    }
    if (!staticInt(env, "javax/comm/ParallelPortEvent", "PAR_EV_ERROR", 72, parError)) return -1;
    const int seconds = pollingTime(env);
    int status = portctl::printerStatus(fd);
    while (!interrupted(env, self, isInterrupted)) {
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        if (!boolField(env, pp, onError)) continue;
        int now = portctl::printerStatus(fd);
        if (now < 0) {
            std::fprintf(stderr, "Java_com_qorvel_comm_ParallelErrorEventThread_"
                                 "monitorParallelErrorNC: ioctl error %d!\n", errno);
            return 0;
        }
        if (now == status) continue;
        for (int bit : {0x08, 0x10, 0x20, 0x40, 0x80}) {
            if (!((now ^ status) & bit)) continue;
            env->CallVoidMethod(pp, report, parError, (status & bit) ? JNI_TRUE : JNI_FALSE,
                                (now & bit) ? JNI_TRUE : JNI_FALSE);
            if (env->ExceptionCheck()) env->ExceptionClear();
            break;
        }
        status = now;
    }
    return 0;
}

} // extern "C"
