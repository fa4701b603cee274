source "$(dirname "${BASH_SOURCE[0]}")/../tests/e2e/display.sh"

# Sourced by the desktop benchmarks. start_display WORK [SCREEN] starts a private X display and
# points the program's runtime and config folders below WORK.
start_display() {
    start_xvfb "$1" "${2:-}" || { echo "no X display could be started" >&2; return 1; }
    export XDG_RUNTIME_DIR=$1 XDG_CONFIG_HOME=$1/config
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
    start_trayer_panel --transparent true --alpha 0 --tint 0x202020
    sleep 2
}
