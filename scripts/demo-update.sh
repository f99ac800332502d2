#!/usr/bin/env bash
# Keep-mode field update of a simulated instrument, end to end:
#   - packages samples/prog.bin as prog_c.bin (zentor-cli encode; p.bin is prog_c.bin),
#   - starts zentor-sim running the old firmware with its own calibration,
#   - runs `zentor-cli update --mode keep --yes` against it,
#   - power-cycles the simulator and checks that the calibration survived byte for
#     byte and that the new firmware is in CODE FLASH.
# Prints PASS or FAIL and exits 0 or 1.
#
#   scripts/demo-update.sh [BUILD_DIR]     (default: build)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
[[ -d $build ]] || build=$root/$build
cli=$(cd "$build" && pwd)/cli/zentor-cli
sim=$(cd "$build" && pwd)/sim/zentor-sim
for exe in "$cli" "$sim"; do
    [[ -x $exe ]] || { echo "FAIL: $exe not built" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/zentor-demo.XXXXXX")
sim_pid=
cleanup() {
    if [[ -n $sim_pid ]] && kill -0 "$sim_pid" 2>/dev/null; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    exit 1
}

# Waits until the simulator's status output holds `count` lines equal to `text`.
wait_status() {
    local text=$1 count=$2
    for _ in $(seq 100); do
        if (($(grep -cx -- "$text" "$work/sim.out" || true) >= count)); then return 0; fi
        sleep 0.05
    done
    fail "the simulator did not report \"$text\""
}

echo "== Work folder: $work"
cp "$root/samples/prog.bin" "$root/samples/data.bin" "$work/"

echo "== Packaging samples/prog.bin"
"$cli" encode 14v071510 --dir "$work"
cp "$work/p.bin" "$work/prog_c.bin"

# Settings: no extra pause in the boot-ROM exchanges, so the demo is quick.
{
    printf '[%s]\r\n' "Настройки"
    printf '%s=0\r\n' "Доп. пауза при записи, мс"
} | iconv -f UTF-8 -t CP1251 >"$work/demo.ini"

echo "== Starting the simulated instrument (firmware 1.4, its own calibration)"
"$sim" --identity 14,7,15,10 --chip Y5 --baud 38400 \
    --code-file "$root/samples/prog-old.bin" --data-file "$root/samples/calibration.bin" \
    --state-dir "$work/sim-state" >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
for _ in $(seq 100); do
    [[ -s $work/sim.out ]] && break
    sleep 0.05
done
port=$(head -n 1 "$work/sim.out")
[[ $port == /* ]] || fail "the simulator did not start: $(cat "$work/sim.err")"
echo "   on $port"

echo "== zentor-cli update --mode keep --yes"
status=0
"$cli" --config "$work/demo.ini" update --mode keep --yes --port "$port" --baud 38400 \
    --dir "$work" || status=$?
((status == 0)) || fail "zentor-cli update exited with $status"

echo "== Power-cycling the simulator"
kill -USR2 "$sim_pid"
wait_status power-cycled 1
kill -USR1 "$sim_pid"
wait_status dumped 1

state=$work/sim-state
ok=1
if cmp -s "$state/data.bin" "$root/samples/calibration.bin"; then
    echo "   DATA FLASH: the instrument's calibration, byte for byte"
else
    echo "   DATA FLASH differs from the instrument's calibration"
    ok=0
fi
if cmp -s "$state/data.bin" "$root/samples/data.bin"; then
    echo "   DATA FLASH holds the factory data.bin"
    ok=0
fi
size=$(stat -c %s "$root/samples/prog.bin")
if head -c "$size" "$state/flash.bin" | cmp -s - "$root/samples/prog.bin"; then
    echo "   CODE FLASH: the new firmware ($(grep -ao 'Velmar demo firmware [0-9.]*' "$root/samples/prog.bin"))"
else
    echo "   CODE FLASH does not hold samples/prog.bin"
    ok=0
fi
mode=$(cat "$state/mode.txt")
echo "   after power-up the chip runs: $mode"
[[ $mode == firmware ]] || ok=0
backup=$(ls "$work"/backup/14v071510_*_data.bin 2>/dev/null | head -n 1 || true)
if [[ -n $backup ]] && cmp -s "$backup" "$root/samples/calibration.bin"; then
    echo "   calibration backup: backup/$(basename "$backup")"
else
    echo "   no calibration backup"
    ok=0
fi

((ok)) || fail "see above"
echo "PASS"
