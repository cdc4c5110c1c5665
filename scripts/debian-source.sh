#!/usr/bin/env bash
# Debian's source package of a library, unpacked with Debian's patches, at the version of the
# library's -dev package installed on this machine: what the build compiles itself, for the
# Windows target and wherever Debian's binaries do not fit. Fetched with a private apt
# configuration, never the machine's. Sourced for its functions (scripts/windows-deps.sh), or run:
#   scripts/debian-source.sh SOURCE DEV-PACKAGE FOLDER
# unpacks SOURCE into FOLDER/SOURCE, once per version (FOLDER/SOURCE.version holds it).
set -euo pipefail

# The version of an installed package.
installed_version() { dpkg-query -W -f='${Version}' "$1"; }

# apt-get with its own sources list, lists and cache below $work, and no lock on the machine's
# state.
apt_private() {
  local a="$work/apt"
  mkdir -p "$a/lists/partial" "$a/cache/archives/partial"
  if [ ! -f "$a/sources.list" ]; then
    local keyring=/usr/share/keyrings/debian-archive-keyring.gpg
    cat >"$a/sources.list" <<EOF
deb-src [signed-by=$keyring] http://deb.debian.org/debian bookworm main
deb-src [signed-by=$keyring] http://deb.debian.org/debian bookworm-updates main
deb-src [signed-by=$keyring] http://deb.debian.org/debian-security bookworm-security main
EOF
  fi
  apt-get -q \
    -o Dir::Etc::SourceList="$a/sources.list" -o Dir::Etc::SourceParts=/dev/null \
    -o Dir::State::Lists="$a/lists" -o Dir::Cache="$a/cache" \
    -o Debug::NoLocking=1 -o APT::Sandbox::User="$(id -un)" "$@"
}

# Unpacks Debian's source package NAME=VERSION (with Debian's patches) into $work/NAME.
debian_source() {
  local name="$1" version="$2" dir="$work/src-$1"
  rm -rf "$dir" "$work/$name"
  mkdir -p "$dir"
  if [ ! -f "$work/apt/updated" ]; then
    apt_private update >/dev/null
    touch "$work/apt/updated"
  fi
  (cd "$dir" && apt_private source --download-only "$name=$version" >/dev/null)
  dpkg-source --no-check -x "$dir"/"${name}"_*.dsc "$work/$name" >/dev/null
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  [ $# -eq 3 ] || { echo "usage: $0 SOURCE DEV-PACKAGE FOLDER" >&2; exit 2; }
  name="$1"
  version="$(installed_version "$2")"
  mkdir -p "$3"
  work="$(cd "$3" && pwd)"
  if [ -f "$work/$name.version" ] && [ "$(cat "$work/$name.version")" = "$version" ] &&
    [ -d "$work/$name" ]; then
    exit 0
  fi
  echo "debian-source: $name $version"
  debian_source "$name" "$version"
  rm -rf "$work/src-$name"
  echo "$version" >"$work/$name.version"
fi
