#!/usr/bin/env bash
# Runs the benchmarks, then the overhead table beside the peer monitors and the startup times.
set -euo pipefail
build=${1:-build}
"$build/bench/orbimeter_bench"
"$(dirname "$0")/process_walk.sh" "$build"
if [ -x "$build/app/orbimeter" ]; then
    "$(dirname "$0")/overhead_table.sh" "$build" 60
else
    "$(dirname "$0")/probe_overhead.sh" "$build" 60
fi
