#!/usr/bin/env bash
# Runs a command with a private Xvfb display: starts Xvfb on a free display, sets DISPLAY, runs
# the command and ends Xvfb with it. The Win32 window tests run their Wine processes this way.
#   tests/windows/xvfb-wine.sh COMMAND [ARGS...]
# When COMMAND is wine64, each Windows program among the arguments gets a virtual desktop of its
# own (the per-program Wine setting, in WINEPREFIX): Wine then manages its windows itself, so
# maximize, minimize and sizes behave as on Windows and answer at once instead of waiting for a
# window manager. A wineserver already running for WINEPREFIX is reused.
set -euo pipefail
[[ $# -gt 0 ]] || { echo "usage: $0 COMMAND [ARGS...]" >&2; exit 2; }

display_file=$(mktemp)
xvfb_pid=
cleanup() {
  [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -f "$display_file"
}
trap cleanup EXIT

# Xvfb writes the display number it chose to the descriptor once it accepts connections.
exec 3>"$display_file"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do
  [[ -s "$display_file" ]] && break
  kill -0 "$xvfb_pid" 2>/dev/null || { echo "Xvfb did not start" >&2; exit 1; }
  sleep 0.1
done
[[ -s "$display_file" ]] || { echo "Xvfb did not report its display" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$display_file")"
export WINEDEBUG="${WINEDEBUG:--all}"

if [[ "$(basename "$1")" == wine64* || "$(basename "$1")" == wine ]]; then
  for arg in "${@:2}"; do
    [[ "$arg" == *.exe ]] || continue
    program=$(basename "$arg")
    "$1" reg add "HKCU\\Software\\Wine\\AppDefaults\\$program\\Explorer" /v Desktop \
      /d velloc-tests /f </dev/null >/dev/null 2>&1
  done
  "$1" reg add "HKCU\\Software\\Wine\\Explorer\\Desktops" /v velloc-tests /d 1280x1024 /f \
    </dev/null >/dev/null 2>&1
fi

status=0
"$@" || status=$?
exit "$status"
