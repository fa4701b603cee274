# Sourced by the desktop benchmarks. start_display WORK [SCREEN] starts a private X display
# (Xvfb), waits until it is up, appends its pid to `pids`, and points DISPLAY and the program's
# runtime and config folders at it and below WORK.
start_display() {
    local work=$1 screen=${2:-1280x800x24}
    Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
    pids+=($!)
    for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
    export DISPLAY=":$(head -1 "$work/display")" XDG_RUNTIME_DIR=$work XDG_CONFIG_HOME=$work/config
}
