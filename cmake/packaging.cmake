# Installation and packaging: the library with its soname, both headers, vesk-dump and
# its manual page, the Python module, a CMake package (find_package(vesk_10 CONFIG)),
# vesk_10.pc for pkg-config, and a Debian package through CPack. Every installed path
# is relative, so the tree works wherever it is unpacked (cmake --install --prefix,
# DESTDIR, dpkg -x). Building anything is left to the top-level CMakeLists.txt.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VESK_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/vesk_10" CACHE STRING
    "Where the CMake package files go, below the prefix")
set(VESK_INSTALL_PKGCONFIGDIR "${CMAKE_INSTALL_LIBDIR}/pkgconfig" CACHE STRING
    "Where vesk_10.pc goes, below the prefix")
set(VESK_PYTHON_MODULE_DIR "" CACHE STRING
    "Where the Python module vesk.py goes, below the prefix; empty: where the system's python3 looks")

# The interface version 1.0 is already in the name; the soname counts breaks of the
# library's binary interface within that name, starting at 1: libvesk_10.so.1.
# Windows hosts load the DLL by its fixed module name, so it carries neither.
if(NOT WIN32)
  set_target_properties(vesk_10 PROPERTIES
    VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
endif()

install(TARGETS vesk_10 EXPORT vesk
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/vesk_10.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/vesk/hive.hpp
              ${PROJECT_SOURCE_DIR}/include/vesk/base_block.hpp
              ${PROJECT_SOURCE_DIR}/include/vesk/layout.hpp
              ${PROJECT_SOURCE_DIR}/include/vesk/byte_order.hpp
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vesk)

# The Python module goes where the system's python3 imports it from below the prefix the
# install is made to, which is known only at install time: on Debian lib/python3/
# dist-packages below /usr, lib/python3.11/dist-packages below /usr/local. Below any
# other prefix no interpreter looks; there it goes to lib/python3/dist-packages, for
# PYTHONPATH. The system's interpreter is asked, not one first on the PATH (a pyenv or
# venv one looks elsewhere).
find_program(VESK_SYSTEM_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH)
find_program(VESK_SYSTEM_PYTHON3 python3)
if(VESK_PYTHON_MODULE_DIR)
  install(FILES ${PROJECT_SOURCE_DIR}/python/vesk.py DESTINATION ${VESK_PYTHON_MODULE_DIR})
elseif(WIN32 OR CMAKE_CROSSCOMPILING OR NOT VESK_SYSTEM_PYTHON3)
  install(FILES ${PROJECT_SOURCE_DIR}/python/vesk.py
          DESTINATION ${CMAKE_INSTALL_LIBDIR}/python3/dist-packages)
else()
  install(CODE "set(_vesk_python \"${VESK_SYSTEM_PYTHON3}\")
set(_vesk_module \"${PROJECT_SOURCE_DIR}/python/vesk.py\")")
  install(CODE [[
    # -E: a PYTHONPATH of the installing shell must not count as a place it looks.
    execute_process(
      COMMAND "${_vesk_python}" -E -c [=[
import os, sys
prefix = os.path.normpath(os.path.abspath(sys.argv[1]))
for folder in filter(None, sys.path):  # "" is the current folder
    relative = os.path.relpath(folder, prefix)
    if (relative.split(os.sep)[0].startswith("lib")
            and os.path.basename(folder) in ("dist-packages", "site-packages")):
        print(relative)
        break
else:
    print("lib/python3/dist-packages")
]=] "${CMAKE_INSTALL_PREFIX}"
      OUTPUT_VARIABLE _vesk_python_dir OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE _vesk_asked)
    if(NOT _vesk_asked EQUAL 0 OR _vesk_python_dir STREQUAL "")
      set(_vesk_python_dir lib/python3/dist-packages)
    endif()
    file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/${_vesk_python_dir}" TYPE FILE
         FILES "${_vesk_module}")
  ]])
endif()

# The CMake package: imported target vesk::vesk_10, same major version accepted.
install(EXPORT vesk NAMESPACE vesk:: FILE vesk_10Targets.cmake
        DESTINATION ${VESK_INSTALL_CMAKEDIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/vesk_10Config.cmake.in
  ${PROJECT_BINARY_DIR}/vesk_10Config.cmake INSTALL_DESTINATION ${VESK_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/vesk_10ConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/vesk_10Config.cmake
              ${PROJECT_BINARY_DIR}/vesk_10ConfigVersion.cmake
        DESTINATION ${VESK_INSTALL_CMAKEDIR})

# pkg-config: the prefix is found from the .pc file's own place, so a moved tree works.
set(_vesk_pc_full_dir "${CMAKE_INSTALL_PREFIX}/${VESK_INSTALL_PKGCONFIGDIR}")
file(RELATIVE_PATH VESK_PC_PREFIX "${_vesk_pc_full_dir}" "${CMAKE_INSTALL_PREFIX}")
file(RELATIVE_PATH VESK_PC_LIBDIR "${CMAKE_INSTALL_PREFIX}" "${CMAKE_INSTALL_FULL_LIBDIR}")
file(RELATIVE_PATH VESK_PC_INCLUDEDIR "${CMAKE_INSTALL_PREFIX}"
     "${CMAKE_INSTALL_FULL_INCLUDEDIR}")
string(REGEX REPLACE "/$" "" VESK_PC_PREFIX "${VESK_PC_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/vesk_10.pc.in ${PROJECT_BINARY_DIR}/vesk_10.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vesk_10.pc DESTINATION ${VESK_INSTALL_PKGCONFIGDIR})

if(TARGET vesk-dump)
  install(TARGETS vesk-dump RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  if(NOT WIN32)
    # The tool finds the library of its own tree, installed or unpacked anywhere.
    file(RELATIVE_PATH _vesk_bin_to_lib "${CMAKE_INSTALL_FULL_BINDIR}"
         "${CMAKE_INSTALL_FULL_LIBDIR}")
    set_target_properties(vesk-dump PROPERTIES INSTALL_RPATH "$ORIGIN/${_vesk_bin_to_lib}")
  endif()
  # The manual page carries the tool's own --help text, so it cannot drift from it.
  # A cross build cannot run the tool, and Windows has no manual pages.
  if(NOT WIN32 AND NOT CMAKE_CROSSCOMPILING)
    set(_vesk_man ${PROJECT_BINARY_DIR}/man/vesk-dump.1)
    add_custom_command(OUTPUT ${_vesk_man}
      COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:vesk-dump>
              -DTEMPLATE=${PROJECT_SOURCE_DIR}/cmake/vesk-dump.1.in -DOUTPUT=${_vesk_man}
              -P ${PROJECT_SOURCE_DIR}/cmake/manual_page.cmake
      DEPENDS vesk-dump ${PROJECT_SOURCE_DIR}/cmake/vesk-dump.1.in
              ${PROJECT_SOURCE_DIR}/cmake/manual_page.cmake
      COMMENT "Writing the vesk-dump manual page" VERBATIM)
    add_custom_target(vesk-dump-manual ALL DEPENDS ${_vesk_man})
    install(FILES ${_vesk_man} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endif()

# A Debian package of the same files: cpack -G DEB in the build directory.
if(NOT WIN32 AND CMAKE_SOURCE_DIR STREQUAL PROJECT_SOURCE_DIR)
  set(VESK_PACKAGE_MAINTAINER "vesk developers" CACHE STRING
      "The Maintainer field of the Debian package")
  set(CPACK_PACKAGE_NAME vesk)
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
  set(CPACK_PACKAGE_DESCRIPTION
      "libvesk_10 reads version 1.3 Windows NT registry hive files through 17 flat C\n\
functions, without the operating system's registry. The package holds the library,\n\
its C header and C++ interface, the vesk-dump tool, a Python module over ctypes,\n\
and files for find_package and pkg-config.")
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VESK_PACKAGE_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS python3)
  set(CPACK_SOURCE_IGNORE_FILES "/build/" "/\\\\.git/")
  include(CPack)
endif()
