#!/bin/sh
# The window's start-up against its floor, a program that builds the same
# form and nothing else: paired runs (median wall time to the first
# event-loop turn) and instructions under callgrind, on the offscreen
# platform. Also the same with the icon decoded at once, as it used to be.
#
#   windowstartup.sh BUILD_DIR [RUNS]
set -eu
build=$1 runs=${2:-21}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen LD_LIBRARY_PATH="$build/device"
bench="$build/tests/bench_startup"

# Milliseconds from the process's start to its first event-loop turn.
wall() {
    start=$(date +%s%N)
    "$bench" "$1" 2>/dev/null >"$work/out"
    read -r turn _ <"$work/out"
    echo "$start $turn" | awk '{ printf "%.3f\n", ($2 - $1) / 1e6 }'
}

median() {
    sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

instructions() {
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$bench" "$1" 2>&1 >/dev/null |
        sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
}

for mode in floor program eager; do wall "$mode" >/dev/null; done
i=0
while [ "$i" -lt "$runs" ]; do
    for mode in floor program eager; do wall "$mode" >>"$work/$mode"; done
    i=$((i + 1))
done
floor=$(median <"$work/floor") program=$(median <"$work/program") eager=$(median <"$work/eager")
echo "Window start-up against its floor (offscreen), median of $runs paired runs and callgrind"
if command -v valgrind >/dev/null; then
    ifloor=$(instructions floor) iprogram=$(instructions program) ieager=$(instructions eager)
else
    ifloor=1 iprogram=1 ieager=1
    echo "(valgrind is not installed: no instruction counts)"
fi
printf '%-26s %10s %8s %16s %8s\n' "" "wall ms" "ratio" "instructions" "ratio"
for row in "floor $floor $ifloor" "program $program $iprogram" "eager-icon $eager $ieager"; do
    set -- $row
    printf '%-26s %10.2f %8.3f %16d %8.3f\n' "$1" "$2" "$(echo "$2 $floor" | awk '{ print $1 / $2 }')" \
        "$3" "$(echo "$3 $ifloor" | awk '{ print $1 / $2 }')"
done
