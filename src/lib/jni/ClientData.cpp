#include "ClientData.h"

#include <algorithm>
#include <cstring>

#include "jnierrors.h"
#include "ovkrestable.h"

namespace {
// The name of a null element: passed with the value 0 and skipped by the write-back.
const char kNullName[] = "<null>";

jclass globalClass(JNIEnv* env, const char* name) {
    jclass local = env->FindClass(name);
    if (!local) return nullptr;
    auto global = static_cast<jclass>(env->NewGlobalRef(local));
    env->DeleteLocalRef(local);
    return global;
}

// Bytes a native copy of an argument's value must hold: the client library writes a string
// value back up to the resource's fixed length (and reads that many when sending it), so a
// copy is never shorter than that, with two NULs after it.
size_t valueRoom(const char* name) {
    if (!name) return 0;
    const int row = FindResourceName(name);
    if (row < 0 || resTable[row].isInteger) return 0;
    return resTable[row].maxLength + 2u;
}
} // namespace

ClientData* ClientData::Get(JNIEnv* env) {
    static std::mutex made;
    static ClientData* instance = nullptr;
    std::lock_guard<std::mutex> g(made);
    if (!instance) {
        auto* data = new ClientData();
        if (!data->Init(env)) {
            delete data; // a later call tries again
            return nullptr;
        }
        instance = data;
    }
    return instance;
}

bool ClientData::Init(JNIEnv* env) {
    posArg_ = globalClass(env, "com/qorvel/vusk/PosArg");
    integer_ = globalClass(env, "java/lang/Integer");
    string_ = globalClass(env, "java/lang/String");
    stringBuffer_ = globalClass(env, "java/lang/StringBuffer");
    if (!posArg_ || !integer_ || !string_ || !stringBuffer_) return false;
    // The class of byte arrays, taken from one.
    jbyteArray one = env->NewByteArray(1);
    if (!one) return false;
    jclass local = env->GetObjectClass(one);
    byteArray_ = static_cast<jclass>(env->NewGlobalRef(local));
    env->DeleteLocalRef(local);
    env->DeleteLocalRef(one);

    getName_ = env->GetMethodID(posArg_, "getName", "()Ljava/lang/String;");
    if (getName_) getValue_ = env->GetMethodID(posArg_, "getValue", "()Ljava/lang/Object;");
    if (getValue_) setValue_ = env->GetMethodID(posArg_, "setValue", "(I)V");
    if (setValue_) integerInit_ = env->GetMethodID(integer_, "<init>", "(I)V");
    if (integerInit_) intValue_ = env->GetMethodID(integer_, "intValue", "()I");
    if (intValue_) stringInit_ = env->GetMethodID(string_, "<init>", "([B)V");
    if (stringInit_) getBytes_ = env->GetMethodID(string_, "getBytes", "()[B");
    if (getBytes_) sbCapacity_ = env->GetMethodID(stringBuffer_, "capacity", "()I");
    if (sbCapacity_) sbLength_ = env->GetMethodID(stringBuffer_, "length", "()I");
    if (sbLength_) sbSetLength_ = env->GetMethodID(stringBuffer_, "setLength", "(I)V");
    if (sbSetLength_) sbToString_ = env->GetMethodID(stringBuffer_, "toString", "()Ljava/lang/String;");
    if (sbToString_)
        sbInsert_ = env->GetMethodID(stringBuffer_, "insert",
                                     "(ILjava/lang/String;)Ljava/lang/StringBuffer;");
    if (!sbInsert_) {
        for (jclass c : {posArg_, integer_, string_, stringBuffer_, byteArray_})
            if (c) env->DeleteGlobalRef(c);
        return false;
    }
    return true;
}

std::unique_ptr<char[]> ClientData::CopyBytes(JNIEnv* env, jbyteArray a, jint* length,
                                              size_t minimum) {
    const jsize n = env->GetArrayLength(a);
    const size_t room = std::max(static_cast<size_t>(n) + 2, minimum);
    std::unique_ptr<char[]> copy(new char[room]());
    env->GetByteArrayRegion(a, 0, n, reinterpret_cast<jbyte*>(copy.get()));
    if (length) *length = n;
    return copy;
}

std::unique_ptr<char[]> ClientData::CopyString(JNIEnv* env, jstring s, jint* length,
                                               size_t minimum) {
    if (length) *length = 0;
    if (!s) return nullptr;
    auto bytes = static_cast<jbyteArray>(env->CallObjectMethod(s, getBytes_));
    if (env->ExceptionCheck() || !bytes) return nullptr;
    std::unique_ptr<char[]> copy = CopyBytes(env, bytes, length, minimum);
    env->DeleteLocalRef(bytes);
    return copy;
}

void ClientData::FreeCopies() {
    for (size_t j = 0; j < args_.size(); ++j) {
        args_[j] = PosArg{};
        names_[j].reset();
        values_[j] = ValueCopy{};
    }
}

bool ClientData::Convert(JNIEnv* env, jobjectArray args, jint n, PosArg** out) {
    FreeCopies();
    *out = nullptr;
    if (n <= 0) return true;
    if (!args) {
        jniThrowNull(env, "argument array");
        return false;
    }
    if (!jniCheckRange(env, 0, n, env->GetArrayLength(args))) return false;
    if (n > capacity_) {
        capacity_ = n + 10;
        args_.assign(static_cast<size_t>(capacity_), PosArg{});
        names_.clear();
        names_.resize(static_cast<size_t>(capacity_));
        values_.clear();
        values_.resize(static_cast<size_t>(capacity_));
    }
    for (jint j = 0; j < n; ++j) {
        jobject arg = env->GetObjectArrayElement(args, j);
        const bool ok = !env->ExceptionCheck() && ConvertOne(env, arg, j);
        if (arg) env->DeleteLocalRef(arg);
        if (!ok) {
            FreeCopies();
            return false;
        }
    }
    *out = args_.data();
    return true;
}

bool ClientData::ConvertOne(JNIEnv* env, jobject arg, int j) {
    PosArg& a = args_[j];
    a = PosArg{kNullName, 0};
    if (!arg) return true;
    auto name = static_cast<jstring>(env->CallObjectMethod(arg, getName_));
    if (env->ExceptionCheck()) return false;
    if (name) {
        names_[j] = CopyString(env, name, nullptr);
        env->DeleteLocalRef(name);
        if (env->ExceptionCheck()) return false;
        a.name = names_[j].get();
    }
    const size_t room = valueRoom(a.name);
    jobject value = env->CallObjectMethod(arg, getValue_);
    if (env->ExceptionCheck()) return false;
    if (!value) return true;
    ValueCopy& copy = values_[j];
    if (env->IsInstanceOf(value, integer_)) {
        a.value = env->CallIntMethod(value, intValue_);
    } else if (env->IsInstanceOf(value, string_)) {
        copy.data = CopyString(env, static_cast<jstring>(value), &copy.length, room);
    } else if (env->IsInstanceOf(value, stringBuffer_)) {
        // An empty buffer is grown to its capacity, so that the callee finds room.
        if (env->CallIntMethod(value, sbLength_) == 0 && !env->ExceptionCheck()) {
            const jint capacity = env->CallIntMethod(value, sbCapacity_);
            if (!env->ExceptionCheck()) env->CallVoidMethod(value, sbSetLength_, capacity);
        }
        if (!env->ExceptionCheck()) {
            auto text = static_cast<jstring>(env->CallObjectMethod(value, sbToString_));
            if (!env->ExceptionCheck()) copy.data = CopyString(env, text, &copy.length, room);
            if (text) env->DeleteLocalRef(text);
        }
    } else if (env->IsInstanceOf(value, byteArray_)) {
        copy.data = CopyBytes(env, static_cast<jbyteArray>(value), &copy.length, room);
    }
    if (copy.data) a.value = reinterpret_cast<intptr_t>(copy.data.get());
    env->DeleteLocalRef(value);
    return !env->ExceptionCheck();
}

void ClientData::WriteBack(JNIEnv* env, jobjectArray args, jint n) {
    if (!args) return;
    n = std::min({n, env->GetArrayLength(args), capacity_});
    for (jint j = 0; j < n && !env->ExceptionCheck(); ++j) {
        const PosArg& a = args_[j];
        if (!a.name || a.name == kNullName) continue;
        jobject arg = env->GetObjectArrayElement(args, j);
        if (!arg) continue;
        jobject value = env->CallObjectMethod(arg, getValue_);
        const ValueCopy& copy = values_[j];
        const bool ownCopy = copy.data && a.value == reinterpret_cast<intptr_t>(copy.data.get());
        const auto asInt = static_cast<jint>(a.value);
        if (env->ExceptionCheck() || !value) {
            // nothing to write into
        } else if (env->IsInstanceOf(value, integer_) || env->IsInstanceOf(value, string_)) {
            env->CallVoidMethod(arg, setValue_, asInt);
        } else if (env->IsInstanceOf(value, byteArray_)) {
            if (ownCopy) {
                auto bytes = static_cast<jbyteArray>(value);
                const jsize count = std::min(copy.length, env->GetArrayLength(bytes));
                env->SetByteArrayRegion(bytes, 0, count, reinterpret_cast<const jbyte*>(copy.data.get()));
            } else {
                env->CallVoidMethod(arg, setValue_, asInt);
            }
        } else if (env->IsInstanceOf(value, stringBuffer_)) {
            if (ownCopy) {
                jbyteArray bytes = env->NewByteArray(copy.length);
                if (bytes) {
                    env->SetByteArrayRegion(bytes, 0, copy.length,
                                            reinterpret_cast<const jbyte*>(copy.data.get()));
                    jobject text = env->NewObject(string_, stringInit_, bytes);
                    if (text) {
                        env->CallVoidMethod(value, sbSetLength_, 0);
                        if (!env->ExceptionCheck()) {
                            jobject self = env->CallObjectMethod(value, sbInsert_, 0, text);
                            if (self) env->DeleteLocalRef(self);
                        }
                        env->DeleteLocalRef(text);
                    }
                    env->DeleteLocalRef(bytes);
                }
            } else {
                env->CallVoidMethod(arg, setValue_, asInt);
            }
        }
        if (value) env->DeleteLocalRef(value);
        env->DeleteLocalRef(arg);
    }
}
