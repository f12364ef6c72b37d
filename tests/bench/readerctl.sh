#!/bin/sh
# readerctl against its floors, on the simulated reader, in one run:
#  - `loop identity` against a bare loop of IdReadCard through the same
#    loader (wall time, median of interleaved runs, and instructions under
#    callgrind, which a shared machine does not disturb);
#  - `call heartbeat` against a bare program that loads the library, opens
#    it and calls TerminalHeartBeat (wall time of interleaved runs,
#    instructions under callgrind);
#  - the peak memory of `loop heartbeat` over a million calls against a
#    thousand.
#
#   readerctl.sh BUILD_DIR [CALL_RUNS] [IDENTITY_READS] [LOOP_RUNS]
#
# The build folder is made absolute, as an installed library's path is.
set -eu
build=$(cd "$1" && pwd) runs=${2:-201} reads=${3:-200} loops=${4:-41}
unset DISPLAY QT_QPA_PLATFORM
export LD_LIBRARY_PATH="$build/device"
readerctl="$build/readerctl/readerctl" floor="$build/bench/readerctlbench"

# Wall milliseconds of a command against its floor, run in turn (in a new
# order every round) RUNS times: the median of each, then the median of the
# rounds' ratios, which a machine that speeds up and slows down disturbs
# less than a ratio of medians. Each run is timed from its spawn to its exit
# by one Python process: timing through the shell would add a date(1) start
# to every sample and flatten the ratio.
paired() {
    python3 - "$@" <<'PY'
import os, random, statistics, sys, time
runs, commands = int(sys.argv[1]), [c.split() for c in sys.argv[2:4]]
null = os.open(os.devnull, os.O_WRONLY)
samples = [[], []]
for _ in range(runs):
    for side in random.sample([0, 1], 2):
        start = time.perf_counter_ns()
        pid = os.posix_spawn(commands[side][0], commands[side], os.environ,
                             file_actions=[(os.POSIX_SPAWN_DUP2, null, 1), (os.POSIX_SPAWN_DUP2, null, 2)])
        os.waitpid(pid, 0)
        samples[side].append((time.perf_counter_ns() - start) / 1e6)
ratios = [a / b for a, b in zip(*samples)]
print("%.3f %.3f %.3f" % (statistics.median(samples[0]), statistics.median(samples[1]), statistics.median(ratios)))
PY
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

set -- $(paired "$loops" "$readerctl loop identity --count $reads" "$floor identity $reads")
loop=$1 loopfloor=$2 loopratio=$3
set -- $(paired "$runs" "$readerctl call heartbeat" "$floor heartbeat")
call=$1 callfloor=$2 callratio=$3

echo "readerctl against its floors on the simulated reader ($loops and $runs rounds; ratio: median of the rounds' ratios)"
printf '%-44s %12s %12s %8s\n' "" "readerctl" "floor" "ratio"
printf '%-44s %12.1f %12.1f %8s\n' "loop identity --count $reads, wall ms" "$loop" "$loopfloor" "$loopratio"
printf '%-44s %12.1f %12.1f %8s\n' "call heartbeat, wall ms" "$call" "$callfloor" "$callratio"
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
