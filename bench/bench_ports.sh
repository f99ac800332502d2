#!/usr/bin/env bash
# One field update alone against the same update on N ports in one command
# (paced simulators at 38400 bit/s): wall times, their ratio and the CPU share
# per port. Measures and prints; judges nothing.
#
#   bench/bench_ports.sh BUILD_DIR [N]    (N = 8)
#   ZENTOR_BENCH_QUICK=1: 2 ports, a 1 KiB image, 256 bytes of DATA FLASH read at
#   DopPause 0 (a smoke run, no figures meant)
set -euo pipefail
build=$1
n=${2:-8}
size=16384
quick=0
if [ "${ZENTOR_BENCH_QUICK:-}" = 1 ]; then quick=1; n=2; size=1024; fi
cli=$build/cli/zentor-cli
sim=$build/sim/zentor-sim
work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# prog_c.bin: any bytes do for the update (they are unscrambled on load).
head -c "$size" /dev/urandom >"$work/prog_c.bin"
# The default settings, at the simulators' rate; quick: the smallest DATA FLASH, no pauses
# between boot-ROM records.
sim_args=()
if [ "$quick" = 1 ]; then
    printf '[Настройки]\r\nДоп. пауза при записи, мс=0\r\nРазмер данных (чтение), байт=256\r\n' |
        iconv -f UTF-8 -t CP1251 >"$work/z.ini"
    sim_args=(--data-flash-size 256)
else
    : >"$work/z.ini"
fi

start_sim() {  # index -> device path on stdout
    local fifo=$work/sim$1.out
    mkfifo "$fifo"
    "$sim" --baud 38400 --identity "14,7,15,$((10 + $1))" "${sim_args[@]}" \
        --state-dir "$work/state$1" >"$fifo" 2>/dev/null &
    pids+=($!)
    local line
    read -r line <"$fifo"
    echo "$line"
}
mkdir -p "$work/one"
cp "$work/prog_c.bin" "$work/one/"
devices=()
for i in $(seq 0 "$n"); do devices+=("$(start_sim "$i")"); done

now() { date +%s%N; }
cpu() { awk '{print $14 + $15 + $16 + $17}' "/proc/$1/stat" 2>/dev/null || echo 0; }

t0=$(now)
"$cli" --config "$work/z.ini" --baud 38400 --dir "$work/one" update --mode keep --yes --port "${devices[0]}" \
    >"$work/one.log" 2>&1 || { echo "the single update failed:"; cat "$work/one.log"; exit 1; }
single=$((($(now) - t0) / 1000000))

list=$(IFS=,; echo "${devices[*]:1}")
t0=$(now)
/usr/bin/env time -f '%U %S' -o "$work/cpu" "$cli" --config "$work/z.ini" --baud 38400 --dir "$work" update \
    --mode keep --yes --ports "$list" >"$work/many.log" 2>&1 || {
    echo "the update on $n ports failed:"
    cat "$work/many.log"
    exit 1
}
many=$((($(now) - t0) / 1000000))
read -r user sys <"$work/cpu"
awk -v s="$single" -v m="$many" -v n="$n" -v u="$user" -v y="$sys" 'BEGIN {
    printf "update alone: %d ms; on %d ports in one command: %d ms; ratio %.2f\n", s, n, m, m / s
    printf "CPU %.2f s of %.2f s wall = %.1f %% of one core, %.2f %% per port\n",
           u + y, m / 1000, 100 * (u + y) / (m / 1000), 100 * (u + y) / (m / 1000) / n
}'
