# How vesk_10 is linked on each platform. exports/vesk_10.def is the one table of the
# exports' names, ordinals and argument bytes: the Windows linker and dlltool read it,
# and the Linux version script is written from it here. On Windows the DLL links none of
# the compiler's runtime. Included once the vesk_10 target exists.
set(VESK_EXPORTS_DEF ${PROJECT_SOURCE_DIR}/exports/vesk_10.def)

if(WIN32)
  # No start files, no C++ or thread runtime, no C runtime start-up: DllMain is the entry
  # itself, so attach creates only the library's heap and result area, which detach
  # releases, and a host may load and unload the DLL any number of times. What is left
  # to link is KERNEL32.dll, msvcrt.dll for memcpy, memset, memchr and strlen, and
  # libgcc's helpers for 64-bit arithmetic and stack probes. Nothing throws, and without
  # exceptions no object needs the unwinder; code that did would fail to link here.
  foreach(library_code vesk_format vesk_core vesk_platform vesk_10)
    target_compile_options(${library_code} PRIVATE -fno-exceptions -fno-rtti)
  endforeach()
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(entry _DllMain@12)
  else()
    set(entry DllMain)
  endif()
  # --kill-at exports the .def's names without their "@N".
  target_sources(vesk_10 PRIVATE ${VESK_EXPORTS_DEF})
  set_target_properties(vesk_10 PROPERTIES PREFIX "" LINK_DEPENDS ${VESK_EXPORTS_DEF})
  target_link_options(vesk_10 PRIVATE -nostdlib -Wl,--entry=${entry}
                      -Wl,--enable-stdcall-fixup -Wl,--kill-at)
  target_link_libraries(vesk_10 PRIVATE kernel32 msvcrt gcc)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # The linker's import library loses the "@N" too, so hosts that call through the
    # header's __stdcall declarations could not link; dlltool keeps it on the symbols.
    add_custom_command(TARGET vesk_10 POST_BUILD
      COMMAND ${CMAKE_DLLTOOL} --def ${VESK_EXPORTS_DEF}
              --dllname $<TARGET_FILE_NAME:vesk_10> --kill-at
              --output-lib $<TARGET_LINKER_FILE_NAME:vesk_10>
      WORKING_DIRECTORY $<TARGET_LINKER_FILE_DIR:vesk_10>
      VERBATIM)
  endif()
else()
  # The version script: the .def's names global, their "@N" and ordinals dropped, and
  # every other symbol local. Written again whenever the .def changes.
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY
               CMAKE_CONFIGURE_DEPENDS ${VESK_EXPORTS_DEF})
  file(STRINGS ${VESK_EXPORTS_DEF} rows REGEX "^[ \t]+[A-Za-z]+@[0-9]+[ \t]+@[0-9]+")
  if(NOT rows)
    message(FATAL_ERROR "${VESK_EXPORTS_DEF} lists no export as \"Name@bytes @ordinal\"")
  endif()
  set(VESK_GLOBAL_NAMES "")
  foreach(row IN LISTS rows)
    string(REGEX MATCH "[A-Za-z]+" name "${row}")
    string(APPEND VESK_GLOBAL_NAMES "    ${name};\n")
  endforeach()
  set(version_script ${PROJECT_BINARY_DIR}/exports/vesk_10.map)
  file(CONFIGURE OUTPUT ${version_script} @ONLY
       CONTENT "{\n  global:\n@VESK_GLOBAL_NAMES@  local:\n    *;\n};\n")
  target_link_options(vesk_10 PRIVATE -Wl,--version-script=${version_script}
                      -Wl,--no-undefined)
  set_target_properties(vesk_10 PROPERTIES LINK_DEPENDS ${version_script})
endif()
