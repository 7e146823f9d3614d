#!/usr/bin/env bash
# One scripted session under valgrind's memcheck: a few hundred random user actions with a
# fixed seed on the real window, over the real media control and over one that raises. Fails on
# any memory error and on any definite leak; tests/valgrind.supp holds the known noise of the
# libraries underneath.
#
# Usage: scripts/memcheck.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

cmake -S . -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" --target tst_randomsession

QT_QPA_PLATFORM=offscreen TAPEWREN_RANDOM_SEED=20261207 TAPEWREN_RANDOM_ACTIONS=400 \
    valgrind --tool=memcheck --leak-check=full --errors-for-leak-kinds=definite \
    --show-leak-kinds=definite --error-exitcode=1 --num-callers=40 \
    --suppressions=tests/valgrind.supp \
    "$build/tests/faults/tst_randomsession"
