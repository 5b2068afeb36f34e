// The keyboard hook and the Caps Lock light for Java: static natives of com.qorvel.vusk.Native.
#include <jni.h>

#include "CapsLockLight.h"
#include "KeyboardHook.h"

extern "C" {

JNIEXPORT jboolean JNICALL Java_com_qorvel_vusk_Native_hookKeyboard(JNIEnv* env, jclass,
                                                                     jobject callback, jintArray) {
    return KeyboardHook::Instance().Hook(env, callback) ? JNI_TRUE : JNI_FALSE;
}

JNIEXPORT jboolean JNICALL Java_com_qorvel_vusk_Native_unhookKeyboard(JNIEnv* env, jclass) {
    return KeyboardHook::Instance().Unhook(env) ? JNI_TRUE : JNI_FALSE;
}

JNIEXPORT jboolean JNICALL Java_com_qorvel_vusk_Native_setCapsLock(JNIEnv*, jclass, jboolean on) {
    return CapsLockLight::Instance().Set(on == JNI_TRUE) ? JNI_TRUE : JNI_FALSE;
}

} // extern "C"
