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
    for _ in $(seq 100); do
        if [ -s "$work/display" ]; then
            export DISPLAY=":$(head -1 "$work/display")"
            xdpyinfo >/dev/null 2>&1 && return 0
        fi
        sleep 0.1
    done
    fail "no X display could be started"
}

# Waits until a visible window with exactly this name exists and prints its id.
wait_for_window() {
    local name=$1 id
    for _ in $(seq 300); do
        id=$(xdotool search --onlyvisible --name "^$name\$" 2>/dev/null | head -1 || true)
        if [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    return 1
}

window_gone() {
    local name=$1
    for _ in $(seq 50); do
        xdotool search --onlyvisible --name "^$name\$" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    return 1
}

# Clicks at a position relative to a window's top-left corner.
click_in() {
    local id=$1 x=$2 y=$3
    eval "$(xdotool getwindowgeometry --shell "$id")"
    xdotool mousemove "$((X + x))" "$((Y + y))" click 1
}
