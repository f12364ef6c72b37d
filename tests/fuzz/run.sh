#!/bin/sh
# Runs every fuzz target of a fuzz build for a bounded time on its seed corpus
# and prints what it reached.
#
#   run.sh FUZZ_BUILD_DIR SECONDS_PER_TARGET
set -eu
build=$1 seconds=$2
corpus=$(cd "$(dirname "$0")" && pwd)/corpus
export QT_QPA_PLATFORM=offscreen
# As under ctest (see CMakeLists.txt): a smaller quarantine of freed memory.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:quarantine_size_mb=64
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
failed=0
for target in "$build"/tests/fuzz/fuzz_*; do
    [ -f "$target" ] && [ -x "$target" ] || continue
    name=$(basename "$target")
    found="$build/tests/fuzz/found/$name"
    mkdir -p "$found"
    log="$build/tests/fuzz/$name.log"
    # The target's own flags (memory limits, input length), written by CMake.
    options=$(cat "$build/tests/fuzz/$name.options" 2>/dev/null || true)
    printf '%-20s %4s s ... ' "$name" "$seconds"
    # shellcheck disable=SC2086 # the options are separate words
    if "$target" -max_total_time="$seconds" -print_final_stats=1 -rss_limit_mb=1024 $options \
        -artifact_prefix="$found/" "$found" "$corpus/$name" >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        units=$(sed -n 's/^stat::new_units_added: *//p' "$log")
        rss=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log")
        echo "clean, $runs executions, $units new units, peak RSS $rss MB"
    else
        echo "FAILED, see $log"
        failed=1
    fi
done
exit $failed
