#!/usr/bin/env bash
# vlx.folders.listFiles against `find` on the same tree of 100,000 files, side by side in one
# run of bench/ListFilesBench.cpp (the tree is made under $TMPDIR on the first run and kept).
# Prints the median times and the ratio per case. Target: listFiles at most 1.5x find's time.
#
# Environment (all optional):
#   BUILD               build folder with the release binaries   (default: build/release)
#   LISTFILES_BENCH     the benchmark binary                      (default: $BUILD/bench/listfiles_bench)
#   REPETITIONS         repetitions of each case                  (default: 5)
#   VELLOC_BENCH_FILES  files in the tree                         (default: 100000)
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD=${BUILD:-build/release}
LISTFILES_BENCH=${LISTFILES_BENCH:-$BUILD/bench/listfiles_bench}
REPETITIONS=${REPETITIONS:-5}

if [ ! -x "$LISTFILES_BENCH" ]; then
  echo "missing $LISTFILES_BENCH; build it first: cmake --build $BUILD --target listfiles_bench" >&2
  exit 2
fi

out=$(mktemp "${TMPDIR:-/tmp}/velloc-bench-listfiles.XXXXXX.json")
trap 'rm -f "$out"' EXIT
"$LISTFILES_BENCH" --benchmark_repetitions="$REPETITIONS" --benchmark_out="$out" \
  --benchmark_out_format=json >/dev/null

python3 - "$out" <<'PY'
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
median = {r["run_name"].split("/")[0]: r["real_time"] for r in runs
          if r.get("aggregate_name") == "median"}
worst = 0.0
for case in ("AllFiles", "Mask"):
    find, listing = median[f"BM_Find_{case}"], median[f"BM_ListFiles_{case}"]
    ratio = listing / find
    worst = max(worst, ratio)
    print(f"{case:9} find {find:8.1f} ms   listFiles {listing:8.1f} ms   ratio {ratio:.2f}")
print(f"worst ratio {worst:.2f} (target: 1.5 or less)")
sys.exit(0 if worst <= 1.5 else 1)
PY
