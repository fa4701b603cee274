# Shared set-up for the desktop tests: a private X display, config and runtime directories, and
# clean-up of everything started, whatever happens.
set -euo pipefail

build=${1:?usage: $0 BUILD_DIR}
app="$build/app/orbimeter"
work=$(mktemp -d /tmp/orbimeter-e2e.XXXXXX)
export XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config" HOME="$work/home"
mkdir -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME" "$HOME"
chmod 700 "$XDG_RUNTIME_DIR"
pids=()

cleanup() {
    local status=$?
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
    exit $status
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    [ -f "$work/app.log" ] && sed 's/^/  app: /' "$work/app.log" | tail -20
    exit 1
}

start_display() {
    # Xvfb picks a free display number itself, so tests running side by side never share one.
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
    pids+=($!)
    retry 100 display_up || fail "no X display could be started"
}
display_up() { [ -s "$work/display" ] && export DISPLAY=":$(head -1 "$work/display")" && xdpyinfo >/dev/null 2>&1; }

# Runs a command every 0.1 s until it succeeds, at most N times.
retry() {
    for _ in $(seq "$1"); do "${@:2}" && return 0 || sleep 0.1; done
    return 1
}

# Prints the id of a visible window with exactly this name, once there is one.
find_window() {
    local id
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1) || true
    [ -n "$id" ] && echo "$id"
}
wait_for_window() { retry 300 find_window "$1"; }
window_gone() { retry 50 eval "! find_window '$1' >/dev/null"; }

# Clicks at a position relative to a window's top-left corner.
click_in() {
    local id=$1 x=$2 y=$3
    eval "$(xdotool getwindowgeometry --shell "$id")"
    xdotool mousemove "$((X + x))" "$((Y + y))" click 1
}
