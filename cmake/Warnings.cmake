# Warnings for our own targets only; third-party headers come in as SYSTEM includes.
add_library(velloc_warnings INTERFACE)
target_compile_options(velloc_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion -Wnon-virtual-dtor
  -Wold-style-cast -Woverloaded-virtual -Wimplicit-fallthrough -Wformat=2)
if(VELLOC_WERROR)
  target_compile_options(velloc_warnings INTERFACE -Werror)
endif()
