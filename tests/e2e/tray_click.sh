#!/usr/bin/env bash
# The path a user walks, on a tray host from a Linux desktop: the rings and the number show as
# two icons; a click on either opens the popover; its processor card opens and closes the
# CPU detail window; its settings button opens the settings window, where Launch at Login writes
# the autostart entry and another number metric is stored and drawn at once; the quit button
# ends the program, leaving nothing behind but what the user chose.
# Usage: tray_click.sh BUILD_DIR trayer|xfce4-panel
host=${2:?usage: $0 BUILD_DIR trayer|xfce4-panel}
scenario="tray_click-$host"
source "$(dirname "$0")/common.sh"
need "$host"

start_display
if [ "$host" = trayer ]; then
    # No session bus: the items go to the X11 tray.
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus"
    trayer --edge top --align right --widthtype request --height 24 --SetDockType true \
        --transparent false >"$work/host.log" 2>&1 &
    pids+=($!)
    panel=$(wait_for_window panel) || fail "trayer did not start"
else
    # The status tray is a StatusNotifierItem host on a private session bus; the XFCE desktop
    # draws no labels, so the number is an item of its own.
    need dbus-daemon
    start_session_bus
    export XDG_CURRENT_DESKTOP=XFCE
    mkdir -p "$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml"
    cp "$(dirname "$0")/xfce4-panel.xml" "$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml/"
    xfce4-panel --disable-wm-check >"$work/host.log" 2>&1 &
    pids+=($!)
    # The panel along the top, not the small helper window of the same name.
    wide_panel() {
        local id
        for id in $(xdotool search --onlyvisible --name '^xfce4-panel$' 2>/dev/null); do
            geometry "$id" && [ "$WIDTH" -ge 600 ] && echo "$id" && return 0
        done
        return 1
    }
    panel=$(retry 30 wide_panel) || fail "xfce4-panel did not start"
fi

start_app

# The tray's two icons, from a screenshot of the panel (in panel.png): trayer's panel
# grows to hold them; in xfce4-panel they are what differs from the panel's background at its
# right end, inside its border.
icons() {
    geometry "$panel"
    import -window root -crop "${WIDTH}x$HEIGHT+$X+$Y" +repage "$work/panel.png" || return 1
    if [ "$host" = trayer ]; then
        ICONS_X=$X ICONS_W=$WIDTH
    else
        eval "$(convert "$work/panel.png" -shave 2x4 -fuzz 8% -trim \
            -format 'ICONS_X=%X ICONS_W=%w' info: 2>/dev/null | tr -d +)"
        ICONS_X=$((X + 2 + ICONS_X))
    fi
}
# Both are there once they take at least 40 pixels side by side.
both_docked() { icons && [ "$ICONS_W" -ge 40 ] && [ "$ICONS_W" -lt 200 ]; }
retry 60 both_docked || fail "the rings and the number did not both show in the tray"
echo "tray: $(shot tray)"
# Either icon opens the popover. trayer shows the rings left of the number; xfce4-panel's own
# order puts the number first.
click_right() { icons && xdotool mousemove "$((ICONS_X + ICONS_W * 3 / 4))" "$((Y + HEIGHT / 2))" click 1; }
click_left() { icons && xdotool mousemove "$((ICONS_X + ICONS_W / 4))" "$((Y + HEIGHT / 2))" click 1; }
click_tray() { click_right; }

check_popover
check_cpu_details

# Turning on "Launch at Login" writes the autostart entry at once.
open_popover
click_in "$popover" 296 20
settings=$(wait_for_window Preferences) || fail "the settings button opened no settings window"
wait_drawn "$settings"
click_in "$settings" 42 59
entry="$XDG_CONFIG_HOME/autostart/orbimeter.desktop"
retry 5 test -f "$entry" || fail "switching on Launch at Login wrote no autostart entry"
grep -q "^Exec=.*orbimeter" "$entry" || fail "the autostart entry does not start the program: $(cat "$entry")"

# Another number metric redraws the number's icon at once, not at the next tick (an hour away).
# The artefacts show the icons enlarged 4 times.
icons_shot() {
    convert "$work/panel.png" -crop "$((ICONS_W + 8))x$HEIGHT+$((ICONS_X - X > 4 ? ICONS_X - X - 4 : 0))+0" +repage \
        -filter point -resize 400% "$artefacts/$1.png"
    echo "$artefacts/$1.png"
}
icons
cp "$work/panel.png" "$work/panel-before.png"
echo "tray before: $(icons_shot tray-before)"
choose_number_metric
redrawn() { icons && differ "$work/panel-before.png" "$work/panel.png"; }
retry 5 redrawn || fail "the number's icon did not change with the metric"
echo "tray after: $(icons_shot tray-after)"

# The other icon opens the popover too; its quit button ends the program.
click_tray() { click_left; }
quit

# Only what the user chose is left behind: the autostart entry and the settings file; no lock or
# cache. (The panel keeps its own files in the runtime folder.)
left=$(find "$XDG_CONFIG_HOME" "$HOME" -mindepth 1 -not -type d -not -path "$entry" \
    -not -path "$XDG_CONFIG_HOME/orbimeter/orbimeter.conf" -not -path "$XDG_CONFIG_HOME/xfce4/*" || true)
left+=$(find "$XDG_RUNTIME_DIR" -name '*orbimeter*' || true)
[ -z "$left" ] || fail "files left behind: $left"
echo "PASS: tray items, popover, CPU window, settings and quit on $host"
