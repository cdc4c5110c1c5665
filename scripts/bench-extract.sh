#!/usr/bin/env bash
# Whole-package extraction speed: `velloc extract` against Info-ZIP's `unzip -P` on the same
# encrypted package (a few thousand files of mixed size, text deflated, images stored).
# Uses hyperfine when installed, else a simple timing loop. Target: velloc at least 2x faster.
#
# Environment (all optional):
#   BUILD        build folder with the release binaries          (default: build/release)
#   VELLOC       the velloc CLI                                   (default: $BUILD/bin/velloc)        
#   ARCHIVE_BENCH  the archive benchmark binary, which writes the package (default: $BUILD/bench/archive_bench)
#   STUB         executable the package is attached to            (default: /bin/true)
#   FILES        number of files in the package                   (default: 3000)
#   RUNS         timed runs per command                           (default: 5)
#   WORK         scratch folder, removed at the end unless given  (default: new folder in /dev/shm)
#   VELLOC_PACKAGE_PASSWORD  password for unzip                   (default: asked from ARCHIVE_BENCH)
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD=${BUILD:-build/release}
VELLOC=${VELLOC:-$BUILD/bin/velloc}
ARCHIVE_BENCH=${ARCHIVE_BENCH:-$BUILD/bench/archive_bench}
STUB=${STUB:-/bin/true}
FILES=${FILES:-3000}
RUNS=${RUNS:-5}

if [ ! -x "$ARCHIVE_BENCH" ]; then
  echo "missing $ARCHIVE_BENCH; build it first: cmake --build $BUILD --target archive_bench" >&2
  exit 2
fi
command -v unzip >/dev/null || { echo "unzip is not installed" >&2; exit 2; }

if [ -z "${WORK:-}" ]; then
  # Memory-backed when possible, so the disk does not decide the race.
  scratch=${TMPDIR:-/tmp}
  [ -d /dev/shm ] && [ -w /dev/shm ] && scratch=/dev/shm
  WORK=$(mktemp -d "$scratch/velloc-bench-extract.XXXXXX")
  trap 'rm -rf "$WORK"' EXIT
fi
mkdir -p "$WORK"
WORK=$(cd "$WORK" && pwd)

echo "== building the package"
"$ARCHIVE_BENCH" --write-package "$WORK/package.zip" "$FILES"
PASSWORD=${VELLOC_PACKAGE_PASSWORD:-$("$ARCHIVE_BENCH" --print-password)}
# The packaged executable: the stub with the package appended behind its image.
cp "$STUB" "$WORK/app"
cat "$WORK/package.zip" >>"$WORK/app"
chmod +x "$WORK/app"

unzip_cmd="unzip -qq -o -P '$PASSWORD' '$WORK/package.zip' -d '$WORK/out-unzip'"
velloc_cmd="'$VELLOC' extract '$WORK/app' '$WORK/out-velloc' >/dev/null"
have_velloc=1
if [ ! -x "$VELLOC" ]; then
  have_velloc=0
  echo "note: $VELLOC is not built; timing unzip only"
fi

# Mean seconds of one command over RUNS runs, its output folder emptied before each run.
time_loop() {
  local cmd=$1 out=$2 total=0 start end
  for ((i = 0; i < RUNS; i++)); do
    rm -rf "$out"
    start=$(date +%s%N)
    eval "$cmd"
    end=$(date +%s%N)
    total=$((total + end - start))
  done
  awk -v ns="$total" -v n="$RUNS" 'BEGIN { printf "%.4f", ns / n / 1e9 }'
}

echo "== extracting ($RUNS runs each)"
if command -v hyperfine >/dev/null; then
  prepare=() names=() cmds=()
  if [ "$have_velloc" = 1 ]; then
    prepare+=(--prepare "rm -rf '$WORK/out-velloc'") names+=(-n velloc) cmds+=("$velloc_cmd")
  fi
  prepare+=(--prepare "rm -rf '$WORK/out-unzip'") names+=(-n unzip) cmds+=("$unzip_cmd")
  hyperfine --warmup 1 --runs "$RUNS" --export-json "$WORK/times.json" \
    "${prepare[@]}" "${names[@]}" "${cmds[@]}"
  mean() { python3 -c 'import json,sys; r={x["command"]: x["mean"] for x in json.load(open(sys.argv[1]))["results"]}; print("%.4f" % r[sys.argv[2]])' "$WORK/times.json" "$1"; }
  unzip_s=$(mean unzip)
  [ "$have_velloc" = 1 ] && velloc_s=$(mean velloc)
else
  unzip_s=$(time_loop "$unzip_cmd" "$WORK/out-unzip")
  [ "$have_velloc" = 1 ] && velloc_s=$(time_loop "$velloc_cmd" "$WORK/out-velloc")
fi

echo "unzip -P:       ${unzip_s} s"
if [ "$have_velloc" = 1 ]; then
  echo "velloc extract: ${velloc_s} s"
  if ! diff -r -q "$WORK/out-unzip" "$WORK/out-velloc" >/dev/null; then
    echo "the two extractions differ" >&2
    exit 1
  fi
  awk -v u="$unzip_s" -v v="$velloc_s" 'BEGIN {
    r = u / v
    printf "velloc is %.2fx as fast as unzip (target: 2x or more)\n", r
    exit (r >= 2 ? 0 : 1)
  }'
fi
