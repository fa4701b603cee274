#!/usr/bin/env bash
# The tray item on the two large desktops, kept out of `make test` for the size of their installs
# and the half minute each takes to start: KDE Plasma 5 (Breeze and Breeze Dark) and GNOME Shell
# with the AppIndicator extension. On each: the rings and the number are legible on the panel,
# the rings first; a click opens the popover against the panel at the icon (on GNOME a click
# shows the item's menu, whose first entry opens it, and a double click opens it directly); a
# click on the desktop and Escape close it; the quit button ends the program with status 0; the
# shell logs nothing about the items. Screenshots go to BUILD_DIR/e2e-artefacts/desktop-<name>/.
# Usage: big_desktops.sh BUILD_DIR [kde-light|kde-dark|gnome ...]   (all three by default)
# Packages: plasma-workspace plasma-desktop kwin-x11 kded5 plasma-framework breeze
# plasma-integration; gnome-shell gnome-shell-extension-appindicator.
if [ $# -ne 2 ]; then
    status=0
    desktops=("${@:2}")
    [ ${#desktops[@]} -gt 0 ] || desktops=(kde-light kde-dark gnome)
    for desktop in "${desktops[@]}"; do
        bash "$0" "${1:?usage: $0 BUILD_DIR [kde-light|kde-dark|gnome ...]}" "$desktop" || status=1
    done
    exit $status
fi

host=$2
scenario="desktop-$host"
source "$(dirname "$0")/common.sh"
source "$(dirname "$0")/hosts.sh"
export XDG_CACHE_HOME="$work/cache" XDG_DATA_HOME="$work/data"

start_kde() {
    need kwin_x11 kded5 plasmashell
    export XDG_CURRENT_DESKTOP=KDE KDE_FULL_SESSION=true KDE_SESSION_VERSION=5 \
        DESKTOP_SESSION=plasma XDG_SESSION_DESKTOP=KDE QT_QPA_PLATFORMTHEME=kde
    background wm.log kwin_x11
    sleep 3
    background kded.log kded5
    sleep 3
    background host.log plasmashell --no-respawn
    retry 60 panel_of plasmashell || fail "plasmashell showed no panel"
    sleep 10 # the panel fills in its applets
    if [ "$1" = dark ]; then
        plasma-apply-colorscheme BreezeDark >/dev/null 2>&1 || fail "no Breeze Dark colour scheme"
        sleep 3
    fi
}

# The shell draws its top bar on its own stage, not in a window of its own: the bar is the rows
# at the top that keep its colour.
start_gnome() {
    need gnome-shell gsettings
    start_bus DBUS_SYSTEM_BUS_ADDRESS # the shell aborts without a system bus
    export XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_DESKTOP=gnome DESKTOP_SESSION=gnome \
        XDG_SESSION_TYPE=x11 GNOME_SHELL_SESSION_MODE=user
    gsettings set org.gnome.shell enabled-extensions "['ubuntu-appindicators@ubuntu.com']"
    gsettings set org.gnome.shell welcome-dialog-last-shown-version '999'
    background host.log gnome-shell --x11 --replace
    sleep 15
    xdotool key Escape # it may start in the overview
    sleep 1
    grab "$work/screen.png"
    local bar
    bar=$(pixel "$work/screen.png" 640 2)
    PANEL_X=0 PANEL_Y=0 PANEL_W=1280 PANEL_H=0
    while [ "$PANEL_H" -lt 80 ] && near "$(pixel "$work/screen.png" 640 "$PANEL_H")" "$bar"; do
        PANEL_H=$((PANEL_H + 1))
    done
    [ "$PANEL_H" -ge 16 ] || fail "no top bar"
}

start_display
start_session_bus "$work/bus.log"
case "$host" in
kde-light | kde-dark) xsetroot -solid '#5a6e82' && start_kde "${host#kde-}" ;;
gnome) start_gnome ;;
*) fail "no such desktop: $host" ;;
esac
start_app

# The icons are found by the rings' blue arc among the panel's other icons: at a low reading the
# arc is a dot at the top of the ring, so its leftmost blue pixel is the ring's centre. The
# number (an icon of its own, or the shell's label) follows within ICONS_W.
icons() {
    panel_shot || return 1
    local centre
    centre=$(convert "$work/panel.png" -depth 8 txt:- | awk '
        NR > 1 { split($1, at, /[,:]/); gsub(/[()]/, "", $2); split($2, c, ",")
                 if (c[1] < 90 && c[2] > 100 && c[2] < 170 && c[3] > 200 && (x == "" || at[1] < x)) x = at[1] }
        END { if (x != "") print x }')
    [ -n "$centre" ] || return 1
    ICONS_X=$((PANEL_X + centre - 11)) ICONS_W=56
}
retry 60 icons || fail "the rings did not show on the panel"
echo "screen: $(shot screen), icons enlarged: $(icons_shot icons)"
check_legible

ring_x=$((ICONS_X + 11)) ring_y=$((PANEL_Y + PANEL_H / 2))
if [ "$host" = gnome ]; then
    # A click shows the item's menu; its first entry opens the popover.
    xdotool mousemove "$ring_x" "$ring_y" click 1
    sleep 1
    echo "menu: $(shot menu)"
    xdotool key Down Return
    popover=$(wait_for_window Orbimeter) || fail "the menu's first entry opened no popover"
    click_tray() { xdotool mousemove "$ring_x" "$ring_y" click --repeat 2 --delay 80 1; }
else
    click_tray() { xdotool mousemove "$ring_x" "$ring_y" click 1; }
fi
check_popover
check_placement "$ring_x"
check_closes # on GNOME the popover opens again by a double click
quit
check_host_quiet
echo "PASS: items, popover, closing and quit on $host"
