#!/usr/bin/env bash
# Resident memory of the tray program while its label changes on every tick: a private X display
# with an X11 tray (trayer), ticks every 10 ms, the CPU share of each tick as the number and the
# rings. Prints the resident size at 20 s and at 60 s; they should match.
# Usage: bench/gui_rss.sh [build-dir] [tick-ms]
set -euo pipefail
build=${1:-build}
tick=${2:-10}
source "$(dirname "$0")/desktop.sh"
private_desktop
trayer --edge top --align right --widthtype request --height 24 >/dev/null 2>&1 &
pids+=($!)
sleep 1

# The CPU share over 10 ms changes nearly every tick.
mkdir -p "$XDG_CONFIG_HOME/orbimeter"
printf '[General]\nnumberMetric=CPU %%\nouterRingMetric=CPU Total\ninnerRingMetric=CPU User\n' \
    >"$XDG_CONFIG_HOME/orbimeter/orbimeter.conf"

rss_kib() { awk '/VmRSS/ { print $2 }' "/proc/$1/status"; }
"$build/app/orbimeter" --tick-interval-ms "$tick" >"$work/app.log" 2>&1 &
app=$!
pids+=($app)
sleep 20
r20=$(rss_kib $app)
sleep 40
r60=$(rss_kib $app)
awk -v t="$tick" -v a="$r20" -v b="$r60" 'BEGIN {
    printf "tick %d ms: resident %.1f MB at 20 s, %.1f MB at 60 s (%+.0f kB)\n", t, a / 1024, b / 1024, b - a
}'
