# Shared set-up and steps of the desktop tests: a private X display, config and runtime
# directories, clean-up of everything started whatever happens, and the steps a user takes
# (open the popover, a detail window, the settings window, quit), each checked on screen.
# Screenshots go to BUILD_DIR/e2e-artefacts/<scenario>/.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/display.sh"

build=$(realpath "${1:?usage: $0 BUILD_DIR}")
app="$build/app/orbimeter"
scenario=${scenario:-$(basename "$0" .sh)}
artefacts="$build/e2e-artefacts/$scenario"

# Exits with ctest's skip status when a tool the scenario needs is missing.
need() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null ||
            { echo "SKIP: $tool is not installed (the desktop tests need Xvfb, xdotool, ImageMagick and a tray host)"; exit 77; }
    done
}
need Xvfb xdpyinfo xwininfo xdotool xprop import convert

work=$(mktemp -d /tmp/orbimeter-e2e.XXXXXX)
export XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config" HOME="$work/home"
mkdir -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME" "$HOME"
chmod 700 "$XDG_RUNTIME_DIR"
rm -rf "$artefacts"
mkdir -p "$artefacts"
pids=()

cleanup() {
    local status=$?
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    # A desktop process that outlives the request to end is ended outright after a few seconds.
    local deadline=$((SECONDS + 5))
    while [ "$SECONDS" -lt "$deadline" ] && kill -0 "${pids[@]}" 2>/dev/null; do sleep 0.2; done
    for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
    exit $status
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    [ -f "$work/app.log" ] && sed 's/^/  app: /' "$work/app.log" | tail -20
    shot failure >/dev/null 2>&1 && echo "  screen at the failure: $artefacts/failure.png"
    exit 1
}

# Runs a command every 0.1 s until it succeeds, for at most SECONDS (whole seconds). A deadline
# rather than a count of tries, since on a loaded machine each try may itself take a while.
retry() {
    local deadline=$((SECONDS + $1))
    until "${@:2}"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.1
    done
}

start_display() { start_xvfb "$work" || fail "no X display could be started"; }
# background LOG COMMAND...: a process of the desktop's, its output added to LOG in the run's
# folder, ended with the run.
background() {
    "${@:2}" >>"$work/$1" 2>&1 &
    pids+=($!)
}

# start_bus VARIABLE [LOG]: a bus daemon of the run's own, its address exported in VARIABLE and
# its pid in bus_pid; its output (that of the services it starts) goes to LOG, if given.
start_bus() {
    dbus-daemon --session --nofork --address="unix:path=$work/$1" --print-address=3 \
        3>"$work/$1.address" >"${2:-/dev/null}" 2>&1 &
    bus_pid=$!
    pids+=($bus_pid)
    retry 10 test -s "$work/$1.address" || fail "no bus for $1"
    export "$1=$(head -1 "$work/$1.address")"
}
start_session_bus() { start_bus DBUS_SESSION_BUS_ADDRESS "$@"; }

# A StatusNotifierWatcher on the session bus (a mock of Debian's python3-dbusmock; another python3
# earlier on PATH may lack it) that records the items it is asked to register.
bus() { gdbus call --session "$@"; }
watcher() { bus --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher "$@"; }
start_watcher() {
    background mock.log /usr/bin/python3 -m dbusmock --session org.kde.StatusNotifierWatcher \
        /StatusNotifierWatcher org.kde.StatusNotifierWatcher
    retry 10 watcher --method org.freedesktop.DBus.Mock.AddMethod org.kde.StatusNotifierWatcher \
        RegisterStatusNotifierItem s '' '' >/dev/null 2>&1 || fail "no watcher on the bus"
}
registrations() { watcher --method org.freedesktop.DBus.Mock.GetCalls | grep -o "'/StatusNotifierItem[^']*'" || true; }
registered() { [ "$(registrations | wc -l)" -ge "$1" ]; }

# Starts the program with these arguments, its output in app.log. Its sampling tick is an hour,
# so that whatever changes on screen during the test was changed by the user, not by a tick.
start_app() {
    background app.log "$app" --tick-interval-ms 3600000 "$@"
    app_pid=$!
}

# Prints the id of a visible window with exactly this name, false while there is none.
find_window() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | awk 'NR == 1 { print } END { exit !NR }'; }
wait_for_window() { retry 30 find_window "$1"; }
window_gone() { retry 10 eval "! find_window '$1' >/dev/null"; }

# Sets X, Y, WIDTH and HEIGHT to a window's geometry on screen, inside any frame a window manager
# gives it (xdotool's own report counts a reparenting manager's frame twice).
geometry() {
    eval "$(xwininfo -id "$1" 2>/dev/null | awk -F: '
        /Absolute upper-left X/ { print "X=" $2+0 } /Absolute upper-left Y/ { print "Y=" $2+0 }
        /Width/ { print "WIDTH=" $2+0 } /Height/ { print "HEIGHT=" $2+0 }')"
    [ -n "${WIDTH:-}" ]
}
# Sets LEFT, RIGHT, TOP and BOTTOM to the frame a window manager draws around a window (0 without).
frame_extents() {
    read -r LEFT RIGHT TOP BOTTOM < <(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null |
        grep -o '[0-9].*' | tr -d ,) || true
    LEFT=${LEFT:-0} RIGHT=${RIGHT:-0} TOP=${TOP:-0} BOTTOM=${BOTTOM:-0}
}

# Waits until a window shows its content, more than a handful of colours: a window is mapped
# before its first frame.
drawn() { grab "$work/drawn.png" "$1" 2>/dev/null && [ "$(convert "$work/drawn.png" -format %k info:)" -gt 10 ]; }
wait_drawn() { retry 10 drawn "$1" || fail "window $1 shows no content"; }

# Clicks at a position relative to a window's top-left corner.
click_in() { geometry "$1" && xdotool mousemove "$((X + $2))" "$((Y + $3))" click 1; }

# grab FILE [WINDOW]: a screenshot of the screen, or of one window. Under a compositor the screen
# is the compositor's (grim): X sees only its own windows there.
grab() {
    if [ -z "${2:-}" ] && [ "${compositor_shots:-}" = 1 ]; then grim "$1"; else import -window "${2:-root}" "$1"; fi
}
# Saves a screenshot of the screen, or of one window, as an artefact and prints its path.
shot() { grab "$artefacts/$1.png" "${2:-}" && echo "$artefacts/$1.png"; }
# The number of distinct colours in a region WxH+X+Y of an image.
colours() { convert "$1" -crop "$2" +repage -format %k info:; }
# A pixel's colour as RRGGBB.
pixel() { convert "$1" -format "%[hex:p{$2,$3}]" info: | cut -c1-6; }
# Whether two colours RRGGBB differ by at most 2 in each channel.
near() {
    local i
    for i in 0 2 4; do
        local d=$((16#${1:i:2} - 16#${2:i:2}))
        [ "${d#-}" -le 2 ] || return 1
    done
}
# Whether two images differ in any pixel.
differ() { [ "$(compare -metric AE "$1" "$2" null: 2>&1 || true)" != 0 ]; }

# The user's steps. A scenario defines click_tray, which clicks the item that opens the popover.

# Opens the popover (unless it is open) and sets `popover` to its window. A click that comes just
# after the popover closed on losing the focus is taken as the closing click, so it tries again.
open_popover() {
    local try
    for try in 1 2 3; do
        popover=$(find_window Orbimeter) || { click_tray && popover=$(retry 10 find_window Orbimeter); } &&
            wait_drawn "$popover" && return 0
    done
    fail "clicking the tray item opened no popover"
}

# The popover: 340 x 750, the dark blue background behind the cards, and the cards drawn.
check_popover() {
    open_popover
    geometry "$popover"
    [ "$WIDTH"x"$HEIGHT" = 340x750 ] || fail "the popover is ${WIDTH}x$HEIGHT, not 340x750"
    local image behind count
    image=$(shot popover "$popover")
    echo "popover: $image"
    behind=$(pixel "$image" 4 300)
    near "$behind" 1a1a33 || fail "the popover's background is #$behind, not #1a1a33"
    count=$(colours "$image" 340x700+0+50)
    [ "$count" -gt 50 ] || fail "the popover shows $count colours: the cards are not drawn"
}

# The processor card opens the "CPU" detail window where the program puts it: its frame 50 right
# of the usable area's left edge, centred vertically in it; the window shows its chart. Clicking
# the card again closes it.
check_cpu_details() {
    open_popover
    click_in "$popover" 170 120
    local details area image count
    details=$(wait_for_window CPU) || fail "the processor card opened no window titled CPU"
    # The usable area is the screen less what a window manager reserves for panels.
    read -r -a area < <(xprop -root _NET_WORKAREA 2>/dev/null | grep -o '[0-9].*' | tr -d ,) || true
    [ "${#area[@]}" -ge 4 ] || read -r -a area < <(xdpyinfo | awk '/dimensions:/ { sub("x", " ", $2); print 0, 0, $2 }')
    frame_extents "$details"
    geometry "$details"
    local want_x=$((area[0] + 50)) want_y=$((area[1] + (area[3] - HEIGHT - TOP - BOTTOM) / 2))
    # Its frame's corner, within a pixel (half a pixel is rounded either way).
    at_position() {
        geometry "$details" && local dx=$((X - LEFT - want_x)) dy=$((Y - TOP - want_y)) &&
            [ "${dx#-}" -le 1 ] && [ "${dy#-}" -le 1 ]
    }
    # A tiling compositor (sway) places managed windows itself.
    [ "${compositor_places_windows:-}" = 1 ] || retry 10 at_position ||
        fail "the CPU window's frame is at ($((X - LEFT)), $((Y - TOP))), not at ($want_x, $want_y)"
    wait_drawn "$details"
    image=$(shot cpu-window "$details")
    echo "CPU window: $image"
    count=$(colours "$image" "$((WIDTH - 32))x200+16+80")
    [ "$count" -gt 20 ] || fail "the CPU window's chart shows $count colours: no chart drawn"

    open_popover
    click_in "$popover" 170 120
    window_gone CPU || fail "clicking the processor card again left the CPU window open"
}

# Opens the settings window from the popover's gear and sets `settings` to it.
open_settings() {
    open_popover
    click_in "$popover" 288 20
    settings=$(wait_for_window Preferences) || fail "the gear opened no settings window"
    wait_drawn "$settings"
}

# In the settings window, chooses the number metric above the current one with the keyboard (a
# pointer over the open list would pick what it hovers); checks that it is stored at once.
choose_number_metric() {
    open_settings
    # The list of the Number Display picker covers the empty form below the picker while open.
    list_open() { grab "$work/settings.png" "$settings" && [ "$(colours "$work/settings.png" 170x140+150+330)" -gt 4 ]; }
    click_in "$settings" 234 297
    retry 10 list_open || fail "the number picker did not open"
    xdotool key Escape
    retry 5 eval '! list_open' || fail "the number picker's list did not close"
    xdotool key Up
    local file="$XDG_CONFIG_HOME/orbimeter/orbimeter.conf"
    stored() { grep -q "^numberMetric=Mem Free$" "$file" 2>/dev/null; }
    retry 5 stored || fail "choosing Mem Free did not store it: $(cat "$file" 2>/dev/null)"
    echo "settings: $(shot settings "$settings")"
}

# Waits for the program to end, with status 0; $1 names what ended it.
ended() {
    retry 10 eval '! kill -0 "$app_pid" 2>/dev/null' || fail "$1 did not end the program"
    wait "$app_pid" || fail "after $1 the program exited with status $?"
}

# The popover's quit button ends the program with status 0, leaving no process of it behind.
quit() {
    open_popover
    click_in "$popover" 320 20
    ended "the quit button"
    local pid left=""
    for pid in /proc/[0-9]*; do
        [ "$(readlink "$pid/exe" 2>/dev/null)" = "$(realpath "$app")" ] &&
            grep -qz "^XDG_RUNTIME_DIR=$XDG_RUNTIME_DIR$" "$pid/environ" 2>/dev/null && left+=" ${pid#/proc/}"
    done
    [ -z "$left" ] || fail "processes of the program left behind:$left"
}
