#!/bin/sh
# readerctl against its floors, on the simulated reader, in one run:
#  - `loop identity` against a bare loop of IdReadCard through the same
#    loader (wall time, median of interleaved runs, and instructions under
#    callgrind, which a shared machine does not disturb);
#  - `call heartbeat` against a bare program that loads the library, opens
#    it and calls TerminalHeartBeat (wall time of paired runs, instructions
#    under callgrind);
#  - the peak memory of `loop heartbeat` over a million calls against a
#    thousand.
#
#   readerctl.sh BUILD_DIR [RUNS] [IDENTITY_READS]
set -eu
build=$1 runs=${2:-11} reads=${3:-500}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset DISPLAY QT_QPA_PLATFORM
export LD_LIBRARY_PATH="$build/device"
readerctl="$build/readerctl/readerctl" floor="$build/bench/readerctlbench"

# Wall milliseconds of one run of the command.
wall() {
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    echo "$start $end" | awk '{ printf "%.3f\n", ($2 - $1) / 1e6 }'
}

median() {
    sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

ratio() {
    echo "$1 $2" | awk '{ printf "%.3f", $1 / $2 }'
}

instructions() {
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
        sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
}

# Peak resident memory of the command, KiB.
peak() {
    python3 -c 'import resource, subprocess, sys
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)' "$@"
}

wall "$readerctl" call heartbeat >/dev/null
wall "$floor" heartbeat >/dev/null
i=0
while [ "$i" -lt "$runs" ]; do
    wall "$readerctl" loop identity --count "$reads" >>"$work/loop"
    wall "$floor" identity "$reads" >>"$work/loopfloor"
    wall "$readerctl" call heartbeat >>"$work/call"
    wall "$floor" heartbeat >>"$work/callfloor"
    i=$((i + 1))
done
loop=$(median <"$work/loop") loopfloor=$(median <"$work/loopfloor")
call=$(median <"$work/call") callfloor=$(median <"$work/callfloor")

echo "readerctl against its floors on the simulated reader (median of $runs interleaved runs)"
printf '%-44s %12s %12s %8s\n' "" "readerctl" "floor" "ratio"
printf '%-44s %12.1f %12.1f %8s\n' "loop identity --count $reads, wall ms" "$loop" "$loopfloor" "$(ratio "$loop" "$loopfloor")"
printf '%-44s %12.1f %12.1f %8s\n' "call heartbeat, wall ms" "$call" "$callfloor" "$(ratio "$call" "$callfloor")"
if command -v valgrind >/dev/null; then
    iloop=$(instructions "$readerctl" loop identity --count 100) ilfloor=$(instructions "$floor" identity 100)
    printf '%-44s %12d %12d %8s\n' "loop identity --count 100, instructions" "$iloop" "$ilfloor" "$(ratio "$iloop" "$ilfloor")"
    icall=$(instructions "$readerctl" call heartbeat) ifloor=$(instructions "$floor" heartbeat)
    printf '%-44s %12d %12d %8s\n' "call heartbeat, instructions" "$icall" "$ifloor" "$(ratio "$icall" "$ifloor")"
fi
small=$(peak "$readerctl" loop heartbeat --count 1000)
large=$(peak "$readerctl" loop heartbeat --count 1000000)
printf '%-44s %12d %12d %8s\n' "loop heartbeat peak KiB: 1000000 vs 1000" "$large" "$small" \
    "$(echo "$large $small" | awk '{ printf "%+d KiB", $1 - $2 }')"
