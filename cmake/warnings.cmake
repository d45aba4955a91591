# The compiler's checks for every target of the build: vesk_warnings, which each target
# links, makes every warning an error; VESK_SANITIZE builds everything, the library and
# its tests alike, with the sanitizers it names. Included by the top-level CMakeLists.txt.
add_library(vesk_warnings INTERFACE)
target_compile_options(vesk_warnings INTERFACE -Wall -Wextra -Werror)

if(VESK_SANITIZE)
  add_compile_options(-fsanitize=${VESK_SANITIZE} -fno-omit-frame-pointer
                      -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${VESK_SANITIZE})
endif()
