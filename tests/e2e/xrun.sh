#!/usr/bin/env bash
# Runs a command under a fresh X session of its own: Xvfb on a free display, openbox, a private
# D-Bus session bus and fresh HOME and XDG folders, all ended when the command ends.
#   tests/e2e/xrun.sh COMMAND [ARGS...]
# The end-to-end tests use the same session from Python (harness.py).
set -euo pipefail
exec python3 -B "$(dirname "$0")/harness.py" run -- "$@"
