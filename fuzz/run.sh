#!/bin/sh
# Builds every fuzz target with clang in build-fuzz (in the checkout) and runs each for SECONDS
# (default 60). Corpora stay in the build folder; crashes are written to
# build-fuzz/artifacts. Exits non-zero when a target found a fault.
# ZENTOR_BUILD_ONLY=1 stops after the build.
set -eu

seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ZENTOR_FUZZ_BUILD:-$root/build-fuzz}

cmake -S "$root" --preset fuzz -B "$build" >/dev/null
cmake --build "$build" -j2 --target zentor_fuzz_targets
[ "${ZENTOR_BUILD_ONLY:-0}" = 1 ] && exit 0  # build only

mkdir -p "$build/artifacts"
failed=""
for src in "$root"/fuzz/*_fuzz.cpp; do
    name=$(basename "$src" .cpp)
    corpus="$build/corpus/$name"
    mkdir -p "$corpus"
    seeds=""
    if [ -f "$root/fuzz/$name.seeds" ]; then
        while IFS= read -r dir; do
            [ -n "$dir" ] && seeds="$seeds $root/$dir"
        done <"$root/fuzz/$name.seeds"
    fi
    echo "== $name: $seconds s"
    # shellcheck disable=SC2086 # seed folders are separate arguments
    if ! "$build/fuzz/$name" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/$name-" "$corpus" $seeds; then
        failed="$failed $name"
    fi
done

if [ -n "$failed" ]; then
    echo "fuzz targets with findings:$failed" >&2
    exit 1
fi
echo "all fuzz targets ran $seconds s without findings"
