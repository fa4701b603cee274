#!/usr/bin/env bash
# On an X11 tray (trayer): the rings and the number dock as two icons, a click on the number opens
# the popover, its settings button the settings window where a setting is changed, and the quit
# button ends the program, leaving nothing behind but what the user chose.
source "$(dirname "$0")/common.sh"

start_display
# No session bus: the item goes to the X11 tray.
export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus"
trayer --edge top --align right --widthtype request --height 24 --SetDockType true \
    --transparent false >"$work/trayer.log" 2>&1 &
pids+=($!)
panel=$(wait_for_window panel) || fail "trayer did not start"

"$app" >"$work/app.log" 2>&1 &
app_pid=$!
pids+=($app_pid)

# The panel grows to the icons' width once both are docked: the rings, then the number.
panel_holds_both() {
    eval "$(xdotool getwindowgeometry --shell "$panel")"
    [ "$WIDTH" -ge 40 ]
}
retry 300 panel_holds_both || fail "the rings and the number did not both dock (panel width $WIDTH)"
sleep 0.5

xdotool mousemove "$((X + WIDTH * 3 / 4))" "$((Y + HEIGHT / 2))" click 1
popover=$(wait_for_window Orbimeter) || fail "no popover after clicking the number"

# Title bar: the settings button is the second symbol from the right, the quit button the last.
click_in "$popover" 296 20
settings=$(wait_for_window Preferences) || fail "the settings button opened no settings window"

# Turning on "Launch at Login" writes the autostart entry at once.
click_in "$settings" 42 59
entry="$XDG_CONFIG_HOME/autostart/orbimeter.desktop"
retry 50 test -f "$entry" || fail "switching on Launch at Login wrote no autostart entry"
grep -q "^Exec=.*orbimeter" "$entry" || fail "the autostart entry does not start the program: $(cat "$entry")"

# Clicking the rings brings the popover back; its quit button ends the program.
eval "$(xdotool getwindowgeometry --shell "$panel")"
xdotool mousemove "$((X + WIDTH / 4))" "$((Y + HEIGHT / 2))" click 1
popover=$(wait_for_window Orbimeter) || fail "the popover did not open a second time"
click_in "$popover" 320 20
retry 50 eval '! kill -0 "$app_pid" 2>/dev/null' || fail "the quit button did not end the program"
wait "$app_pid" || fail "the program exited with an error"

# Only the chosen autostart entry is left behind: no settings file (no choice of metric was
# made), lock or cache.
left=$(find "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" "$HOME" -mindepth 1 -not -type d -not -path "$entry" || true)
[ -z "$left" ] || fail "files left behind: $left"
echo "PASS: tray item, popover, settings window and quit on an X11 tray"
