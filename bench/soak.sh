#!/usr/bin/env bash
# Soak run: 8 simulated devices on a fast link, the multi-device window in autostart with
# automatic saving, for SECONDS (default 600). Reports cycles, records (must be cycles x 8),
# resident memory after the first tenth of the run (at most the first minute) and at the end
# (growth at most 5 MB), CPU share and the longest event-loop stall of the steady run
# (at most 100 ms). Exits non-zero when a limit is broken or the program does not end cleanly.
# Usage: bash bench/soak.sh [SECONDS]   (TOLV_PROGRAM overrides the program path,
# SOAK_MAX_STALL_MS the stall limit, SOAK_KEEP_STATS=FILE keeps the program's statistics)
set -euo pipefail
cd "$(dirname "$0")/.."

SECONDS_RUN=${1:-600}
DEVICES=8
MAX_GROWTH_KB=5120
MAX_STALL_MS=${SOAK_MAX_STALL_MS:-100}  # a machine shared with builds may need more
PROGRAM=${TOLV_PROGRAM:-build/release/src/multi_tolvanex}
[[ -x $PROGRAM ]] || { echo "soak: $PROGRAM not built" >&2; exit 2; }

WORK=$(mktemp -d /tmp/tolv_soak.XXXXXX)
PID=
trap '[[ -n $PID ]] && kill -KILL $PID 2>/dev/null; rm -rf "$WORK"' EXIT
ROOT=$WORK/D
MULTI=$ROOT/MULTI_Tolvanex
export QT_QPA_PLATFORM=offscreen

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
sleep 2  # past the first boot step, which fills the device list; the close writes it
stop_program $PID || { echo "soak: first start did not end cleanly" >&2; exit 1; }
PID=
test -s "$MULTI/Scalings.TXT" || { echo "soak: no Scalings.TXT" >&2; exit 1; }

# Autosave and autostart on; every device checked (its flag after the first scale row).
sed -i -e '12s/^[TF]/T/' -e '14s/^[TF]/T/' "$MULTI/VX_Frame_FormPos.TXT"
expr=()
for (( k = 0; k < DEVICES; ++k )); do expr+=(-e "$(( 7 + 13 * k ))s/^[TF]/T/"); done
sed -i "${expr[@]}" "$MULTI/Scalings.TXT"

# Both read 0 once the program has gone (it then fails on its exit status below).
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2>/dev/null || echo 0; }
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0; }

STATS=$WORK/stats.txt
TOLV_STATS_FILE=$STATS TOLV_SIM_FAST_LINK=1 \
  "$PROGRAM" --simulate $DEVICES --data-root "$ROOT" 2>"$WORK/run.err" &
PID=$!
START=$(date +%s.%N)
TICKS0=$(cpu_ticks $PID)
EARLY=$(( SECONDS_RUN / 10 )); (( EARLY > 60 )) && EARLY=60; (( EARLY < 1 )) && EARLY=1
sleep "$EARLY"
RSS_EARLY=$(rss_kb $PID)
# Resident memory every tenth of the run, to tell a steady climb from a settling one.
TRACK="$(( RSS_EARLY / 1024 ))"
STEP=$(( SECONDS_RUN / 10 )); (( STEP < 1 )) && STEP=1
LEFT=$(( SECONDS_RUN - EARLY ))
while (( LEFT > 0 )); do
  NAP=$(( LEFT < STEP ? LEFT : STEP ))
  sleep $NAP
  LEFT=$(( LEFT - NAP ))
  kill -0 $PID 2>/dev/null || break
  TRACK+=" $(( $(rss_kb $PID) / 1024 ))"
done
RSS_END=$(rss_kb $PID)
TICKS1=$(cpu_ticks $PID)
END=$(date +%s.%N)
RC=0
stop_program $PID || RC=$?
PID=

[[ -n ${SOAK_KEEP_STATS:-} && -f $STATS ]] && cp "$STATS" "$SOAK_KEEP_STATS"
stat_of() { [[ -f $STATS ]] && awk -v k="$1" '$1 == k { print $2 }' "$STATS"; }
CYCLES=$(stat_of cycles); RECORDS=$(stat_of records); STALL=$(stat_of stall_max_ms)
DRAWS=$(stat_of draws)
CYCLES=${CYCLES:-0}; RECORDS=${RECORDS:-0}; STALL=${STALL:-999999}; RSS_END=${RSS_END:-0}
STARTUP_STALL=$(stat_of stall_startup_max_ms)
HZ=$(getconf CLK_TCK)
CPU=$(awk -v t=$(( TICKS1 - TICKS0 )) -v hz="$HZ" -v a="$START" -v b="$END" \
  'BEGIN { printf "%.1f", 100 * t / hz / (b - a) }')
GROWTH=$(( RSS_END - RSS_EARLY ))
MB() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
DATA_FILES=$(find "$MULTI" -path "$MULTI/Intermediate" -prune -o -name '*.CSV' -print | wc -l)

echo "soak: ${SECONDS_RUN} s, $DEVICES simulated devices, fast link, autostart + autosave"
echo "  cycles            $CYCLES"
EXPECTED=$(( CYCLES * DEVICES ))
echo "  records           $RECORDS (cycles x devices: $EXPECTED)"
echo "  plots drawn       $DRAWS"
echo "  merged data files $DATA_FILES"
echo "  RSS after ${EARLY} s    $(MB "$RSS_EARLY") MB"
echo "  RSS at the end    $(MB "$RSS_END") MB (growth $(MB "$GROWTH") MB, limit $(MB $MAX_GROWTH_KB) MB)"
echo "  RSS track (MB)    $TRACK"
echo "  CPU share         ${CPU} % of one core"
echo "  longest stall     ${STALL} ms (limit $MAX_STALL_MS ms; during start-up ${STARTUP_STALL} ms)"
echo "  stalls >= 50 ms   $(stat_of stalls_over_50ms) (>= 100 ms: $(stat_of stalls_over_100ms))"
echo "  stalled handling  $(sed -n 's/^stall_event //p' "$STATS") (event type, receiver)"
echo "  longest gaps      (ms after start, ms, event type, receiver)"
sed -n 's/^gap /    /p' "$STATS"
echo "  exit status       $RC"
grep '^device ' "$STATS" | sed 's/^/  /'

FAIL=0
(( RC == 0 )) || { echo "soak: FAIL exit status $RC" >&2; sed 's/^/  | /' "$WORK/run.err" >&2; FAIL=1; }
(( CYCLES > 0 )) || { echo "soak: FAIL no cycle" >&2; FAIL=1; }
(( RECORDS == EXPECTED )) || { echo "soak: FAIL records $RECORDS != $CYCLES x $DEVICES" >&2; FAIL=1; }
(( GROWTH <= MAX_GROWTH_KB )) || { echo "soak: FAIL memory grew by $GROWTH kB" >&2; FAIL=1; }
(( STALL <= MAX_STALL_MS )) || { echo "soak: FAIL event loop stalled $STALL ms" >&2; FAIL=1; }
exit $FAIL
