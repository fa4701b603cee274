# Sourced by the soak and security scripts: what a running process of the program holds, read
# from /proc, and the table and bounds of a soak.

# Runs the soak again in a PID namespace of its own (arguments: the script's and its own), where
# the churn may hand out identifiers again at once and the walk sees the run's processes alone.
own_pid_namespace() {
    [ -z "${ORB_SOAK_NAMESPACE:-}" ] || return 0
    local unshare=(unshare --user --map-root-user --pid --fork --mount --mount-proc)
    "${unshare[@]}" true 2>/dev/null || { echo "note: no private PID namespace here; no reused identifiers"; return 0; }
    exec "${unshare[@]}" env ORB_SOAK_NAMESPACE=1 bash "$@"
}

# Starts the churn helper at $1 processes a second (pid in `churn`, its report in churn.log),
# reusing identifiers only inside the run's own namespace.
start_churn() {
    "$build/tests/orbimeter_process_churn" "$1" ${ORB_SOAK_NAMESPACE:+--reuse} >"$work/churn.log" 2>&1 &
    churn=$!
    pids+=($churn)
}
stop_churn() { kill "$churn" && { wait "$churn" || true; }; }

# Resident memory in kB, and the part of it that is the program's own (heap and stacks): the
# rest is shared library and font pages, which grow as code runs for the first time.
rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }
anon_kib() { awk '/^RssAnon:/ { print $2 }' "/proc/$1/status"; }

# "OTHER KEPT": the open descriptors, split into the process walk's kept `stat` files (their
# number follows the processes alive) and every other one (which must not grow). A file the
# program has open for a moment while reading is not held: the fewest of three looks count.
descriptors() {
    local best_other= best_kept=0 look fd target kept other
    for look in 1 2 3; do
        kept=0 other=0
        for fd in "/proc/$1/fd/"*; do
            target=$(readlink "$fd" 2>/dev/null) || continue
            if [[ $target =~ ^/proc/[0-9]+/stat$ ]]; then kept=$((kept + 1)); else other=$((other + 1)); fi
        done
        if [ -z "$best_other" ] || [ "$other" -lt "$best_other" ]; then best_other=$other best_kept=$kept; fi
        sleep 0.05
    done
    echo "$best_other $best_kept"
}

# "TICK PROCESSES TRACKED" from the last line the program wrote with --stats.
last_tick() {
    grep '^tick ' <(tail -n 20 "$1") | tail -n 1 | tr -d ':,' | awk '{ print $2, $4, $6 }'
}

# Waits until the program's log shows tick $2 or later, for at most $3 seconds; false when the
# program `watched` ended or the time ran out.
wait_for_tick() {
    local log=$1 want=$2 deadline=$((SECONDS + $3)) figures
    while [ "$SECONDS" -lt "$deadline" ]; do
        kill -0 "$watched" 2>/dev/null || return 1
        read -r figures _ < <(last_tick "$log") || true
        [ "${figures:-0}" -ge "$want" ] && return 0
        sleep 0.2
    done
    return 1
}

# sample NAME LOG: the figures of the process `watched` now, as one row in the array `rows`.
rows=()
sample() {
    local tick processes tracked other kept
    read -r tick processes tracked < <(last_tick "$2")
    read -r other kept < <(descriptors "$watched")
    rows+=("$1 ${tick:-0} $(rss_kib "$watched") $other $kept ${processes:-0} ${tracked:-0} $(anon_kib "$watched")")
}

# Prints the rows as a table and checks each against the first and the bounds; false on growth
# beyond them. RSS_BOUND_KIB: how much resident memory may grow from the first row to any later one.
RSS_BOUND_KIB=$((8 * 1024)) KEPT_SLACK=16
report() {
    echo "bounds: resident at most +$((RSS_BOUND_KIB / 1024)) MB over start; descriptors other than" \
        "kept stat files +0; kept stat files at most processes + $KEPT_SLACK; tracked at most processes"
    printf '%-8s %8s %12s %12s %12s %10s %10s %9s\n' "" tick resident anonymous descriptors "kept stat" processes tracked
    local failed=0 row first
    read -r -a first <<<"${rows[0]}"
    for row in "${rows[@]}"; do
        # shellcheck disable=SC2086
        set -- $row
        printf '%-8s %8d %6d.%d MB %6d.%d MB %12d %10d %10d %9d\n' "$1" "$2" $(($3 / 1024)) $(($3 % 1024 * 10 / 1024)) \
            $(($8 / 1024)) $(($8 % 1024 * 10 / 1024)) "$4" "$5" "$6" "$7"
        [ $(($3 - first[2])) -le "$RSS_BOUND_KIB" ] || { echo "FAIL: resident memory grew by $(($3 - first[2])) kB by the $1"; failed=1; }
        [ "$4" -le "${first[3]}" ] || { echo "FAIL: descriptors grew from ${first[3]} to $4 by the $1"; failed=1; }
        [ "$5" -le $(($6 + KEPT_SLACK)) ] || { echo "FAIL: $5 stat files kept open for $6 processes at the $1"; failed=1; }
        [ "$7" -le "$6" ] || { echo "FAIL: the tracker holds $7 processes of $6 at the $1"; failed=1; }
    done
    return "$failed"
}

# Prints each socket of process $1 that waits for others to reach it, and is false when there is
# one: a TCP socket in LISTEN (state 0A), a UDP or raw socket bound without a peer (it receives
# from anyone), a unix socket accepting connections (flag __SO_ACCEPTCON, 0x10000). Connected
# sockets (the session bus, the X server) are fine.
listening_sockets() {
    local -A ours=()
    local fd target
    for fd in "/proc/$1/fd/"*; do
        target=$(readlink "$fd" 2>/dev/null) || continue
        [[ $target =~ ^socket:\[([0-9]+)\]$ ]] && ours[${BASH_REMATCH[1]}]=1
    done
    local found=0 table sl local remote state rest inode
    for table in tcp tcp6 udp udp6 raw raw6; do
        [ -r "/proc/$1/net/$table" ] || continue
        # sl local remote st tx:rx tr:when retrnsmt uid timeout inode ...
        while read -r sl local remote state _ _ _ _ _ inode rest; do
            [ -n "${ours[$inode]:-}" ] || continue
            case $table in
            tcp*) [ "$state" = 0A ] || continue ;;
            *) [[ $remote =~ ^0+:0000$ ]] || continue ;;
            esac
            echo "$table socket $inode at $local (state $state)"
            found=1
        done < <(tail -n +2 "/proc/$1/net/$table")
    done
    local refs protocol flags type path
    # Num RefCount Protocol Flags Type St Inode Path
    while read -r sl refs protocol flags type state inode path; do
        [ -n "${ours[$inode]:-}" ] && ((16#$flags & 0x10000)) || continue
        echo "unix socket $inode listening at ${path:-(unnamed)}"
        found=1
    done < <(tail -n +2 "/proc/$1/net/unix")
    [ "$found" = 0 ]
}
