# Java: the JDK (17), the stand-in Java classes that the native libraries implement, JNI
# libraries and Java test programs.
#
#   ovk_jni_library(target sources...)
#       A system library of Java natives (libNAME.so in usr/lib), compiled against jni.h and
#       linked with no undefined symbol left. Natives are not linked against the virtual
#       machine; the JVM that loads them has it.
#
#   ovk_java_test(name SOURCES a.java ... [MAIN class] [ARGS ...] [WRAPPER target [args...]]
#                 [DEPENDS targets...] [ENVIRONMENT VAR=value...])
#       A Java test program: compiled against the stand-in classes and the test helper
#       classes (package ovktest), run by CTest as
#         [wrapper args...] <OVK_JAVA_COMMAND> -cp <jars> <MAIN> <ARGS>
#       MAIN defaults to the name. The program prints "N passed, N failed" and exits non-zero
#       on a failure. A WRAPPER is a program of the build that prepares what the test needs
#       (a simulated terminal, ...) and then runs the Java command line it was given.
#       DEPENDS names the native libraries (and programs) the test loads.
#
#   ovk_java_test_library(target sources...)
#       A library of natives that only tests load: built into OVK_JAVA_TEST_LIBRARY_DIR,
#       which is on the tests' library path, and never staged or installed.
#
#   OVK_JAVA_COMMAND   the Java launcher with its options: -Xcheck:jni and the staging root's
#                      usr/lib (then OVK_JAVA_TEST_LIBRARY_DIR) as java.library.path (and,
#                      in the sanitizer build, the
#                      sanitizer runtime preloaded with options a JVM survives).
#   OVK_JAVA_STANDINS_JAR, OVK_JAVA_TEST_SUPPORT_JAR   the two jars, for a C++ test that
#                      starts a JVM itself.
#
# In the sanitizer build the natives carry AddressSanitizer, whose runtime must be the first
# library of the process: the JVM gets it through LD_PRELOAD. The JVM handles SIGSEGV itself
# (null checks, stack banging) and keeps memory LeakSanitizer cannot see through, so the JVM
# runs with handle_segv=0 and detect_leaks=0; memory errors in the natives are still caught.

find_package(Java 17 REQUIRED COMPONENTS Runtime Development)
include(UseJava)
# The JDK of that compiler gives the JNI headers (/usr/bin/javac is a link into it).
if(NOT JAVA_HOME)
  get_filename_component(ovkJavac "${Java_JAVAC_EXECUTABLE}" REALPATH)
  get_filename_component(ovkJdk "${ovkJavac}" DIRECTORY)
  get_filename_component(JAVA_HOME "${ovkJdk}" DIRECTORY)
endif()
find_package(JNI REQUIRED COMPONENTS JVM)
set(CMAKE_JAVA_COMPILE_FLAGS --release 17 -Xlint:all -Werror)

set(OVK_JAVA_DIR ${CMAKE_BINARY_DIR}/java)
set(OVK_JAVA_STANDINS_JAR ${OVK_JAVA_DIR}/ovk-standins.jar)
set(OVK_JAVA_TEST_SUPPORT_JAR ${OVK_JAVA_DIR}/ovk-test-support.jar)
# Native libraries that only the tests load (not staged, so never installed).
set(OVK_JAVA_TEST_LIBRARY_DIR ${OVK_JAVA_DIR}/lib)

set(OVK_JAVA_COMMAND)
if(OVK_SANITIZER STREQUAL "address")
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libasan.so
                  OUTPUT_VARIABLE ovkAsanRuntime OUTPUT_STRIP_TRAILING_WHITESPACE)
  find_program(OVK_ENV_PROGRAM env REQUIRED)
  list(APPEND OVK_JAVA_COMMAND ${OVK_ENV_PROGRAM} LD_PRELOAD=${ovkAsanRuntime}
       ASAN_OPTIONS=handle_segv=0:allow_user_segv_handler=1:detect_leaks=0:abort_on_error=1
       UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1)
endif()
# A JVM does not load libraries built with ThreadSanitizer: the Java tests run in the plain
# and the AddressSanitizer builds only.
set(OVK_JAVA_TESTS ON)
if(OVK_SANITIZER STREQUAL "thread")
  set(OVK_JAVA_TESTS OFF)
endif()
list(APPEND OVK_JAVA_COMMAND ${Java_JAVA_EXECUTABLE} -Xcheck:jni -XX:+UseSerialGC
     -XX:TieredStopAtLevel=1 -Xmx256m -Djava.library.path=${OVK_STAGING_ROOT}/usr/lib:${OVK_JAVA_TEST_LIBRARY_DIR})

function(ovk_jni_library target)
  ovk_library(${target} ${ARGN})
  target_include_directories(${target} PRIVATE ${JAVA_INCLUDE_PATH} ${JAVA_INCLUDE_PATH2})
  # The JVM loads the library alone: every symbol must come from a library it names. The
  # fuzz build is the exception: clang leaves the sanitizer and coverage runtimes to the
  # executable, so its shared libraries always have those symbols open.
  if(NOT OVK_FUZZ)
    target_link_options(${target} PRIVATE -Wl,--no-undefined)
  endif()
endfunction()

function(ovk_java_test_library target)
  add_library(${target} SHARED ${ARGN})
  target_include_directories(${target} PRIVATE ${JAVA_INCLUDE_PATH} ${JAVA_INCLUDE_PATH2})
  set_target_properties(${target} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${OVK_JAVA_TEST_LIBRARY_DIR})
endfunction()

function(ovk_java_test name)
  if(NOT OVK_JAVA_TESTS)
    return()
  endif()
  cmake_parse_arguments(J "" "MAIN" "SOURCES;ARGS;WRAPPER;DEPENDS;ENVIRONMENT" ${ARGN})
  if(NOT J_MAIN)
    set(J_MAIN ${name})
  endif()
  add_jar(${name}_jar SOURCES ${J_SOURCES}
          INCLUDE_JARS ovk_java_standins ovk_java_test_support
          OUTPUT_NAME ${name} OUTPUT_DIR ${OVK_JAVA_DIR})
  if(J_DEPENDS)
    add_dependencies(${name}_jar ${J_DEPENDS})
  endif()
  get_target_property(jar ${name}_jar JAR_FILE)
  set(command)
  if(J_WRAPPER)
    list(POP_FRONT J_WRAPPER wrapper)
    list(APPEND command $<TARGET_FILE:${wrapper}> ${J_WRAPPER} --)
    add_dependencies(${name}_jar ${wrapper})
  endif()
  list(APPEND command ${OVK_JAVA_COMMAND}
       -cp ${jar}:${OVK_JAVA_STANDINS_JAR}:${OVK_JAVA_TEST_SUPPORT_JAR} ${J_MAIN} ${J_ARGS})
  add_test(NAME ${name} COMMAND ${command})
  # -Xcheck:jni reports misuse of JNI as warnings only: they fail the test.
  ovk_test_timeout(120 timeout)
  set_tests_properties(${name} PROPERTIES TIMEOUT ${timeout}
    FAIL_REGULAR_EXPRESSION "WARNING in native method|FATAL ERROR in native method")
  if(J_ENVIRONMENT)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${J_ENVIRONMENT}")
  endif()
endfunction()

# The same command for C++ tests that start a Java program themselves (tests/java/support's
# JavaRunner): OvkJavaCommand.h in OVK_JAVA_DIR.
set(ovkJavaItems "")
foreach(arg IN LISTS OVK_JAVA_COMMAND)
  string(APPEND ovkJavaItems "    \"${arg}\",\n")
endforeach()
file(GENERATE OUTPUT ${OVK_JAVA_DIR}/OvkJavaCommand.h CONTENT
"// Generated by cmake/OvkJava.cmake: the JVM command of the Java tests.
#pragma once
static const char* const kOvkJavaCommand[] = {
${ovkJavaItems}    nullptr,
};
static const char* const kOvkJavaClassPath = \"${OVK_JAVA_STANDINS_JAR}:${OVK_JAVA_TEST_SUPPORT_JAR}\";
")
