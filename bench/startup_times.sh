#!/usr/bin/env bash
# Startup figures of the tray program on a private X display with an X11 tray (trayer), over
# RUNS fresh starts: the time from starting orbimeter to its first item docked in the tray, and
# from a click on the item to the popover's first frame (its window on screen and drawn). Each
# click is the first opening in its process, the slow one that builds the popover's page.
# Times are taken from just before the command starts (orbimeter, or xdotool's click) to the
# moment orbimeter_x_wait sees the change, which looks every few milliseconds.
# Usage: bench/startup_times.sh [build-dir] [runs]
set -euo pipefail
build=$(realpath "${1:-build}")
runs=${2:-5}
wait_for=$build/bench/orbimeter_x_wait
if [ ! -x "$wait_for" ]; then
    echo "startup: skipped, $wait_for is missing (a benchmark target, built where libxcb's headers are)"
    exit 0
fi
source "$(dirname "$0")/desktop.sh"
tray_desktop

# The window of exactly this name (xdotool's name match ignores case, and the tray items are
# named "orbimeter").
window_named() { xwininfo -root -tree | awk -v name="\"$1\":" '$2 == name { print $1; exit }'; }

ms() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.0f", 1000 * (b - a) }'; }

panel=$(window_named panel)
docked=() drawn=() mapped=()
for _ in $(seq "$runs"); do
    "$wait_for" docked "$panel" 20000 >"$work/docked" &
    waiter=$!
    sleep 0.3 # connected and looking
    start=$EPOCHREALTIME
    "$build/app/orbimeter" >>"$work/log" 2>&1 &
    app=$!
    pids+=($app)
    wait $waiter || { echo "startup: no tray item docked within 20 s" >&2; exit 1; }
    docked+=("$(ms "$start" "$(awk '{ print $2 }' "$work/docked")")")

    sleep 3 # let it finish starting before the click
    popover=$(window_named Orbimeter)
    "$wait_for" drawn "$popover" 10000 >"$work/drawn" &
    waiter=$!
    sleep 0.3
    # The tray is aligned right on a 1280-pixel screen: the program's items end at its edge.
    xdotool mousemove 1268 12
    click=$EPOCHREALTIME
    xdotool click 1
    wait $waiter || { echo "startup: the popover was not drawn within 10 s" >&2; exit 1; }
    read -r _ on _ first <"$work/drawn"
    mapped+=("$(ms "$click" "$on")")
    drawn+=("$(ms "$click" "$first")")

    kill $app
    wait $app 2>/dev/null || true
    sleep 1 # the tray lets go of the item
done

summary() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END {
    printf "median %d ms, worst %d ms", v[int((NR + 1) / 2)], v[NR] }'; }
echo "Startup over $runs fresh starts on a private display with trayer:"
echo "  start to the first tray item docked: $(summary "${docked[@]}")   (${docked[*]})"
echo "  click to the popover's first frame:  $(summary "${drawn[@]}")   (${drawn[*]})"
echo "    of which to its window mapped:     $(summary "${mapped[@]}")   (${mapped[*]})"
