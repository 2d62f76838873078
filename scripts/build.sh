#!/usr/bin/env bash
# Usage: scripts/build.sh [release|asan]   (default release)
#   release: build/release, optimised, warnings are errors
#   asan:    build/asan, debug with AddressSanitizer + UndefinedBehaviorSanitizer
set -euo pipefail
cd "$(dirname "$0")/.."
kind="${1:-release}"
jobs="$(nproc)"
case "$kind" in
  release)
    cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DTOLV_WERROR=ON >/dev/null
    cmake --build build/release -j "$jobs"
    ;;
  asan)
    cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DTOLV_WERROR=ON -DTOLV_SANITIZE=ON \
      -DTOLV_BUILD_BENCH=OFF >/dev/null
    cmake --build build/asan -j "$jobs"
    ;;
  *)
    echo "unknown build kind: $kind" >&2
    exit 2
    ;;
esac
