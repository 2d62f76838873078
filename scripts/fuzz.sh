#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, own build folder) and runs them.
# Usage: scripts/fuzz.sh [--install] [--replay] [SECONDS_PER_TARGET] [TARGET...]
#   --install  install clang and its fuzzer/sanitizer runtimes first (kept out of the normal build)
#   --replay   only run every input of the seed corpus once
#   SECONDS    fuzz each target this long (default 10), new inputs go to build/fuzz/found/<target>
#   TOLV_FUZZ_BUILD  build folder (default build/fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."
install=0 replay=0 seconds=10 targets=()
for a in "$@"; do
  case "$a" in
    --install) install=1 ;;
    --replay) replay=1 ;;
    ''|*[!0-9]*) targets+=("$a") ;;
    *) seconds="$a" ;;
  esac
done
if [ "$install" = 1 ]; then
  missing=()
  for p in clang-14 libclang-rt-14-dev; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
fi
if [ ${#targets[@]} -eq 0 ]; then
  targets=(fuzz_language fuzz_settingsio fuzz_textheader fuzz_loggerstream fuzz_replies fuzz_endmarker
           fuzz_framefiles fuzz_settingsfiles fuzz_multifiles fuzz_records)
fi
build=${TOLV_FUZZ_BUILD:-build/fuzz}
launcher=()
# The sanitizer build of the libraries is most of the time a run takes; a compiler cache keeps
# repeated runs short.
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S fuzz -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 "${launcher[@]}" >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen
for t in "${targets[@]}"; do
  corpus="fuzz/corpus/${t#fuzz_}"
  if [ "$replay" = 1 ]; then
    "$build/$t" -runs=0 "$corpus"
  else
    found="$build/found/$t"
    mkdir -p "$found"
    # CI starts every target from the same seed, so a red run can be repeated. Every input
    # runs well below a second; the timeout leaves room for a machine busy with builds.
    "$build/$t" ${CI:+-seed=1} -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -max_len=8192 \
      -print_final_stats=1 "$found" "$corpus"
  fi
done
