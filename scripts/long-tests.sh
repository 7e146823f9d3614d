#!/usr/bin/env bash
# Runs the long recordings, which stay out of CI for the disk's sake: one hour of sound and a
# recording past 4 GiB through the capture path, each saved, checked and opened again, and the
# media tests' RF64 save. Needs about 10 GB free in TAPEWREN_LONG_DIR (default: the temporary
# folder) and some minutes.
#
# Usage: scripts/long-tests.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

cmake -S . -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" --target tst_longrecording tst_wavefiles

"$build/tests/long/tst_longrecording"
TAPEWREN_LONG_TESTS=1 "$build/tests/media/tst_wavefiles" save_writesRf64_pastFourGiB
