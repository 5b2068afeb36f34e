// Natives of port discovery, ownership between Java virtual machines, and port control.
#include "CommJni.h"
#include "PortControl.h"
#include "PortIpc.h"
#include "PortTable.h"

#include <errno.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

using namespace commjni;

namespace {

std::string text(JNIEnv* env, jstring s) {
    if (!s) return {};
    const char* chars = env->GetStringUTFChars(s, nullptr);
    if (!chars) return {};
    std::string out(chars);
    env->ReleaseStringUTFChars(s, chars);
    return out;
}

// The port object's `fd` field, -1 when missing.
int portFd(JNIEnv* env, jobject port) {
    int fd = -1;
    return intField(env, port, "fd", 40, fd) ? fd : -1;
}

bool portName(JNIEnv* env, jobject self, std::string& name) {
    jclass cls = env->GetObjectClass(self);
    jfieldID f = env->GetFieldID(cls, "name", "Ljava/lang/String;");
    env->DeleteLocalRef(cls);
    if (!f) return false;
    jstring s = static_cast<jstring>(env->GetObjectField(self, f));
    name = text(env, s);
    env->DeleteLocalRef(s);
    return true;
}

jboolean printerBit(JNIEnv* env, jint fd, const char* native, int bit, bool whenSet) {
    (void)env;
    int status = portctl::printerStatus(fd);
    if (status < 0) {
        std::fprintf(stderr, "Java_com_qorvel_comm_NSParallelPort_%s: ioctl error %d!\n", native,
                     errno);
        return JNI_FALSE;
    }
    bool set = (status & bit) != 0;
    return set == whenSet ? JNI_TRUE : JNI_FALSE;
}

} // namespace

extern "C" {

JNIEXPORT void JNICALL Java_com_qorvel_comm_NSCommDriver_discoverDevicesNC(JNIEnv* env,
                                                                           jobject self,
                                                                           jstring prefix,
                                                                           jint type) {
    jclass cls = env->GetObjectClass(self);
    jmethodID add = env->GetMethodID(cls, "addDeviceToList",
                                     "(Ljava/lang/String;ILjava/lang/String;I)V");
    env->DeleteLocalRef(cls);
    if (!add) {
        asserted(1);
        return;
    }
    ports::discover(text(env, prefix), type,
                    [&](const std::string& name, int t, const std::string& node, int semId) {
                        jstring jname = env->NewStringUTF(name.c_str());
                        jstring jnode = env->NewStringUTF(node.c_str());
                        if (jname && jnode) env->CallVoidMethod(self, add, jname, t, jnode, semId);
                        if (env->ExceptionCheck()) {
                            env->ExceptionDescribe();
                            env->ExceptionClear();
                        }
                        env->DeleteLocalRef(jname);
                        env->DeleteLocalRef(jnode);
                    });
}

JNIEXPORT jint JNICALL Java_javax_comm_CommPortIdentifier_requestPort(JNIEnv* env, jobject self) {
    std::string name;
    if (!portName(env, self, name)) {
        asserted(10);
        return -1;
    }
    return portipc::swapWord(name, 1) < 0 ? -1 : 0;
}

JNIEXPORT jint JNICALL Java_javax_comm_CommPortIdentifier_monitorInterJVMDeviceAccessNC(
    JNIEnv* env, jobject self, jobject thread) {
    jclass cls = env->GetObjectClass(self);
    jmethodID fire = env->GetMethodID(cls, "fireOwnershipEvent", "(I)V");
    jmethodID stillOpen = fire ? env->GetMethodID(cls, "isPortStillOpened", "()Z") : nullptr;
    env->DeleteLocalRef(cls);
    if (!fire || !stillOpen) {
        asserted(20);
        return -1;
    }
    int owned = 0, unowned = 0, requested = 0;
    const char* listener = "javax/comm/CommPortOwnershipListener";
    if (!staticInt(env, listener, "PORT_OWNED", 21, owned) ||
        !staticInt(env, listener, "PORT_UNOWNED", 22, unowned) ||
        !staticInt(env, listener, "PORT_OWNERSHIP_REQUESTED", 23, requested))
        return -1;
    jmethodID isInterrupted = isInterruptedMethod(env);
    std::string name;
    if (!isInterrupted || !portName(env, self, name)) {
        asserted(24);
        return -1;
    }
    const int seconds = pollingTime(env);
    int sem = portipc::semaphore(name);
    if (sem < 0) return -1;
    int v = portipc::value(sem);
    auto portOpen = [&] {
        jboolean open = env->CallBooleanMethod(self, stillOpen);
        return !env->ExceptionCheck() && open == JNI_TRUE;
    };
    auto fireEvent = [&](int event) {
        env->CallVoidMethod(self, fire, event);
        if (env->ExceptionCheck()) env->ExceptionClear();
    };
    for (;;) {
        if (interrupted(env, thread, isInterrupted)) return 0;
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        int w = portipc::value(sem);
        if (w < 0) {
            std::fprintf(stderr, "Java_javax_comm_CommPortIdentifier_monitorInterJVMDeviceAccessNC:"
                                 " semctl error %d!\n", errno);
            return -1;
        }
        if (w == v) {
            if (w >= 1 && portOpen() && portipc::swapWord(name, 0) > 0) fireEvent(requested);
        } else if (w == 0 && portOpen()) {
            if (portipc::lock(sem) != 0) {
                std::fprintf(stderr, "Java_javax_comm_CommPortIdentifier_"
                                     "monitorInterJVMDeviceAccessNC: semop error %d!\n", errno);
                return -1;
            }
        } else {
            int pid = portipc::lastPid(sem);
            if (pid < 0) {
                std::fprintf(stderr, "Java_javax_comm_CommPortIdentifier_"
                                     "monitorInterJVMDeviceAccessNC: semctl error %d!\n", errno);
                return -1;
            }
            if (pid != ::getpid()) fireEvent(w ? owned : unowned);
            v = w;
        }
    }
}

JNIEXPORT jint JNICALL Java_com_qorvel_comm_NSSerialPort_openDeviceNC(JNIEnv* env, jobject,
                                                                      jstring node, jint semId) {
    return portctl::openSerial(text(env, node), semId);
}

JNIEXPORT void JNICALL Java_com_qorvel_comm_NSSerialPort_closeDeviceNC(JNIEnv*, jobject, jint fd,
                                                                       jint semId) {
    portctl::closeSerial(fd, semId);
}

JNIEXPORT jint JNICALL Java_com_qorvel_comm_NSParallelPort_openDeviceNC(JNIEnv* env, jobject,
                                                                        jstring node,
                                                                        jint semId) {
    return portctl::openParallel(text(env, node), semId);
}

JNIEXPORT void JNICALL Java_com_qorvel_comm_NSParallelPort_closeDeviceNC(JNIEnv*, jobject,
                                                                         jint fd, jint semId) {
    portctl::closeParallel(fd, semId);
}

JNIEXPORT jint JNICALL Java_com_qorvel_comm_NSSerialPort_setSerialPortParamsNC(
    JNIEnv*, jobject, jint fd, jint baud, jint dataBits, jint stopBits, jint parity) {
    return portctl::setParams(fd, baud, dataBits, stopBits, parity);
}

JNIEXPORT jint JNICALL Java_com_qorvel_comm_NSSerialPort_setFlowControlModeNC(JNIEnv*, jobject,
                                                                              jint fd, jint mode) {
    return portctl::setFlowControl(fd, mode);
}

JNIEXPORT jint JNICALL Java_com_qorvel_comm_NSSerialPort_getFlowControlModeNC(JNIEnv*, jobject,
                                                                              jint fd) {
    return portctl::flowControl(fd);
}

JNIEXPORT jint JNICALL Java_com_qorvel_comm_NSSerialPort_getBaudRateNC(JNIEnv*, jobject, jint fd) {
    return portctl::baudRate(fd);
}

JNIEXPORT jint JNICALL Java_com_qorvel_comm_NSSerialPort_getDataBitsNC(JNIEnv*, jobject, jint fd) {
    return portctl::dataBits(fd);
}

JNIEXPORT jint JNICALL Java_com_qorvel_comm_NSSerialPort_getStopBitsNC(JNIEnv*, jobject, jint fd) {
    return portctl::stopBits(fd);
}

JNIEXPORT jint JNICALL Java_com_qorvel_comm_NSSerialPort_getParityNC(JNIEnv*, jobject, jint fd) {
    return portctl::parity(fd);
}

JNIEXPORT jint JNICALL Java_com_qorvel_comm_NSSerialPort_setDTRNC(JNIEnv* env, jobject self,
                                                                  jboolean on) {
    return portctl::setLine(portFd(env, self), TIOCM_DTR, on == JNI_TRUE);
}

JNIEXPORT jint JNICALL Java_com_qorvel_comm_NSSerialPort_setRTSNC(JNIEnv* env, jobject self,
                                                                  jboolean on) {
    return portctl::setLine(portFd(env, self), TIOCM_RTS, on == JNI_TRUE);
}

#define LINE_NATIVE(name, bit)                                                                   \
    JNIEXPORT jboolean JNICALL Java_com_qorvel_comm_NSSerialPort_##name(JNIEnv* env,              \
                                                                        jobject self) {           \
        return portctl::line(portFd(env, self), bit) ? JNI_TRUE : JNI_FALSE;                     \
    }
LINE_NATIVE(isDTRNC, TIOCM_DTR)
LINE_NATIVE(isRTSNC, TIOCM_RTS)
LINE_NATIVE(isCTSNC, TIOCM_CTS)
LINE_NATIVE(isDSRNC, TIOCM_DSR)
LINE_NATIVE(isRINC, TIOCM_RNG)
LINE_NATIVE(isCDNC, TIOCM_CD)
#undef LINE_NATIVE

JNIEXPORT jint JNICALL Java_com_qorvel_comm_NSSerialPort_sendBreakNC(JNIEnv*, jobject, jint fd,
                                                                     jint duration) {
    return portctl::sendBreak(fd, duration);
}

JNIEXPORT jboolean JNICALL Java_com_qorvel_comm_NSParallelPort_isPaperOutNC(JNIEnv* env, jobject,
                                                                            jint fd) {
    return printerBit(env, fd, "isPaperOutNC", 0x20, true);
}

JNIEXPORT jboolean JNICALL Java_com_qorvel_comm_NSParallelPort_isPrinterBusyNC(JNIEnv* env,
                                                                               jobject, jint fd) {
    return printerBit(env, fd, "isPrinterBusyNC", 0x80, false);
}

JNIEXPORT jboolean JNICALL Java_com_qorvel_comm_NSParallelPort_isPrinterSelectedNC(JNIEnv* env,
                                                                                   jobject,
                                                                                   jint fd) {
    return printerBit(env, fd, "isPrinterSelectedNC", 0x10, false);
}

JNIEXPORT jboolean JNICALL Java_com_qorvel_comm_NSParallelPort_isPrinterErrorNC(JNIEnv* env,
                                                                                jobject, jint fd) {
    return printerBit(env, fd, "isPrinterErrorNC", 0x08, false);
}

JNIEXPORT jboolean JNICALL Java_com_qorvel_comm_NSParallelPort_isPrinterTimedOutNC(JNIEnv*,
                                                                                   jobject, jint) {
    return JNI_FALSE;
}

} // extern "C"
