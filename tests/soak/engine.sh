#!/usr/bin/env bash
# The engine over a long run of process churn: orbimeter-probe samples every TICK_MS while a
# helper starts and reaps PER_SECOND short-lived processes, reusing their identifiers where it
# may. Prints resident memory, open descriptors and the process tracker's size after a warm-up
# (a tenth of the run), halfway and at the end, and fails when they grow beyond the bounds.
# Usage: engine.sh BUILD_DIR [TICKS=100000] [TICK_MS=10] [PER_SECOND=300]
set -euo pipefail
build=$(realpath "${1:?usage: $0 BUILD_DIR [TICKS] [TICK_MS] [PER_SECOND]}")
ticks=${2:-100000} tick_ms=${3:-10} per_second=${4:-300}
source "$(dirname "$(realpath "$0")")/figures.sh"
own_pid_namespace "$0" "$@"
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT

start_churn "$per_second"
started=$SECONDS
"$build/probe/orbimeter-probe" --watch --tick-interval-ms "$tick_ms" --stats \
    >/dev/null 2>"$work/probe.log" &
watched=$!
pids+=($watched)

# A busy machine stretches the ticks: each figure is taken by its tick or, at the latest, when
# twice the planned time (and a little) has passed, with the tick reached.
planned=$((ticks * tick_ms / 1000))
for point in start:$((ticks / 10)) middle:$((ticks / 2)) end:$ticks; do
    name=${point%:*} tick=${point#*:}
    due=$((started + (planned * 2 + 20) * tick / ticks))
    wait_for_tick "$work/probe.log" "$tick" $((due - SECONDS)) ||
        kill -0 "$watched" 2>/dev/null || { echo "FAIL: the engine ended"; tail -5 "$work/probe.log"; exit 1; }
    sample "$name" "$work/probe.log"
done
stop_churn
read -r _ reached _ <<<"${rows[-1]}"
echo "engine soak: $reached of $ticks ticks of $tick_ms ms in $((SECONDS - started)) s; $(cat "$work/churn.log")"
report
