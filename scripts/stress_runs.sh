#!/usr/bin/env bash
# The long form of the run-control stress: random RUN, STOP, Single and Overlap clicks and the
# multi-device window's START while records stream in, checked record by record against the
# simulated device's trace. SEEDS fixed seeds (default 300), each of 150 steps; a failure names
# its seed and the steps that led to it.
# Usage: bash scripts/stress_runs.sh [SEEDS]   (TOLV_TEST_DIR overrides build/release/tests)
set -euo pipefail
cd "$(dirname "$0")/.."
SEEDS=${1:-300}
DIR=${TOLV_TEST_DIR:-build/release/tests}
[[ -x $DIR/test_devicewin ]] || { echo "stress: $DIR/test_devicewin not built" >&2; exit 2; }
export QT_QPA_PLATFORM=offscreen
TOLV_STRESS_SEEDS=$SEEDS "$DIR/test_devicewin" --gtest_filter='RunStress.*' --gtest_brief=1
