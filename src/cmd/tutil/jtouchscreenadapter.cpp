// The natives of the Java class com.qorvel.vusk.touch.JTouchScreenAdapter: InitializeTouch
// makes a CTouchScreenAdapter for the Java object and returns its address as the handle that
// every other native takes. A handle of 0 finds no adapter: the natives then answer false.
#include <jni.h>

#include <cstdint>
#include <memory>

#include "CTouchScreen6348.h"
#include "CTouchScreenAdapter.h"

namespace {
CTouchScreenAdapter* adapterOf(jlong handle) {
    return reinterpret_cast<CTouchScreenAdapter*>(static_cast<intptr_t>(handle));
}

CTouchScreen6348* screenOf(jlong handle) {
    CTouchScreenAdapter* adapter = adapterOf(handle);
    return adapter ? adapter->GetTouchScreen() : nullptr;
}

jboolean toJava(bool value) { return value ? JNI_TRUE : JNI_FALSE; }

// A facade operation: true on RC_SUCCESS.
template <typename Op>
jboolean onScreen(jlong handle, Op op) {
    CTouchScreen6348* screen = screenOf(handle);
    return toJava(screen && op(*screen) == CTouchScreen6348::RC_SUCCESS);
}

// The utility configuration, read anew for each call.
std::unique_ptr<CTouch6348Config> freshConfig() {
    return std::unique_ptr<CTouch6348Config>(CTouchScreenAdapter::GetTouch6348ConfPointer());
}
} // namespace

#define TOUCH_NATIVE(name) JNICALL Java_com_qorvel_vusk_touch_JTouchScreenAdapter_##name

extern "C" {

JNIEXPORT jlong TOUCH_NATIVE(InitializeTouch)(JNIEnv* env, jobject self) {
    return static_cast<jlong>(reinterpret_cast<intptr_t>(new CTouchScreenAdapter(env, self)));
}

JNIEXPORT jboolean TOUCH_NATIVE(InitializeTouchScreen)(JNIEnv*, jobject, jlong handle) {
    CTouchScreenAdapter* adapter = adapterOf(handle);
    return toJava(adapter && adapter->InitializeTouchScreen());
}

JNIEXPORT jboolean TOUCH_NATIVE(SwitchToNative)(JNIEnv*, jobject, jlong handle) {
    return onScreen(handle, [](CTouchScreen6348& s) { return s.SwitchToMode(CTouchScreen6348::NATIVE_MODE); });
}

JNIEXPORT jboolean TOUCH_NATIVE(SwitchToEmulation)(JNIEnv*, jobject, jlong handle) {
    return onScreen(handle, [](CTouchScreen6348& s) { return s.SwitchToMode(CTouchScreen6348::EMULATION_MODE); });
}

JNIEXPORT jboolean TOUCH_NATIVE(SendCalibrateCommandCX)(JNIEnv*, jobject, jlong handle) {
    return onScreen(handle, [](CTouchScreen6348& s) { return s.Calibrate(); });
}

JNIEXPORT jboolean TOUCH_NATIVE(RestoreDefaults)(JNIEnv*, jobject, jlong handle) {
    return onScreen(handle, [](CTouchScreen6348& s) { return s.RestoreDefaults(); });
}

JNIEXPORT jboolean TOUCH_NATIVE(CloseDevice)(JNIEnv*, jobject, jlong handle) {
    return onScreen(handle, [](CTouchScreen6348& s) { return s.CloseDevice(); });
}

JNIEXPORT jboolean TOUCH_NATIVE(SetToneDisabled)(JNIEnv*, jobject, jlong handle) {
    CTouchScreenAdapter* adapter = adapterOf(handle);
    return toJava(adapter && adapter->SetToneDisabled());
}

JNIEXPORT jboolean TOUCH_NATIVE(SetToneEntryClick)(JNIEnv*, jobject, jlong handle) {
    CTouchScreenAdapter* adapter = adapterOf(handle);
    return toJava(adapter && adapter->SetToneEntryClick());
}

JNIEXPORT jboolean TOUCH_NATIVE(SetToneExitClick)(JNIEnv*, jobject, jlong handle) {
    CTouchScreenAdapter* adapter = adapterOf(handle);
    return toJava(adapter && adapter->SetToneExitClick());
}

JNIEXPORT jboolean TOUCH_NATIVE(GetToneDisabled)(JNIEnv*, jobject, jlong handle) {
    CTouchScreenAdapter* adapter = adapterOf(handle);
    return toJava(adapter && adapter->IsToneDisabled());
}

JNIEXPORT jboolean TOUCH_NATIVE(GetToneEntryClick)(JNIEnv*, jobject, jlong handle) {
    CTouchScreenAdapter* adapter = adapterOf(handle);
    return toJava(adapter && adapter->IsToneEntryClick());
}

JNIEXPORT jboolean TOUCH_NATIVE(GetToneExitClick)(JNIEnv*, jobject, jlong handle) {
    CTouchScreenAdapter* adapter = adapterOf(handle);
    return toJava(adapter && adapter->IsToneExitClick());
}

JNIEXPORT jboolean TOUCH_NATIVE(RestoreClickToneSetting)(JNIEnv*, jobject, jlong handle) {
    CTouchScreenAdapter* adapter = adapterOf(handle);
    return toJava(adapter && adapter->RestoreClickToneSetting());
}

JNIEXPORT jboolean TOUCH_NATIVE(IsNativeMode)(JNIEnv*, jobject, jlong handle) {
    CTouchScreen6348* screen = screenOf(handle);
    return toJava(screen && screen->GetCurrentMode() == CTouchScreen6348::NATIVE_MODE);
}

JNIEXPORT void TOUCH_NATIVE(TerminateTouchConnection)(JNIEnv*, jobject, jlong handle) {
    if (CTouchScreenAdapter* adapter = adapterOf(handle)) adapter->TerminateTouchConnection();
}

JNIEXPORT void TOUCH_NATIVE(KillTouch)(JNIEnv*, jobject, jlong handle) {
    delete adapterOf(handle);
}

JNIEXPORT jboolean TOUCH_NATIVE(IsCalibrated)(JNIEnv*, jobject, jlong) {
    return toJava(freshConfig()->GetCalibrated());
}

// The setters tell whether the file now holds the value: a failed rewrite is false.
JNIEXPORT jboolean TOUCH_NATIVE(SetCalibrated)(JNIEnv*, jobject, jlong, jboolean calibrated) {
    const bool value = calibrated == JNI_TRUE;
    freshConfig()->SetCalibrated(value);
    return toJava(freshConfig()->GetCalibrated() == value);
}

JNIEXPORT jboolean TOUCH_NATIVE(IsToRemindCalibrate)(JNIEnv*, jobject, jlong) {
    return toJava(freshConfig()->GetRemindCalibrate());
}

JNIEXPORT jboolean TOUCH_NATIVE(SetRemindCalibrate)(JNIEnv*, jobject, jlong, jboolean remind) {
    const bool value = remind == JNI_TRUE;
    freshConfig()->SetRemindCalibrate(value);
    return toJava(freshConfig()->GetRemindCalibrate() == value);
}

JNIEXPORT jint TOUCH_NATIVE(GetScreenResolutionID)(JNIEnv*, jobject, jlong, jint width, jint height) {
    return CTouchScreenAdapter::GetScreenResolutionID(width, height);
}

JNIEXPORT jint TOUCH_NATIVE(GetSavedScreenResolutionID)(JNIEnv*, jobject, jlong) {
    return freshConfig()->GetScreenResolution();
}

JNIEXPORT jboolean TOUCH_NATIVE(SetCurrentScreenResolution)(JNIEnv*, jobject, jlong, jint width,
                                                            jint height) {
    const int id = CTouchScreenAdapter::GetScreenResolutionID(width, height);
    freshConfig()->SetScreenResolution(id);
    return toJava(freshConfig()->GetScreenResolution() == id);
}

} // extern "C"
