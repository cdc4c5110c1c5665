#!/usr/bin/env python3
"""Page start (navigation) to ready, in the page's own clock, for the many-file application:
the packed runtime, the minimal host on the folder from disk (file://), and the minimal host
serving the folder under a custom URI scheme, the way WebKitGTK lets any program serve from
memory. The three run in turn, RUNS times, so a change in the machine's load reaches all three.

Usage: page-times.py RUNS RUNTIME_APP REPORT_DIR HOST FOLDER"""
import glob
import os
import statistics
import subprocess
import sys


def runtime_ms(app, report_dir):
    for old in glob.glob(os.path.join(report_dir, "*.txt")):
        os.remove(old)
    subprocess.run([app], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
    reports = glob.glob(os.path.join(report_dir, "*.txt"))
    if not reports:
        sys.exit("the packed app wrote no figure")
    # The runtime writes text files with a byte-order mark.
    return float(open(reports[0], encoding="utf-8-sig").read())


def host_ms(command):
    out = subprocess.run(command, capture_output=True, text=True, timeout=60).stdout.split()
    if len(out) < 2 or out[-2] != "ready":
        sys.exit(f"the minimal host reported no figure: {' '.join(command)}")
    return float(out[-1])


def main():
    runs, app, report_dir, host, folder = int(sys.argv[1]), *sys.argv[2:6]
    os.makedirs(report_dir, exist_ok=True)
    index = os.path.join(os.path.abspath(folder), "app", "index.html")
    kinds = {
        "runtime": lambda: runtime_ms(app, report_dir),
        "host from disk": lambda: host_ms([host, "--ready", "file://" + index]),
        "host, custom scheme": lambda: host_ms([host, "--ready-scheme", os.path.dirname(index)]),
    }
    times = {kind: [] for kind in kinds}
    for run in range(runs + 1):
        for kind, measure in kinds.items():
            ms = measure()
            if run:  # the first round warms the caches
                times[kind].append(ms)
    medians = {kind: statistics.median(values) for kind, values in times.items()}
    for kind, values in times.items():
        print(f"{kind:>20}: median {medians[kind]:6.0f} ms  (min {min(values):.0f}, "
              f"max {max(values):.0f}, {runs} runs)")
    print(f"page ratio of the medians, runtime / host from disk: "
          f"{medians['runtime'] / medians['host from disk']:.3f} (target <= 1.0)")
    print(f"page ratio of the medians, runtime / host with a custom scheme: "
          f"{medians['runtime'] / medians['host, custom scheme']:.3f}")


if __name__ == "__main__":
    main()
