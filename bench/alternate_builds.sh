#!/usr/bin/env bash
# One benchmark binary of two builds (an older one and this one) run in turns, several rounds,
# so both see the same load on a shared machine: per benchmark the CPU-time median of each
# round and the median over the rounds, and the load average before and after. Not part of CI.
#   bash bench/alternate_builds.sh OLDER_BINARY NEWER_BINARY FILTER [ROUNDS]
# e.g. bash bench/alternate_builds.sh /tmp/old/bench_plot_kernel \
#        build/release/bench/bench_plot_kernel 'BM_Render2x131000(/|_First)' 5
set -euo pipefail

older=${1:?older benchmark binary}
newer=${2:?newer benchmark binary}
filter=${3:?benchmark filter}
rounds=${4:-5}
for b in "$older" "$newer"; do [ -x "$b" ] || { echo "not found: $b" >&2; exit 2; }; done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for ((r = 1; r <= rounds; r++)); do
  for which in older newer; do
    bin=$older
    [ "$which" = newer ] && bin=$newer
    # Aggregates only; the median row's CPU column (value and unit) per benchmark.
    QT_QPA_PLATFORM=offscreen "$bin" --benchmark_filter="$filter" --benchmark_repetitions=5 \
      --benchmark_report_aggregates_only=true 2>/dev/null |
      awk -v w="$which" '$1 ~ /_median$/ { name = $1; sub(/_median$/, "", name);
                                            print w, name, $4, $5 }' >>"$work/rows"
  done
done
echo "load after:  $(cut -d' ' -f1-3 /proc/loadavg)"
# Per benchmark and build: the medians of the rounds, and their median.
python3 - "$work/rows" <<'PY'
import statistics, sys
rows = {}
for line in open(sys.argv[1]):
    which, name, value, unit = line.split()
    rows.setdefault(name, {}).setdefault(which, ([], unit))[0].append(float(value))
for name in sorted(rows):
    for which in ("older", "newer"):
        if which in rows[name]:
            vals, unit = rows[name][which]
            print(f"{name:<58} {which:<6} median {statistics.median(vals):8.3f} {unit}"
                  f"  rounds: {' '.join(f'{v:.3f}' for v in vals)}")
PY
