#!/usr/bin/env bash
# Starts or stops the one persistent wineserver that a Windows test run shares.
# Usage: scripts/wine-server.sh start|stop WINESERVER WINE64   (WINEPREFIX set by the caller)
set -euo pipefail
action="$1" server="$2" wine="$3"
: "${WINEPREFIX:?WINEPREFIX must be set}"
export WINEDEBUG="${WINEDEBUG:--all}"
case "$action" in
  start)
    mkdir -p "$WINEPREFIX"
    "$server" -p </dev/null >/dev/null 2>&1
    # The first program creates the prefix; redirected so that no test inherits its pipes.
    "$wine" cmd /c exit </dev/null >/dev/null 2>&1
    ;;
  stop)
    "$server" -k </dev/null >/dev/null 2>&1 || true
    ;;
  *)
    echo "usage: $0 start|stop WINESERVER WINE64" >&2
    exit 2
    ;;
esac
