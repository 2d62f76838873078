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
