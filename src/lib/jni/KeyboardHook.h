// The system keyboard's raw scan codes for Java: one reader thread per process reads the
// keyboard sniffer node and hands each byte to the hooked Java callback's processKey (code,
// 1 for a press or 2 for a release, 1, 0). Unhooking stops the forwarding; the reader keeps
// reading (and dropping) until a new callback is hooked.
#pragma once

#include <jni.h>

#include <atomic>
#include <mutex>

class KeyboardHook {
public:
    static KeyboardHook& Instance();

    // Binds the callback and starts forwarding; false (with a line on standard error) when
    // the callback has no processKey, the node cannot be opened or the reader not started.
    bool Hook(JNIEnv* env, jobject callback);
    // Stops forwarding and lets the callback go.
    bool Unhook(JNIEnv* env);

private:
    KeyboardHook() = default;
    void Read();
    void Deliver(const unsigned char* bytes, long count);

    // Held by the reader around each callback and by hook and unhook around their changes, so
    // that a callback being called is never deleted under it. Recursive: a callback may hook
    // or unhook itself.
    std::recursive_mutex lock_;
    jobject callback_ = nullptr;
    jmethodID processKey_ = nullptr;
    JavaVM* vm_ = nullptr;
    int fd_ = -1;
    bool hooked_ = false;
    std::atomic<bool> enabled_{false};
};
