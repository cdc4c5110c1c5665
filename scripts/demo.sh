#!/usr/bin/env bash
# Builds Velloc, packs examples/demo and shows what the packed executable carries.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
echo "The runtime is not built yet: see the open issues."
