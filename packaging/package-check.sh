#!/bin/sh
# Installs both packages into a fresh Debian 12 root (debootstrap minbase) and
# checks them there the way a user meets them: the menu entries point at
# installed commands and icons, and under Xvfb the real-window checks run on
# the installed program, its private simulated reader and its launcher.
# Needs root and Debian's package archive.
#
#   package-check.sh PACKAGE_DIR BUILD_DIR
set -eu

packages=$1 build=$2
source_dir=$(cd "$(dirname "$0")/.." && pwd)
mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}

[ "$(id -u)" = 0 ] || {
    echo "package-check needs root (debootstrap and chroot)" >&2
    exit 1
}

root=$(mktemp -d /tmp/readerdemo-root.XXXXXX)
cleanup() {
    umount "$root/proc" 2>/dev/null || true
    rm -rf --one-file-system "$root"
}
trap cleanup EXIT
in_root() {
    chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"
}

echo "== a fresh Debian 12 root"
debootstrap --variant=minbase bookworm "$root" "$mirror" >"$root.log" 2>&1 || {
    tail -n 20 "$root.log"
    exit 1
}
rm -f "$root.log"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"

mkdir -p "$root/check/empty"
cp "$packages"/readerdemo_*.deb "$packages"/readerdemo-simulator_*.deb "$root/check/"
cp "$source_dir/tests/realwindow.sh" "$build/tests/tst_realwindow" "$root/check/"
cp "$build/tests/empty/libCommonInterface.so" "$root/check/empty/"

echo "== installing the packages and the tools of the window checks"
in_root apt-get -q -o Acquire::Check-Valid-Until=false -o APT::Sandbox::User=root update >/dev/null
# The packages by their paths inside the root, for apt to install from files.
debs=$(cd "$root/check" && for deb in readerdemo_*.deb readerdemo-simulator_*.deb; do printf ' /check/%s' "$deb"; done)
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -q -y $debs \
    xvfb xauth xdotool x11-utils libqt5test5 >"$root/check/apt.log" 2>&1 || {
    tail -n 20 "$root/check/apt.log"
    exit 1
}
in_root dpkg-query -W readerdemo readerdemo-simulator

echo "== menu entries"
for entry in "$root"/usr/share/applications/org.example.ReaderDemo*.desktop; do
    command=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
    icon=$(sed -n 's/^Icon=//p' "$entry")
    in_root sh -c "command -v $command" >/dev/null || { echo "FAIL: $entry: no command $command"; exit 1; }
    [ -f "$root/usr/share/icons/hicolor/48x48/apps/$icon.png" ] || { echo "FAIL: $entry: no icon $icon"; exit 1; }
    echo "$(basename "$entry"): $(sed -n 's/^Name=//p' "$entry") / $(sed -n 's/^Name\[zh_CN\]=//p' "$entry") -> $command"
done

echo "== the installed program in real windows"
in_root /check/realwindow.sh /usr/bin/readerdemo /usr/lib/readerdemo/simulator /check/empty \
    /check/tst_realwindow /usr/bin/readerdemo-simulator
echo "== package-check passed"
