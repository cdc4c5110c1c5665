#!/bin/sh
# Installs the WebKitGTK runtime that Velloc applications need, with the system's package
# manager. The runtime runs it elevated (pkexec, or directly as root) when WebKitGTK is missing.
set -e
if command -v apt-get >/dev/null 2>&1; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y libwebkit2gtk-4.1-0
elif command -v dnf >/dev/null 2>&1; then
  dnf install -y webkit2gtk4.1
elif command -v zypper >/dev/null 2>&1; then
  zypper --non-interactive install libwebkit2gtk-4_1-0
elif command -v pacman >/dev/null 2>&1; then
  pacman -S --noconfirm webkit2gtk-4.1
else
  echo "No supported package manager found; install WebKitGTK 4.1 by hand." >&2
  exit 1
fi
