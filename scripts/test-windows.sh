#!/usr/bin/env bash
# The Windows suite: cross-builds the library, the CLI and the tests with MinGW-w64
# and runs them under Wine. The serial checks talk to zentor-sim (built for Linux)
# through a COM port of the Wine prefix linked to the simulator's pseudo-terminal.
# Prints "N passed, N failed" last; exits non-zero on any failure.
#
#   ZENTOR_WIN_BUILD_DIR      cross build folder (build-win in the checkout)
#   ZENTOR_WINHOST_BUILD_DIR  Linux build folder of the simulator (build-winhost)
#   ZENTOR_JOBS               parallel build jobs (2)
#   ZENTOR_WIN_SIM            a zentor-sim already built for Linux (else built here)
#   ZENTOR_BUILD_ONLY=1       stop after the builds (exit status: did they build)
#   ZENTOR_DEPS_ONLY=1        only install the packages
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
win=${ZENTOR_WIN_BUILD_DIR:-$root/build-win}
host=${ZENTOR_WINHOST_BUILD_DIR:-$root/build-winhost}
jobs=${ZENTOR_JOBS:-2}
runner=$root/tests/windows/wine-run.sh
started=$SECONDS

passed=0
failed=0
skipped=0
failures=()

note_failure() {
    failed=$((failed + 1))
    failures+=("$1")
    echo "FAILED: $1"
}

# --- Packages ---------------------------------------------------------------
bash "$root/scripts/deps.sh" cmake ninja-build g++ libgtest-dev libcli11-dev gettext \
    g++-mingw-w64-x86-64-posix wine wine64 || { echo "apt-get install failed"; exit 1; }
[ "${ZENTOR_DEPS_ONLY:-0}" = 1 ] && exit 0

# A build folder configured from another checkout is reconfigured from scratch.
forget_other_source() {
    local cache=$1/CMakeCache.txt
    if [ -f "$cache" ] && ! grep -qx "CMAKE_HOME_DIRECTORY:INTERNAL=$root" "$cache"; then
        rm -rf "$cache" "$1/CMakeFiles"
    fi
}
forget_other_source "$win"
forget_other_source "$host"

mkdir -p "$win"
logs=$win/logs
rm -rf "$logs" && mkdir -p "$logs"

# --- GoogleTest for MinGW, from Debian's sources (built once) ----------------
toolchain=$root/cmake/mingw-w64-x86_64.cmake
gtest=$win/googletest-install
if [ ! -f "$gtest/lib/cmake/GTest/GTestConfig.cmake" ]; then
    echo "Building GoogleTest for MinGW"
    if ! { cmake -S /usr/src/googletest -B "$win/googletest" -G Ninja \
               -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
               -DCMAKE_INSTALL_PREFIX="$gtest" &&
           cmake --build "$win/googletest" -j"$jobs" &&
           cmake --install "$win/googletest"; } >"$logs/googletest.log" 2>&1; then
        tail -20 "$logs/googletest.log"
        echo "0 passed, 1 failed"
        exit 1
    fi
fi

# --- Cross build (-k 0: what builds is still run) ---------------------------
echo "Cross-building in $win"
if ! cmake -S "$root" --preset mingw -B "$win" \
        -DGTest_DIR="$gtest/lib/cmake/GTest" >"$logs/configure.log" 2>&1; then
    tail -30 "$logs/configure.log"
    echo "0 passed, 1 failed"
    exit 1
fi
# What runs under Wine: the CLI, the Windows tests and the unit tests of the layers
# with Win32 code of their own (files and paths, profile files, serial port,
# journal locking). The other layers' logic is the same on both systems and is
# tested natively; it is still compiled here, in the core library.
win_tests=(zentor_common_tests zentor_config_tests zentor_serial_tests zentor_journal_tests)
if ! cmake --build "$win" -j"$jobs" --target zentor-cli zentor_windows_tests "${win_tests[@]}" \
        -- -k 0 >"$logs/build.log" 2>&1; then
    grep -E -A3 '^FAILED|error:' "$logs/build.log" | head -60
    note_failure "cross build (see $logs/build.log)"
fi

echo "   (cross build: $((SECONDS - started)) s)"

# --- The archive: zentor-cli.exe, README and docs in a zip ---------------------
archive_holds_the_tool() {
    rm -f "$win"/zentor-*-win64.zip
    (cd "$win" && cpack -G ZIP) || return 1
    local zips=("$win"/zentor-*-win64.zip)
    local zip=${zips[0]} unpacked=$win/archive
    [ -f "$zip" ] || return 1
    echo "$(basename "$zip")"
    rm -rf "$unpacked" && mkdir -p "$unpacked"
    (cd "$unpacked" && cmake -E tar xf "$zip") || return 1
    local top=$unpacked/$(basename "$zip" .zip)
    for f in zentor-cli.exe README.md docs/install.md docs/windows.md; do
        [ -f "$top/$f" ] || { echo "missing in the archive: $f"; return 1; }
    done
    (cd "$top" && timeout -s KILL 120 "$runner" ./zentor-cli.exe --version </dev/null) |
        tr -d '\r' | grep -E '^zentor-cli [0-9]+\.[0-9]+\.[0-9]+'
}

# --- The simulator, for Linux ------------------------------------------------
if [ -n "${ZENTOR_WIN_SIM:-}" ]; then
    sim=$ZENTOR_WIN_SIM
else
    echo "Building zentor-sim in $host"
    if ! { cmake -S "$root" --preset bench -B "$host" -DZENTOR_GUI=OFF &&
           cmake --build "$host" -j"$jobs" --target zentor-sim; } >"$logs/sim-build.log" 2>&1; then
        tail -30 "$logs/sim-build.log"
        note_failure "simulator build (see $logs/sim-build.log)"
    fi
    sim=$host/sim/zentor-sim
fi
if [ "${ZENTOR_BUILD_ONLY:-0}" = 1 ]; then
    echo "   (builds: $((SECONDS - started)) s, $failed failed)"
    [ "$failed" -eq 0 ]
    exit
fi

# --- Wine prefix ---------------------------------------------------------------
export ZENTOR_WINEPREFIX=$win/wineprefix
export WINEPREFIX=$ZENTOR_WINEPREFIX WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/system.reg" ]; then echo "Creating the Wine prefix $WINEPREFIX"; fi
"$runner" cmd /c exit >/dev/null 2>&1 || true
# Every run starts with an empty Windows temp folder.
for d in "$WINEPREFIX"/drive_c/users/*/Temp; do
    [ -d "$d" ] && find "$d" -mindepth 1 -delete
done
# One server for the whole run keeps each program start short.
wineserver -p
sims=()
cleanup() {
    for pid in "${sims[@]}"; do kill -TERM "$pid" 2>/dev/null; done
    wineserver -k 2>/dev/null || true
}
trap cleanup EXIT

work=$win/run
rm -rf "$work" && mkdir -p "$work"

# Runs one Windows test program under Wine and adds its gtest counts.
run_gtest() {
    local label=$1 exe=$2
    shift 2
    local log=$logs/$label.log
    if [ ! -f "$exe" ]; then
        note_failure "$label: $exe was not built"
        return
    fi
    echo "== $label"
    # Blank lines answer the "pause" of the build's batch file.
    (cd "$work" && timeout -s KILL 300 "$runner" "$exe" --gtest_brief=1 "$@" \
        < <(for _ in $(seq 50); do printf '\r\n'; done)) 2>&1 | tr -d '\r' >"$log"
    local rc=${PIPESTATUS[0]}
    grep -avE '^(Running main|Note: Google Test filter|\[==========\]|\[----------\])' "$log" |
        grep -avE '^\s*$' | iconv -f UTF-8 -t UTF-8 -c | head -80
    local p f s
    p=$(LC_ALL=C sed -nE 's/^\[  PASSED  \] ([0-9]+) tests?\..*/\1/p' "$log" | tail -1)
    # --gtest_brief prints one "[  FAILED  ] Suite.Name (N ms)" line per failed test.
    f=$(grep -acE '^\[  FAILED  \] .* \([0-9]+ ms\)$' "$log")
    s=$(LC_ALL=C sed -nE 's/^\[  SKIPPED \] ([0-9]+) tests?[.,].*/\1/p' "$log" | tail -1)
    if [ -z "$p" ] && [ "$f" -eq 0 ]; then
        note_failure "$label: no test summary (exit status $rc)"
        return
    fi
    passed=$((passed + ${p:-0}))
    skipped=$((skipped + ${s:-0}))
    if [ "$f" -gt 0 ]; then
        failed=$((failed + f))
        failures+=("$label: $f failed")
    elif [ "$rc" -ne 0 ]; then
        note_failure "$label: exit status $rc"
    fi
}

# zentor-sim with its terminal linked to COM<n> of the prefix.
sim_pid=
start_sim() {
    local name=$1 com=$2
    shift 2
    sim_pid=
    rm -f "$WINEPREFIX/dosdevices/com$com"
    "$sim" --link "$WINEPREFIX" --com "$com" --state-dir "$work/$name-state" "$@" \
        >"$work/$name.out" 2>"$work/$name.err" &
    local pid=$!
    sims+=("$pid")
    for _ in $(seq 100); do
        if [ -L "$WINEPREFIX/dosdevices/com$com" ] && [ -s "$work/$name.out" ]; then
            sim_pid=$pid
            return 0
        fi
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    note_failure "$name: simulator did not start: $(cat "$work/$name.err")"
    kill -TERM "$pid" 2>/dev/null
    return 1
}
stop_sim() {
    [ -n "$sim_pid" ] || return 0
    kill -TERM "$sim_pid" 2>/dev/null
    wait "$sim_pid" 2>/dev/null
    sim_pid=
}

# One named check outside gtest: passes when the command succeeds.
check() {
    local label=$1
    shift
    echo "== $label" >>"$logs/checks.log"
    if "$@" >>"$logs/checks.log" 2>&1; then
        passed=$((passed + 1))
        echo "ok: $label"
    else
        note_failure "$label (see $logs/checks.log)"
    fi
}

# The Windows CLI under Wine; its standard input is empty, so it asks nothing.
cli=$win/cli/zentor-cli.exe
wcli() { (cd "$work" && timeout -s KILL 300 "$runner" "$cli" "$@" </dev/null); }

wait_sim_status() {
    local name=$1 text=$2
    for _ in $(seq 100); do
        grep -qx -- "$text" "$work/$name.out" && return 0
        sleep 0.05
    done
    return 1
}

cli_lists_port() { wcli ports | tr -d '\r' | tee /dev/stderr | grep -qx "$1"; }
cli_reads_data() {
    local dir=$work/cli-read
    mkdir -p "$dir"
    wcli --port "$1" --dir "Z:$dir" read-data && cmp "$dir/data_rd.bin" "$2"
}
cli_updates() {
    local dir=$1 port=$2
    wcli encode 14v071510 --dir "Z:$dir" && cp "$dir/p.bin" "$dir/prog_c.bin" &&
        wcli --config "Z:$dir/update.ini" update --mode keep --yes --port "$port" \
            --baud 38400 --dir "Z:$dir"
}
flash_starts_with() { head -c "$(stat -c %s "$2")" "$1" | cmp - "$2"; }

check "zip archive with zentor-cli.exe, README and docs" archive_holds_the_tool

# --- Unit tests ------------------------------------------------------------------
for name in "${win_tests[@]}"; do
    run_gtest "$name" "$win/tests/$name.exe"
done

# --- Windows-only tests --------------------------------------------------------------
wintests=$win/tests/windows/zentor_windows_tests.exe
run_gtest "windows (profile, build)" "$wintests" --gtest_filter='-InstrumentPort.*:BootRomPort.*:ProgrammerPort.*'

if [ -x "$sim" ]; then
    # A running instrument with known DATA FLASH contents, on a port above COM9.
    head -c 2048 /dev/urandom >"$work/instrument-data.bin"
    if start_sim instrument 12 --version-code 120 --data-file "$work/instrument-data.bin"; then
        ZENTOR_WIN_COM=COM12 ZENTOR_WIN_VERSION_CODE=120 \
            ZENTOR_WIN_DATA="Z:$work/instrument-data.bin" \
            run_gtest "windows (serial port, data read)" "$wintests" \
            --gtest_filter='InstrumentPort.*'
        if [ -f "$cli" ]; then
            check "zentor-cli ports lists COM12" cli_lists_port COM12
            check "zentor-cli read-data over COM12" cli_reads_data COM12 "$work/instrument-data.bin"
        fi
        stop_sim
    fi

    # A chip in its boot ROM; its memories are checked in the dump after the run.
    mkdir -p "$work/boot"
    if start_sim bootrom 6 --jumper --chip Y5; then
        ZENTOR_WIN_BOOT_COM=COM6 ZENTOR_WIN_BOOT_DIR="Z:$work/boot" \
            run_gtest "windows (boot-ROM programming)" "$wintests" \
            --gtest_filter='BootRomPort.ProgramChipWritesTheImages'
        stop_sim
        ZENTOR_WIN_BOOT_DIR="Z:$work/boot" ZENTOR_WIN_BOOT_DUMP="Z:$work/bootrom-state" \
            run_gtest "windows (chip contents)" "$wintests" \
            --gtest_filter='BootRomPort.TheChipHoldsTheImages'
    fi

    # The same through the hardware programmer's link.
    mkdir -p "$work/programmer"
    if start_sim programmer 8 --programmer; then
        ZENTOR_WIN_PROG_COM=COM8 ZENTOR_WIN_PROG_DIR="Z:$work/programmer" \
            run_gtest "windows (programmer link)" "$wintests" \
            --gtest_filter='ProgrammerPort.ProgramChipWritesAndVerifies'
        stop_sim
        ZENTOR_WIN_PROG_DIR="Z:$work/programmer" \
            ZENTOR_WIN_PROG_DUMP="Z:$work/programmer-state" \
            run_gtest "windows (programmer target contents)" "$wintests" \
            --gtest_filter='ProgrammerPort.TheTargetHoldsTheImages'
    fi

    # Keep-mode field update with the Windows CLI: the instrument runs old firmware
    # with its own calibration; afterwards it runs the new firmware and keeps the
    # calibration byte for byte.
    if [ -f "$cli" ]; then
        up=$work/update
        mkdir -p "$up"
        cp "$root/samples/prog.bin" "$root/samples/data.bin" "$up/"
        { printf '[%s]\r\n' "Настройки"; printf '%s=0\r\n' "Доп. пауза при записи, мс"; } |
            iconv -f UTF-8 -t CP1251 >"$up/update.ini"
        if start_sim update 7 --identity 14,7,15,10 --chip Y5 --baud 38400 \
            --code-file "$root/samples/prog-old.bin" \
            --data-file "$root/samples/calibration.bin"; then
            update_started=$SECONDS
            check "zentor-cli update --mode keep over COM7" cli_updates "$up" COM7
            echo "   (field update took $((SECONDS - update_started)) s)"
            kill -USR2 "$sim_pid" && wait_sim_status update power-cycled &&
                kill -USR1 "$sim_pid" && wait_sim_status update dumped
            state=$work/update-state
            check "the update kept the calibration" \
                cmp "$state/data.bin" "$root/samples/calibration.bin"
            check "the update wrote the new firmware" \
                flash_starts_with "$state/flash.bin" "$root/samples/prog.bin"
            check "the instrument runs its firmware after power-up" \
                grep -qx firmware "$state/mode.txt"
            stop_sim
        fi
    fi
fi

echo
echo "Windows suite finished in $((SECONDS - started)) s"
for f in "${failures[@]}"; do echo "  failed: $f"; done
if [ "$skipped" -gt 0 ]; then
    echo "$passed passed, $failed failed, $skipped skipped"
else
    echo "$passed passed, $failed failed"
fi
[ "$failed" -eq 0 ]
