# The Debian package of the installed system: `cpack -G DEB` in the build tree packs exactly
# what `cmake --install` puts on the terminal (the same rules, run into the package's root).
set(CPACK_PACKAGE_NAME ovk)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "POS device support <root@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "POS device server for Linux point-of-sale terminals (daemon, core, plug-ins, client library)")
set(CPACK_GENERATOR DEB)
# Packing and installing take the build as it is (build first): they do not run the whole
# build's dependency check again.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
# /etc files are installed at their absolute paths: run the rules with DESTDIR.
set(CPACK_SET_DESTDIR ON)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
# The shared libraries the programs and libraries link, by Debian package.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1, libx11-6, libltdl7")
if(TARGET cimbridge)
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libxerces-c3.2")
endif()

# The configuration files are the administrator's: dpkg keeps edited ones on upgrade.
get_property(configFiles GLOBAL PROPERTY OVK_CONFIG_FILES)
set(conffiles "")
foreach(f ${configFiles})
  string(APPEND conffiles "${f}\n")
endforeach()
file(WRITE ${CMAKE_BINARY_DIR}/package/conffiles "${conffiles}")
# The shared libraries in /usr/lib join the dynamic linker's cache.
file(WRITE ${CMAKE_BINARY_DIR}/package/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_BINARY_DIR}/package/conffiles ${CMAKE_BINARY_DIR}/package/triggers)

include(CPack)

# The list of the libraries, plug-ins and programs the build stages (every target whose output
# lands in the staging root), for the install test: each must be installed, however it was
# defined. Files left in the staging root by targets that no longer exist do not count.
function(ovk_collect_targets dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub ${subdirs})
    ovk_collect_targets(${sub} more)
    list(APPEND targets ${more})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()
ovk_collect_targets(${CMAKE_SOURCE_DIR} allTargets)
set(stagedBinaries "")
foreach(t ${allTargets})
  get_target_property(type ${t} TYPE)
  if(type STREQUAL "SHARED_LIBRARY" OR type STREQUAL "MODULE_LIBRARY")
    get_target_property(dir ${t} LIBRARY_OUTPUT_DIRECTORY)
  elseif(type STREQUAL "EXECUTABLE")
    get_target_property(dir ${t} RUNTIME_OUTPUT_DIRECTORY)
  else()
    continue()
  endif()
  if(dir STREQUAL "${OVK_STAGING_ROOT}/usr/lib" OR dir STREQUAL "${OVK_STAGING_ROOT}/usr/bin")
    string(APPEND stagedBinaries "$<TARGET_FILE:${t}>\n")
  endif()
endforeach()
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/package/staged-binaries.txt CONTENT "${stagedBinaries}")
