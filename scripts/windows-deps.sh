#!/usr/bin/env bash
# Prepares the libraries of the Windows target in build/windows-deps/{include,lib}: GoogleTest
# from the googletest package's sources, libdeflate and SQLite from Debian's source packages
# (fetched with a private apt configuration, never the machine's), RapidJSON's installed headers.
# Idempotent: each part is rebuilt only when its stamp (the source version) is missing.
# Usage: scripts/windows-deps.sh [deps-folder]
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
deps="${1:-$root/build/windows-deps}"
mkdir -p "$deps"
deps="$(cd "$deps" && pwd)"
prefix=x86_64-w64-mingw32
cc=$prefix-gcc-posix
ar=$prefix-gcc-ar-posix
jobs="${VELLOC_JOBS:-2}"
work="$deps/work"
mkdir -p "$deps/include" "$deps/lib" "$work"

# The versions installed on the build machine, so Windows and Linux builds use the same sources.
# shellcheck source=debian-source.sh
source "$root/scripts/debian-source.sh"
deflate_version="$(installed_version libdeflate-dev)"
sqlite_version="$(installed_version libsqlite3-dev)"
gtest_version="$(installed_version googletest)"

stamp_ok() { [ -f "$deps/stamps/$1" ] && [ "$(cat "$deps/stamps/$1")" = "$2" ]; }
stamp_set() { mkdir -p "$deps/stamps" && echo "$2" >"$deps/stamps/$1"; }

build_googletest() {
  stamp_ok googletest "$gtest_version" && return 0
  echo "windows-deps: GoogleTest $gtest_version"
  rm -rf "$work/googletest"
  cmake -S /usr/src/googletest -B "$work/googletest" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$deps" \
    -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON -Dgtest_force_shared_crt=ON >/dev/null
  cmake --build "$work/googletest" -j "$jobs" >/dev/null
  cmake --install "$work/googletest" >/dev/null
  stamp_set googletest "$gtest_version"
}

build_libdeflate() {
  stamp_ok libdeflate "$deflate_version" && return 0
  echo "windows-deps: libdeflate $deflate_version"
  debian_source libdeflate "$deflate_version"
  local src="$work/libdeflate" obj="$work/libdeflate-obj"
  rm -rf "$obj" && mkdir -p "$obj"
  local f
  for f in "$src"/lib/*.c "$src"/lib/x86/*.c; do
    $cc -O2 -fomit-frame-pointer -std=c99 -I"$src" -c "$f" -o "$obj/$(basename "$f" .c).o" &
  done
  wait
  rm -f "$deps/lib/libdeflate.a"
  $ar rcs "$deps/lib/libdeflate.a" "$obj"/*.o
  cp "$src/libdeflate.h" "$deps/include/"
  stamp_set libdeflate "$deflate_version"
}

build_sqlite() {
  stamp_ok sqlite "$sqlite_version" && return 0
  echo "windows-deps: SQLite $sqlite_version"
  command -v tclsh >/dev/null || { echo "windows-deps: tclsh is missing (package tcl)" >&2; exit 1; }
  debian_source sqlite3 "$sqlite_version"
  local src="$work/sqlite3" gen="$work/sqlite3-gen"
  rm -rf "$gen" && mkdir -p "$gen"
  # The amalgamation is generated on the build machine, then compiled for Windows.
  (cd "$gen" && "$src/configure" --disable-tcl >/dev/null && make -j "$jobs" sqlite3.c >/dev/null)
  $cc -O2 -DSQLITE_THREADSAFE=1 -DSQLITE_DEFAULT_FOREIGN_KEYS=0 -DSQLITE_OMIT_LOAD_EXTENSION \
    -c "$gen/sqlite3.c" -o "$gen/sqlite3.o"
  rm -f "$deps/lib/libsqlite3.a"
  $ar rcs "$deps/lib/libsqlite3.a" "$gen/sqlite3.o"
  cp "$gen/sqlite3.h" "$gen/sqlite3ext.h" "$deps/include/" 2>/dev/null || cp "$gen/sqlite3.h" "$deps/include/"
  stamp_set sqlite "$sqlite_version"
}

copy_rapidjson() {
  local version
  version="$(installed_version rapidjson-dev)"
  stamp_ok rapidjson "$version" && return 0
  rm -rf "$deps/include/rapidjson"
  cp -r /usr/include/rapidjson "$deps/include/"
  stamp_set rapidjson "$version"
}

build_googletest
build_libdeflate
build_sqlite
copy_rapidjson
