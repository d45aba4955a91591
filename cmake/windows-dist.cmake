# The Windows distribution, built from the checkout by one command:
#   cmake -P cmake/windows-dist.cmake            (output in build/windows-dist/)
#   cmake -DOUTPUT=<folder> -P cmake/windows-dist.cmake
# For each of 32-bit (i686, "win32") and 64-bit (x86_64, "win64") Windows, a folder and
# a zip of it: vesk_10.dll, vesk_10.lib for Microsoft's linker, libvesk_10.dll.a for
# MinGW, vesk_10.def, vesk_10.h, README.txt, and the declarations for C# and Pascal
# hosts. Needs MinGW-w64, llvm-dlltool and python3; each DLL and import library passes
# scripts/check-dll-exports before it is packed.
cmake_minimum_required(VERSION 3.20)
get_filename_component(root ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
if(NOT OUTPUT)
  set(OUTPUT ${root}/build/windows-dist)
endif()
include(${CMAKE_CURRENT_LIST_DIR}/msvc_import_lib.cmake)
set(def ${root}/exports/vesk_10.def)

file(STRINGS ${root}/CMakeLists.txt project_line REGEX "^project\\(vesk VERSION ")
string(REGEX MATCH "VERSION ([0-9.]+)" found "${project_line}")
set(VESK_VERSION ${CMAKE_MATCH_1})
if(NOT VESK_VERSION)
  message(FATAL_ERROR "no version in ${root}/CMakeLists.txt")
endif()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "failed (${status}): ${command}")
  endif()
endfunction()

foreach(machine i686 x86_64)
  if(machine STREQUAL "i686")
    set(VESK_PLATFORM win32)
    set(VESK_BITS 32)
    set(VESK_CONVENTION "__stdcall: the function removes its arguments (VESK_CALL in vesk_10.h).")
    set(VESK_OLDEST "Windows NT 4.0 and later: the DLL's header asks for subsystem 4.0, and it
  imports only KERNEL32.dll and msvcrt.dll functions that NT 4.0 has.")
  else()
    set(VESK_PLATFORM win64)
    set(VESK_BITS 64)
    set(VESK_CONVENTION "The one convention of 64-bit Windows (VESK_CALL in vesk_10.h is empty).")
    set(VESK_OLDEST "Every 64-bit Windows, Windows XP x64 and Server 2003 on: the DLL's header
  asks for subsystem 5.2, and it imports only KERNEL32.dll and msvcrt.dll functions.")
  endif()
  set(VESK_WINDOWS "${VESK_BITS}-bit Windows")
  set(triple ${machine}-w64-mingw32)
  set(build ${OUTPUT}/build-${VESK_PLATFORM})
  set(name vesk_10-${VESK_VERSION}-${VESK_PLATFORM})
  set(stage ${OUTPUT}/${name})
  message(STATUS "${name}: building vesk_10.dll in ${build}")
  run(${CMAKE_COMMAND} -S ${root} -B ${build} -DCMAKE_BUILD_TYPE=Release
      -DCMAKE_TOOLCHAIN_FILE=${root}/cmake/toolchain-${triple}.cmake
      -DVESK_BUILD_TESTS=OFF -DVESK_BUILD_TOOLS=OFF -DVESK_BUILD_BENCH=OFF)
  run(${CMAKE_COMMAND} --build ${build} --target vesk_10 -j 2)

  file(REMOVE_RECURSE ${stage} ${OUTPUT}/${name}.zip)
  file(MAKE_DIRECTORY ${stage})
  run(${triple}-strip -o ${stage}/vesk_10.dll ${build}/vesk_10.dll)
  file(COPY ${build}/libvesk_10.dll.a ${root}/include/vesk_10.h
            ${root}/examples/hosts/csharp/Vesk.cs ${root}/examples/hosts/pascal/vesk10.pas
       DESTINATION ${stage})
  # 64-bit: the command writes the undecorated definition beside the library itself.
  vesk_msvc_import_lib_command(make_lib ${machine} ${def} ${stage}/vesk_10.lib)
  if(machine STREQUAL "i686")
    file(COPY ${def} DESTINATION ${stage})
  endif()
  run(${make_lib})
  configure_file(${CMAKE_CURRENT_LIST_DIR}/windows-dist-README.txt.in ${stage}/README.txt
                 @ONLY NEWLINE_STYLE CRLF)

  set(log ${OUTPUT}/${name}-check.txt)
  execute_process(COMMAND ${root}/scripts/check-dll-exports --import-lib
                          ${stage}/libvesk_10.dll.a --msvc-lib ${stage}/vesk_10.lib
                          ${stage}/vesk_10.dll
                  OUTPUT_FILE ${log} ERROR_FILE ${log} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    file(READ ${log} text)
    message(FATAL_ERROR "${name} fails scripts/check-dll-exports:\n${text}")
  endif()
  run(${CMAKE_COMMAND} -E chdir ${OUTPUT} ${CMAKE_COMMAND} -E tar cf ${name}.zip --format=zip
      ${name})
  file(GLOB files RELATIVE ${stage} ${stage}/*)
  list(JOIN files " " files)
  message(STATUS "${OUTPUT}/${name}.zip: ${files} (checked: ${log})")
endforeach()
