#!/usr/bin/env bash
# Soak run: 8 simulated devices on a fast link, the multi-device window in autostart with
# automatic saving, for SECONDS (default 600). Reports cycles, records (must be cycles x 8),
# memory, CPU share and the longest event-loop stall of the steady run (at most 100 ms).
# Exits non-zero when a limit is broken or the program does not end cleanly.
#
# Memory is sampled every second of the steady run (after the first fifth, at most the first
# minute): the heap the program holds (its own figure: the least of its readings each second,
# written every 5 s) and the anonymous resident memory; the floors of the middle and the last
# third of the steady run are compared (scripts/soak_common.sh, memory_check). The first third
# may still hold the heap settling after start-up (seen 199.8 MB at 13 s, 204.0 MB flat from
# 19 s on).
# Usage: bash bench/soak.sh [SECONDS]   (TOLV_PROGRAM overrides the program path,
# SOAK_MAX_STALL_MS the stall limit, SOAK_KEEP_STATS=FILE keeps the program's statistics,
# SOAK_KEEP_MEMORY=FILE the memory samples: seconds, heap kB, anonymous kB, resident kB)
set -euo pipefail
cd "$(dirname "$0")/.."

SECONDS_RUN=${1:-600}
DEVICES=8
MAX_STALL_MS=${SOAK_MAX_STALL_MS:-100}  # a machine shared with builds may need more
source scripts/soak_common.sh
soak_begin tolv_soak
export QT_QPA_PLATFORM=offscreen
soak_prepare_files

cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0; }

TOLV_STATS_FILE=$STATS TOLV_SIM_FAST_LINK=1 \
  "$PROGRAM" --simulate $DEVICES --data-root "$ROOT" 2>"$WORK/run.err" &
PID=$!
START=$(date +%s.%N)
TICKS0=$(cpu_ticks $PID)
# A one-minute run's first tenth is only five cycles, still settling (seen: 244 MB at 6 s,
# 251-252 MB flat from 12 s on); a fifth is past that. Long runs keep their first minute.
EARLY=$(( SECONDS_RUN / 5 )); (( EARLY > 60 )) && EARLY=60; (( EARLY < 1 )) && EARLY=1
sleep "$EARLY"
RSS_EARLY=$(rss_kb $PID)
MEM=$WORK/memory.txt
: > "$MEM"
# Resident memory every tenth of the run for the report; the samples for the check each second.
TRACK="$(( RSS_EARLY / 1024 ))"
STEP=$(( SECONDS_RUN / 10 )); (( STEP < 1 )) && STEP=1
NEXT_TRACK=$(( EARLY + STEP ))
T0=$(( SECONDS - EARLY ))  # the sample times are measured: the sampling itself takes time
for (( t = EARLY; t < SECONDS_RUN; )); do
  sleep 1
  t=$(( SECONDS - T0 ))
  kill -0 $PID 2>/dev/null || break
  memory_sample $PID "$t" "$MEM"
  if (( t >= NEXT_TRACK )); then TRACK+=" $(( $(rss_kb $PID) / 1024 ))"; NEXT_TRACK=$(( NEXT_TRACK + STEP )); fi
done
RSS_END=$(rss_kb $PID)
TICKS1=$(cpu_ticks $PID)
END=$(date +%s.%N)
RC=0
stop_program $PID || RC=$?
PID=

[[ -n ${SOAK_KEEP_STATS:-} && -f $STATS ]] && cp "$STATS" "$SOAK_KEEP_STATS"
[[ -n ${SOAK_KEEP_MEMORY:-} ]] && cp "$MEM" "$SOAK_KEEP_MEMORY"
CYCLES=$(stat_of cycles); RECORDS=$(stat_of records); STALL=$(stat_of stall_max_ms)
DRAWS=$(stat_of draws)
CYCLES=${CYCLES:-0}; RECORDS=${RECORDS:-0}; STALL=${STALL:-999999}; RSS_END=${RSS_END:-0}
STARTUP_STALL=$(stat_of stall_startup_max_ms)
HZ=$(getconf CLK_TCK)
CPU=$(awk -v t=$(( TICKS1 - TICKS0 )) -v hz="$HZ" -v a="$START" -v b="$END" \
  'BEGIN { printf "%.1f", 100 * t / hz / (b - a) }')
DATA_FILES=$(find "$MULTI" -path "$MULTI/Intermediate" -prune -o -name '*.CSV' -print | wc -l)

echo "soak: ${SECONDS_RUN} s, $DEVICES simulated devices, fast link, autostart + autosave"
echo "  cycles            $CYCLES"
EXPECTED=$(( CYCLES * DEVICES ))
echo "  records           $RECORDS (cycles x devices: $EXPECTED)"
echo "  plots drawn       $DRAWS"
echo "  merged data files $DATA_FILES"
echo "  RSS after ${EARLY} s    $(MB "$RSS_EARLY") MB, at the end $(MB "$RSS_END") MB"
echo "  RSS track (MB)    $TRACK"
memory_check "$MEM" $(( SECONDS_RUN - EARLY ))
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
for m in "${MEMORY_FAILURES[@]}"; do echo "soak: FAIL $m" >&2; FAIL=1; done
(( STALL <= MAX_STALL_MS )) || { echo "soak: FAIL event loop stalled $STALL ms" >&2; FAIL=1; }
exit $FAIL
