# Installation: the library with its soname, the headers, vesk-dump and its manual page,
# the Python package, CMake packages (find_package(vesk_10) and find_package(vesk)), and
# vesk_10.pc and vesk.pc for pkg-config. Every installed path is relative, so the tree
# works wherever it is unpacked (cmake --install --prefix, DESTDIR, dpkg -x). Each rule
# names its component, one per Debian package that cmake/debian/build-debs makes:
# runtime, development, tool, python. Building anything is left to the folders' own CMake.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VESK_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/vesk_10" CACHE STRING
    "Where the CMake package files go, below the prefix")
set(VESK_INSTALL_CMAKE_ALIASDIR "${CMAKE_INSTALL_LIBDIR}/cmake/vesk" CACHE STRING
    "Where the CMake package under the project's name, vesk, goes, below the prefix")
set(VESK_INSTALL_PKGCONFIGDIR "${CMAKE_INSTALL_LIBDIR}/pkgconfig" CACHE STRING
    "Where vesk_10.pc and vesk.pc go, below the prefix")
set(VESK_PYTHON_MODULE_DIR "" CACHE STRING
    "Where the Python package vesk/ goes, below the prefix; empty: where python3 looks")
option(VESK_INSTALL_RPATH
       "Give vesk-dump a run path to its tree's library (off for a distribution's loader)" ON)

# The interface version 1.0 is already in the name; the soname counts breaks of the
# library's binary interface within that name, starting at 1: libvesk_10.so.1.
# Windows hosts load the DLL by its fixed module name, so it carries neither.
if(NOT WIN32)
  set_target_properties(vesk_10 PROPERTIES
    VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
endif()

install(TARGETS vesk_10 EXPORT vesk
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime
          NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/vesk_10.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        COMPONENT development)
# Every header of the C++ interface, however many it grows to.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/vesk DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        COMPONENT development FILES_MATCHING PATTERN "*.hpp" PATTERN "*.h")

# The Python package goes where the system's python3 imports it from below the prefix the
# install is made to, which is known only at install time: on Debian lib/python3/
# dist-packages below /usr, lib/python3.11/dist-packages below /usr/local. Below any
# other prefix no interpreter looks; there it goes to lib/python3/dist-packages, for
# PYTHONPATH. The system's interpreter is asked, not one first on the PATH (a pyenv or
# venv one looks elsewhere).
find_program(VESK_SYSTEM_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH)
find_program(VESK_SYSTEM_PYTHON3 python3)
set(_vesk_package ${PROJECT_SOURCE_DIR}/python/vesk)
set(_vesk_package_files FILES_MATCHING PATTERN "*.py" PATTERN "py.typed"
    PATTERN "__pycache__" EXCLUDE)
if(VESK_PYTHON_MODULE_DIR)
  install(DIRECTORY ${_vesk_package} DESTINATION ${VESK_PYTHON_MODULE_DIR}
          COMPONENT python ${_vesk_package_files})
elseif(WIN32 OR CMAKE_CROSSCOMPILING OR NOT VESK_SYSTEM_PYTHON3)
  install(DIRECTORY ${_vesk_package} DESTINATION ${CMAKE_INSTALL_LIBDIR}/python3/dist-packages
          COMPONENT python ${_vesk_package_files})
else()
  install(CODE "set(_vesk_python \"${VESK_SYSTEM_PYTHON3}\")
set(_vesk_package \"${_vesk_package}\")" COMPONENT python)
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
    file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/${_vesk_python_dir}" TYPE DIRECTORY
         FILES "${_vesk_package}" FILES_MATCHING PATTERN "*.py" PATTERN "py.typed"
         PATTERN "__pycache__" EXCLUDE)
  ]] COMPONENT python)
endif()

# The CMake packages: find_package(vesk_10) gives the imported target vesk::vesk_10, and
# find_package(vesk), under the project's own name, the same package; both define
# vesk::vesk as well. The same major version is accepted.
install(EXPORT vesk NAMESPACE vesk:: FILE vesk_10Targets.cmake
        DESTINATION ${VESK_INSTALL_CMAKEDIR} COMPONENT development)
file(RELATIVE_PATH VESK_ALIAS_TO_PACKAGE "/${VESK_INSTALL_CMAKE_ALIASDIR}"
     "/${VESK_INSTALL_CMAKEDIR}")
foreach(package vesk_10 vesk)
  if(package STREQUAL "vesk")
    set(dir ${VESK_INSTALL_CMAKE_ALIASDIR})
  else()
    set(dir ${VESK_INSTALL_CMAKEDIR})
  endif()
  configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/${package}Config.cmake.in
    ${PROJECT_BINARY_DIR}/${package}Config.cmake INSTALL_DESTINATION ${dir})
  write_basic_package_version_file(${PROJECT_BINARY_DIR}/${package}ConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
  install(FILES ${PROJECT_BINARY_DIR}/${package}Config.cmake
                ${PROJECT_BINARY_DIR}/${package}ConfigVersion.cmake
          DESTINATION ${dir} COMPONENT development)
endforeach()

# pkg-config: the prefix is found from the .pc file's own place, so a moved tree works.
# vesk.pc is vesk_10.pc under the project's name.
set(_vesk_pc_full_dir "${CMAKE_INSTALL_PREFIX}/${VESK_INSTALL_PKGCONFIGDIR}")
file(RELATIVE_PATH VESK_PC_PREFIX "${_vesk_pc_full_dir}" "${CMAKE_INSTALL_PREFIX}")
file(RELATIVE_PATH VESK_PC_LIBDIR "${CMAKE_INSTALL_PREFIX}" "${CMAKE_INSTALL_FULL_LIBDIR}")
file(RELATIVE_PATH VESK_PC_INCLUDEDIR "${CMAKE_INSTALL_PREFIX}"
     "${CMAKE_INSTALL_FULL_INCLUDEDIR}")
string(REGEX REPLACE "/$" "" VESK_PC_PREFIX "${VESK_PC_PREFIX}")
foreach(package vesk_10 vesk)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/${package}.pc.in
                 ${PROJECT_BINARY_DIR}/${package}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${package}.pc DESTINATION ${VESK_INSTALL_PKGCONFIGDIR}
          COMPONENT development)
endforeach()

if(TARGET vesk-dump)
  install(TARGETS vesk-dump RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)
  if(NOT WIN32 AND VESK_INSTALL_RPATH)
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
    install(FILES ${_vesk_man} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tool)
  endif()
endif()

# The Debian packages libvesk-10-1, libvesk-10-dev, vesk-dump and python3-vesk are made
# from these components by cmake/debian/build-debs, in a build of their own.
