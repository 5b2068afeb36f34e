#include "KeyboardHook.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "jnipath.h"

namespace {
// The keyboard sniffer node of the kernel driver.
const char kSnifferNode[] = "//dev//ovksyskbd";
// The wait for bytes before the reader looks again; a node at its end (a sniffer that went
// away) is tried again after the same time instead of spinning.
const int kWaitMs = 250;
const int kReadSize = 256;
} // namespace

KeyboardHook& KeyboardHook::Instance() {
    // Never destroyed: the reader thread may still run while the process ends.
    static KeyboardHook* hook = new KeyboardHook();
    return *hook;
}

bool KeyboardHook::Hook(JNIEnv* env, jobject callback) {
    std::lock_guard<std::recursive_mutex> g(lock_);
    jmethodID processKey = nullptr;
    if (callback) {
        jclass c = env->GetObjectClass(callback);
        processKey = env->GetMethodID(c, "processKey", "(IIII)Z");
        env->DeleteLocalRef(c);
    }
    if (!processKey) {
        env->ExceptionClear(); // the answer is false, not NoSuchMethodError
        std::fputs("ovkjnilx->getMethodID failed\n", stderr);
        return false;
    }
    jobject global = env->NewGlobalRef(callback);
    if (!global) {
        env->ExceptionClear();
        std::fputs("ovkjnilx->callbackObject failed\n", stderr);
        return false;
    }
    JavaVM* vm = nullptr;
    if (env->GetJavaVM(&vm) != JNI_OK || !vm) {
        env->DeleteGlobalRef(global);
        std::fputs("ovkjnilx->ourVM failed\n", stderr);
        return false;
    }
    if (callback_) env->DeleteGlobalRef(callback_);
    callback_ = global;
    processKey_ = processKey;
    vm_ = vm;
    if (hooked_) {
        enabled_ = true;
        return true;
    }
    fd_ = ::open(jniPath(kSnifferNode).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        std::fputs("ovkjnilx->open kbd sniffer failed!!!\n", stderr);
        return false;
    }
    pthread_t thread;
    auto run = [](void* self) -> void* {
        static_cast<KeyboardHook*>(self)->Read();
        return nullptr;
    };
    if (pthread_create(&thread, nullptr, run, this) != 0) {
        ::close(fd_);
        fd_ = -1;
        return false;
    }
    pthread_detach(thread);
    hooked_ = true;
    enabled_ = true;
    return true;
}

bool KeyboardHook::Unhook(JNIEnv* env) {
    std::lock_guard<std::recursive_mutex> g(lock_);
    enabled_ = false;
    if (callback_) env->DeleteGlobalRef(callback_);
    callback_ = nullptr;
    processKey_ = nullptr;
    return true;
}

void KeyboardHook::Read() {
    unsigned char buffer[kReadSize];
    for (;;) {
        pollfd p{fd_, POLLIN, 0};
        const int ready = ::poll(&p, 1, kWaitMs);
        if (ready <= 0) continue; // time-out or an interrupted wait
        const ssize_t got = ::read(fd_, buffer, sizeof buffer);
        if (got > 0) {
            if (enabled_) Deliver(buffer, got);
            std::fflush(nullptr);
        } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
            ::poll(nullptr, 0, kWaitMs);
        }
    }
}

void KeyboardHook::Deliver(const unsigned char* bytes, long count) {
    for (long i = 0; i < count; ++i) {
        std::lock_guard<std::recursive_mutex> g(lock_);
        if (!enabled_ || !callback_ || !vm_) return;
        JNIEnv* env = nullptr;
        if (vm_->AttachCurrentThread(reinterpret_cast<void**>(&env), nullptr) != JNI_OK || !env) {
            std::fputs("ovkjnilx->processKeyProc env=NULL!!!\n", stderr);
            continue;
        }
        const jint code = bytes[i];
        env->CallBooleanMethod(callback_, processKey_, code, (code & 0x80) ? 2 : 1, 1, 0);
        if (env->ExceptionCheck()) {
            std::fputs("ovkjnilx->processKeyProc exception occured\n", stderr);
            env->ExceptionClear();
        }
        vm_->DetachCurrentThread();
    }
}
