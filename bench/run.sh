#!/usr/bin/env bash
# Runs the benchmarks and the overhead measurement.
set -euo pipefail
build=${1:-build}
"$build/bench/orbimeter_bench"
"$(dirname "$0")/probe_overhead.sh" "$build" 60
