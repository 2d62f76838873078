#!/usr/bin/env bash
# Whole-process timing of turning a 262000-sample logic-analyser record into a value change
# dump: "multi_tolvanex --convert REC.FIL OUT.vcd" against "sigrok-cli -i REC.sr -O vcd" on the
# same record (the session written by --convert). Medians of RUNS runs each and their ratio.
# Not part of CI.
#   bash bench/convert_vs_sigrok.sh [path/to/multi_tolvanex] [RUNS]
set -euo pipefail

prog=${1:-build/release/src/multi_tolvanex}
runs=${2:-11}
[ -x "$prog" ] || { echo "program not found: $prog (build it first)" >&2; exit 2; }
command -v sigrok-cli >/dev/null || { echo "sigrok-cli is not installed" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One record of a simulated device, kept as the intermediate file only.
TOLV_SIM_FAST_LINK=1 "$prog" --acquire --simulate 1 --mode LAIO --samples 262000 --records 1 \
  --format fil --out "$work/out" --data-root "$work/root" --quiet
fil=$(find "$work/out" -name '*.FIL' | head -n 1)
[ -n "$fil" ] || { echo "no record was written" >&2; exit 1; }
"$prog" --convert "$fil" "$work/la.sr" --data-root "$work/root"

# Medians in milliseconds of a command run $runs times: wall time, and processor time (user +
# system), which a machine busy with other work disturbs less.
medians_ms() {
  local wall=() cpu=() r u s
  for _ in $(seq "$runs"); do
    read -r r u s < <( { TIMEFORMAT='%R %U %S'; time "$@" >/dev/null 2>&1; } 2>&1 )
    wall+=("$r")
    cpu+=("$(awk -v u="$u" -v s="$s" 'BEGIN {print u + s}')")
  done
  local mw mc
  mw=$(printf '%s\n' "${wall[@]}" | sort -g | awk '{v[NR] = $1} END {printf "%.1f", 1000 * v[int((NR + 1) / 2)]}')
  mc=$(printf '%s\n' "${cpu[@]}" | sort -g | awk '{v[NR] = $1} END {printf "%.1f", 1000 * v[int((NR + 1) / 2)]}')
  echo "$mw $mc"
}

read -r ours_wall ours_cpu < <(medians_ms "$prog" --convert "$fil" "$work/ours.vcd" --data-root "$work/root")
read -r theirs_wall theirs_cpu < <(medians_ms sigrok-cli -i "$work/la.sr" -O vcd -o "$work/theirs.vcd")
# Start-up alone: the command answering a usage error, with nothing converted.
read -r start_wall start_cpu < <(medians_ms "$prog" --convert)
echo "record: 262000 samples; dumps: ours $(stat -c %s "$work/ours.vcd") B, sigrok-cli $(stat -c %s "$work/theirs.vcd") B"
echo "medians of $runs runs      wall ms    cpu ms"
printf 'multi_tolvanex --convert %9s %9s\n' "$ours_wall" "$ours_cpu"
printf 'sigrok-cli -O vcd        %9s %9s\n' "$theirs_wall" "$theirs_cpu"
printf '  (our start-up alone     %9s %9s)\n' "$start_wall" "$start_cpu"
awk -v ow="$ours_wall" -v tw="$theirs_wall" -v oc="$ours_cpu" -v tc="$theirs_cpu" \
  'BEGIN {printf "ratio: %.1fx by wall time, %.1fx by processor time (goal: 3x)\n", tw / ow, tc / oc}'
