// Java lookups of the port natives: a failed lookup writes "%d asserted!" with the number of
// the step and the native returns -1.
#pragma once

#include <jni.h>

namespace commjni {

void asserted(int step);
// The static pollingTime of javax.comm.CommPortIdentifier, 5 when missing or not above 0.
int pollingTime(JNIEnv* env);
// The int field `name` of obj; false (and `asserted(step)`) when it is missing.
bool intField(JNIEnv* env, jobject obj, const char* name, int step, int& value);
bool interrupted(JNIEnv* env, jobject thread, jmethodID isInterrupted);
jmethodID isInterruptedMethod(JNIEnv* env);
// A static int constant of a class, false when missing.
bool staticInt(JNIEnv* env, const char* cls, const char* name, int step, int& value);
void throwIOException(JNIEnv* env);

} // namespace commjni
