#!/usr/bin/env bash
# The device window after STOP of an analog-logger run of one hour at the simulated logger's
# fastest step (200 us: 18 million samples per channel, a 72 MB stream): the time until the
# stream is shown as a complete picture, the redraw after a wheel notch at several zoom depths,
# and the whole process's peak memory while doing both; with the scope sheet's feed and draw of
# two plot arrays of 131000 samples beside them (CPU time). The seeded stream is written once
# into the temporary folder and kept for later runs. Not part of CI.
#   bash bench/logger_after_stop.sh [path/to/bench_devicewin_scope]
set -euo pipefail

bench=${1:-build/release/bench/bench_devicewin_scope}
[ -x "$bench" ] || { echo "benchmark not found: $bench (build it first)" >&2; exit 2; }

log=$(mktemp)
trap 'rm -f "$log"' EXIT
# Each figure beside its target: the wall time of a picture after STOP (1 s), of one redraw
# after a wheel notch (20 ms; an iteration is two), and the scope sheet's CPU time (2 ms).
QT_QPA_PLATFORM=offscreen /usr/bin/time -v "$bench" \
  --benchmark_filter='BM_LoggerHour|BM_ScopeSheetFeedAndDraw' 2>"$log" |
  awk '/^BM_/ && !/_stddev|_cv/ && $2 !~ /^[0-9.]+$/ { print $0 "  NO FIGURE"; next }
       /^BM_/ && !/_stddev|_cv/ {
         target = 0; wall = $2; cpu = $4; value = wall; what = "wall"
         if ($1 ~ /^BM_LoggerHourAfterStop/) target = 1000
         if ($1 ~ /^BM_LoggerHourWheelRedraw/) { target = 20; wall /= 2; cpu /= 2; value = wall
                                                 what = "wall per redraw" }
         if ($1 ~ /^BM_ScopeSheetFeedAndDraw/) { target = 2; value = cpu; what = "cpu" }
         printf "%-48s wall %8.2f ms  cpu %8.2f ms  %s %s\n", $1, wall, cpu,
                value <= target ? "PASS" : "OVER", "(" what " <= " target " ms)"
       }'
echo "(wall times count only on an idle machine; cpu is what the drawing itself costs)"
awk -F': ' '/Maximum resident set size/ { mb = $2 / 1024
              printf "peak memory of the process: %.0f MB %s\n", mb, mb <= 300 ? "PASS (<= 300 MB)" : "OVER (> 300 MB)" }' "$log"
