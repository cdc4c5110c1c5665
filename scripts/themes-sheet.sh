#!/usr/bin/env bash
# Draws every style (the native "Windows" and the 39 built-in ones) as a small sample form into
# one PNG, under a private Xvfb, so a person can judge the styles side by side.
#   scripts/themes-sheet.sh [OUTPUT.png] [COLUMNS]      (default build/release/themes-sheet.png, 5)
# VELLOC_BUILD_DIR overrides the build folder (default build/release).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${VELLOC_BUILD_DIR:-build/release}
output=$(realpath -m "${1:-$build/themes-sheet.png}")
columns=${2:-5}
cmake --preset release -B "$build" >/dev/null
cmake --build "$build" --target e2e-themes-sheet -j "$(nproc)"
tests/e2e/xrun.sh "$build/tests/e2e/themes/e2e-themes-sheet" "$output" "$columns"
echo "Contact sheet: $output"
