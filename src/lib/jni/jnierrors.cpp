#include "jnierrors.h"

#include <string>

namespace {
void raise(JNIEnv* env, const char* className, const std::string& message) {
    jclass c = env->FindClass(className);
    if (!c) return; // FindClass left its own error pending
    env->ThrowNew(c, message.c_str());
    env->DeleteLocalRef(c);
}
} // namespace

void jniThrowIndex(JNIEnv* env, jlong index, jsize length) {
    raise(env, "java/lang/ArrayIndexOutOfBoundsException",
          "Index " + std::to_string(index) + " out of bounds for length " + std::to_string(length));
}

void jniThrowNull(JNIEnv* env, const char* what) {
    raise(env, "java/lang/NullPointerException", what);
}

bool jniCheckRange(JNIEnv* env, jlong offset, jlong count, jsize length) {
    if (offset < 0) {
        jniThrowIndex(env, offset, length);
        return false;
    }
    if (count < 0) {
        jniThrowIndex(env, count, length);
        return false;
    }
    if (offset + count > length) {
        jniThrowIndex(env, offset > length ? offset : length, length);
        return false;
    }
    return true;
}
