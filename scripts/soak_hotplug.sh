#!/usr/bin/env bash
# Hot-plug soak: 8 simulated devices in a continuous multi-device run (autostart, automatic
# saving) for SECONDS (default 600), while every 30 s one of devices 2-4, in turn, is pulled
# out and plugged back 5 s later through the --sim-control pipe. Devices 1 and 5-8 stay: every
# completed cycle must hold a record of each of them. Reports cycles, records per device,
# memory and the exit status at SIGTERM (must be 0). Exits non-zero when a limit is broken.
# Memory is sampled every second after the first fifth of the run (at most the first minute)
# and checked as bench/soak.sh checks it: the floors of the heap the program holds and of the
# anonymous resident memory in the middle and the last third (scripts/soak_common.sh), never
# two single readings, which scatter by a few MB in a flat run.
# Usage: bash scripts/soak_hotplug.sh [SECONDS]   (TOLV_PROGRAM overrides the program path,
# SOAK_PERIOD the seconds between pulls, SOAK_KEEP=DIR keeps the run's files)
set -euo pipefail
cd "$(dirname "$0")/.."

SECONDS_RUN=${1:-600}
PERIOD=${SOAK_PERIOD:-30}
DEVICES=8
PULLED=(2 3 4)
STAYED=(1 5 6 7 8)
source scripts/soak_common.sh
CTL_FD=
SOAK_ON_EXIT='if [[ -n ${SOAK_KEEP:-} ]]; then mkdir -p "$SOAK_KEEP" && cp -r "$WORK"/. "$SOAK_KEEP"/; fi'
soak_begin tolv_hotplug_soak
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
soak_prepare_files

CTL=$WORK/control.fifo
mkfifo "$CTL"
TOLV_STATS_FILE=$STATS TOLV_SIM_FAST_LINK=1 \
  "$PROGRAM" --simulate $DEVICES --data-root "$ROOT" --sim-control "$CTL" \
  2>"$WORK/run.err" &
PID=$!
# Held open for the whole run, so the program's reads never see the pipe without a writer.
exec {CTL_FD}>"$CTL"
send() { echo "$*" >&"$CTL_FD"; echo "  $(date +%T) $*" >>"$WORK/pulls.txt"; }

START=$(date +%s)
EARLY=$(( SECONDS_RUN / 5 )); (( EARLY > 60 )) && EARLY=60; (( EARLY < 1 )) && EARLY=1
MEM=$WORK/memory.txt
: > "$MEM"
TRACK=
NEXT_PULL=$(( START + PERIOD ))
TURN=0
PULLS=0
NEXT_TRACK=$(( START + EARLY ))
while (( $(date +%s) < START + SECONDS_RUN )); do
  kill -0 $PID 2>/dev/null || break
  NOW=$(date +%s)
  (( NOW >= START + EARLY )) && memory_sample $PID $(( NOW - START )) "$MEM"
  if (( NOW >= NEXT_TRACK )); then
    TRACK+=" $(( $(rss_kb $PID) / 1024 ))"
    NEXT_TRACK=$(( NOW + (SECONDS_RUN / 10 > 1 ? SECONDS_RUN / 10 : 1) ))
  fi
  # The last pull leaves time to plug back before the end.
  if (( NOW >= NEXT_PULL && NOW + 6 < START + SECONDS_RUN )); then
    D=${PULLED[$(( TURN % ${#PULLED[@]} ))]}
    TURN=$(( TURN + 1 ))
    send "unplug $D"
    sleep 5
    send "plug $D"
    PULLS=$(( PULLS + 1 ))
    NEXT_PULL=$(( NEXT_PULL + PERIOD ))
  fi
  sleep 1
done
RC=0
stop_program $PID || RC=$?
PID=
exec {CTL_FD}>&-

device_of() { [[ -f $STATS ]] && awk -v s="$1" '$1 == "device" && $2 == s { print $3 }' "$STATS"; }
CYCLES=$(stat_of cycles); CYCLES=${CYCLES:-0}

echo "hot-plug soak: ${SECONDS_RUN} s, $DEVICES simulated devices, $PULLS pulls (every ${PERIOD} s, back after 5 s)"
echo "  cycles            $CYCLES"
FAIL=0
for d in "${STAYED[@]}" "${PULLED[@]}"; do
  S=$(printf 'TVS%05d' "$d")
  N=$(device_of "$S"); N=${N:-0}
  kind=pulled
  [[ " ${STAYED[*]} " == *" $d "* ]] && kind=stayed
  echo "  records $S    $N ($kind)"
  # A device that stayed has a record in every completed cycle (the cycle under way may add one).
  if [[ $kind == stayed ]] && (( N < CYCLES || N > CYCLES + 1 )); then
    echo "soak: FAIL $S has $N records in $CYCLES cycles" >&2; FAIL=1
  fi
done
echo "  RSS track (MB)   $TRACK"
memory_check "$MEM" $(( SECONDS_RUN - EARLY ))
echo "  longest stall     $(stat_of stall_max_ms) ms"
echo "  exit status       $RC"
echo "  pulls:"; cat "$WORK/pulls.txt" 2>/dev/null || true

(( RC == 0 )) || { echo "soak: FAIL exit status $RC" >&2; sed 's/^/  | /' "$WORK/run.err" >&2; FAIL=1; }
(( CYCLES > 0 )) || { echo "soak: FAIL no cycle" >&2; FAIL=1; }
(( PULLS > 0 )) || { echo "soak: FAIL no device was pulled (run longer than ${PERIOD} s)" >&2; FAIL=1; }
for m in "${MEMORY_FAILURES[@]}"; do echo "soak: FAIL $m" >&2; FAIL=1; done
exit $FAIL
