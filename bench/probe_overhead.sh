#!/usr/bin/env bash
# CPU share of the probe at the product's cadence, measured from /proc/<pid>/stat over a window,
# side by side with `top -b` at the same 1 s refresh.
# Usage: bench/probe_overhead.sh [build-dir] [seconds]
set -euo pipefail
build=${1:-build}
seconds=${2:-60}
hz=$(getconf CLK_TCK)

cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

"$build/probe/orbimeter-probe" --watch --json >/dev/null &
probe=$!
top -b -d 1 >/dev/null &
peer=$!
sleep 2 # let both finish starting
p0=$(cpu_ticks $probe); t0=$(cpu_ticks $peer)
sleep "$seconds"
p1=$(cpu_ticks $probe); t1=$(cpu_ticks $peer)
rss=$(awk '/VmRSS/ { print $2 }' "/proc/$probe/status")
kill $probe $peer
wait $probe $peer 2>/dev/null || true
procs=$(ls -d /proc/[0-9]* | wc -l)
awk -v p=$((p1 - p0)) -v t=$((t1 - t0)) -v hz="$hz" -v s="$seconds" -v rss="$rss" -v n="$procs" 'BEGIN {
    printf "over %d s with %d processes:\n", s, n
    printf "  orbimeter-probe --watch: %.3f %% of a core, %d KiB resident\n", 100 * p / hz / s, rss
    printf "  top -b -d 1:             %.3f %% of a core\n", 100 * t / hz / s
}'
