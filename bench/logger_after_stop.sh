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
QT_QPA_PLATFORM=offscreen /usr/bin/time -v "$bench" \
  --benchmark_filter='BM_LoggerHour|BM_ScopeSheetFeedAndDraw' 2>"$log" |
  awk '/^BM_/ { printf "%-48s %10s %s  cpu %10s %s\n", $1, $2, $3, $4, $5 }'
awk -F': ' '/Maximum resident set size/ { printf "peak memory of the process: %.0f MB\n", $2 / 1024 }' "$log"
echo "targets: BM_LoggerHourAfterStop <= 1000 ms, BM_LoggerHourWheelRedraw <= 20 ms per redraw" \
     "(the time shown is per notch in and out, two redraws), the scope sheet <= 2 ms"
