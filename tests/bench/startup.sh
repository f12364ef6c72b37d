#!/bin/sh
# Start-up to the first event-loop turn and peak memory of the program built
# with Qt 5 and with Qt 6, on the simulated reader in a real X window, runs
# interleaved; prints the medians and the Qt 6 / Qt 5 ratios.
#
#   startup.sh QT5_BUILD_DIR QT6_BUILD_DIR [RUNS]
set -eu

if [ -z "${STARTUP_ON_XVFB:-}" ]; then
    STARTUP_ON_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi

qt5=$1 qt6=$2 runs=${3:-15}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset QT_QPA_PLATFORM

# One start-up: "milliseconds peak-KiB".
measure() {
    start=$(date +%s%N)
    LD_LIBRARY_PATH="$1/device" "$1/tests/bench_startup" 2>/dev/null >"$work/out"
    read -r turn peak <"$work/out"
    echo "$(((turn - start) / 1000)) $peak" | awk '{ printf "%.1f %d\n", $1 / 1000, $2 }'
}

median() {
    sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# The first start-up of each fills the font and loader caches.
measure "$qt5" >/dev/null
measure "$qt6" >/dev/null
i=0
while [ "$i" -lt "$runs" ]; do
    measure "$qt5" >>"$work/qt5"
    measure "$qt6" >>"$work/qt6"
    i=$((i + 1))
done

t5=$(cut -d' ' -f1 "$work/qt5" | median) t6=$(cut -d' ' -f1 "$work/qt6" | median)
m5=$(cut -d' ' -f2 "$work/qt5" | median) m6=$(cut -d' ' -f2 "$work/qt6" | median)
echo "Start-up to the first event-loop turn and peak resident memory, median of $runs runs"
printf '%-12s %12s %14s\n' "" "start-up ms" "peak memory MiB"
printf '%-12s %12.1f %14.1f\n' "Qt 5" "$t5" "$(echo "$m5" | awk '{ print $1 / 1024 }')"
printf '%-12s %12.1f %14.1f\n' "Qt 6" "$t6" "$(echo "$m6" | awk '{ print $1 / 1024 }')"
printf '%-12s %12.2f %14.2f\n' "Qt 6 / Qt 5" "$(echo "$t6 $t5" | awk '{ print $1 / $2 }')" \
    "$(echo "$m6 $m5" | awk '{ print $1 / $2 }')"
