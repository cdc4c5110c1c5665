#!/usr/bin/env bash
# Installs every Debian package that building, testing and running the demo need.
# Idempotent: installs only what is missing. Run as root, or as a user with sudo.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config clang clang-format git
  # libraries
  libgtk-3-dev libwebkit2gtk-4.1-dev libgstreamer1.0-dev libdeflate-dev rapidjson-dev libsqlite3-dev
  # libsodium-dev pins the version of the libsodium the build compiles from Debian's source
  libsodium-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  # the XML parser with which the tests read the packer's AppStream and MIME files
  libxml2-dev
  # the real components the tests drive
  zip unzip media-types xvfb xauth openbox xdotool wmctrl x11-utils imagemagick gstreamer1.0-tools
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  dbus dbus-x11 python3 python3-dbusmock hyperfine nodejs
  # desktop integration: desktop entries, file types, links of the application's scheme;
  # xdg-mime asks `mimetype` (libfile-mimeinfo-perl) for a file's type outside a desktop session
  desktop-file-utils xdg-utils shared-mime-info libfile-mimeinfo-perl
  # pgrep/pkill, which the end-to-end tests use to find and end the runtime's processes
  procps
  # the README's recovery of a damaged registry store, which a test runs as written
  sqlite3
  # the type check of window.vlx's typings
  node-typescript
  # the test StatusNotifierWatcher (system Python), SVG application icons
  python3-dbus python3-gi librsvg2-common
  # the Windows target: MinGW-w64 cross compilers, widl, Wine to run the tests, GoogleTest's
  # sources, and what scripts/windows-deps.sh needs to build libdeflate and SQLite from source
  g++-mingw-w64-x86-64-posix mingw-w64-tools wine64 libwine-dev googletest dpkg-dev tcl
  debian-archive-keyring
  # Authenticode signing of packed Windows executables (the test makes its own certificate)
  osslsigncode openssl
  # the installers of velloc pack --rpm and --msi: rpmbuild (and rpm for the tests), wixl and
  # msitools' msibuild
  rpm wixl msitools
)
# widl and the base IDL files it imports, for our WebView2 interface declarations
packages+=(mingw-w64-tools libwine-dev)
# npm, for the Vite templates' test, where the installed Node.js does not bring its own
command -v npm >/dev/null || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
as_root=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install-deps: need root or sudo to install ${missing[*]}" >&2; exit 1; }
  as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
