# A private X display and an X11 tray, for the desktop tests and the benchmarks alike. Each
# appends the pid of what it starts to `pids`.

# start_xvfb DIR [SCREEN]: a private X display (Xvfb picks a free number itself, so runs side by
# side never share one); DISPLAY points at it once it answers. Fails after 20 s.
start_xvfb() {
    local dir=$1 screen=${2:-1280x800x24}
    # Without -noreset it resets when its first client leaves and turns away whoever connects
    # meanwhile.
    Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset 3>"$dir/display" \
        >"$dir/xvfb.log" 2>&1 &
    pids+=($!)
    local deadline=$((SECONDS + 20))
    until [ -s "$dir/display" ] && DISPLAY=":$(head -1 "$dir/display")" xdpyinfo >/dev/null 2>&1; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.1
    done
    export DISPLAY=":$(head -1 "$dir/display")"
}

# start_trayer_panel [TRAYER OPTIONS]: trayer, an X11 tray, along the top at the right end,
# growing with its icons.
start_trayer_panel() {
    trayer --edge top --align right --widthtype request --height 24 --SetDockType true "$@" &
    pids+=($!)
}
