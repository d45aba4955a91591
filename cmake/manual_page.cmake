# Writes the vesk-dump manual page from its roff source, vesk-dump.1.in, with the version
# line the tool itself prints.
# Usage: cmake -DTOOL=<vesk-dump> -DTEMPLATE=<vesk-dump.1.in> -DOUTPUT=<file> -P manual_page.cmake

# In a sanitizer build a leak report at exit must not stop the build over documentation.
set(ENV{ASAN_OPTIONS} "detect_leaks=0")

execute_process(COMMAND "${TOOL}" --version RESULT_VARIABLE rc
                OUTPUT_VARIABLE VESK_DUMP_VERSION ERROR_QUIET)
string(REGEX REPLACE "\n.*" "" VESK_DUMP_VERSION "${VESK_DUMP_VERSION}")
string(STRIP "${VESK_DUMP_VERSION}" VESK_DUMP_VERSION)
if(NOT rc EQUAL 0 OR VESK_DUMP_VERSION STREQUAL "")
  message(FATAL_ERROR "${TOOL} --version printed no version (exit status ${rc})")
endif()
# A roff argument in double quotes may not hold one.
string(REPLACE "\"" "" VESK_DUMP_VERSION "${VESK_DUMP_VERSION}")

file(READ "${TEMPLATE}" page)
string(CONFIGURE "${page}" page @ONLY)
file(WRITE "${OUTPUT}" "${page}")
