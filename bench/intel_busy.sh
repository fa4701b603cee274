#!/usr/bin/env bash
# The cost of Intel graphics utilisation with and without 1,000 extra idle processes of the
# user: the DRM client search (run with every process walk) and one tick's reads.
# Usage: bench/intel_busy.sh [build-dir] ["0 1000"]
set -euo pipefail
build=${1:-build}
counts=${2:-0 1000}
bench="$build/bench/orbimeter_bench"

idle=()
cleanup() {
    [ ${#idle[@]} -eq 0 ] || kill "${idle[@]}" 2>/dev/null || true
    wait 2>/dev/null || true
}
trap cleanup EXIT

for extra in $counts; do
    while [ ${#idle[@]} -lt "$extra" ]; do
        sleep 100000 </dev/null >/dev/null 2>&1 &
        idle+=($!)
    done
    sleep 1
    echo "== $extra extra idle processes ($(ls -d /proc/[0-9]* | wc -l) in all)"
    "$bench" --benchmark_filter='^intel' --benchmark_repetitions=3 \
        --benchmark_report_aggregates_only=true 2>/dev/null | grep -E '_(median) ' || true
done
