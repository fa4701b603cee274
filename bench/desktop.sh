# Sourced by the desktop benchmarks. start_display WORK [SCREEN] starts a private X display
# (Xvfb), waits until it is up, appends its pid to `pids`, and points DISPLAY and the program's
# runtime and config folders at it and below WORK.
start_display() {
    local work=$1 screen=${2:-1280x800x24}
    Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset 3>"$work/display" >/dev/null 2>&1 &
    pids+=($!)
    for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
    export DISPLAY=":$(head -1 "$work/display")" XDG_RUNTIME_DIR=$work XDG_CONFIG_HOME=$work/config
}

# private_desktop [SCREEN]: a private display in a fresh folder `work` that goes, with every
# process listed in `pids`, when the script exits; no session bus, so nothing reaches a real
# panel.
private_desktop() {
    work=$(mktemp -d)
    pids=()
    trap 'kill "${pids[@]}" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
    start_display "$work" "$@"
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus"
}

# tray_desktop [SCREEN]: private_desktop with trayer (an X11 tray) along the top, aligned right,
# on a slate background, so that the program's one tray item sits at the screen's right end.
tray_desktop() {
    private_desktop "$@"
    xsetroot -solid '#5a6e82' 2>/dev/null || true
    trayer --edge top --align right --widthtype request --height 24 --SetDockType true \
        --transparent true --alpha 0 --tint 0x202020 &
    pids+=($!)
    sleep 2
}
