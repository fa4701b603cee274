#!/usr/bin/env bash
# The path a user walks, on a tray host from a Linux desktop: the rings and the number show as
# two icons, the rings first, legible on the panel; a click on either opens the popover against
# the panel at the icon, and a click outside or Escape closes it; its processor card opens and
# closes the CPU detail window; its settings button opens the settings window, where Launch at
# Login writes the autostart entry and another number metric is stored and drawn at once; the
# quit button ends the program, leaving nothing behind but what the user chose. The host logs
# nothing about the items. On the large desktops (big_desktops.sh) the walk goes as far as
# Escape and then quits; on GNOME a click shows the item's menu, whose first entry opens the
# popover, and a double click opens it directly.
# Usage: tray_click.sh BUILD_DIR trayer|xfce4-panel|lxqt-light|lxqt-dark|mate|sway|kde-light|kde-dark|gnome
host=${2:?usage: $0 BUILD_DIR trayer|xfce4-panel|lxqt-light|lxqt-dark|mate|sway|kde-light|kde-dark|gnome}
scenario="tray_click-$host"

# sway refuses to run as root: the test then runs as an unprivileged user of its own, on copies
# of the program and these scripts, and hands back the artefacts.
if [ "$host" = sway ] && [ "$(id -u)" -eq 0 ]; then
    command -v sway >/dev/null || { echo "SKIP: sway is not installed"; exit 77; }
    user=orbimeter-e2e
    id "$user" >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin "$user"
    copy=$(mktemp -d /tmp/orbimeter-e2e-sway.XXXXXX)
    mkdir -p "$copy/build/app" "$copy/scripts"
    cp "$(realpath "$1")/app/orbimeter" "$copy/build/app/"
    cp "$(dirname "$0")"/*.sh "$copy/scripts/"
    chown -R "$user" "$copy"
    status=0
    runuser -u "$user" -- env -i PATH="$PATH" bash "$copy/scripts/tray_click.sh" "$copy/build" sway ||
        status=$?
    kept=$(realpath "$1")/e2e-artefacts
    rm -rf "${kept:?}/$scenario" && mkdir -p "$kept"
    cp -r "$copy/build/e2e-artefacts/$scenario" "$kept/" 2>/dev/null && echo "artefacts copied to $kept/$scenario"
    rm -rf "$copy"
    exit $status
fi

source "$(dirname "$0")/common.sh"
source "$(dirname "$0")/hosts.sh"
big=0
case "$host" in
trayer) need trayer ;;
xfce4-panel) need xfce4-panel dbus-daemon ;;
lxqt-*) need lxqt-panel openbox dbus-daemon ;;
mate) need mate-panel marco dconf dbus-daemon ;;
sway) need sway waybar grim dbus-daemon gdbus ;;
kde-* | gnome) big=1 ;;&
kde-*) need kwin_x11 kded5 plasmashell xsetroot dbus-daemon ;;
gnome) need gnome-shell gsettings dbus-daemon ;;
*) fail "no such host: $host" ;;
esac

[ "$host" = sway ] || start_display
"start_$host"
# What the desktop wrote before the program started is not the program's.
user_files() { find "$XDG_CONFIG_HOME" "$HOME" "$XDG_RUNTIME_DIR" -mindepth 1 -not -type d 2>/dev/null | sort; }
user_files >"$work/files-before"
start_app

# The tray's two icons, from a screenshot of the panel (in panel.png), as ICONS_X and ICONS_W:
# trayer's panel grows to hold them. Among the other icons of a large desktop they are found by
# the rings' blue arc: at a low reading the arc is a dot at the top of the ring, so its leftmost
# blue pixel is the ring's centre, and the number (an icon of its own, or the shell's label)
# follows. Elsewhere they are what differs from the panel's background at its right end, inside
# its border.
icons() {
    [ "$host" != trayer ] || trayer_panel
    panel_shot || return 1
    if [ "$host" = trayer ]; then
        ICONS_X=$PANEL_X ICONS_W=$PANEL_W
        return 0
    elif [ "$big" = 1 ]; then
        local centre
        centre=$(convert "$work/panel.png" -depth 8 txt:- | awk '
            NR > 1 { split($1, at, /[,:]/); gsub(/[()]/, "", $2); split($2, c, ",")
                     if (c[1] < 90 && c[2] > 100 && c[2] < 170 && c[3] > 200 && (x == "" || at[1] < x)) x = at[1] }
            END { if (x != "") print x }')
        [ -n "$centre" ] || return 1
        ICONS_X=$((PANEL_X + centre - 11)) ICONS_W=56
        return 0
    fi
    local right=$((PANEL_W > 200 ? 200 : PANEL_W))
    eval "$(convert "$work/panel.png" -crop "${right}x$PANEL_H+$((PANEL_W - right))+0" +repage -shave 2x4 \
        -fuzz 8% -trim -format 'ICONS_X=%X ICONS_W=%w' info: 2>/dev/null | tr -d +)"
    ICONS_X=$((PANEL_X + PANEL_W - right + 2 + ICONS_X))
}
# Both are there once they take at least 40 pixels side by side.
both_docked() { icons && [ "$ICONS_W" -ge 40 ] && [ "$ICONS_W" -lt 200 ]; }
retry 60 both_docked || fail "the rings and the number did not both show in the tray"
echo "tray: $(shot tray), icons enlarged: $(icons_shot icons)"

# A click on an icon (X, then xdotool's click options). sway's seat has no pointer: there the item
# is activated over the bus where it sits, as waybar does for a click.
click_icon() {
    icons || return 1
    local x=$((ICONS_X + $1)) y=$((PANEL_Y + PANEL_H / 2))
    if [ "$host" = sway ]; then
        local item
        item=$(watcher --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher \
            RegisteredStatusNotifierItems | grep -o "':[0-9.]*/StatusNotifierItem'" | tr -d "'")
        bus --dest "${item%%/*}" --object-path "/${item#*/}" --method org.kde.StatusNotifierItem.Activate \
            "$x" "$y" >/dev/null
    else
        xdotool mousemove "$x" "$y" click "${@:2}" 1
    fi
}
# The number; on a large desktop, the rings.
click_tray() { click_icon $((big ? ICONS_W / 4 : ICONS_W * 3 / 4)); }

check_legible
if [ "$host" = gnome ]; then
    click_tray
    sleep 1
    echo "menu: $(shot menu)"
    xdotool key Down Return
    wait_for_window Orbimeter >/dev/null || fail "the menu's first entry opened no popover"
    click_tray() { click_icon $((ICONS_W / 4)) --repeat 2 --delay 80; }
fi
check_popover
check_placement $((ICONS_X + (big ? 11 : ICONS_W / 2))) # on a large desktop, the rings' centre
check_closes
if [ "$big" = 1 ]; then
    quit
    check_host_quiet
    echo "PASS: items, popover, closing and quit on $host"
    exit 0
fi
check_cpu_details

# Turning on "Launch at Login" writes the autostart entry at once.
open_settings
click_in "$settings" 42 59
entry="$XDG_CONFIG_HOME/autostart/orbimeter.desktop"
retry 5 test -f "$entry" || fail "switching on Launch at Login wrote no autostart entry"
grep -q "^Exec=.*orbimeter" "$entry" || fail "the autostart entry does not start the program: $(cat "$entry")"

# Another number metric redraws the number's icon at once, not at the next tick (an hour away),
# and only that: the rings stay, left of it.
icons
cp "$work/panel.png" "$work/panel-before.png"
echo "tray before: $(icons_shot tray-before)"
choose_number_metric
redrawn() { icons && differ "$work/panel-before.png" "$work/panel.png"; }
retry 5 redrawn || fail "the number's icon did not change with the metric"
echo "tray after: $(icons_shot tray-after)"
changed=$(convert "$work/panel-before.png" "$work/panel.png" -compose difference -composite \
    -threshold 5% -trim -format '%X' info: | tr -d +)
[ "$((PANEL_X + changed))" -ge $((ICONS_X + ICONS_W / 3)) ] ||
    fail "the number changed at x $((PANEL_X + changed)), left of the rings (icons from $ICONS_X)"

# The rings open the popover too; its quit button ends the program.
click_tray() { click_icon $((ICONS_W / 4)); }
quit

check_host_quiet

# Only what the user chose is left behind: the autostart entry and the settings file; no lock or
# cache. The desktop keeps files of its own in the same folders.
left=$(user_files | comm -13 "$work/files-before" - | grep -v -x -e "$entry" \
    -e "$XDG_CONFIG_HOME/orbimeter/orbimeter.conf" | grep -v -e "$XDG_CONFIG_HOME/dconf/" \
    -e "$XDG_CONFIG_HOME/xfce4/" -e "$HOME/.cache/" -e "$XDG_RUNTIME_DIR/dconf/" || true)
left+=$(find "$HOME/.cache" -name '*orbimeter*' 2>/dev/null || true)
[ -z "$left" ] || fail "files left behind: $left"
echo "PASS: tray items, popover, CPU window, settings and quit on $host"
