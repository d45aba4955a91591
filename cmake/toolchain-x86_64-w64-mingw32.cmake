# 64-bit Windows with MinGW-w64. The same Win32 code as the 32-bit DLL, built so that
# its tests run here under wine64: ctest starts every test program through it.
#   cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake
set(VESK_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
# Through a wrapper that starts a program again when wine64 failed to start it at all.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
