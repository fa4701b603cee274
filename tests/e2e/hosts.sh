# The tray hosts the desktop test runs on: each start_<host> starts the panel on the display (or,
# for sway, the compositor with its own XWayland display) and sets PANEL_X, PANEL_Y, PANEL_W and
# PANEL_H to the panel's place on screen. Sourced after common.sh by tray_click.sh and soak/gui.sh.

# The panel, cut from a screenshot of the screen, in panel.png.
panel_shot() {
    grab "$work/screen.png" &&
        convert "$work/screen.png" -crop "${PANEL_W}x$PANEL_H+$PANEL_X+$PANEL_Y" +repage "$work/panel.png"
}
# The icons (ICONS_X, ICONS_W) in panel.png enlarged 4 times, as an artefact; prints its path.
icons_shot() {
    local left=$((ICONS_X - PANEL_X > 4 ? ICONS_X - PANEL_X - 4 : 0))
    convert "$work/panel.png" -crop "$((ICONS_W + 8))x$PANEL_H+$left+0" +repage -filter point -resize 400% \
        "$artefacts/$1.png" && echo "$artefacts/$1.png"
}

# Sets PANEL_* from the visible window of this class (and, where a class has several, this name)
# once it is wholly on screen (MATE's slides in from above).
panel_of() {
    local id
    for id in $(xdotool search --onlyvisible --class "$1" 2>/dev/null); do
        [ -z "${2:-}" ] || [ "$(xdotool getwindowname "$id")" = "$2" ] || continue
        geometry "$id" && [ "$WIDTH" -ge 600 ] && [ "$HEIGHT" -lt 100 ] && [ "$X" -ge 0 ] &&
            [ "$Y" -ge 0 ] || continue
        PANEL_X=$X PANEL_Y=$Y PANEL_W=$WIDTH PANEL_H=$HEIGHT
        return 0
    done
    return 1
}

# Legible on the panel: the contrast ratio (WCAG's, from relative luminance) of the number's ink
# and of the rings' tracks against the commonest colour behind the icons (ICONS_X and ICONS_W in
# panel.png). The rings are the first run of a dozen or more columns that differ from it (a host's
# grip before them is narrower); the number is what follows them. The tracks are the rings'
# pixels no more colourful than that background (a neutral grey laid over it), which leaves out
# the coloured arcs. The panel's border rows are left out.
contrast() {
    convert "$work/panel.png" -shave 0x3 -depth 8 txt:- | awk -v x0=$((ICONS_X - PANEL_X)) -v w="$ICONS_W" '
        function lum(r, g, b) { return 0.2126 * lin(r) + 0.7152 * lin(g) + 0.0722 * lin(b) }
        function lin(c) { c /= 255; return c <= 0.03928 ? c / 12.92 : ((c + 0.055) / 1.055) ^ 2.4 }
        function ratio(a, b) { return a > b ? (a + 0.05) / (b + 0.05) : (b + 0.05) / (a + 0.05) }
        function spread(r, g, b) { return (r > g ? (r > b ? r : b) : (g > b ? g : b)) - (r < g ? (r < b ? r : b) : (g < b ? g : b)) }
        NR > 1 {
            split($1, at, /[,:]/); gsub(/[()]/, "", $2); split($2, c, ",")
            if (at[1] < x0 || at[1] >= x0 + w) next
            key = c[1] "," c[2] "," c[3]; count[key]++
            x[NR] = at[1]; r[NR] = c[1]; g[NR] = c[2]; b[NR] = c[3]
        }
        END {
            for (k in count) if (count[k] > most) { most = count[k]; bg = k }
            split(bg, p, ","); back = lum(p[1], p[2], p[3]); neutral = spread(p[1], p[2], p[3]) + 24
            for (i in x) if (r[i] "," g[i] "," b[i] != bg) inked[x[i]] = 1
            for (col = x0; col < x0 + w; col++) {
                run = inked[col] ? run + 1 : 0
                if (run == 12) { ringsFrom = col - 11; break }
            }
            # An icon is at most 24 pixels wide: the number may follow without a gap.
            for (ringsTo = ringsFrom; inked[ringsTo] && ringsTo < ringsFrom + 24; ringsTo++);
            for (i in x) {
                if (x[i] < ringsFrom) continue
                q = ratio(lum(r[i], g[i], b[i]), back)
                if (x[i] >= ringsTo) { if (q > number) number = q }
                else if (spread(r[i], g[i], b[i]) <= neutral && q > track) track = q
            }
            printf "NUMBER_CONTRAST=%.2f TRACK_CONTRAST=%.2f BACKGROUND=%s RINGS=%d\n", number, track, bg, ringsFrom
        }'
}
# The number and the ring tracks legible on the panel, with the figures printed.
check_legible() {
    eval "$(contrast)"
    echo "contrast behind the icons ($BACKGROUND): number $NUMBER_CONTRAST:1, ring tracks $TRACK_CONTRAST:1 (rings at x $((PANEL_X + RINGS)))"
    awk "BEGIN { exit !($NUMBER_CONTRAST >= 3) }" || fail "the number is hard to read on the panel ($NUMBER_CONTRAST:1)"
    awk "BEGIN { exit !($TRACK_CONTRAST >= 1.3) }" || fail "the ring tracks vanish into the panel ($TRACK_CONTRAST:1)"
}

# The popover against the panel at the icon: over the icon's x (the argument), and touching the
# panel's inner edge (a few pixels apart where the panel reserves no space). It is no window of
# the window manager's, so it has no taskbar entry.
check_placement() {
    ! xprop -root _NET_CLIENT_LIST 2>/dev/null | grep -qiw "$(printf '0x%x' "$popover")" ||
        fail "the popover is among the window manager's windows (it has a taskbar entry)"
    geometry "$popover"
    echo "popover at ($X, $Y), icon at x $1, panel at y $PANEL_Y..$((PANEL_Y + PANEL_H))"
    [ "$X" -le "$1" ] && [ $((X + WIDTH)) -ge "$1" ] || fail "the popover at x $X..$((X + WIDTH)) is not over the icon at $1"
    local gap
    if [ "$PANEL_Y" -eq 0 ]; then gap=$((Y - PANEL_H)); else gap=$((PANEL_Y - Y - HEIGHT)); fi
    [ "$gap" -ge -1 ] && [ "$gap" -le 8 ] || fail "the popover is $gap pixels from the panel"
}

# The open popover closes like one: on a click outside it (here the bare desktop) and on Escape,
# after click_tray opened it again (sway's headless seat has no keyboard to give it).
check_closes() {
    xdotool mousemove 200 400 click 1
    window_gone Orbimeter || fail "a click on the desktop left the popover open"
    [ "$host" != sway ] || return 0
    open_popover
    xdotool key Escape
    window_gone Orbimeter || fail "Escape left the popover open"
}

# Nothing about the items in the host's log: no missing property, menu or failed call.
check_host_quiet() {
    local complaints
    complaints=$(sed 's|/tmp/orbimeter-e2e[^/ ]*||g' "$work/host.log" | grep -i -E \
        "StatusNotifierItem|NO_DBUSMENU|IconThemePath|AccessibleDesc|dbusmenu|orbimeter|appindicator" || true)
    [ -z "$complaints" ] || fail "the host logged about the items: $(echo "$complaints" | head -3)"
}

start_trayer() {
    # No session bus: the items go to the X11 tray.
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus"
    start_trayer_panel --transparent false >"$work/host.log" 2>&1
    trayer_window=$(wait_for_window panel) || fail "trayer did not start"
    trayer_panel() { geometry "$trayer_window" && PANEL_X=$X PANEL_Y=$Y PANEL_W=$WIDTH PANEL_H=$HEIGHT; }
    trayer_panel
}

start_xfce4-panel() {
    start_session_bus
    export XDG_CURRENT_DESKTOP=XFCE
    mkdir -p "$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml"
    cp "$(dirname "$0")/xfce4-panel.xml" "$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml/"
    background host.log xfce4-panel --disable-wm-check
    retry 30 panel_of xfce4-panel || fail "xfce4-panel did not start"
}

# LXQt's panel along the bottom with its status notifier area at the right end; dark: its dark
# theme, a black panel.
start_lxqt() {
    start_session_bus
    export XDG_CURRENT_DESKTOP=LXQt XDG_CONFIG_DIRS=/etc/xdg:/usr/share
    mkdir -p "$XDG_CONFIG_HOME/lxqt"
    printf '%s\n' '[panel1]' 'plugins=mainmenu,taskbar,statusnotifier' 'position=Bottom' \
        '[mainmenu]' 'type=mainmenu' '[taskbar]' 'type=taskbar' '[statusnotifier]' \
        'type=statusnotifier' 'alignment=Right' >"$XDG_CONFIG_HOME/lxqt/panel.conf"
    [ "$1" = dark ] && printf '[General]\ntheme=dark\n' >"$XDG_CONFIG_HOME/lxqt/lxqt.conf"
    background wm.log openbox
    sleep 1
    background host.log lxqt-panel
    retry 30 panel_of lxqt-panel || fail "lxqt-panel did not start"
}
start_lxqt-light() { start_lxqt light; }
start_lxqt-dark() { start_lxqt dark; }

# MATE's top panel holding its notification area alone, at the right end.
start_mate() {
    start_session_bus "$work/host.log" # the panel's applets run as bus services
    export XDG_CURRENT_DESKTOP=MATE XDG_SESSION_DESKTOP=mate DESKTOP_SESSION=mate
    printf '%s\n' '[general]' "toplevel-id-list=['top']" "object-id-list=['notification-area']" \
        '[toplevels/top]' 'expand=true' "orientation='top'" 'size=24' '[objects/notification-area]' \
        "object-type='applet'" "applet-iid='NotificationAreaAppletFactory::NotificationArea'" \
        "toplevel-id='top'" 'position=0' "relative-to-edge='end'" 'locked=true' |
        dconf load /org/mate/panel/ || fail "the panel's layout could not be written"
    background wm.log marco --no-composite
    sleep 1.5
    background host.log mate-panel
    retry 30 panel_of mate-panel "Top Panel" || fail "mate-panel did not start"
}

# sway on a headless output with waybar along the top; the program runs on sway's XWayland
# display. Its seat has no pointer, so the test activates the items over the bus at their place,
# as waybar does when clicked.
start_sway() {
    start_session_bus
    export XDG_CURRENT_DESKTOP=sway XDG_SESSION_TYPE=wayland WLR_BACKENDS=headless \
        WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman WLR_HEADLESS_OUTPUTS=1
    mkdir -p "$XDG_CONFIG_HOME/sway" "$XDG_CONFIG_HOME/waybar"
    printf '%s\n' 'output HEADLESS-1 resolution 1280x800 position 0,0 bg #5a6e82 solid_color' \
        'xwayland enable' 'focus_follows_mouse no' >"$XDG_CONFIG_HOME/sway/config"
    echo '{"layer": "top", "position": "top", "height": 30, "modules-right": ["tray"],
           "tray": {"icon-size": 22, "spacing": 8}}' >"$XDG_CONFIG_HOME/waybar/config"
    local before
    before=$(ls /tmp/.X11-unix 2>/dev/null)
    background wm.log sway
    sway_up() { ls "$XDG_RUNTIME_DIR"/wayland-? >/dev/null 2>&1 && ls "$XDG_RUNTIME_DIR"/sway-ipc.* >/dev/null 2>&1; }
    retry 20 sway_up || fail "sway did not start: $(tail -3 "$work/wm.log")"
    export WAYLAND_DISPLAY=$(basename "$(ls "$XDG_RUNTIME_DIR"/wayland-? | head -1)")
    export SWAYSOCK=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.* | head -1)
    background host.log waybar
    # sway's X display is the socket that was not there before it started.
    new_display() {
        comm -13 <(echo "$before") <(ls /tmp/.X11-unix 2>/dev/null) | awk 'NR == 1 { print substr($0, 2) } END { exit !NR }'
    }
    local number
    number=$(retry 20 new_display) || fail "sway started no XWayland display"
    export DISPLAY=":$number"
    compositor_shots=1 compositor_places_windows=1
    PANEL_X=0 PANEL_Y=0 PANEL_W=1280 PANEL_H=30
    sleep 2 # waybar draws its bar
}

# The two large desktops (big_desktops.sh runs them): KDE Plasma 5 on a slate background, in
# Breeze or Breeze Dark, and GNOME Shell with the AppIndicator extension. They keep their caches
# and data out of the home folder.
start_kde() {
    start_session_bus "$work/bus.log"
    export XDG_CURRENT_DESKTOP=KDE KDE_FULL_SESSION=true KDE_SESSION_VERSION=5 \
        DESKTOP_SESSION=plasma XDG_SESSION_DESKTOP=KDE QT_QPA_PLATFORMTHEME=kde \
        XDG_CACHE_HOME="$work/cache" XDG_DATA_HOME="$work/data"
    xsetroot -solid '#5a6e82'
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
start_kde-light() { start_kde light; }
start_kde-dark() { start_kde dark; }

# The shell draws its top bar on its own stage, not in a window of its own: the bar is the rows
# at the top that keep its colour.
start_gnome() {
    start_session_bus "$work/bus.log"
    start_bus DBUS_SYSTEM_BUS_ADDRESS # the shell aborts without a system bus
    export XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_DESKTOP=gnome DESKTOP_SESSION=gnome \
        XDG_SESSION_TYPE=x11 GNOME_SHELL_SESSION_MODE=user XDG_CACHE_HOME="$work/cache" \
        XDG_DATA_HOME="$work/data"
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
