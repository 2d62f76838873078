#!/usr/bin/env bash
# Whole-process time and peak memory of "multi_tolvanex --render" on seeded analog-logger
# streams of one hour and five hours at 1 ms (3.6 and 18 million samples per channel), side by
# side for this build and, when given, another build of the program (an older one). Not part
# of CI.
#   bash bench/logger_render_compare.sh [path/to/multi_tolvanex] [path/to/older/multi_tolvanex]
set -euo pipefail

prog=${1:-build/release/src/multi_tolvanex}
older=${2:-}
maker=${MAKER:-$(dirname "$prog")/../bench/bench_measure_loggerseries}
[ -x "$prog" ] || { echo "program not found: $prog (build it first)" >&2; exit 2; }
[ -x "$maker" ] || { echo "stream maker not found: $maker" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One run: wall seconds and peak resident MB from /usr/bin/time -v.
measure() {
  local p=$1 src=$2 out=$3 log=$work/time.txt
  if ! QT_QPA_PLATFORM=offscreen /usr/bin/time -v "$p" --render "$src" "$out" --size 1200x700 \
      >/dev/null 2>"$log"; then
    echo "failed"
    return
  fi
  awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, t, ":"); s = 0;
                for (i = 1; i <= n; i++) s = s * 60 + t[i]; wall = s }
              /Maximum resident set size/ { mb = $2 / 1024 }
              END { printf "%6.2f s %7.0f MB", wall, mb }' "$log"
}

printf "%-22s %-22s %-22s\n" "stream" "this build" "${older:+older build}"
for n in 3600000 18000000; do
  src="$work/Intermediate_DLA0_$n.FIL"
  "$maker" --make-stream "$src" "$n" 0.001
  new=$(measure "$prog" "$src" "$work/new_$n.png")
  old=""
  [ -n "$older" ] && old=$(measure "$older" "$src" "$work/old_$n.png")
  printf "%-22s %-22s %-22s\n" "$n samples/channel" "$new" "$old"
  if [ -n "$older" ] && [ -f "$work/old_$n.png" ] && [ -f "$work/new_$n.png" ]; then
    d=$(compare -metric AE "$work/old_$n.png" "$work/new_$n.png" null: 2>&1 || true)
    echo "  pixels differing from the older build's picture: $d"
  fi
done
