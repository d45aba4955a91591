# Windows-only suites, built by the x86_64-w64-mingw32 toolchain and run under wine64.
if(NOT WIN32)
  return()
endif()

# The platform-dependent behaviour of the DLL: ANSI code page, share modes, devices.
add_executable(vesk_windows_tests windows/windows_test.cpp)
target_link_libraries(vesk_windows_tests PRIVATE vesk_testkit GTest::gtest_main)
add_dependencies(vesk_windows_tests vesk_10)
gtest_discover_tests(vesk_windows_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 60)

# Loading and unloading, each test in a process where nothing else holds the DLL.
add_executable(vesk_windows_load_tests windows/windows_load_test.cpp)
target_link_libraries(vesk_windows_load_tests PRIVATE vesk_testkit GTest::gtest_main)
add_dependencies(vesk_windows_load_tests vesk_10)
gtest_discover_tests(vesk_windows_load_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 60)

# A host written as an older C program would be: no vesk header, its own declarations.
add_executable(vesk_windows_host windows/host.c)
target_compile_options(vesk_windows_host PRIVATE -Wall -Wextra -Werror -pedantic)
add_dependencies(vesk_windows_host vesk_10)

# A thousand loads and unloads with a full walk each: handles and private memory must not
# grow with the count. Its own process, so that each FreeLibrary really unloads the DLL.
add_executable(vesk_windows_load_cycles windows/load_cycles_test.cpp)
target_link_libraries(vesk_windows_load_cycles PRIVATE vesk_test_support psapi ntdll GTest::gtest_main)
target_compile_definitions(vesk_windows_load_cycles
  PRIVATE VESK_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data")
add_dependencies(vesk_windows_load_cycles vesk_10)
gtest_discover_tests(vesk_windows_load_cycles DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
