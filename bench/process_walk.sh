#!/usr/bin/env bash
# The process walk on a crowded machine: for each count of extra idle processes, the walk's time
# per process against a minimal raw reader in the same run, its system calls and allocations
# per walk, and the whole engine's processor share next to top's.
# Usage: bench/process_walk.sh [build-dir] ["1000 5000"] [seconds]
set -euo pipefail
build=${1:-build}
counts=${2:-1000 5000}
seconds=${3:-30}
bench="$build/bench/orbimeter_bench_processes"

idle=()
cleanup() {
    [ ${#idle[@]} -eq 0 ] || kill "${idle[@]}" 2>/dev/null || true
    wait 2>/dev/null || true
}
trap cleanup EXIT

# System calls of one steady walk per process: those of ten walks less those of starting up and
# the first walk, by call.
syscalls_per_process() {
    local processes=$1 out0 out10
    out0=$(mktemp) out10=$(mktemp)
    strace -f -c -o "$out0" "$bench" --walks 0 >/dev/null
    strace -f -c -o "$out10" "$bench" --walks 10 >/dev/null
    awk -v n="$processes" '
        FNR > 2 && $1 !~ /^-/ && $NF != "total" { calls[$NF] += (FNR == NR ? -$4 : $4) }
        END {
            for (name in calls) if (calls[name] > 0) {
                total += calls[name]; line = line sprintf(" %s %.2f", name, calls[name] / 10 / n)
            }
            printf "  system calls per process and walk: %.2f (%s )\n", total / 10 / n, line
        }' "$out0" "$out10"
    rm -f "$out0" "$out10"
}

for extra in $counts; do
    while [ ${#idle[@]} -lt "$extra" ]; do
        sleep 100000 &
        idle+=($!)
    done
    sleep 1
    echo "== $extra extra idle processes ($(ls -d /proc/[0-9]* | wc -l) in all)"
    "$bench" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true 2>/dev/null |
        grep -E '_(median|mean) ' || true
    allocations=$("$bench" --walks 10)
    echo "  allocations: $allocations"
    syscalls_per_process "${allocations%% *}"
    "$(dirname "$0")/probe_overhead.sh" "$build" "$seconds" | sed 's/^/  /'
done
