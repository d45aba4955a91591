# The examples the README quotes, built in the tree and run on a real hive, and the
# Python module's tests. The installed tree, the consumer projects and the Debian
# package are checked by scripts/test.d/60-packaging.sh.
set(VESK_EXAMPLE_HIVE ${CMAKE_CURRENT_SOURCE_DIR}/data/hives/dfirmuseum-win7-BCD)

add_executable(vesk_example_c ${PROJECT_SOURCE_DIR}/examples/use.c)
target_compile_options(vesk_example_c PRIVATE -pedantic)
add_executable(vesk_example_cpp ${PROJECT_SOURCE_DIR}/examples/use.cpp)
foreach(example vesk_example_c vesk_example_cpp)
  target_link_libraries(${example} PRIVATE vesk_10 vesk_warnings)
  add_test(NAME ${example} COMMAND ${example} ${VESK_EXAMPLE_HIVE})
  set_tests_properties(${example} PROPERTIES PASS_REGULAR_EXPRESSION "\n66 keys, 46 values\r?\n$")
endforeach()

# This interpreter cannot load a sanitized library, nor one built for another system.
if(VESK_SANITIZE OR CMAKE_CROSSCOMPILING)
  message(STATUS "Sanitizer or cross build: the Python module's tests run in the normal build only")
else()
  # The system's interpreter, which has python3-hivex for the comparison, over one that
  # pyenv or a venv puts first on the PATH; -DPython3_EXECUTABLE=... chooses another.
  if(EXISTS /usr/bin/python3 AND NOT DEFINED Python3_EXECUTABLE)
    set(Python3_EXECUTABLE /usr/bin/python3)
  endif()
  find_package(Python3 COMPONENTS Interpreter)
  if(NOT Python3_Interpreter_FOUND)
    message(STATUS "Python 3 not found: the Python module's tests are not registered")
  else()
    add_test(NAME vesk_python
      COMMAND ${Python3_EXECUTABLE} -m unittest discover -v -s ${PROJECT_SOURCE_DIR}/python)
    set(vesk_python_env
      PYTHONDONTWRITEBYTECODE=1
      VESK_LIBRARY=$<TARGET_FILE:vesk_10>
      VESK_TEST_DATA_DIR=${CMAKE_CURRENT_SOURCE_DIR}/data
      VESK_INCLUDE_DIR=${PROJECT_SOURCE_DIR}/include
      VESK_DUMP=$<$<TARGET_EXISTS:vesk-dump>:$<TARGET_FILE:vesk-dump>>)
    set_tests_properties(vesk_python PROPERTIES ENVIRONMENT "${vesk_python_env}")
  endif()
endif()
