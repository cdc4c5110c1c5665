#!/usr/bin/env bash
# Builds Velloc, packs examples/demo into one executable and runs it.
#
# With a display ($DISPLAY set) the demo opens on it. Without one it runs under a private Xvfb
# with openbox (tests/e2e/harness.py), waits for the page, saves a screenshot of the window,
# then closes the window with a close request, as the title bar's close button does: the page's
# vlx.events.onCloseQuery runs and calls vlx.app.close(), and the demo must exit with 0.
#
# VELLOC_BUILD_DIR overrides the build folder (default build/release).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

build=${VELLOC_BUILD_DIR:-build/release}
cmake --preset release -B "$build" >/dev/null
cmake --build "$build" -j "$(nproc)" --target velloc velloc-runtime demo

demo="$build/demo/velloc-demo"
"$build/bin/velloc" info "$demo" | sed -n '1,3p'

if [ -n "${DISPLAY:-}" ]; then
  echo "Running $demo"
  exec "$demo"
fi

screenshot="$(pwd)/$build/demo/screenshot.png"
echo "No display: running $demo under Xvfb"
python3 -B tests/e2e/harness.py show "$demo" --screenshot "$screenshot"
echo "Screenshot: $screenshot"
