# libsodium (Ed25519 signatures and SHA-256 of signed updates), compiled here from Debian's source
# package at the version of the installed libsodium-dev, for Linux and Windows alike
# (scripts/debian-source.sh). Debian's own static archive is not built with a section per
# function, so the linker cannot leave out what the runtime never calls: it added about 200 KB to
# every packed application, where these objects add about 20 KB; and its shared library is not
# part of the GTK and WebKitGTK stack, so a packed executable linked against it would not start
# on a desktop without it.
set(VELLOC_DEBIAN_SOURCES ${PROJECT_SOURCE_DIR}/build/debian-sources CACHE PATH
  "Folder of the Debian source packages the build compiles itself (scripts/debian-source.sh)")
execute_process(
  COMMAND ${PROJECT_SOURCE_DIR}/scripts/debian-source.sh libsodium libsodium-dev
          ${VELLOC_DEBIAN_SOURCES}
  RESULT_VARIABLE velloc_sodium_result)
if(NOT velloc_sodium_result EQUAL 0)
  message(FATAL_ERROR "scripts/debian-source.sh libsodium failed (${velloc_sodium_result})")
endif()
set(velloc_sodium_root ${VELLOC_DEBIAN_SOURCES}/libsodium/src/libsodium)
file(GLOB_RECURSE velloc_sodium_sources CONFIGURE_DEPENDS ${velloc_sodium_root}/*.c)
add_library(velloc_sodium STATIC ${velloc_sodium_sources})
# Built without its configure script: the portable implementations, which every build of
# libsodium carries and tests; the version header is the one kept for builds without configure.
target_compile_definitions(velloc_sodium PRIVATE CONFIGURED=1 NATIVE_LITTLE_ENDIAN
                           $<$<EQUAL:${CMAKE_SIZEOF_VOID_P},8>:HAVE_TI_MODE>
                           PUBLIC SODIUM_STATIC)
target_include_directories(velloc_sodium
  PRIVATE ${velloc_sodium_root}/include/sodium ${VELLOC_DEBIAN_SOURCES}/libsodium/builds/msvc
  SYSTEM PUBLIC ${velloc_sodium_root}/include)
# Its own code, not ours: no warnings of ours and no sanitizers; a section per function and datum
# in every build type, so that optimised links keep only what is called.
target_compile_options(velloc_sodium PRIVATE -w -fno-sanitize=all -ffunction-sections
                       -fdata-sections $<$<BOOL:${VELLOC_SMALL}>:-Os>)
if(WIN32)
  target_link_libraries(velloc_sodium PUBLIC advapi32)  # RtlGenRandom of its random bytes
endif()
