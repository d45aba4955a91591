# vesk-dump and the realistic hive generator: golden outputs, refusals, the guards
# against crafted hives, the program's command line, and libhivex as an oracle.
if(NOT VESK_BUILD_TOOLS OR WIN32)
  return()
endif()

set(VESK_DUMP_TEST_DIR ${PROJECT_SOURCE_DIR}/tools/vesk-dump/tests)
add_executable(vesk_dump_tests
  ${VESK_DUMP_TEST_DIR}/code_set_test.cpp
  ${VESK_DUMP_TEST_DIR}/dump_run.cpp
  ${VESK_DUMP_TEST_DIR}/dump_test.cpp
  ${VESK_DUMP_TEST_DIR}/json_reader.cpp
  ${VESK_DUMP_TEST_DIR}/json_writer_test.cpp
  ${VESK_DUMP_TEST_DIR}/main_test.cpp
  ${VESK_DUMP_TEST_DIR}/progress_test.cpp
  ${VESK_DUMP_TEST_DIR}/refusal_test.cpp
  ${VESK_DUMP_TEST_DIR}/reg_writer_test.cpp
  ${VESK_DUMP_TEST_DIR}/sample_test.cpp
  ${VESK_DUMP_TEST_DIR}/tree_writer_test.cpp
  ${VESK_DUMP_TEST_DIR}/value_text_test.cpp
  ${VESK_DUMP_TEST_DIR}/walk_test.cpp)
target_include_directories(vesk_dump_tests PRIVATE ${VESK_DUMP_TEST_DIR})
target_compile_definitions(vesk_dump_tests PRIVATE
  VESK_DUMP_PATH="$<TARGET_FILE:vesk-dump>"
  VESK_HIVE_GEN_PATH="$<TARGET_FILE:hive-gen>"
  VESK_VERSION_TEXT="${PROJECT_VERSION}"
  VESK_EXAMPLES_DIR="${PROJECT_SOURCE_DIR}/examples"
  VESK_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data")
target_link_libraries(vesk_dump_tests PRIVATE
  vesk_dump_core vesk_10 vesk_testkit GTest::gtest_main)
add_dependencies(vesk_dump_tests vesk-dump hive-gen)

# libhivex reads the same hives independently (Debian libhivex-dev).
find_package(PkgConfig)
if(PkgConfig_FOUND)
  pkg_check_modules(HIVEX IMPORTED_TARGET hivex)
endif()
if(HIVEX_FOUND)
  target_sources(vesk_dump_tests PRIVATE ${VESK_DUMP_TEST_DIR}/hivex_oracle_test.cpp)
  target_link_libraries(vesk_dump_tests PRIVATE PkgConfig::HIVEX)
else()
  message(WARNING "libhivex not found: the vesk-dump oracle test is left out")
endif()
gtest_discover_tests(vesk_dump_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
