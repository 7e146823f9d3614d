#!/usr/bin/env bash
# Fuzzes the path that opens and reads a sound file: builds fuzz_openwave with clang, libFuzzer,
# AddressSanitizer and UndefinedBehaviorSanitizer in build-fuzz, replays the known bad inputs,
# makes the seed corpus and fuzzes for the given number of seconds (60 unless given).
# Exits non-zero when an input crashed; the input is kept under build-fuzz/fuzz-artifacts.
# TAPEWREN_FUZZ_KEEP_GOING=1 keeps fuzzing past a crash (for long runs), in a forked worker.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
build=build-fuzz
fuzzer=$build/tests/fuzz/fuzz_openwave
corpus=$build/fuzz-corpus
seeds=$build/fuzz-seeds
artifacts=$build/fuzz-artifacts

echo "== Build"
CC=clang CXX=clang++ cmake -S . -B "$build" -DTAPEWREN_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)" --target fuzz_openwave

export ASAN_OPTIONS=abort_on_error=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/fuzz/lsan.supp:print_suppressions=0

echo "== Known bad inputs"
shopt -s nullglob
regressions=(tests/fuzz/regressions/*)
if ((${#regressions[@]})); then
    "$fuzzer" "${regressions[@]}"
fi

echo "== Seeds"
rm -rf "$seeds"
/usr/bin/python3 tests/fuzz/make-seeds.py "$seeds"

echo "== Fuzzing for $seconds s"
mkdir -p "$corpus" "$artifacts"
before=$(find "$artifacts" -type f | wc -l)
options=(-max_total_time="$seconds" -max_len=65536 -timeout=30 -rss_limit_mb=4096
         -dict=tests/fuzz/wave.dict -print_final_stats=1 -artifact_prefix="$artifacts/")
if [[ ${TAPEWREN_FUZZ_KEEP_GOING:-0} == 1 ]]; then
    # one worker only: the machine's cores are shared
    options+=(-fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1)
fi
status=0
"$fuzzer" "$corpus" "$seeds" "${options[@]}" || status=$?
after=$(find "$artifacts" -type f | wc -l)

if ((status != 0 || after > before)); then
    echo "fuzz.sh: the fuzzer found a failing input (exit status $status); see $artifacts" >&2
    exit 1
fi
echo "fuzz.sh: no failure in $seconds s"
