#!/usr/bin/env bash
# The runtime beside a minimal WebKitGTK host, in the same run, on a private Xvfb display:
#   1. start-up: exec to the first page's DOMContentLoaded (both exit right there), with hyperfine
#   2. bridge: vlx.hello round trips per second, sequential and 1,000, 10,000 and 100,000
#      concurrent, beside WebKit's own script-message round trips
#   3. resident memory of the runtime (and of its web processes) once a page has loaded
#   4. a many-file application (modules, a large bundle, fonts): start to ready, packed versus the
#      same folder from disk in the minimal host; then page start to ready in the page's own clock,
#      beside the minimal host serving the folder under a custom URI scheme
#   5. packages of any size: start-up and peak memory of apps carrying 1 MB, 100 MB and 1 GB of
#      media; seeking a packaged 1 GB video beside the same file from disk in the minimal host
#      (bench/runtime/bigpackages/bigpackages.py; about 4 GB of scratch space, several minutes;
#      BIG_RUNS=N runs each app N times instead of 5, for a busy machine)
# Usage: scripts/bench-runtime.sh [BUILD_DIR] [SECTION...]   (default build/release, every
#        section: startup bridge memory manyfiles bigpackages; build the release preset first)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
shift || true
sections=" ${*:-startup bridge memory manyfiles bigpackages} "
want() { [[ $sections == *" $1 "* ]]; }
bin=$(realpath "$build/bin")
for tool in velloc velloc-runtime minimal-webkit-host; do
  [ -x "$bin/$tool" ] || { echo "missing $bin/$tool: build the release preset first" >&2; exit 1; }
done
command -v hyperfine >/dev/null || { echo "hyperfine is missing: scripts/install-deps.sh" >&2; exit 1; }

work=$(mktemp -d /tmp/velloc-bench.XXXXXX)
cleanup() { kill "${wm_pid:-}" "${xvfb_pid:-}" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT

exec 3<> "$work/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")"
openbox >/dev/null 2>&1 &
wm_pid=$!
export HOME="$work/home" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$HOME" "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
export WEBKIT_DISABLE_COMPOSITING_MODE=1
eval "$(dbus-launch --sh-syntax)"
trap 'kill "$DBUS_SESSION_BUS_PID" 2>/dev/null || true; cleanup' EXIT

pages=$(realpath bench/runtime)
"$bin/velloc" pack "$pages/startup" -o "$work/startup-app" --quiet
"$bin/velloc" pack "$pages/bridge" -o "$work/bridge-app" --quiet
"$work/startup-app" >/dev/null 2>&1 || true  # first start extracts the WebKit module

if want startup; then
echo "== start-up to DOMContentLoaded"
hyperfine --warmup 2 --runs 15 --export-json "$work/startup.json" \
  -n runtime "$work/startup-app" \
  -n minimal-host "$bin/minimal-webkit-host --startup file://$pages/startup/app/index.html"
python3 - "$work/startup.json" <<'PY'
import json, sys
r = {x["command"]: x["mean"] for x in json.load(open(sys.argv[1]))["results"]}
print(f"start-up ratio runtime / minimal host: {r['runtime'] / r['minimal-host']:.3f} (target <= 1.15)")
PY
fi

if want bridge; then
echo "== bridge round trips per second"
raw=$("$bin/minimal-webkit-host" --roundtrips "file://$pages/bridge/app/raw.html")
"$work/bridge-app" >/dev/null 2>&1 &
app_pid=$!
title=""
for _ in $(seq 600); do
  title=$(xdotool search --name '^RESULT:' getwindowname 2>/dev/null | head -n1 || true)
  [ -n "$title" ] && break
  sleep 0.1
done
wait "$app_pid" || true
python3 - "$raw" "${title#RESULT:}" <<'PY'
import json, sys
raw, bridge = json.loads(sys.argv[1]), json.loads(sys.argv[2])
for kind in ("sequential", "concurrent", "concurrent10000", "concurrent100000"):
    print(f"{kind:>16}: vlx.hello {bridge[kind]:>7}/s   raw WebKit {raw[kind]:>7}/s   "
          f"ratio {bridge[kind] / raw[kind]:.2f} (target >= 0.8)")
PY
fi

if want memory; then
echo "== memory once a page has loaded (proportional set size of the process and its children)"
# PSS shares each library page among the processes that map it, so the UI process, the web
# process and the network process add up without counting WebKit three times.
pss_tree() {
  local total=0 pid
  for pid in $1 $(pgrep -P "$1" || true); do
    total=$((total + $(awk '/^Pss:/ {print $2}' "/proc/$pid/smaps_rollup" 2>/dev/null || echo 0)))
  done
  echo "$total"
}
measure() {  # measure NAME TITLE COMMAND...: PSS in KiB once the window is titled TITLE
  local name=$1 title=$2 pid kib
  shift 2
  "$@" >/dev/null 2>&1 &
  pid=$!
  # Polled: --sync stops at an X error when a window goes away during the search.
  until xdotool search --name "^$title\$" >/dev/null 2>&1; do sleep 0.1; done
  sleep 3  # the page settles: images decoded, scripts run
  kib=$(pss_tree "$pid")
  kill "$pid"; wait "$pid" 2>/dev/null || true
  echo "$kib" > "$work/pss-$name"
  echo "$name: $((kib / 1024)) MiB"
}
measure runtime-idle LOADED "$work/startup-app" VellocStartupBench file:///idle.html
measure host-idle LOADED "$bin/minimal-webkit-host" --idle "file://$pages/startup/app/idle.html"
demo=$(realpath examples/demo)
"$bin/velloc" pack "$demo" -o "$work/demo-app" --quiet
demo_title=$(sed -n 's/.*<title>\(.*\)<\/title>.*/\1/p' "$demo/app/index.html" | head -n1)
measure runtime-demo "$demo_title" "$work/demo-app"
measure host-demo "$demo_title" "$bin/minimal-webkit-host" --idle "file://$demo/app/index.html"
for page in idle demo; do
  python3 -c "import sys; r, h = (int(open(f'$work/pss-{n}-$page').read()) for n in ('runtime', 'host')); print(f'$page: runtime / minimal host {r / h:.2f} (target <= 0.85)')"
done
fi

if want manyfiles; then
echo "== many files: start to ready"
python3 bench/runtime/manyfiles/make-app.py "$work/manyfiles"
"$bin/velloc" pack "$work/manyfiles" -o "$work/manyfiles-app" --quiet
hyperfine --warmup 2 --runs 15 --export-json "$work/manyfiles.json" \
  -n runtime "$work/manyfiles-app" \
  -n minimal-host "$bin/minimal-webkit-host --ready file://$work/manyfiles/app/index.html"
python3 - "$work/manyfiles.json" <<'PY'
import json, sys
# Medians: a run that another program on the machine delayed moves the mean, not the median.
r = {x["command"]: x["median"] for x in json.load(open(sys.argv[1]))["results"]}
print(f"many-file ratio of the medians, runtime / minimal host: "
      f"{r['runtime'] / r['minimal-host']:.3f} (target <= 1.0)")
PY
echo "== many files: page start to ready"
python3 bench/runtime/manyfiles/make-app.py "$work/manyfiles-timed" --report-dir "$work/reports" \
  >/dev/null
"$bin/velloc" pack "$work/manyfiles-timed" -o "$work/manyfiles-timed-app" --quiet
python3 bench/runtime/manyfiles/page-times.py 15 "$work/manyfiles-timed-app" "$work/reports" \
  "$bin/minimal-webkit-host" "$work/manyfiles-timed"
fi

if want bigpackages; then
echo "== packages of any size"
python3 bench/runtime/bigpackages/bigpackages.py "$bin" "$work/bigpackages" "${BIG_RUNS:-5}"
fi
