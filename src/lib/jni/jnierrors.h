// Java exceptions the natives raise for bad arguments, as the Java language would.
#pragma once

#include <jni.h>

// Raises ArrayIndexOutOfBoundsException for `index` in an array of `length` elements.
void jniThrowIndex(JNIEnv* env, jlong index, jsize length);
void jniThrowNull(JNIEnv* env, const char* what);
// True when [offset, offset + count) lies in an array of `length`; else raises the index
// exception for the first element outside it.
bool jniCheckRange(JNIEnv* env, jlong offset, jlong count, jsize length);
