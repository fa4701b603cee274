#!/usr/bin/env bash
# Two builds of the probe side by side over the same window, each thread's CPU time summed from
# /proc/PID/task/*/schedstat (nanoseconds, not 10 ms clock ticks), so that a change of a few
# percent shows above the noise that two windows one after the other would see. With --threads,
# each thread's share and wake-ups too.
# Usage: bench/probe_ab.sh BEFORE AFTER [seconds] [--threads]
#   e.g. bench/probe_ab.sh /tmp/orbimeter-probe.old build/probe/orbimeter-probe 90
set -euo pipefail
before=${1:?usage: $0 BEFORE AFTER [seconds] [--threads]}
after=${2:?usage: $0 BEFORE AFTER [seconds] [--threads]}
seconds=${3:-90}
threads=${4:-}

# "NAME NANOSECONDS WAKEUPS" per thread.
per_thread() {
    local task
    for task in /proc/"$1"/task/*; do
        echo "$(tr ' ' _ <"$task/comm") $(awk '{ print $1, $3 }' "$task/schedstat")"
    done
}

"$before" --watch >/dev/null 2>&1 &
a=$!
"$after" --watch >/dev/null 2>&1 &
b=$!
trap 'kill $a $b 2>/dev/null || true' EXIT
sleep 5 # past the first walk and the workers' first readings
per_thread $a >"${TMPDIR:-/tmp}/ab.$$.a0"
per_thread $b >"${TMPDIR:-/tmp}/ab.$$.b0"
sleep "$seconds"
per_thread $a >"${TMPDIR:-/tmp}/ab.$$.a1"
per_thread $b >"${TMPDIR:-/tmp}/ab.$$.b1"

for side in a b; do
    label=$([ $side = a ] && echo before || echo after)
    paste "${TMPDIR:-/tmp}/ab.$$.${side}0" "${TMPDIR:-/tmp}/ab.$$.${side}1" |
        awk -v s="$seconds" -v label="$label" -v threads="$threads" '
            { ms = ($5 - $2) / s / 1e6; total += ms
              if (threads != "") printf "  %-7s %-16s %7.3f ms/s  %4d wake-ups\n", label, $1, ms, $6 - $3 }
            END { printf "%-7s %.3f ms/s = %.3f %% of a core\n", label, total, total / 10 }'
    rm -f "${TMPDIR:-/tmp}/ab.$$.${side}0" "${TMPDIR:-/tmp}/ab.$$.${side}1"
done
