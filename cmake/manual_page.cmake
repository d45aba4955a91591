# Writes the vesk-dump manual page from vesk-dump.1.in, the tool's --version line and
# its --help text, quoted so that roff prints that text as it stands.
# Usage: cmake -DTOOL=<vesk-dump> -DTEMPLATE=<vesk-dump.1.in> -DOUTPUT=<file> -P manual_page.cmake

# In a sanitizer build a leak report at exit must not stop the build over documentation.
set(ENV{ASAN_OPTIONS} "detect_leaks=0")

function(tool_output option var)
  execute_process(COMMAND "${TOOL}" ${option} RESULT_VARIABLE rc
                  OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(out STREQUAL "")
    set(out "${err}")
  endif()
  string(STRIP "${out}" out)
  if(out STREQUAL "")
    message(FATAL_ERROR "${TOOL} ${option} printed nothing (exit status ${rc})")
  endif()
  # roff: a backslash is written \e, and a line may not start with a control character.
  string(REPLACE "\\" "\\e" out "${out}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" out "${out}")
  set(${var} "${out}" PARENT_SCOPE)
endfunction()

tool_output(--version VESK_DUMP_VERSION)
string(REGEX REPLACE "\n.*" "" VESK_DUMP_VERSION "${VESK_DUMP_VERSION}")
string(REPLACE "\"" "" VESK_DUMP_VERSION "${VESK_DUMP_VERSION}")
tool_output(--help VESK_DUMP_HELP)

file(READ "${TEMPLATE}" page)
string(CONFIGURE "${page}" page @ONLY)
file(WRITE "${OUTPUT}" "${page}")
