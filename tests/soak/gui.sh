#!/usr/bin/env bash
# The tray program over a long run: on a private X display with an X11 tray (trayer), the
# popover open, the label showing the processor share (which changes on every tick) and a tick
# every TICK_MS, while a helper starts and reaps PER_SECOND short-lived processes. Prints
# resident memory, open descriptors and the process tracker's size after a warm-up (a quarter
# of the run), halfway and at the end, and fails when they grow beyond the bounds.
# Usage: gui.sh BUILD_DIR [SECONDS=600] [TICK_MS=10] [PER_SECOND=300]
here=$(dirname "$(realpath "$0")")
source "$here/figures.sh"
own_pid_namespace "$0" "$@"
seconds=${2:-600} tick_ms=${3:-10} per_second=${4:-300}
scenario=soak-gui
source "$here/../e2e/common.sh"
source "$here/../e2e/hosts.sh"
need trayer
start_display
start_trayer

mkdir -p "$XDG_CONFIG_HOME/orbimeter"
printf '[General]\nnumberMetric=CPU %%\nouterRingMetric=CPU Total\ninnerRingMetric=CPU User\n' \
    >"$XDG_CONFIG_HOME/orbimeter/orbimeter.conf"
start_churn "$per_second"
started=$SECONDS
background app.log "$app" --tick-interval-ms "$tick_ms" --stats
watched=$!

# The tray item docks once its first image is drawn; a click on it opens the popover.
docked() { geometry "$trayer_window" && [ "$WIDTH" -ge 40 ]; }
retry 60 docked || fail "the program's tray item did not dock"
click_tray() { geometry "$trayer_window" && xdotool mousemove "$((X + WIDTH * 3 / 4))" "$((Y + HEIGHT / 2))" click 1; }
open_popover

for point in start:$((seconds / 4)) middle:$((seconds / 2)) end:$seconds; do
    wait_s=$((started + ${point#*:} - SECONDS))
    [ "$wait_s" -le 0 ] || sleep "$wait_s"
    kill -0 "$watched" 2>/dev/null || fail "the program ended during the run"
    find_window Orbimeter >/dev/null || fail "the popover closed during the run"
    sample "${point%:*}" "$work/app.log"
done
stop_churn
echo "GUI soak: $seconds s of $tick_ms ms ticks, popover open; $(cat "$work/churn.log")"
report
