#!/usr/bin/env bash
# Builds Tapewren and runs every test: the normal build, then the same tests built with
# AddressSanitizer and UndefinedBehaviorSanitizer. Installs the Debian 12 packages it needs first,
# and starts its own X server and PulseAudio test daemon.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh --tests
jobs=$(nproc)

echo "== Format check"
git ls-files -- '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

echo "== Build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"

echo "== Debian package"
bash scripts/check-package.sh build

echo "== Tests"
scripts/with-test-env.sh ctest --test-dir build --output-on-failure -j"$jobs"

echo "== One scripted session under valgrind memcheck"
bash scripts/memcheck.sh build

echo "== Build with AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTAPEWREN_SANITIZE=ON
cmake --build build-asan -j"$jobs"

echo "== Tests under the sanitizers"
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    TAPEWREN_TIMEOUT_SCALE=3 scripts/with-test-env.sh ctest --test-dir build-asan --output-on-failure -j"$jobs" \
    --label-exclude nosanitize

echo "== Fuzzing the sound-file reader for a minute"
bash scripts/fuzz.sh 60
