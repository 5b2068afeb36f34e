# Helpers shared by every directory of the project.

# A shared library of the system (libNAME.so in the staging usr/lib).
function(ovk_library target)
  add_library(${target} SHARED ${ARGN})
  target_link_libraries(${target} PRIVATE Threads::Threads)
endfunction()

# A plug-in: "lib" + name + ".so.0" in the staging usr/lib. Plug-ins resolve the core's and
# the host's symbols from the hosting process, so they are not linked against libovksys.
function(ovk_plugin target)
  add_library(${target} SHARED ${ARGN})
  set_target_properties(${target} PROPERTIES PREFIX "lib" SUFFIX ".so.0")
  target_include_directories(${target} PRIVATE
    ${CMAKE_SOURCE_DIR}/src/lib/sys/include ${CMAKE_SOURCE_DIR}/src/platform/host/include)
endfunction()

# A program, placed in the staging usr/bin.
function(ovk_program target)
  add_executable(${target} ${ARGN})
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${OVK_STAGING_ROOT}/usr/bin)
endfunction()

# A GoogleTest executable: ovk_test(name SOURCES a.cpp ... LIBS x y ...)
function(ovk_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES} ${CMAKE_SOURCE_DIR}/tests/support/InstallCapture.cpp)
  target_link_libraries(${name} PRIVATE ovk_test_support ${T_LIBS} GTest::gmock GTest::gtest_main Threads::Threads)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT 120)
endfunction()

# A libFuzzer target (built only with -DOVK_FUZZ=ON and clang): ovk_fuzz(name SOURCES ... LIBS ...)
function(ovk_fuzz name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS} Threads::Threads)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzzers)
endfunction()
