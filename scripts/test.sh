#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
# Usage: scripts/test.sh [--sanitize]   (--sanitize: the AddressSanitizer/UBSan build instead)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
kind=release
if [ "${1:-}" = "--sanitize" ]; then kind=asan; fi
bash scripts/build.sh "$kind"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir "build/$kind" --output-on-failure -j "$(nproc)" --timeout 300
