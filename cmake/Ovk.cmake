# Helpers shared by every directory of the project.
#
# Each deliverable is staged in the build's staging root (build/root/, a copy of the terminal's
# file system from "/") and installed by `cmake --install` at the same path of the real file
# system: the helper that stages a library, plug-in, program or data file also installs it.
# Targets defined under tests/ are staged (where they say so) but never installed.

# The install destination of a system path: under CMAKE_INSTALL_PREFIX (/usr by default) for
# "/usr/..." paths, the absolute path otherwise ("/etc").
function(ovk_install_destination systemPath out)
  if(systemPath MATCHES "^/usr/(.*)$")
    set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
  elseif(systemPath STREQUAL "/usr")
    set(${out} "." PARENT_SCOPE)
  else()
    set(${out} "${systemPath}" PARENT_SCOPE)
  endif()
endfunction()

# True when the calling CMakeLists.txt belongs to the tests (nothing of it is installed).
function(ovk_is_test_directory out)
  string(FIND "${CMAKE_CURRENT_SOURCE_DIR}/" "${CMAKE_SOURCE_DIR}/tests/" pos)
  if(pos EQUAL 0)
    set(${out} TRUE PARENT_SCOPE)
  else()
    set(${out} FALSE PARENT_SCOPE)
  endif()
endfunction()

# Installs a target of the system at a system path (not for targets of the tests).
function(ovk_install_target target systemDir)
  ovk_is_test_directory(isTest)
  if(isTest)
    return()
  endif()
  ovk_install_destination(${systemDir} dest)
  install(TARGETS ${target} LIBRARY DESTINATION ${dest} RUNTIME DESTINATION ${dest})
endfunction()

# A shared library of the system (libNAME.so in usr/lib).
function(ovk_library target)
  add_library(${target} SHARED ${ARGN})
  target_link_libraries(${target} PRIVATE Threads::Threads)
  ovk_install_target(${target} /usr/lib)
endfunction()

# A plug-in: "lib" + name + ".so.0" in usr/lib. Plug-ins resolve the core's and the host's
# symbols from the hosting process, so they are not linked against libovksys. Each plug-in of
# the system (not those of the tests) is listed in the global property OVK_SYSTEM_PLUGINS,
# which the end-to-end tests depend on as a whole.
function(ovk_plugin target)
  add_library(${target} SHARED ${ARGN})
  set_target_properties(${target} PROPERTIES PREFIX "lib" SUFFIX ".so.0")
  target_include_directories(${target} PRIVATE
    ${CMAKE_SOURCE_DIR}/src/lib/sys/include ${CMAKE_SOURCE_DIR}/src/platform/host/include)
  ovk_install_target(${target} /usr/lib)
  ovk_is_test_directory(isTest)
  if(NOT isTest)
    set_property(GLOBAL APPEND PROPERTY OVK_SYSTEM_PLUGINS ${target})
  endif()
endfunction()

# A program, in usr/bin.
function(ovk_program target)
  add_executable(${target} ${ARGN})
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${OVK_STAGING_ROOT}/usr/bin)
  ovk_install_target(${target} /usr/bin)
endfunction()

# Data files at a system folder (such as /usr/share/pos/fonts):
#   ovk_data(<system folder> FILES a b ...)       source files, copied into the staging root
#   ovk_data(<system folder> GENERATED FILES ...)  files the build writes into the staging root
# Relative names are taken from the calling source folder (FILES) or the staging folder
# (GENERATED).
function(ovk_data systemDir)
  cmake_parse_arguments(D "GENERATED" "" "FILES" ${ARGN})
  set(staged)
  foreach(f ${D_FILES})
    if(D_GENERATED)
      if(IS_ABSOLUTE "${f}")
        list(APPEND staged "${f}")
      else()
        list(APPEND staged "${OVK_STAGING_ROOT}${systemDir}/${f}")
      endif()
    else()
      get_filename_component(src "${f}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
      get_filename_component(name "${f}" NAME)
      configure_file("${src}" "${OVK_STAGING_ROOT}${systemDir}/${name}" COPYONLY)
      list(APPEND staged "${OVK_STAGING_ROOT}${systemDir}/${name}")
    endif()
  endforeach()
  ovk_is_test_directory(isTest)
  if(NOT isTest)
    ovk_install_destination(${systemDir} dest)
    install(FILES ${staged} DESTINATION ${dest})
  endif()
endfunction()

# A configuration file the administrator edits (such as /etc/ovksys.conf), from a source file:
# staged, and installed only where none is present yet; a present file is kept and the new
# default goes beside it as NAME.default. Packages list it as a configuration file.
function(ovk_config_file systemPath source)
  get_filename_component(src "${source}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  get_filename_component(dir "${systemPath}" DIRECTORY)
  get_filename_component(name "${systemPath}" NAME)
  configure_file("${src}" "${OVK_STAGING_ROOT}${systemPath}" COPYONLY)
  ovk_install_destination(${dir} dest)
  if(NOT IS_ABSOLUTE "${dest}")
    set(dest "\${CMAKE_INSTALL_PREFIX}/${dest}")
  endif()
  install(CODE "
    set(ovkDest \"${dest}\")
    if(EXISTS \"\$ENV{DESTDIR}\${ovkDest}/${name}\")
      message(STATUS \"Keeping \$ENV{DESTDIR}\${ovkDest}/${name}; the default goes to ${name}.default\")
      file(INSTALL DESTINATION \"\${ovkDest}\" TYPE FILE RENAME \"${name}.default\" FILES \"${OVK_STAGING_ROOT}${systemPath}\")
    else()
      file(INSTALL DESTINATION \"\${ovkDest}\" TYPE FILE FILES \"${OVK_STAGING_ROOT}${systemPath}\")
    endif()")
  set_property(GLOBAL APPEND PROPERTY OVK_CONFIG_FILES "${systemPath}")
endfunction()

# Headers that applications compile against, installed in usr/include.
function(ovk_headers)
  ovk_install_destination(/usr/include dest)
  install(FILES ${ARGN} DESTINATION ${dest})
endfunction()

# The time limit of a test: the seconds it is given in a plain build, scaled by the build kind.
# A sanitizer slows the code several times over, ThreadSanitizer the most. Every test's limit
# (CTest's TIMEOUT property) is set through here.
function(ovk_test_timeout seconds out)
  if(OVK_SANITIZER STREQUAL "thread")
    math(EXPR seconds "${seconds} * 3")
  elseif(OVK_SANITIZER)
    math(EXPR seconds "${seconds} * 2")
  endif()
  set(${out} ${seconds} PARENT_SCOPE)
endfunction()

# A GoogleTest executable: ovk_test(name SOURCES a.cpp ... LIBS x y ...). In a sanitized build
# its code sees OVK_SANITIZED, for the windows that must be longer there.
function(ovk_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES} $<TARGET_OBJECTS:ovk_install_capture>)
  target_link_libraries(${name} PRIVATE ovk_test_support ${T_LIBS} GTest::gmock GTest::gtest_main Threads::Threads)
  if(OVK_SANITIZER)
    target_compile_definitions(${name} PRIVATE OVK_SANITIZED=1)
  endif()
  ovk_test_timeout(120 timeout)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT ${timeout})
endfunction()

# A libFuzzer target (built only with -DOVK_FUZZ=ON and clang): ovk_fuzz(name SOURCES ... LIBS ...)
function(ovk_fuzz name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS} Threads::Threads)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzzers)
endfunction()
