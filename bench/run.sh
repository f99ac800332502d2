#!/usr/bin/env bash
# Builds the benchmarks (release) and prints one table: each transfer against its
# floor (the waits the protocol makes plus 10 bits per byte at the bit rate), the
# tool's CPU share during a field update, the port scan, and the start of the
# main window with its peak memory. Measures and prints; judges nothing.
#
#   bench/run.sh            build in $ZENTOR_BENCH_BUILD (default build-bench in the checkout)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ZENTOR_BENCH_BUILD:-$root/build-bench}

cmake -S "$root" --preset bench -B "$build" >/dev/null
targets=(zentor-sim zentor-cli bench_update bench_verified_update bench_read_data bench_program bench_slow_links bench_scan bench_find)
if ninja -C "$build" -t targets all | grep -q '^bench_window:'; then targets+=(bench_window); fi
cmake --build "$build" -j2 --target "${targets[@]}" >/dev/null

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
run() {  # name, command...
    local name=$1
    shift
    echo "running $name ..." >&2
    if ! "$@" >"$out/$name" 2>&1; then
        echo "$name failed:" >&2
        cat "$out/$name" >&2
    fi
}
run update "$build/bench/bench_update" "$build/sim/zentor-sim"
run verified "$build/bench/bench_verified_update" "$build/sim/zentor-sim"
run read "$build/bench/bench_read_data" "$build/sim/zentor-sim"
run program "$build/bench/bench_program" "$build/sim/zentor-sim"
run slow "$build/bench/bench_slow_links" "$build/sim/zentor-sim"
run scan "$build/bench/bench_scan" 20
run find "$build/bench/bench_find" "$build/sim/zentor-sim" 5
# The whole ports command, process start included: best of five. An empty
# configuration of its own (the CLI refuses a --config that does not exist).
: >"$out/empty.ini"
best=""
for _ in 1 2 3 4 5; do
    t0=$(date +%s%N)
    "$build/cli/zentor-cli" --config "$out/empty.ini" ports >/dev/null
    t=$((($(date +%s%N) - t0) / 1000))
    if [ -z "$best" ] || [ "$t" -lt "$best" ]; then best=$t; fi
done
echo "$best" >"$out/ports"
if [ -x "$build/bench/bench_window" ]; then run window "$build/bench/bench_window" 5; fi

# "measured X ms ... floor Y ms ratio Z" -> "X Y Z"
triple() { sed -n 's/.*measured \([0-9.]*\) ms.*floor \([0-9.]*\) ms *ratio \([0-9.]*\).*/\1 \2 \3/p'; }
row() { printf '| %-52s | %12s | %12s | %8s | %-12s |\n' "$@"; }
rowTriple() {  # label, "measured floor ratio", target
    local m f r
    read -r m f r <<<"$2"
    row "$1" "${m:-?} ms" "${f:-?} ms" "${r:-?}" "$3"
}

update=$(tr '\n' ' ' <"$out/update" | triple)
verUpdate=$(grep '^  update:' "$out/verified" | tr '\n' ' ' | triple || true)
verCheck=$(grep '^  verification:' "$out/verified" | tr '\n' ' ' | triple || true)
cpu=$(sed -n 's/.*CPU \([0-9.]*\) s of \([0-9.]*\) s wall = \([0-9.]*\) %.*/\1 s of \2 s = \3 %/p' "$out/update")
read99=$(grep 'version  99' "$out/read" | triple || true)
read120=$(grep 'version 120' "$out/read" | triple || true)
prog32=$(grep 'program 32768' "$out/program" | triple || true)
prog30=$(grep 'program 30720' "$out/program" | triple || true)
prog9600=$(grep 'programmer 9600' "$out/slow" | triple || true)
boot2400=$(grep 'boot ROM 2400' "$out/slow" | triple || true)
scan=$(sed -n 's/.*median \([0-9.]*\) ms.*slowest \([0-9.]*\) ms.*/\1 ms (slowest \2)/p' "$out/scan")
scanPorts=$(sed -n 's/.*: \([0-9]*\) ports.*/\1/p' "$out/scan")
find=$(sed -n 's/.*median \([0-9]*\) ms.*ratio \([0-9.]*\).*/\1 ms (ratio \2)/p' "$out/find")
quickFind=$(sed -n 's/.*quick wall time:.*median \([0-9]*\) ms.*slowest \([0-9]*\) ms.*/\1 ms (slowest \2)/p' "$out/find")

echo
echo "Zentor benchmarks, $(date -u +%Y-%m-%d), $(nproc) cores, simulator paced at 38400 bit/s unless a row says otherwise, DopPause 0"
echo
row "what" "measured" "floor" "ratio" "target"
row "----" "--------" "-----" "-----" "------"
rowTriple "keep-mode update, 30 KiB program + 2 KiB DATA FLASH" "$update" "ratio <= 1.03"
rowTriple "verified update: the update part" "$verUpdate" "ratio <= 1.03"
rowTriple "verified update: verification after power-up" "$verCheck" "ratio <= 1.03"
rowTriple "DATA FLASH read 2048 B, 16-byte blocks (version 99)" "$read99" "ratio <= 1.03"
rowTriple "DATA FLASH read 2048 B, 128-byte blocks (version 120)" "$read120" "ratio <= 1.03"
rowTriple "boot-ROM programming, 32 KiB program" "$prog32" "ratio <= 1.03"
rowTriple "boot-ROM programming, 30 KiB program + 2 KiB data" "$prog30" "ratio <= 1.03"
rowTriple "programmer at 9600 bit/s, 2 KiB program + 512 B data" "$prog9600" "ratio <= 1.03"
rowTriple "boot ROM at 2400 bit/s, 512 B program + 256 B data" "$boot2400" "ratio <= 1.03"
row "tool CPU time / wall time during the update" "${cpu:-?}" "" "" "< 5 %"
row "ScanComPorts, median of 20 ($scanPorts ports present)" "${scan:-?}" "" "" "< 100 ms"
row "find: 8 ports x 3 rates x 1 address, median of 5" "${find:-?}" "" "" "< 2000 ms"
row "find, quick search: 8 ports (2 silent), median of 5" "${quickFind:-?}" "" "" ""
row "zentor-cli ports, whole process (best of 5)" "$(awk -v u="$(cat "$out/ports")" 'BEGIN{printf "%.1f ms", u/1000}')" "" "" ""
if [ -s "$out/window" ]; then
    while read -r face _ _ _ _ median _ _ slowest _ _ _ rss _; do
        row "start to shown main window, $face face (offscreen)" "$median ms" "" "" "< 500 ms"
        row "  slowest of 5 / peak memory at shown" "$slowest ms" "" "" "$rss MiB"
    done < <(sed -n 's/^\([a-z]*\) *face, [0-9]* starts: median \([0-9.]*\) ms  slowest \([0-9.]*\) ms  peak RSS \([0-9.]*\) MiB.*/\1 x x x x \2 x x \3 x x x \4 x/p' "$out/window")
else
    row "start to shown main window" "(no GUI build)" "" "" "< 500 ms"
fi
echo
echo "Raw output:"
for f in update verified read program slow scan find window; do
    [ -s "$out/$f" ] && sed 's/^/  /' "$out/$f"
done
exit 0
