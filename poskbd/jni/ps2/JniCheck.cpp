#include "JniCheck.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace jnicheck {

void fatal(JNIEnv* env, const char* step) {
    if (env->ExceptionCheck()) env->ExceptionDescribe();
    std::printf("%s\n", step);
    std::fflush(stdout);
    std::exit(1);
}

void check(JNIEnv* env, const char* step) {
    if (env->ExceptionCheck()) fatal(env, step);
}

namespace {
std::string lookupText(const char* call, const char* clsName, const char* name, const char* sig) {
    return std::string("Failed on ") + call + "( env, " + clsName + ", \"" + name + "\", \"" +
           sig + "\" )";
}
} // namespace

jmethodID method(JNIEnv* env, jclass cls, const char* clsName, const char* name,
                 const char* sig) {
    jmethodID id = env->GetMethodID(cls, name, sig);
    if (!id) fatal(env, lookupText("GetMethodID", clsName, name, sig).c_str());
    return id;
}

jfieldID field(JNIEnv* env, jclass cls, const char* clsName, const char* name, const char* sig) {
    jfieldID id = env->GetFieldID(cls, name, sig);
    if (!id) fatal(env, lookupText("GetFieldID", clsName, name, sig).c_str());
    return id;
}

jfieldID staticField(JNIEnv* env, jclass cls, const char* clsName, const char* name,
                     const char* sig) {
    jfieldID id = env->GetStaticFieldID(cls, name, sig);
    if (!id) fatal(env, lookupText("GetStaticFieldID", clsName, name, sig).c_str());
    return id;
}

jobject objectField(JNIEnv* env, jobject obj, const char* clsName, const char* name,
                    const char* sig) {
    jclass cls = env->GetObjectClass(obj);
    jobject value = env->GetObjectField(obj, field(env, cls, clsName, name, sig));
    env->DeleteLocalRef(cls);
    check(env, "Failed on GetObjectField");
    return value;
}

bool ProxyThread::running(JNIEnv* env) const {
    jboolean r = env->CallBooleanMethod(thread, isRunning);
    check(env, "Failed on CallBooleanMethod( env, thread, isRunning )");
    return r == JNI_TRUE;
}

void ProxyThread::started(JNIEnv* env, bool ok) const {
    env->CallVoidMethod(thread, notifyStarted, ok ? JNI_TRUE : JNI_FALSE);
    check(env, "Failed on CallVoidMethod( env, thread, notifyStarted )");
}

void ProxyThread::setFd(JNIEnv* env, int fd) const {
    env->CallVoidMethod(thread, setFileDescriptor, static_cast<jint>(fd));
    check(env, "Failed on CallVoidMethod( env, thread, setFileDescriptor )");
}

ProxyThread currentProxyThread(JNIEnv* env) {
    jclass threadCls = env->FindClass("java/lang/Thread");
    if (!threadCls) fatal(env, "Failed on FindClass( env, \"java/lang/Thread\" )");
    jmethodID current = env->GetStaticMethodID(threadCls, "currentThread", "()Ljava/lang/Thread;");
    if (!current)
        fatal(env, "Failed on GetStaticMethodID( env, Thread, \"currentThread\", "
                   "\"()Ljava/lang/Thread;\" )");
    ProxyThread p{};
    p.thread = env->CallStaticObjectMethod(threadCls, current);
    check(env, "Failed on CallStaticObjectMethod( env, Thread, currentThread )");
    jclass cls = env->GetObjectClass(p.thread);
    p.isRunning = method(env, cls, "ProxyThread", "isRunning", "()Z");
    p.notifyStarted = method(env, cls, "ProxyThread", "notifyStarted", "(Z)V");
    p.setFileDescriptor = method(env, cls, "ProxyThread", "setFileDescriptor", "(I)V");
    p.getFileDescriptor = method(env, cls, "ProxyThread", "getFileDescriptor", "()I");
    env->DeleteLocalRef(cls);
    env->DeleteLocalRef(threadCls);
    return p;
}

} // namespace jnicheck
