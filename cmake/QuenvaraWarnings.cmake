# Warnings every target of ours gets; CI turns them into errors.
add_library(quenvara_warnings INTERFACE)
target_compile_options(quenvara_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align
  -Woverloaded-virtual -Wimplicit-fallthrough
  $<$<BOOL:${QUENVARA_WERROR}>:-Werror>)
