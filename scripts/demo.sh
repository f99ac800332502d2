#!/usr/bin/env bash
# Builds the tool and the simulator, then runs a keep-mode field update of a
# simulated instrument and shows that its calibration survived.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

build=${ZENTOR_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target zentor-cli zentor-sim
bash scripts/demo-update.sh "$build"
