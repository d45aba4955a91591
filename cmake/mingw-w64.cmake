# What both MinGW-w64 toolchain files share; each sets VESK_MINGW_TRIPLE first.
# The posix-thread compilers, whose C++ runtime has the std::mutex GoogleTest needs; the
# test programs link it statically. The DLL links none of it (vesk_10_link.cmake), so
# its thread model does not reach the DLL.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${VESK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VESK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VESK_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VESK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
