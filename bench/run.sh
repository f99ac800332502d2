#!/usr/bin/env bash
# Builds the benchmarks (release) and prints one table: each transfer against its
# floor (the waits the protocol makes plus 10 bits per byte at the bit rate), the
# tool's CPU share during a field update, one update on many ports, the port scan,
# and the start of the main window with its peak memory. Measures and prints;
# judges nothing. Exits non-zero when a benchmark failed or a figure is missing.
#
#   bench/run.sh              build in $ZENTOR_BENCH_BUILD (default build-bench in the checkout)
#   ZENTOR_BENCH_NO_BUILD=1   neither configure nor build: run what $ZENTOR_BENCH_BUILD holds
#   ZENTOR_BENCH_QUICK=1      each benchmark once on its smallest sizes, the many-ports update
#                             beside the others: a smoke run that keeps them working, in well
#                             under a minute; its figures mean nothing
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ZENTOR_BENCH_BUILD:-$root/build-bench}
quick=0
if [ "${ZENTOR_BENCH_QUICK:-}" = 1 ]; then quick=1; fi
export ZENTOR_BENCH_QUICK=$quick
runs=5  # of find, the ports command and the window
scanRuns=20
if [ "$quick" = 1 ]; then runs=1 scanRuns=1; fi

has_window() {
    if [ -f "$build/build.ninja" ]; then
        ninja -C "$build" -t targets all | grep -q '^bench_window:'
    else
        [ -x "$build/bench/bench_window" ]
    fi
}
if [ "${ZENTOR_BENCH_NO_BUILD:-}" != 1 ]; then
    cmake -S "$root" --preset bench -B "$build" >/dev/null
    targets=(zentor-sim zentor-cli bench_update bench_verified_update bench_read_data bench_program bench_slow_links bench_scan bench_find)
    if has_window; then targets+=(bench_window); fi
    cmake --build "$build" -j2 --target "${targets[@]}" >/dev/null
fi

out=$(mktemp -d)
background=""
cleanup() {
    if [ -n "$background" ]; then kill "$background" 2>/dev/null || true; fi
    rm -rf "$out"
}
trap cleanup EXIT
: >"$out/failed"
run() {  # name, command...: output in $out/name; a failure is named in $out/failed
    local name=$1
    shift
    echo "running $name ..." >&2
    local guard=()
    # A hung quick run must not hold the test run to its end.
    if [ "$quick" = 1 ]; then guard=(timeout 180); fi
    if ! "${guard[@]}" "$@" >"$out/$name" 2>&1; then
        echo "$name failed:" >&2
        cat "$out/$name" >&2
        echo "$name" >>"$out/failed"
    fi
}
ports_bench=(run ports8 bash "$root/bench/bench_ports.sh" "$build")
# Quick: the many-ports update (the longest) beside the others; its figures mean nothing.
if [ "$quick" = 1 ]; then
    "${ports_bench[@]}" &
    background=$!
fi
sim=$build/sim/zentor-sim
run update "$build/bench/bench_update" "$sim"
run verified "$build/bench/bench_verified_update" "$sim"
run read "$build/bench/bench_read_data" "$sim"
run program "$build/bench/bench_program" "$sim"
run slow "$build/bench/bench_slow_links" "$sim"
run scan "$build/bench/bench_scan" "$scanRuns"
run find "$build/bench/bench_find" "$sim" "$runs"
# The whole ports command, process start included: best of $runs. An empty
# configuration of its own (the CLI refuses a --config that does not exist).
: >"$out/empty.ini"
best=""
for _ in $(seq "$runs"); do
    t0=$(date +%s%N)
    if ! "$build/cli/zentor-cli" --config "$out/empty.ini" ports >/dev/null 2>"$out/ports.err"; then
        echo "zentor-cli ports failed:" >&2
        cat "$out/ports.err" >&2
        echo ports >>"$out/failed"
        break
    fi
    t=$((($(date +%s%N) - t0) / 1000))
    if [ -z "$best" ] || [ "$t" -lt "$best" ]; then best=$t; fi
done
window=0
if has_window; then
    window=1
    run window "$build/bench/bench_window" "$runs"
fi
if [ "$quick" = 1 ]; then
    wait "$background" || true  # run() has named a failure
    background=""
else
    "${ports_bench[@]}"
fi

# "measured X ms ... floor Y ms ratio Z" -> "X Y Z"
triple() { sed -n 's/.*measured \([0-9.]*\) ms.*floor \([0-9.]*\) ms *ratio \([0-9.]*\).*/\1 \2 \3/p'; }
missing=()
row() { printf '| %-52s | %12s | %12s | %8s | %-12s |\n' "$@"; }
rowTriple() {  # label, "measured floor ratio", target
    local m f r
    read -r m f r <<<"$2"
    if [ -z "$r" ]; then missing+=("$1"); fi
    row "$1" "${m:-?} ms" "${f:-?} ms" "${r:-?}" "$3"
}
rowValue() {  # label, value, target
    if [ -z "$2" ]; then missing+=("$1"); fi
    row "$1" "${2:-?}" "" "" "$3"
}
# The nth line of a file that matches a pattern.
nth() { grep "$2" "$out/$1" | sed -n "$3p" || true; }

update=$(tr '\n' ' ' <"$out/update" | triple)
verUpdate=$(nth verified '^  update:' '1,$' | tr '\n' ' ' | triple)
verCheck=$(nth verified '^  verification:' '1,$' | tr '\n' ' ' | triple)
cpu=$(sed -n 's/.*CPU \([0-9.]*\) s of \([0-9.]*\) s wall = \([0-9.]*\) %.*/\1 s of \2 s = \3 %/p' "$out/update")
read99=$(nth read 'version  99' 1 | triple)
read120=$(nth read 'version 120' 1 | triple)
# The whole program, then the same bytes shared with data.
progOnly=$(nth program '^program ' 1 | triple)
progData=$(nth program '^program ' 2 | triple)
prog9600=$(nth slow 'programmer 9600' 1 | triple)
boot2400=$(nth slow 'boot ROM 2400' 1 | triple)
scan=$(sed -n 's/.*median \([0-9.]*\) ms.*slowest \([0-9.]*\) ms.*/\1 ms (slowest \2)/p' "$out/scan")
scanPorts=$(sed -n 's/.*: \([0-9]*\) ports.*/\1/p' "$out/scan")
find=$(sed -n 's/.*median \([0-9]*\) ms.*ratio \([0-9.]*\).*/\1 ms (ratio \2)/p' "$out/find")
quickFind=$(sed -n 's/.*quick wall time:.*median \([0-9]*\) ms.*slowest \([0-9]*\) ms.*/\1 ms (slowest \2)/p' "$out/find")
portsCli=""
if [ -n "$best" ]; then portsCli=$(awk -v u="$best" 'BEGIN{printf "%.1f ms", u/1000}'); fi
manyPorts=$(sed -n 's/^update alone: \([0-9]*\) ms; on \([0-9]*\) ports in one command: \([0-9]*\) ms; ratio \([0-9.]*\)$/\2 \3 \1 \4/p' "$out/ports8")
manyCpu=$(sed -n 's/^CPU .* = \([0-9.]*\) % of one core, \([0-9.]*\) % per port$/\1 % (\2 % per port)/p' "$out/ports8")
read -r manyN manyMs aloneMs manyRatio <<<"$manyPorts" || true

echo
echo "Zentor benchmarks, $(date -u +%Y-%m-%d), $(nproc) cores, simulator paced at 38400 bit/s unless a row says otherwise, DopPause 0"
if [ "$quick" = 1 ]; then
    echo "QUICK MODE: one run each on the smallest sizes, not the sizes the rows name; the figures mean nothing"
fi
echo
row "what" "measured" "floor" "ratio" "target"
row "----" "--------" "-----" "-----" "------"
rowTriple "keep-mode update, 30 KiB program + 2 KiB DATA FLASH" "$update" "ratio <= 1.03"
rowTriple "verified update: the update part" "$verUpdate" "ratio <= 1.03"
rowTriple "verified update: verification after power-up" "$verCheck" "ratio <= 1.03"
rowTriple "DATA FLASH read 2048 B, 16-byte blocks (version 99)" "$read99" "ratio <= 1.03"
rowTriple "DATA FLASH read 2048 B, 128-byte blocks (version 120)" "$read120" "ratio <= 1.03"
rowTriple "boot-ROM programming, 32 KiB program" "$progOnly" "ratio <= 1.03"
rowTriple "boot-ROM programming, 30 KiB program + 2 KiB data" "$progData" "ratio <= 1.03"
rowTriple "programmer at 9600 bit/s, 2 KiB program + 512 B data" "$prog9600" "ratio <= 1.03"
rowTriple "boot ROM at 2400 bit/s, 512 B program + 256 B data" "$boot2400" "ratio <= 1.03"
rowValue "tool CPU time / wall time during the update" "$cpu" "< 5 %"
rowValue "ScanComPorts, median of $scanRuns (${scanPorts:-?} ports present)" "$scan" "< 100 ms"
rowValue "find: 8 ports x 3 rates x 1 address, median of $runs" "$find" "< 2000 ms"
rowValue "find, quick search: 8 ports (2 silent), median of $runs" "$quickFind" ""
rowValue "zentor-cli ports, whole process (best of $runs)" "$portsCli" ""
if [ -n "${manyRatio:-}" ]; then
    row "update on ${manyN} ports in one command, floor: one alone" "$manyMs ms" "$aloneMs ms" "$manyRatio" "ratio <= 1.10"
else
    rowValue "update on many ports in one command, floor: one alone" "" "ratio <= 1.10"
fi
rowValue "  its CPU time, share of one core" "$manyCpu" ""
if [ "$window" = 1 ]; then
    faces=0
    while read -r face median slowest rss; do
        faces=$((faces + 1))
        row "start to shown main window, $face face (offscreen)" "$median ms" "" "" "< 500 ms"
        row "  slowest of $runs / peak memory at shown" "$slowest ms" "" "" "$rss MiB"
    done < <(sed -n 's/^\([a-z]*\) *face, [0-9]* starts: median \([0-9.]*\) ms  slowest \([0-9.]*\) ms  peak RSS \([0-9.]*\) MiB.*/\1 \2 \3 \4/p' "$out/window")
    if [ "$faces" != 3 ]; then missing+=("start to shown main window ($faces of 3 faces)"); fi
else
    row "start to shown main window" "(no GUI build)" "" "" "< 500 ms"
fi
echo
echo "Raw output:"
for f in update verified read program slow scan find window ports8; do
    if [ -s "$out/$f" ]; then sed 's/^/  /' "$out/$f"; fi
done

status=0
if [ -s "$out/failed" ]; then
    echo "failed: $(tr '\n' ' ' <"$out/failed")" >&2
    status=1
fi
for m in "${missing[@]}"; do
    echo "no figure: $m" >&2
    status=1
done
exit "$status"
