#!/bin/sh
# A real pcscd with virtual cards in vpcd's readers, for ctest.
#
#   fixture.sh start STATE          start pcscd unless one is running (setup)
#   fixture.sh stop STATE           stop the pcscd that start started (cleanup)
#   fixture.sh run STATE VIRTUALCARD KIND@N... -- COMMAND...
#       serves a card of KIND on reader N (0: "Virtual PCD 00 00", port 35963;
#       1: "Virtual PCD 00 01", port 35964), waits until pcscd shows each card
#       with its ATR, runs COMMAND, then stops the cards.
#
# Only root can start pcscd (it needs /run/pcscd); for any other user without
# a running pcscd, run prints why and exits 77, which ctest counts as skipped.
# Processes are stopped by their own PID with SIGTERM: after SIGKILL pcscd
# leaves its socket and pid file behind in /run/pcscd.
set -u

action=$1
state=$2
shift 2

now() { date +%s%N; }
elapsed_ms() { echo $(( ($(now) - $1) / 1000000 )); }

running_pcscd() {
    [ -f /run/pcscd/pcscd.pid ] && kill -0 "$(cat /run/pcscd/pcscd.pid)" 2>/dev/null
}

# Whether process $1 runs (an ended child of ours stays a zombie until the
# shell exits, and kill -0 still finds it).
alive() {
    case $(ps -o stat= -p "$1" 2>/dev/null) in
    "" | Z*) return 1 ;;
    esac
}

# Waits up to $2 tenths of a second for the process $1 to end.
wait_gone() {
    i=0
    while alive "$1" && [ $i -lt "$2" ]; do sleep 0.1; i=$((i + 1)); done
    ! alive "$1"
}

start() {
    rm -rf "$state"
    mkdir -p "$state"
    if running_pcscd; then
        echo "using the running pcscd (PID $(cat /run/pcscd/pcscd.pid))"
        return 0
    fi
    if [ "$(id -u)" != 0 ]; then
        echo "no pcscd is running and only root can start one (it needs /run/pcscd)" >"$state/skip"
        cat "$state/skip"
        return 0
    fi
    # What a killed pcscd left behind would stop the new one.
    rm -f /run/pcscd/pcscd.pid /run/pcscd/pcscd.comm
    begin=$(now)
    pcscd --foreground --debug --apdu </dev/null >"$state/pcscd.log" 2>&1 &
    echo $! >"$state/pcscd.pid"
    i=0
    while [ ! -S /run/pcscd/pcscd.comm ] && [ $i -lt 100 ]; do sleep 0.05; i=$((i + 1)); done
    if [ ! -S /run/pcscd/pcscd.comm ]; then
        echo "pcscd did not open its socket within 5 s:"
        cat "$state/pcscd.log"
        stop
        return 1
    fi
    echo "started pcscd (PID $(cat "$state/pcscd.pid")), socket after $(elapsed_ms "$begin") ms"
}

stop() {
    [ -f "$state/pcscd.pid" ] || return 0
    pid=$(cat "$state/pcscd.pid")
    kill -TERM "$pid" 2>/dev/null
    if wait_gone "$pid" 50; then
        echo "stopped pcscd (PID $pid)"
        rm -f "$state/pcscd.pid"
    else
        echo "pcscd (PID $pid) did not end within 5 s of SIGTERM"
        return 1
    fi
}

run() {
    virtualcard=$1
    shift
    if [ -f "$state/skip" ]; then
        echo "SKIP: $(cat "$state/skip")"
        exit 77
    fi
    if ! running_pcscd; then
        echo "no pcscd is running; was the pcscd fixture set up?"
        exit 1
    fi
    cards=""
    while [ $# -gt 0 ] && [ "$1" != "--" ]; do
        kind=${1%@*}
        reader=${1#*@}
        shift
        expected=$("$virtualcard" --card "$kind" --print-atr) || exit 1
        "$virtualcard" --card "$kind" --port $((35963 + reader)) </dev/null \
            >"$state/card$reader.log" 2>&1 &
        cards="$cards $!"
        echo "$reader $expected" >>"$state/expected"
    done
    [ "${1:-}" = "--" ] && shift

    # pcscd notices a new card when it polls the reader; a card of another
    # kind in the reader (a virtualcard not ours) shows as the wrong ATR.
    begin=$(now)
    status=0
    while read -r reader expected; do
        name="Virtual PCD 00 0$reader"
        i=0
        atr=""
        while [ "$atr" != "$expected" ] && [ $i -lt 100 ]; do
            [ $i -gt 0 ] && sleep 0.1
            atr=$(opensc-tool -c default -r "$name" -a 2>/dev/null)
            i=$((i + 1))
        done
        if [ "$atr" != "$expected" ]; then
            echo "no card with ATR $expected in \"$name\" within 10 s (found: ${atr:-none})"
            status=1
        fi
    done <"$state/expected"
    rm -f "$state/expected"
    if [ $status = 0 ]; then
        echo "cards present after $(elapsed_ms "$begin") ms"
        "$@"
        status=$?
    fi

    for pid in $cards; do
        kill -TERM "$pid" 2>/dev/null
        wait_gone "$pid" 30 || { echo "virtualcard (PID $pid) ignored SIGTERM"; status=1; }
    done
    exit $status
}

case $action in
start) start ;;
stop) stop ;;
run) run "$@" ;;
*) echo "usage: fixture.sh start|stop|run STATE ..."; exit 2 ;;
esac
