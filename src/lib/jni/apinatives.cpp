// The client API for Java: the static natives of com.qorvel.vusk.Native that call libovklib.
// Results of the API come back unchanged; bad Java arguments (a count beyond an array, an
// offset outside it, a null array) make no API call and leave Java's exception pending.
#include <jni.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>

#include "ClientData.h"
#include "jnierrors.h"
#include "ovkapi.h"

namespace {
const int kGetValues = 302;

// Runs an API call that takes an argument list: the arguments are converted, the call made
// and (for get values) the results written back under the client data's lock.
template <typename Call>
jint withArgs(JNIEnv* env, jobjectArray args, jint n, bool writeBack, Call call) {
    ClientData* data = ClientData::Get(env);
    if (!data) return -1;
    std::lock_guard<std::mutex> g(data->Lock());
    PosArg* converted = nullptr;
    if (!data->Convert(env, args, n, &converted)) return -1;
    const int rc = call(data, converted);
    if (env->ExceptionCheck()) return -1;
    if (writeBack) data->WriteBack(env, args, n);
    return rc;
}

// Two native copies of Java strings; false with a Java error pending.
bool copyStrings(JNIEnv* env, ClientData* data, jstring a, jstring b, std::unique_ptr<char[]>& ca,
                 std::unique_ptr<char[]>& cb) {
    ca = data->CopyString(env, a, nullptr);
    if (env->ExceptionCheck()) return false;
    cb = data->CopyString(env, b, nullptr);
    return !env->ExceptionCheck();
}

// The bytes [off, off + size) of a Java array; false with the index exception pending.
bool bytesAt(JNIEnv* env, jbyteArray b, jint off, jint size, void* out) {
    if (!b) {
        jniThrowNull(env, "byte array");
        return false;
    }
    if (!jniCheckRange(env, off, size, env->GetArrayLength(b))) return false;
    env->GetByteArrayRegion(b, off, size, static_cast<jbyte*>(out));
    return true;
}
} // namespace

extern "C" {

JNIEXPORT jint JNICALL Java_com_qorvel_vusk_Native_initialize(JNIEnv* env, jclass, jstring appl,
                                                               jstring resFile, jobjectArray args,
                                                               jint n) {
    return withArgs(env, args, n, false, [&](ClientData* data, PosArg* converted) {
        std::unique_ptr<char[]> a, r;
        if (!copyStrings(env, data, appl, resFile, a, r)) return -1;
        return PosInitialize(a.get(), r.get(), 0, 0, converted, n);
    });
}

JNIEXPORT jint JNICALL Java_com_qorvel_vusk_Native_open(JNIEnv* env, jclass, jstring name,
                                                         jstring deviceClass, jobjectArray args,
                                                         jint n) {
    return withArgs(env, args, n, false, [&](ClientData* data, PosArg* converted) {
        std::unique_ptr<char[]> nm, cls;
        if (!copyStrings(env, data, name, deviceClass, nm, cls)) return -1;
        return PosOpen(nm.get(), cls.get(), converted, n);
    });
}

JNIEXPORT jint JNICALL Java_com_qorvel_vusk_Native_ioctl(JNIEnv* env, jclass, jint devdes,
                                                          jint request, jobjectArray args, jint n) {
    return withArgs(env, args, n, request == kGetValues, [&](ClientData*, PosArg* converted) {
        return PosIOCtl(devdes, request, converted, n);
    });
}

JNIEXPORT jint JNICALL Java_com_qorvel_vusk_Native_read(JNIEnv* env, jclass, jint devdes,
                                                         jbyteArray buf) {
    if (!buf) {
        jniThrowNull(env, "byte array");
        return -1;
    }
    const jsize length = env->GetArrayLength(buf);
    std::unique_ptr<char[]> copy(new char[static_cast<size_t>(length) + 1]());
    const int rc = PosRead(devdes, copy.get(), static_cast<unsigned>(length));
    if (rc > 0)
        env->SetByteArrayRegion(buf, 0, std::min<jsize>(rc, length),
                                reinterpret_cast<const jbyte*>(copy.get()));
    return rc;
}

JNIEXPORT jint JNICALL Java_com_qorvel_vusk_Native_write(JNIEnv* env, jclass, jint devdes,
                                                          jbyteArray buf, jint n) {
    if (!buf) {
        jniThrowNull(env, "byte array");
        return -1;
    }
    if (!jniCheckRange(env, 0, n, env->GetArrayLength(buf))) return -1;
    std::unique_ptr<char[]> copy(new char[static_cast<size_t>(n) + 1]());
    env->GetByteArrayRegion(buf, 0, n, reinterpret_cast<jbyte*>(copy.get()));
    return PosWrite(devdes, copy.get(), static_cast<unsigned>(n));
}

JNIEXPORT jint JNICALL Java_com_qorvel_vusk_Native_close(JNIEnv*, jclass, jint devdes) {
    return PosClose(devdes);
}

JNIEXPORT jint JNICALL Java_com_qorvel_vusk_Native_term(JNIEnv*, jclass) { return PosTerm(); }

JNIEXPORT jint JNICALL Java_com_qorvel_vusk_Native_errno(JNIEnv*, jclass) { return PosErrno(); }

JNIEXPORT jint JNICALL Java_com_qorvel_vusk_Native_version(JNIEnv* env, jclass, jintArray v) {
    int parts[3] = {0, 0, 0};
    const int rc = PosVersion(&parts[0], &parts[1], &parts[2]);
    if (v) {
        const jsize count = std::min<jsize>(env->GetArrayLength(v), 3);
        const jint values[3] = {parts[0], parts[1], parts[2]};
        env->SetIntArrayRegion(v, 0, count, values);
    }
    return rc;
}

JNIEXPORT jint JNICALL Java_com_qorvel_vusk_Native_getPosNreadTimeout(JNIEnv*, jclass) {
    return -1;
}

JNIEXPORT jshort JNICALL Java_com_qorvel_vusk_Native_bytesToShort(JNIEnv* env, jclass,
                                                                   jbyteArray b, jint off) {
    int16_t value = 0;
    if (!bytesAt(env, b, off, 2, &value)) return 0;
    return value;
}

JNIEXPORT jint JNICALL Java_com_qorvel_vusk_Native_bytesToInt(JNIEnv* env, jclass, jbyteArray b,
                                                               jint off) {
    int32_t value = 0;
    if (!bytesAt(env, b, off, 4, &value)) return 0;
    return value;
}

} // extern "C"
