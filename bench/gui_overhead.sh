#!/usr/bin/env bash
# CPU share and resident memory of the tray program with the popover closed (or, given `open`,
# opened by a click on the tray item), on a private X display with an X11 tray, side by side with
# `top -b` at the same 1 s refresh; given `details`, a detail window (AREA, CPU by default) is
# open as well as the popover.
# Usage: bench/gui_overhead.sh [build-dir] [seconds] [closed|open|details] [AREA]
set -euo pipefail
build=${1:-build}
seconds=${2:-60}
popover=${3:-closed}
area=${4:-CPU}
hz=$(getconf CLK_TCK)
source "$(dirname "$0")/desktop.sh"
private_desktop
sleep 1
trayer --edge top --align right --widthtype request --height 24 >/dev/null 2>&1 &
pids+=($!)
sleep 1

cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
rss_kib() { awk '/VmRSS/ { print $2 }' "/proc/$1/status"; }

options=()
[ "$popover" = details ] && options=(--details "$area")
"$build/app/orbimeter" "${options[@]}" >/dev/null 2>&1 &
app=$!
pids+=($app)
top -b -d 1 >/dev/null &
peer=$!
pids+=($peer)
sleep 3 # past start-up
if [ "$popover" != closed ]; then
    # The tray is aligned right on a 1280-pixel screen: its one item is at the right end.
    xdotool mousemove 1268 12 click 1
    sleep 1
fi

a0=$(cpu_ticks $app); t0=$(cpu_ticks $peer); r0=$(rss_kib $app)
sleep "$seconds"
a1=$(cpu_ticks $app); t1=$(cpu_ticks $peer); r1=$(rss_kib $app)
awk -v a=$((a1 - a0)) -v t=$((t1 - t0)) -v hz="$hz" -v s="$seconds" -v r0="$r0" -v r1="$r1" -v p="$popover" 'BEGIN {
    printf "over %d s, %s:\n", s, (p == "details" ? "popover and a detail window open" : "popover " p)
    printf "  orbimeter:    %.3f %% of a core, resident %.1f MB at start, %.1f MB at end\n", 100 * a / hz / s, r0 / 1024, r1 / 1024
    printf "  top -b -d 1:  %.3f %% of a core\n", 100 * t / hz / s
}'
