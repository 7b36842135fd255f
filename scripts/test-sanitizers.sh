#!/usr/bin/env bash
# Builds the core tests and the fuzz corpus replay with AddressSanitizer and
# UndefinedBehaviorSanitizer (build/asan) and runs them. Any report fails.
set -euo pipefail
source "$(dirname "$0")/env.sh"
jobs=${VELLO_JOBS:-$(nproc)}
build="$VELLO_BUILD/asan"
cmake -S "$VELLO_ROOT" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=$VELLO_CXX_FLAGS" -DVELLO_SANITIZE=ON >/dev/null
cmake --build "$build" -j "$jobs" --target core_tests fuzz_replay
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$build" --output-on-failure -R '^(core_tests|fuzz_replay_.*)$'
