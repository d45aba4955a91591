# The test driver and GoogleTest, for every folder that registers tests. Included by the
# top-level CMakeLists.txt when VESK_BUILD_TESTS is on, before any folder is added, so
# that ctest runs from the top of the build tree.
enable_testing()
if(WIN32)
  # Cross builds compile GoogleTest from source with the same compiler.
  set(VESK_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for cross builds")
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${VESK_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# A cross build runs its test programs through the toolchain's emulator (wine64), both
# for ctest and during the build, when test discovery lists them. Unless the caller
# chose one, Wine's prefix is then one inside this build tree, so that neither the
# build nor the tests fill ~/.wine.
if(CMAKE_CROSSCOMPILING AND CMAKE_CROSSCOMPILING_EMULATOR)
  list(JOIN CMAKE_CROSSCOMPILING_EMULATOR "\" \"" vesk_emulator)
  set(vesk_wine_prefix ${CMAKE_BINARY_DIR}/wine)
  file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/run-emulated @ONLY CONTENT [[
#!/bin/sh
# Written by cmake/testing.cmake: the emulator with Wine's prefix inside the build tree.
: "${WINEPREFIX:=@vesk_wine_prefix@}" "${WINEDEBUG:=-all}"
export WINEPREFIX WINEDEBUG
exec "@vesk_emulator@" "$@"
]])
  file(CHMOD ${CMAKE_BINARY_DIR}/run-emulated PERMISSIONS OWNER_READ OWNER_WRITE
       OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/run-emulated)
endif()
