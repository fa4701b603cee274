#!/usr/bin/env bash
# Runs the benchmarks and the overhead measurement.
set -euo pipefail
build=${1:-build}
"$build/bench/orbimeter_bench"
"$(dirname "$0")/probe_overhead.sh" "$build" 60
"$(dirname "$0")/process_walk.sh" "$build"
if [ -x "$build/app/orbimeter" ]; then
    "$(dirname "$0")/gui_overhead.sh" "$build" 60
fi
