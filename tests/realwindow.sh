#!/bin/sh
# The real program in real X windows on a virtual display: start-up without a
# device library, with the simulated reader, with a library that exports
# nothing; then a suite that opens the reader through the real dialog, and
# when given, a launcher that must bring up the window on its own.
#
#   realwindow.sh PROGRAM SIMULATOR_DIR EMPTY_LIBRARY_DIR DRIVER_SUITE [LAUNCHER]
set -eu

if [ -z "${REALWINDOW_ON_XVFB:-}" ]; then
    REALWINDOW_ON_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi

program=$1 simulator_dir=$2 empty_dir=$3 driver=$4 launcher=${5:-}
title='Tevrano标准化接口Demo程序 V3.11'
work=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
unset QT_QPA_PLATFORM

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# The id of the first window whose title is exactly $1, waiting up to 20 s.
find_window() {
    timeout 20 xdotool search --sync --name "^$1\$" 2>/dev/null | head -n 1
}

echo "start-up without a device library"
mkdir "$work/nothing" "$work/cwd"
# A library in the working directory is not on the loader's search path.
cp "$simulator_dir/libCommonInterface.so" "$work/cwd/"
(cd "$work/cwd" && LD_LIBRARY_PATH="$work/nothing" exec "$program") &
pid=$!
box=$(find_window '错误提示') || true
[ -n "$box" ] || fail "no box titled 错误提示"
[ -z "$(xdotool search --name "^$title\$" 2>/dev/null)" ] || fail "the main window appeared"
xdotool windowfocus --sync "$box"
xdotool key --clearmodifiers Return
set +e
wait "$pid"
status=$?
set -e
pid=
[ "$status" -eq 255 ] || fail "exit status $status, expected 255"

echo "start-up with the simulated reader"
LD_LIBRARY_PATH="$simulator_dir" "$program" &
pid=$!
window=$(find_window "$title") || true
[ -n "$window" ] || fail "no main window"
eval "$(xdotool getwindowgeometry --shell "$window")"
[ "$WIDTH" -eq 543 ] && [ "$HEIGHT" -eq 439 ] || fail "window is ${WIDTH}x$HEIGHT"
[ "$X" -eq $(((1280 - 543) / 2)) ] && [ "$Y" -eq $(((1024 - 439) / 2)) ] || fail "window at $X,$Y is not centred"
icons=$(xprop -id "$window" _NET_WM_ICON | sed -n 's/.*Icon (\([0-9]*\) x \([0-9]*\)).*/\1x\2/p' | sort -n | tr '\n' ' ')
[ "$icons" = "16x16 24x24 32x32 48x48 64x64 128x128 " ] || fail "window icon sizes: $icons"
kill "$pid"
wait "$pid" 2>/dev/null || true
pid=

echo "start-up on a screen scaled to 200 %"
LD_LIBRARY_PATH="$simulator_dir" QT_SCALE_FACTOR=2 "$program" &
pid=$!
window=$(find_window "$title") || true
[ -n "$window" ] || fail "no main window"
eval "$(xdotool getwindowgeometry --shell "$window")"
[ "$WIDTH" -eq 1086 ] && [ "$HEIGHT" -eq 878 ] || fail "scaled window is ${WIDTH}x$HEIGHT"
# Centred in logical pixels on a desktop of 640 × 512.
[ "$X" -eq $((2 * ((640 - 543) / 2))) ] && [ "$Y" -eq $((2 * ((512 - 439) / 2))) ] \
    || fail "scaled window at $X,$Y is not centred"
kill "$pid"
wait "$pid" 2>/dev/null || true
pid=

echo "start-up with a library that exports nothing"
LD_LIBRARY_PATH="$empty_dir" "$program" &
pid=$!
[ -n "$(find_window "$title")" ] || fail "no main window"
kill "$pid"
wait "$pid" 2>/dev/null || true
pid=

if [ -n "$launcher" ]; then
    echo "start-up through the launcher"
    env -u LD_LIBRARY_PATH "$launcher" &
    pid=$!
    [ -n "$(find_window "$title")" ] || fail "no main window"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    pid=
fi

echo "opening the simulated reader through the dialog"
LD_LIBRARY_PATH="$simulator_dir" QT_QPA_PLATFORM=xcb "$driver"
