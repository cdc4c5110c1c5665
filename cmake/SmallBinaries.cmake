# Packed applications carry the runtime and its WebKit module, so optimised builds keep them small:
# optimised for size (they wait on GTK, WebKit and the user, not on their own loops), unused
# functions and data left out at link time, and stripped after each link (velloc_split_debug).
if(CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
  set(optimised ON)
else()
  set(optimised OFF)
endif()
option(VELLOC_SMALL "Optimise for size and leave unused code out of the binaries" ${optimised})
option(VELLOC_SPLIT_DEBUG "Strip the runtime and its module, keeping the debug information beside them"
       ${optimised})
# Called in src/ only: tests and benchmarks keep the build type's optimisation.
macro(velloc_small_binaries)
  if(VELLOC_SMALL)
    add_compile_options(-Os -ffunction-sections -fdata-sections)
    add_link_options(-Wl,--gc-sections)
  endif()
endmacro()

# velloc_split_debug(TARGET): after each link, TARGET's file is stripped and its debug information
# moved beside it (FILE.debug, found through the GNU debug link that the stripped file carries, and
# by build ID), so a crash can still be symbolized: gdb and eu-addr2line find FILE.debug beside
# FILE. An unstripped copy goes to unstripped/ for `velloc pack --debug`.
function(velloc_split_debug target)
  if(NOT VELLOC_SPLIT_DEBUG)
    return()
  endif()
  if(NOT CMAKE_OBJCOPY)
    message(FATAL_ERROR "VELLOC_SPLIT_DEBUG needs objcopy (binutils)")
  endif()
  set(file $<TARGET_FILE:${target}>)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory $<TARGET_FILE_DIR:${target}>/unstripped
    COMMAND ${CMAKE_COMMAND} -E copy ${file} $<TARGET_FILE_DIR:${target}>/unstripped/
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug ${file} ${file}.debug
    COMMAND ${CMAKE_OBJCOPY} --strip-all --add-gnu-debuglink=${file}.debug ${file}
    COMMENT "Stripping ${target}; debug information in $<TARGET_FILE_NAME:${target}>.debug"
    VERBATIM)
endfunction()
