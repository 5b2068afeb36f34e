// What the client API natives keep for the life of the process: the Java classes and method
// ids they use, and the argument array with the native copies of its values, reused (and
// grown) from call to call. One instance per process; its lock is held by each native from
// the conversion of the arguments through the call to the write-back, so that calls from
// several Java threads take turns on the shared arrays.
#pragma once

#include <jni.h>

#include <memory>
#include <mutex>
#include <vector>

#include "ovkapi.h"

class ClientData {
public:
    // The instance, made on first use; none (with a Java error pending) when a class or
    // method could not be found.
    static ClientData* Get(JNIEnv* env);

    std::mutex& Lock() { return lock_; }

    // Converts the first n elements of `args` into the argument array. Sets `out` to it, or
    // to none when n is 0 or less. False with a Java exception pending (n beyond the array,
    // a failing Java call): then no API call may be made.
    bool Convert(JNIEnv* env, jobjectArray args, jint n, PosArg** out);
    // Writes the values the get-values request left in the argument array back into the
    // Java arguments of the last conversion.
    void WriteBack(JNIEnv* env, jobjectArray args, jint n);

    // A zero-filled native copy of a Java string's bytes (platform encoding) with room for at
    // least `minimum` bytes and two NULs after the text; none for a null string. `length`
    // gets the byte length.
    std::unique_ptr<char[]> CopyString(JNIEnv* env, jstring s, jint* length, size_t minimum = 0);

    int Capacity() const { return capacity_; }

private:
    ClientData() = default;
    bool Init(JNIEnv* env);
    void FreeCopies();
    bool ConvertOne(JNIEnv* env, jobject arg, int j);
    // A copy of a byte array, at least `minimum` bytes.
    std::unique_ptr<char[]> CopyBytes(JNIEnv* env, jbyteArray a, jint* length, size_t minimum);

    struct ValueCopy {
        std::unique_ptr<char[]> data;
        jint length = 0;
    };

    std::mutex lock_;
    jclass posArg_ = nullptr;
    jclass integer_ = nullptr;
    jclass string_ = nullptr;
    jclass stringBuffer_ = nullptr;
    jclass byteArray_ = nullptr;
    jmethodID getName_ = nullptr;
    jmethodID getValue_ = nullptr;
    jmethodID setValue_ = nullptr;
    jmethodID integerInit_ = nullptr;
    jmethodID intValue_ = nullptr;
    jmethodID stringInit_ = nullptr;
    jmethodID getBytes_ = nullptr;
    jmethodID sbCapacity_ = nullptr;
    jmethodID sbLength_ = nullptr;
    jmethodID sbSetLength_ = nullptr;
    jmethodID sbToString_ = nullptr;
    jmethodID sbInsert_ = nullptr;

    int capacity_ = 0;
    std::vector<PosArg> args_;
    std::vector<std::unique_ptr<char[]>> names_;
    std::vector<ValueCopy> values_;
};
