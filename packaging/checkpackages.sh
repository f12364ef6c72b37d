#!/bin/sh
# Builds both Debian packages from this build and checks them as a system
# would see them: lintian, the files each package holds, the desktop entries,
# the AppStream metadata, no RPATH, and which libCommonInterface.so the
# unpacked program loads started through the launcher and started plainly.
#
#   checkpackages.sh CPACK_CONFIG EXPECTED_CONTENTS_DIR
set -eu

config=$1 expected=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

cpack --config "$config" -B "$work/out" >"$work/cpack.log" 2>&1 || {
    cat "$work/cpack.log"
    fail "cpack"
}
for deb in "$work"/out/*.deb; do
    name=$(dpkg-deb -f "$deb" Package)
    depends=$(dpkg-deb -f "$deb" Depends)
    echo "$name: $depends"
    case "$name: $depends" in
    "readerdemo: "*libqt5websockets5*libqt5widgets5*) ;;
    "readerdemo-simulator: readerdemo (= $(dpkg-deb -f "$deb" Version)), "*libqt5core5a*) ;;
    *) fail "dependencies of $name" ;;
    esac
    dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $1, $6 }' | sort -k2 >"$work/$name"
    diff -u "$expected/$name" "$work/$name" || fail "files of $name"
    dpkg-deb -x "$deb" "$work/root"
done

lintian --fail-on error,warning "$work"/out/*.deb || fail "lintian"
desktop-file-validate "$work"/root/usr/share/applications/*.desktop \
    "$work"/root/etc/xdg/autostart/*.desktop || fail "desktop entries"
appstreamcli validate --no-net "$work"/root/usr/share/metainfo/*.xml || fail "AppStream metadata"

root=$work/root
for program in readerdemo readerbridge; do
    ! readelf -d "$root/usr/bin/$program" | grep -E 'RPATH|RUNPATH' || fail "$program has an RPATH"
done

# The files of the library the program initialised, from the loader's own log.
# The program waits for its window or its error box until it is stopped.
loaded() {
    LD_DEBUG=libs QT_QPA_PLATFORM=offscreen timeout 3 "$@" 2>&1 >/dev/null |
        sed -n 's/.*calling init: \(.*libCommonInterface\.so\)$/\1/p' || true
}
simulator=$root/usr/lib/readerdemo/simulator/libCommonInterface.so
[ "$(loaded "$root/usr/bin/readerdemo-simulator")" = "$simulator" ] || fail "the launcher did not load $simulator"
[ -z "$(loaded env -u LD_LIBRARY_PATH "$root/usr/bin/readerdemo")" ] ||
    fail "the plain program loaded a device library"
echo "packages pass"
