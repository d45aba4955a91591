# 32-bit Windows with MinGW-w64: the build that yields the vesk_10.dll hosts load.
# Its programs cannot run here, so no emulator is set and its tests are not built.
#   cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake \
#         -DVESK_BUILD_TESTS=OFF
set(VESK_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
