# Every dependency comes from Debian's packages; scripts/install-deps.sh installs them.
if(WIN32)
  # The Windows target's libraries are built from Debian's sources by scripts/windows-deps.sh
  # (cached: a second run only checks its stamps) and found in its folder under the same
  # target names as on Linux, so the rest of the build does not care.
  set(VELLOC_WINDOWS_DEPS ${PROJECT_SOURCE_DIR}/build/windows-deps CACHE PATH
    "Folder of the Windows target's libraries (scripts/windows-deps.sh)")
  execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/windows-deps.sh ${VELLOC_WINDOWS_DEPS}
    RESULT_VARIABLE velloc_deps_result)
  if(NOT velloc_deps_result EQUAL 0)
    message(FATAL_ERROR "scripts/windows-deps.sh failed (${velloc_deps_result})")
  endif()
  list(APPEND CMAKE_FIND_ROOT_PATH ${VELLOC_WINDOWS_DEPS})
  set(velloc_deps_include ${VELLOC_WINDOWS_DEPS}/include)
  add_library(PkgConfig::LIBDEFLATE STATIC IMPORTED)
  set_target_properties(PkgConfig::LIBDEFLATE PROPERTIES
    IMPORTED_LOCATION ${VELLOC_WINDOWS_DEPS}/lib/libdeflate.a
    INTERFACE_INCLUDE_DIRECTORIES ${velloc_deps_include})
  add_library(SQLite::SQLite3 STATIC IMPORTED)
  set_target_properties(SQLite::SQLite3 PROPERTIES
    IMPORTED_LOCATION ${VELLOC_WINDOWS_DEPS}/lib/libsqlite3.a
    INTERFACE_INCLUDE_DIRECTORIES ${velloc_deps_include})
  add_library(velloc_rapidjson INTERFACE)
  target_include_directories(velloc_rapidjson SYSTEM INTERFACE ${velloc_deps_include})
  set(GTest_DIR ${VELLOC_WINDOWS_DEPS}/lib/cmake/GTest)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(LIBDEFLATE REQUIRED IMPORTED_TARGET libdeflate)
  find_package(RapidJSON REQUIRED)
  if(NOT TARGET velloc_rapidjson)
    add_library(velloc_rapidjson INTERFACE)
    target_include_directories(velloc_rapidjson SYSTEM INTERFACE ${RAPIDJSON_INCLUDE_DIRS})
  endif()
  find_package(SQLite3 REQUIRED)
endif()
find_package(Threads REQUIRED)

if(VELLOC_GUI)
  pkg_check_modules(GTK3 REQUIRED IMPORTED_TARGET gtk+-3.0)
  pkg_check_modules(GIO REQUIRED IMPORTED_TARGET gio-2.0 gio-unix-2.0)
  pkg_check_modules(WEBKITGTK REQUIRED IMPORTED_TARGET webkit2gtk-4.1 webkit2gtk-web-extension-4.1)
  pkg_check_modules(GSTREAMER REQUIRED IMPORTED_TARGET gstreamer-1.0 gstreamer-base-1.0)
endif()

if(VELLOC_TESTS)
  find_package(GTest REQUIRED)
endif()
if(VELLOC_BENCH)
  find_package(benchmark REQUIRED)
endif()
