# Cross-builds the 64-bit Windows target with Debian's MinGW-w64. The -posix compilers are named
# explicitly: the -win32 thread model lacks std::mutex and std::thread with GCC 12.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VELLOC_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VELLOC_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELLOC_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VELLOC_MINGW_PREFIX}-windres)
set(CMAKE_AR ${VELLOC_MINGW_PREFIX}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${VELLOC_MINGW_PREFIX}-gcc-ranlib-posix CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${VELLOC_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime libraries: the executables need only KERNEL32, msvcrt and the system DLLs.
# Stripped (-s): a package is attached right after the last section's raw data, and the COFF
# symbol table that the linker otherwise writes behind the sections would be taken for the start
# of an attached package.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -s")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests run under Wine through CTest.
find_program(VELLOC_WINE64 wine64 PATHS /usr/lib/wine /usr/bin NO_CMAKE_FIND_ROOT_PATH)
if(VELLOC_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VELLOC_WINE64})
endif()
