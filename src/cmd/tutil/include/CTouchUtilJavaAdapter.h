// The Java object of the touch-screen utility as the native side calls it back: a global
// reference to it and the id of its SetTouchStatus(int), made on the creating Java thread so
// that the monitor thread can call it, attached to the virtual machine for each call.
#pragma once

#include <jni.h>

class CTouchUtilJavaAdapter {
public:
    CTouchUtilJavaAdapter(JNIEnv* env, jobject object);
    ~CTouchUtilJavaAdapter();
    CTouchUtilJavaAdapter(const CTouchUtilJavaAdapter&) = delete;
    CTouchUtilJavaAdapter& operator=(const CTouchUtilJavaAdapter&) = delete;

    // The current thread's environment, attaching the thread when it is not attached yet;
    // none on failure (logged).
    JNIEnv* GetJNIEnv();
    // Detaches the current thread; false (printed) on failure.
    bool ReleaseJNIEnv();
    // SetTouchStatus(status) on the Java object: true when the call was made. A thread that
    // was attached before keeps its attachment.
    bool CallJavaTouchUtilMethod(int status);

    static const char* const m_szTouchUtilUpdateMethod;
    static const char* const m_szTouchUtilUpdateMethodSig;

private:
    JavaVM* m_pJavaVM = nullptr;
    jobject m_jObject = nullptr;
    jmethodID m_methodId = nullptr;
};
