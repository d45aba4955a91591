# System calls counted at the C library boundary (POSIX only): the interposed functions
# live in the executable and its symbols are exported, so the loaded library's calls
# reach them.
if(NOT WIN32)
  add_executable(vesk_read_count_tests
    read_count_test.cpp
    support/system_calls.cpp)
  target_link_libraries(vesk_read_count_tests
    PRIVATE vesk_10 vesk_test_support GTest::gtest_main ${CMAKE_DL_LIBS})
  set_target_properties(vesk_read_count_tests PROPERTIES ENABLE_EXPORTS ON)
  gtest_discover_tests(vesk_read_count_tests DISCOVERY_TIMEOUT 60)
endif()
