# Import libraries for Microsoft's linker, written by llvm-dlltool from exports/vesk_10.def.
# On 32-bit Windows the symbols keep the stdcall "@N" that the header's declarations
# compile to, and -k makes the undecorated name the one a host imports from the DLL.
# 64-bit Windows has one calling convention and undecorated symbols, so there the "@N" is
# dropped, from a copy of the definition. Usable from a project and from a script.
find_program(VESK_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 PATHS /usr/lib/llvm-14/bin)

# Writes `def` without the "@N" of its rows to `out`, for 64-bit Windows.
function(vesk_write_undecorated_def def out)
  file(READ ${def} text)
  # The comment above LIBRARY speaks of the "@N"; the copy says what it is instead.
  string(REGEX REPLACE "^;[^\n]*\n(;[^\n]*\n)*" "" text "${text}")
  string(REGEX REPLACE "([\n][ \t]+[A-Za-z]+)@[0-9]+" "\\1" text "${text}")
  get_filename_component(name ${def} NAME)
  file(WRITE ${out} "; The exports of 64-bit vesk_10.dll: names and ordinals, alphabetical from 1.
; ${name} without the 32-bit \"@N\": 64-bit Windows has one calling convention.
${text}")
endfunction()

# Sets `out_var` to the command that writes the import library `lib` for `machine` (i686
# or x86_64) from `def`. For x86_64 the undecorated copy is written now, beside `lib`
# and named as `def` is.
function(vesk_msvc_import_lib_command out_var machine def lib)
  if(NOT VESK_LLVM_DLLTOOL)
    message(FATAL_ERROR "llvm-dlltool not found (Debian's llvm-14 provides it)")
  endif()
  if(machine STREQUAL "i686")
    set(command ${VESK_LLVM_DLLTOOL} -m i386 -k -d ${def} -l ${lib})
  elseif(machine STREQUAL "x86_64")
    get_filename_component(folder ${lib} DIRECTORY)
    get_filename_component(name ${def} NAME)
    if(folder STREQUAL "" OR ${folder}/${name} STREQUAL ${def})
      message(FATAL_ERROR "${lib}: the undecorated copy would replace ${def}")
    endif()
    vesk_write_undecorated_def(${def} ${folder}/${name})
    set(command ${VESK_LLVM_DLLTOOL} -m i386:x86-64 -d ${folder}/${name} -l ${lib})
  else()
    message(FATAL_ERROR "no import library for the machine ${machine}")
  endif()
  set(${out_var} ${command} PARENT_SCOPE)
endfunction()
