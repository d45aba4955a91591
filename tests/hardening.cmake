# Hostile input: crafted files, offset sweeps and cut files, leaks and descriptors, the
# replay of the fuzz corpus and of every input a fuzzer broke, the corpus's recipe, and
# the walk program that scripts/test.d/50-valgrind.sh runs under valgrind.

# The seed recipe and the sample hive, shared by the tests and the corpus maker.
add_library(vesk_seeds STATIC sample_hive.cpp ${PROJECT_SOURCE_DIR}/fuzz/seeds.cpp)
target_link_libraries(vesk_seeds PUBLIC vesk_test_support)

add_executable(vesk_hardening_tests
  crafted_test.cpp
  cut_files_test.cpp
  leak_test.cpp
  regressions_test.cpp
  seeds_test.cpp)
target_link_libraries(vesk_hardening_tests PRIVATE vesk_seeds GTest::gtest_main)
target_compile_definitions(vesk_hardening_tests PRIVATE
  VESK_FUZZ_DIR="${PROJECT_SOURCE_DIR}/fuzz"
  VESK_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data")
add_dependencies(vesk_hardening_tests vesk_10)
# vesk-dump's walker joins the replay where the tool is part of the tree (tools/ comes
# after tests/, so the target is named before it exists). Its core links no library; it
# gets vesk_10, the very file the tests load, so both share one library state.
if(VESK_BUILD_TOOLS AND NOT WIN32 AND EXISTS ${PROJECT_SOURCE_DIR}/tools/vesk-dump/dump.h)
  target_link_libraries(vesk_hardening_tests PRIVATE vesk_dump_core vesk_10)
  target_compile_definitions(vesk_hardening_tests PRIVATE VESK_HAVE_DUMP)
endif()
# Without glibc's per-thread cache of freed blocks the leak test counts the heap exactly.
gtest_discover_tests(vesk_hardening_tests DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES
  PROPERTIES ENVIRONMENT "GLIBC_TUNABLES=glibc.malloc.tcache_count=0")

# Regenerates fuzz/corpus/: vesk_make_corpus fuzz/corpus
add_executable(vesk_make_corpus ${PROJECT_SOURCE_DIR}/fuzz/make_corpus.cpp)
target_link_libraries(vesk_make_corpus PRIVATE vesk_seeds)

if(WIN32)
  return()  # valgrind, and with it the walk program, is for Linux only
endif()
add_executable(vesk_walk_hives walk_hives.cpp)
target_include_directories(vesk_walk_hives PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(vesk_walk_hives PRIVATE vesk_10 vesk_format vesk_warnings)
