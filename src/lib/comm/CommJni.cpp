#include "CommJni.h"

#include <cstdio>

namespace commjni {

void asserted(int step) {
    std::fprintf(stderr, "\n\n%d asserted!\n\n", step);
    std::fflush(stderr);
}

int pollingTime(JNIEnv* env) {
    jclass cls = env->FindClass("javax/comm/CommPortIdentifier");
    int seconds = 0;
    if (cls) {
        jfieldID f = env->GetStaticFieldID(cls, "pollingTime", "I");
        if (f) seconds = env->GetStaticIntField(cls, f);
        env->DeleteLocalRef(cls);
    }
    if (env->ExceptionCheck()) env->ExceptionClear();
    return seconds > 0 ? seconds : 5;
}

bool intField(JNIEnv* env, jobject obj, const char* name, int step, int& value) {
    jclass cls = env->GetObjectClass(obj);
    jfieldID f = env->GetFieldID(cls, name, "I");
    env->DeleteLocalRef(cls);
    if (!f) {
        asserted(step);
        return false;
    }
    value = env->GetIntField(obj, f);
    return true;
}

jmethodID isInterruptedMethod(JNIEnv* env) {
    jclass cls = env->FindClass("java/lang/Thread");
    if (!cls) return nullptr;
    jmethodID m = env->GetMethodID(cls, "isInterrupted", "()Z");
    env->DeleteLocalRef(cls);
    return m;
}

bool interrupted(JNIEnv* env, jobject thread, jmethodID isInterrupted) {
    jboolean r = env->CallBooleanMethod(thread, isInterrupted);
    if (env->ExceptionCheck()) return true;
    return r == JNI_TRUE;
}

bool staticInt(JNIEnv* env, const char* clsName, const char* name, int step, int& value) {
    jclass cls = env->FindClass(clsName);
    jfieldID f = cls ? env->GetStaticFieldID(cls, name, "I") : nullptr;
    if (!f) {
        if (cls) env->DeleteLocalRef(cls);
        asserted(step);
        return false;
    }
    value = env->GetStaticIntField(cls, f);
    env->DeleteLocalRef(cls);
    return true;
}

void throwIOException(JNIEnv* env) {
    if (env->ExceptionCheck()) return;
    jclass cls = env->FindClass("java/io/IOException");
    if (cls) env->ThrowNew(cls, "");
}

} // namespace commjni
