#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# Packs the build with cpack, under umask 077, and inspects the packages:
# the files they hold, their modes and owners, the Debian package's control
# data and maintainer scripts, a stripped program, and lintian, which must
# report no error and no warning (the one override, for /opt, is its own
# documented exception).
# Usage: package_check.sh BUILD_DIR
# Exit: 0 all hold, 1 one doesn't, 77 skipped (no lintian; with CI set that
# fails instead).
set -eu
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; failed=1; }
failed=0

(umask 077 && cd "$build" && cpack -G "DEB;TGZ" -B "$work" > "$work/cpack.log" 2>&1) ||
    { cat "$work/cpack.log"; echo "FAIL: cpack"; exit 1; }
deb=$(ls "$work"/*.deb)
tarball=$(ls "$work"/*.tar.gz)

cat > "$work/expected" << 'EXPECTED'
drwxr-xr-x etc/
drwxr-xr-x etc/init.d/
-rwxr-xr-x etc/init.d/lwm2m-launcher
drwxr-xr-x etc/sv/
drwxr-xr-x etc/sv/lwm2m-launcher/
-rwxr-xr-x etc/sv/lwm2m-launcher/run
drwxr-xr-x lib/
drwxr-xr-x lib/systemd/
drwxr-xr-x lib/systemd/system/
-rw-r--r-- lib/systemd/system/lwm2m-launcher-settings.path
-rw-r--r-- lib/systemd/system/lwm2m-launcher-settings.service
-rw-r--r-- lib/systemd/system/lwm2m-launcher.service
drwxr-xr-x opt/
drwxr-xr-x opt/Quorvane/
drwxr-xr-x opt/Quorvane/bin/
-rwxr-xr-x opt/Quorvane/bin/lwm2m-launcher
drwxr-xr-x usr/
drwxr-xr-x usr/share/
drwxr-xr-x usr/share/doc/
drwxr-xr-x usr/share/doc/lwm2m-launcher/
-rw-r--r-- usr/share/doc/lwm2m-launcher/README.md
-rw-r--r-- usr/share/doc/lwm2m-launcher/changelog.gz
-rw-r--r-- usr/share/doc/lwm2m-launcher/copyright
drwxr-xr-x usr/share/doc/lwm2m-launcher/examples/
drwxr-xr-x usr/share/doc/lwm2m-launcher/examples/busybox/
-rw-r--r-- usr/share/doc/lwm2m-launcher/examples/busybox/inittab
drwxr-xr-x usr/share/doc/lwm2m-launcher/examples/openrc/
-rwxr-xr-x usr/share/doc/lwm2m-launcher/examples/openrc/lwm2m-launcher
drwxr-xr-x usr/share/doc/lwm2m-launcher/examples/procd/
-rwxr-xr-x usr/share/doc/lwm2m-launcher/examples/procd/lwm2m-launcher
drwxr-xr-x usr/share/doc/lwm2m-launcher/examples/s6/
-rwxr-xr-x usr/share/doc/lwm2m-launcher/examples/s6/run
-rw-r--r-- usr/share/doc/lwm2m-launcher/examples/settings.example
drwxr-xr-x usr/share/lintian/
drwxr-xr-x usr/share/lintian/overrides/
-rw-r--r-- usr/share/lintian/overrides/lwm2m-launcher
drwxr-xr-x usr/share/man/
drwxr-xr-x usr/share/man/man8/
-rw-r--r-- usr/share/man/man8/lwm2m-launcher.8.gz
EXPECTED
listing() {  # "MODE PATH" per entry, owned by root:root or said otherwise
    awk '{ owner = $2; sub(/^\.\//, "", $6); if ($6 == "") next;
           if (owner != "root/root" && owner != "0/0") print "owner " owner " " $6;
           print $1, $6 }' | sort -k2
}
dpkg-deb -c "$deb" | listing > "$work/deb.list"
diff "$work/expected" "$work/deb.list" || fail "the Debian package's files, modes or owners"
tar -tvzf "$tarball" | listing > "$work/tarball.list"
diff "$work/expected" "$work/tarball.list" || fail "the tarball's files, modes or owners"

dpkg-deb -f "$deb" Maintainer | grep -q '<.*@.*>' || fail "no maintainer e-mail address"
[ "$(dpkg-deb -f "$deb" Description | wc -l)" -ge 3 ] || fail "no long description"
dpkg-deb -e "$deb" "$work/control"
[ "$(cat "$work/control/conffiles")" = "/etc/init.d/lwm2m-launcher
/etc/sv/lwm2m-launcher/run" ] || fail "conffiles"
grep -q 'for unit in lwm2m-launcher.service lwm2m-launcher-settings.path' "$work/control/postinst" ||
    fail "the units are not enabled on installation"

dpkg-deb -x "$deb" "$work/root"
mkdir "$work/tar"
tar -C "$work/tar" -xzf "$tarball"
for root in "$work/root" "$work/tar"; do
    ! readelf -S "$root/opt/Quorvane/bin/lwm2m-launcher" | grep -q '\.symtab' ||
        fail "the program in ${root##*/} is not stripped"
done
# The generic tarball runs on any gateway of its architecture; the Debian
# package's program uses the C library its dependency names.
interpreter() { readelf -l "$1/opt/Quorvane/bin/lwm2m-launcher" | grep -c 'program interpreter'; }
[ "$(interpreter "$work/root")" -eq 1 ] || fail "the Debian package's program is not dynamic"
if grep -q 'static_program' "$build/cpack_static_program.cmake" 2> /dev/null; then
    [ "$(interpreter "$work/tar")" -eq 0 ] || fail "the tarball's program is not static"
fi

if ! command -v lintian > /dev/null; then
    [ -z "${CI:-}" ] || { echo "FAIL: no lintian"; exit 1; }
    echo "skipped: no lintian (package lintian)"
    exit 77
fi
lintian --fail-on error,warning --tag-display-limit 0 "$deb" > "$work/lintian" 2>&1 ||
    { grep -v 'root privileges' "$work/lintian"; fail "lintian reports errors or warnings"; }

[ "$failed" -eq 0 ] && echo "packages: ok"
exit "$failed"
