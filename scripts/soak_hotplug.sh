#!/usr/bin/env bash
# Hot-plug soak: 8 simulated devices in a continuous multi-device run (autostart, automatic
# saving) for SECONDS (default 600), while every 30 s one of devices 2-4, in turn, is pulled
# out and plugged back 5 s later through the --sim-control pipe. Devices 1 and 5-8 stay: every
# completed cycle must hold a record of each of them. Reports cycles, records per device,
# resident memory (growth at most 5 MB after the first tenth of the run) and the exit status at
# SIGTERM (must be 0). Exits non-zero when a limit is broken.
# Usage: bash scripts/soak_hotplug.sh [SECONDS]   (TOLV_PROGRAM overrides the program path,
# SOAK_PERIOD the seconds between pulls, SOAK_KEEP=DIR keeps the run's files)
set -euo pipefail
cd "$(dirname "$0")/.."

SECONDS_RUN=${1:-600}
PERIOD=${SOAK_PERIOD:-30}
DEVICES=8
PULLED=(2 3 4)
STAYED=(1 5 6 7 8)
MAX_GROWTH_KB=5120
PROGRAM=${TOLV_PROGRAM:-build/release/src/multi_tolvanex}
[[ -x $PROGRAM ]] || { echo "soak: $PROGRAM not built" >&2; exit 2; }

WORK=$(mktemp -d /tmp/tolv_hotplug_soak.XXXXXX)
PID=
CTL_FD=
cleanup() {
  [[ -n $PID ]] && kill -KILL "$PID" 2>/dev/null
  if [[ -n ${SOAK_KEEP:-} ]]; then mkdir -p "$SOAK_KEEP" && cp -r "$WORK"/. "$SOAK_KEEP"/; fi
  rm -rf "$WORK"
}
trap cleanup EXIT
ROOT=$WORK/D
MULTI=$ROOT/MULTI_Tolvanex
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

wait_for() {  # wait_for SECONDS COMMAND...: polls until the command succeeds
  local limit=$(( $(date +%s) + $1 )); shift
  until "$@"; do
    (( $(date +%s) < limit )) || return 1
    sleep 0.2
  done
}

stop_program() {  # stop_program PID: SIGTERM, then the exit status (124 when it hangs)
  kill -TERM "$1" 2>/dev/null || true
  local limit=$(( $(date +%s) + 60 ))
  while kill -0 "$1" 2>/dev/null; do
    if (( $(date +%s) >= limit )); then kill -KILL "$1"; wait "$1" || true; return 124; fi
    sleep 0.2
  done
  local rc=0
  wait "$1" || rc=$?
  return $rc
}

# A first start writes the frame and multi-device files with their defaults.
"$PROGRAM" --simulate $DEVICES --data-root "$ROOT" 2>"$WORK/first.err" &
PID=$!
wait_for 60 test -s "$MULTI/VX_Frame_FormPos.TXT" || { echo "soak: no position file" >&2; exit 1; }
sleep 2
stop_program $PID || { echo "soak: first start did not end cleanly" >&2; exit 1; }
PID=
test -s "$MULTI/Scalings.TXT" || { echo "soak: no Scalings.TXT" >&2; exit 1; }
# Autosave and autostart on; every device checked.
sed -i -e '12s/^[TF]/T/' -e '14s/^[TF]/T/' "$MULTI/VX_Frame_FormPos.TXT"
expr=()
for (( k = 0; k < DEVICES; ++k )); do expr+=(-e "$(( 7 + 13 * k ))s/^[TF]/T/"); done
sed -i "${expr[@]}" "$MULTI/Scalings.TXT"

rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2>/dev/null || echo 0; }

CTL=$WORK/control.fifo
mkfifo "$CTL"
STATS=$WORK/stats.txt
TOLV_STATS_FILE=$STATS TOLV_SIM_FAST_LINK=1 \
  "$PROGRAM" --simulate $DEVICES --data-root "$ROOT" --sim-control "$CTL" \
  2>"$WORK/run.err" &
PID=$!
# Held open for the whole run, so the program's reads never see the pipe without a writer.
exec {CTL_FD}>"$CTL"
send() { echo "$*" >&"$CTL_FD"; echo "  $(date +%T) $*" >>"$WORK/pulls.txt"; }

START=$(date +%s)
EARLY=$(( SECONDS_RUN / 10 )); (( EARLY > 60 )) && EARLY=60; (( EARLY < 5 )) && EARLY=5
RSS_EARLY=
TRACK=
NEXT_PULL=$(( START + PERIOD ))
TURN=0
PULLS=0
NEXT_TRACK=$(( START + EARLY ))
while (( $(date +%s) < START + SECONDS_RUN )); do
  kill -0 $PID 2>/dev/null || break
  NOW=$(date +%s)
  if (( NOW >= NEXT_TRACK )); then
    R=$(rss_kb $PID)
    [[ -z $RSS_EARLY ]] && RSS_EARLY=$R
    TRACK+=" $(( R / 1024 ))"
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
RSS_END=$(rss_kb $PID)
RC=0
stop_program $PID || RC=$?
PID=
exec {CTL_FD}>&-

stat_of() { [[ -f $STATS ]] && awk -v k="$1" '$1 == k { print $2 }' "$STATS"; }
device_of() { [[ -f $STATS ]] && awk -v s="$1" '$1 == "device" && $2 == s { print $3 }' "$STATS"; }
CYCLES=$(stat_of cycles); CYCLES=${CYCLES:-0}
RSS_EARLY=${RSS_EARLY:-0}; RSS_END=${RSS_END:-0}
GROWTH=$(( RSS_END - RSS_EARLY ))
MB() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }

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
echo "  RSS after ${EARLY} s    $(MB "$RSS_EARLY") MB"
echo "  RSS at the end    $(MB "$RSS_END") MB (growth $(MB "$GROWTH") MB, limit $(MB $MAX_GROWTH_KB) MB)"
echo "  RSS track (MB)   $TRACK"
echo "  longest stall     $(stat_of stall_max_ms) ms"
echo "  exit status       $RC"
echo "  pulls:"; cat "$WORK/pulls.txt" 2>/dev/null || true

(( RC == 0 )) || { echo "soak: FAIL exit status $RC" >&2; sed 's/^/  | /' "$WORK/run.err" >&2; FAIL=1; }
(( CYCLES > 0 )) || { echo "soak: FAIL no cycle" >&2; FAIL=1; }
(( PULLS > 0 )) || { echo "soak: FAIL no device was pulled (run longer than ${PERIOD} s)" >&2; FAIL=1; }
(( GROWTH <= MAX_GROWTH_KB )) || { echo "soak: FAIL memory grew by $GROWTH kB" >&2; FAIL=1; }
exit $FAIL
