// Java lookups and calls of the keyboard natives: any of them that leaves a Java exception
// pending is fatal (the exception is described, the step printed, the process ends with 1).
#pragma once

#include <jni.h>

namespace jnicheck {

[[noreturn]] void fatal(JNIEnv* env, const char* step);
// Ends the process when an exception is pending after `step`.
void check(JNIEnv* env, const char* step);

jmethodID method(JNIEnv* env, jclass cls, const char* clsName, const char* name, const char* sig);
jfieldID field(JNIEnv* env, jclass cls, const char* clsName, const char* name, const char* sig);
jfieldID staticField(JNIEnv* env, jclass cls, const char* clsName, const char* name,
                     const char* sig);
jobject objectField(JNIEnv* env, jobject obj, const char* clsName, const char* name,
                    const char* sig);

// The methods of the current (proxy) thread.
struct ProxyThread {
    jobject thread;
    jmethodID isRunning, notifyStarted, setFileDescriptor, getFileDescriptor;
    bool running(JNIEnv* env) const;
    void started(JNIEnv* env, bool ok) const;
    void setFd(JNIEnv* env, int fd) const;
};
ProxyThread currentProxyThread(JNIEnv* env);

} // namespace jnicheck
