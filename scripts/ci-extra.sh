#!/usr/bin/env bash
# Extra CI steps, run after the main test suite:
#   1. the unit tests built with the address and undefined-behaviour sanitizers
#      (ZENTOR_ASAN_INTEGRATION=1 adds the simulator integration tests, with
#      zentor-cli and zentor-sim, so every fault path of the matrix runs
#      sanitized; that doubles the step's time);
#   2. every libFuzzer target for a short run (fuzz/run.sh).
# Prints each step and its time; exits non-zero when any step fails.
#
#   ZENTOR_ASAN_BUILD    sanitizer build folder (default build-asan in the checkout)
#   ZENTOR_FUZZ_BUILD    fuzz build folder (default build-fuzz-ci in the checkout)
#   ZENTOR_FUZZ_SECONDS  run time of each fuzz target (default 10)
#   ZENTOR_BUILD_ONLY=1  only build both (the test command does it while its tests run)
set -euo pipefail
cd "$(dirname "$0")/.."

asan=${ZENTOR_ASAN_BUILD:-$PWD/build-asan}
fuzz_seconds=${ZENTOR_FUZZ_SECONDS:-10}
export ZENTOR_FUZZ_BUILD=${ZENTOR_FUZZ_BUILD:-$PWD/build-fuzz-ci}
export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

started=$SECONDS
step_started=$SECONDS
step() {
    echo
    echo "== [$((SECONDS - started)) s] $*"
    step_started=$SECONDS
}
done_step() {
    echo "-- $1: $((SECONDS - step_started)) s"
}

step "sanitizer build (address, undefined) in $asan"
# Line tables only (-g1): enough for the sanitizers' stack traces, much faster to build.
if [ "${ZENTOR_ASAN_INTEGRATION:-0}" = 1 ]; then with_sim=ON; else with_sim=OFF; fi
cmake --preset asan -B "$asan" -DZENTOR_SIM=$with_sim >/dev/null
# Every unit test program that exists, and the simulator tests with the CLI and
# the simulator they start.
mapfile -t targets < <(ninja -C "$asan" -t targets all |
    grep -oE '^zentor_[a-z]+_tests(:|$)' | tr -d ':' | sort -u)
echo "targets: ${targets[*]}"
cmake --build "$asan" -j2 --target "${targets[@]}"
done_step "sanitizer build"

if [ "${ZENTOR_BUILD_ONLY:-0}" = 1 ]; then
    step "fuzz build in $ZENTOR_FUZZ_BUILD"
    sh fuzz/run.sh
    done_step "fuzz build"
    exit 0
fi

step "sanitized tests: ctest -j4 in $asan"
# The wire-time checks of the simulator measure real time; they run alone after.
ctest --test-dir "$asan" --output-on-failure -j4 -E '^SimPacing\.'
if [ "$with_sim" = ON ]; then
    ctest --test-dir "$asan" --output-on-failure -R '^SimPacing\.'
fi
done_step "sanitized tests"

step "fuzz targets, $fuzz_seconds s each (fuzz/run.sh, build in $ZENTOR_FUZZ_BUILD)"
sh fuzz/run.sh "$fuzz_seconds"
done_step "fuzzing"

echo
echo "== ci-extra passed in $((SECONDS - started)) s"
