#include "CTouchUtilJavaAdapter.h"

#include <cstdio>

#include "CLogManager.h"

const char* const CTouchUtilJavaAdapter::m_szTouchUtilUpdateMethod = "SetTouchStatus";
const char* const CTouchUtilJavaAdapter::m_szTouchUtilUpdateMethodSig = "(I)V";

CTouchUtilJavaAdapter::CTouchUtilJavaAdapter(JNIEnv* env, jobject object) {
    const jint rc = env->GetJavaVM(&m_pJavaVM);
    if (rc != JNI_OK) {
        std::printf("GetJavaVM error : %d\n", static_cast<int>(rc));
        m_pJavaVM = nullptr;
        return;
    }
    m_jObject = env->NewGlobalRef(object);
    if (!m_jObject) {
        env->ExceptionClear();
        return;
    }
    jclass c = env->GetObjectClass(m_jObject);
    m_methodId = env->GetMethodID(c, m_szTouchUtilUpdateMethod, m_szTouchUtilUpdateMethodSig);
    env->DeleteLocalRef(c);
    if (!m_methodId) {
        // The object cannot be called back; its natives work all the same.
        env->ExceptionClear();
        CLogManager::WriteToLogFile("Error: SetTouchStatus(int) not found",
                                    "CTouchUtilJavaAdapter Constructor");
    }
}

CTouchUtilJavaAdapter::~CTouchUtilJavaAdapter() {
    if (!m_jObject) return;
    if (JNIEnv* env = GetJNIEnv()) env->DeleteGlobalRef(m_jObject);
    m_jObject = nullptr;
}

JNIEnv* CTouchUtilJavaAdapter::GetJNIEnv() {
    JNIEnv* env = nullptr;
    if (!m_pJavaVM ||
        m_pJavaVM->AttachCurrentThread(reinterpret_cast<void**>(&env), nullptr) != JNI_OK) {
        CLogManager::WriteToLogFile("Error: AttachCurrentThread", "CTouchUtilJavaAdapter::GetJNIEnv()");
        return nullptr;
    }
    return env;
}

bool CTouchUtilJavaAdapter::ReleaseJNIEnv() {
    const jint rc = m_pJavaVM ? m_pJavaVM->DetachCurrentThread() : JNI_ERR;
    if (rc != JNI_OK) {
        std::printf("DetachCurrentThread error: %d\n", static_cast<int>(rc));
        return false;
    }
    return true;
}

bool CTouchUtilJavaAdapter::CallJavaTouchUtilMethod(int status) {
    if (!m_pJavaVM || !m_jObject || !m_methodId) return false;
    // A Java thread is never detached from under its Java frames.
    JNIEnv* existing = nullptr;
    const bool attachedBefore =
        m_pJavaVM->GetEnv(reinterpret_cast<void**>(&existing), JNI_VERSION_1_6) == JNI_OK;
    JNIEnv* env = GetJNIEnv();
    if (!env) return false;
    env->CallVoidMethod(m_jObject, m_methodId, static_cast<jint>(status));
    if (env->ExceptionCheck()) {
        CLogManager::WriteToLogFile("Error: SetTouchStatus() threw an exception",
                                    "CTouchUtilJavaAdapter::CallJavaTouchUtilMethod()");
        env->ExceptionClear();
    }
    if (!attachedBefore) ReleaseJNIEnv();
    return true;
}
