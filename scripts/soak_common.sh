# Shared by the soak scripts (sourced, not run): program path, the run's work folder, waiting,
# stopping with the exit status, the first start that writes the default files and switches on
# autostart, automatic saving and every device, and reading the program's statistics.
# The sourcing script sets DEVICES and, before soak_begin, may set SOAK_ON_EXIT (a command run
# on the way out, while the work folder still exists).

MAX_GROWTH_KB=5120
MAX_RATE_KB_MIN=2048
PROGRAM=${TOLV_PROGRAM:-build/release/src/multi_tolvanex}
PID=

soak_begin() {  # soak_begin PREFIX: checks the program, makes WORK, ROOT, MULTI, STATS
  [[ -x $PROGRAM ]] || { echo "soak: $PROGRAM not built" >&2; exit 2; }
  WORK=$(mktemp -d "/tmp/$1.XXXXXX")
  ROOT=$WORK/D
  MULTI=$ROOT/MULTI_Tolvanex
  STATS=$WORK/stats.txt
  trap soak_cleanup EXIT
}

# Runs under set -e: a test that fails must not end it before the folder is gone.
soak_cleanup() {
  if [[ -n $PID ]]; then kill -KILL "$PID" 2>/dev/null || true; fi
  if [[ -n ${SOAK_ON_EXIT:-} ]]; then eval "$SOAK_ON_EXIT" || true; fi
  rm -rf "$WORK"
}

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

# A first start writes the frame and multi-device files with their defaults; then autosave and
# autostart go on and every device is checked (its flag after the first scale row).
soak_prepare_files() {
  "$PROGRAM" --simulate "$DEVICES" --data-root "$ROOT" 2>"$WORK/first.err" &
  PID=$!
  wait_for 60 test -s "$MULTI/VX_Frame_FormPos.TXT" || { echo "soak: no position file" >&2; exit 1; }
  sleep 2  # past the first boot step, which fills the device list; the close writes it
  stop_program $PID || { echo "soak: first start did not end cleanly" >&2; exit 1; }
  PID=
  test -s "$MULTI/Scalings.TXT" || { echo "soak: no Scalings.TXT" >&2; exit 1; }
  sed -i -e '12s/^[TF]/T/' -e '14s/^[TF]/T/' "$MULTI/VX_Frame_FormPos.TXT"
  local expr=() k
  for (( k = 0; k < DEVICES; ++k )); do expr+=(-e "$(( 7 + 13 * k ))s/^[TF]/T/"); done
  sed -i "${expr[@]}" "$MULTI/Scalings.TXT"
}

# Both read 0 once the program has gone (it then fails on its exit status).
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2>/dev/null || echo 0; }
anon_kb() { awk '/^RssAnon:/ { print $2 }' "/proc/$1/status" 2>/dev/null || echo 0; }
# memory_floors FILE COLUMN: of samples "seconds value ...", the least value in the middle and
# in the last third of their time span (the first may still hold the settling after start-up),
# the growth between them and that growth per minute (from the first sample of one third to the
# first of the other); all in kB. A negative value is no reading and is passed over;
# "-1 -1 0 0" when a third has none.
memory_floors() {
  awk -v c="$2" '
    $c != "" && $c >= 0 { ++n; t[n] = $1; v[n] = $c }
    END {
      if (n < 2) { print "-1 -1 0 0"; exit }
      span = t[n] - t[1]; f0 = f1 = ""; t0 = t1 = ""
      for (i = 1; i <= n; ++i) {
        d = t[i] - t[1]
        if (d >= span / 3 && d < 2 * span / 3) {
          if (t0 == "") t0 = t[i]
          if (f0 == "" || v[i] < f0) f0 = v[i]
        }
        if (d >= 2 * span / 3) { if (t1 == "") t1 = t[i]; if (f1 == "" || v[i] < f1) f1 = v[i] }
      }
      if (f0 == "" || f1 == "") { print "-1 -1 0 0"; exit }
      g = f1 - f0
      printf "%d %d %d %d\n", f0, f1, g, (t1 > t0 ? g * 60 / (t1 - t0) : 0)
    }' "$1"
}
stat_of() { [[ -f $STATS ]] && awk -v k="$1" '$1 == k { print $2 }' "$STATS"; }
MB() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }

# memory_sample PID SECONDS FILE: appends "seconds heap anonymous resident" (kB; heap -1 while
# the program has written no figure of its own).
memory_sample() {
  local heap
  heap=$(stat_of heap_kb || true)
  echo "$2 ${heap:--1} $(anon_kb "$1") $(rss_kb "$1")" >> "$3"
}

# Two readings of the resident size do not tell a leak: one cycle holds a few MB for a moment
# and the allocator keeps freed pages for a while, so single readings of a flat run scatter by
# +-4 MB. The check compares floors instead (memory_floors), which the moments of a cycle's
# work do not reach but a leak lifts:
#   - heap in use (the program's own figure): at most 2 MB per minute, and that rate over the
#     whole steady run at most 5 MB, so a 5 MB/minute leak fails even a one-minute run;
#   - anonymous resident memory: growth at most 5 MB (the allocator's caching included; its
#     floors scatter by up to 3 MB, too much for a rate over a short run).
# memory_check FILE STEADY_SECONDS: prints the two report lines and sets the array
# MEMORY_FAILURES to the limits broken.
memory_check() {
  local f0 f1 growth rate run a0 a1 agrowth arate
  read -r f0 f1 growth rate <<< "$(memory_floors "$1" 2)"
  run=$(( rate * $2 / 60 ))
  read -r a0 a1 agrowth arate <<< "$(memory_floors "$1" 3)"
  MEMORY_FAILURES=()
  # No figure at all is a program without one (the address sanitizer's build); figures too few
  # to split into thirds are a run too short to tell a leak, which must not pass as checked.
  if (( f0 < 0 )) && ! awk '$2 != "" && $2 >= 0 { found = 1 } END { exit !found }' "$1"; then
    echo "  heap in use       no figure from the program; anonymous memory only"
  elif (( f0 < 0 )); then
    echo "  heap in use       too few samples for a check (the run was too short)"
    MEMORY_FAILURES+=("run too short to check the heap")
  else
    echo "  heap in use       floor $(MB "$f0") MB, then $(MB "$f1") MB ($(MB "$rate") MB/min, over the steady run $(MB "$run") MB; limits $(MB $MAX_RATE_KB_MIN) MB/min, $(MB $MAX_GROWTH_KB) MB)"
    (( run <= MAX_GROWTH_KB )) || MEMORY_FAILURES+=("heap grows $run kB over the run")
    (( rate <= MAX_RATE_KB_MIN )) || MEMORY_FAILURES+=("heap grows $rate kB/min")
  fi
  if (( a0 < 0 )); then
    echo "  anonymous memory  too few samples for a check (the run was too short)"
    MEMORY_FAILURES+=("run too short to check the anonymous memory")
  else
    echo "  anonymous memory  floor $(MB "$a0") MB, then $(MB "$a1") MB (growth $(MB "$agrowth") MB, limit $(MB $MAX_GROWTH_KB) MB)"
    (( agrowth <= MAX_GROWTH_KB )) || MEMORY_FAILURES+=("anonymous memory grew by $agrowth kB")
  fi
}
