#!/usr/bin/env bash
# A second build under AddressSanitizer and UndefinedBehaviorSanitizer: the whole test suite, then
# a fuzz round over the codec that starts where the suite's own small round ends. Any report ends
# the program that made it, so it fails the step.
# Usage: scripts/sanitize.sh [build-dir] [fuzz inputs]    (after scripts/setup.sh)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build-asan}
inputs=${2:-10000}
start=$SECONDS

cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCORVEXA_SANITIZE=ON \
      -DCORVEXA_BUILD_BENCH=OFF > /dev/null
cmake --build "$build" -j"$(nproc)"
built=$SECONDS

# Leak checks stay on: the suite is free of them, Qt's caches included.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_stack_use_after_return=1:check_initialization_order=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
ctest --test-dir "$build" --output-on-failure -j2 --timeout 600
tested=$SECONDS

# The suite ran inputs 0-599 of seed 1.
"$build/bin/fuzz_codec" --first 600 --inputs "$inputs" --failures "$build/fuzz-failures"
echo "sanitize: build $((built - start)) s, tests $((tested - built)) s," \
     "fuzz $((SECONDS - tested)) s, total $((SECONDS - start)) s"
