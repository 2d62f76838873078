#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program on two simulated devices.
# Further arguments go to the program (e.g. --data-root DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh release
exec build/release/src/multi_tolvanex --simulate 2 "$@"
