#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# Packs the build with cpack, under umask 077, and inspects the packages:
# the files they hold, their modes and owners, the tarball unpacked over a
# merged /usr by GNU and BusyBox tar, the Debian package's control data and
# maintainer scripts (removal takes the key's files away), a stripped
# program, and lintian, which must report no error and no warning (the one
# override, for /opt, is its own documented exception).
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
drwxr-xr-x etc/sv/lwm2m-launcher/log/
-rwxr-xr-x etc/sv/lwm2m-launcher/log/run
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
drwxr-xr-x usr/lib/
drwxr-xr-x usr/lib/tmpfiles.d/
-rw-r--r-- usr/lib/tmpfiles.d/lwm2m-launcher.conf
drwxr-xr-x usr/share/
drwxr-xr-x usr/share/doc/
drwxr-xr-x usr/share/doc/lwm2m-launcher/
-rw-r--r-- usr/share/doc/lwm2m-launcher/README.md
-rw-r--r-- usr/share/doc/lwm2m-launcher/changelog.gz
-rw-r--r-- usr/share/doc/lwm2m-launcher/copyright
drwxr-xr-x usr/share/doc/lwm2m-launcher/docs/
-rw-r--r-- usr/share/doc/lwm2m-launcher/docs/developing.md
-rw-r--r-- usr/share/doc/lwm2m-launcher/docs/integrating.md
-rw-r--r-- usr/share/doc/lwm2m-launcher/docs/operating.md
-rw-r--r-- usr/share/doc/lwm2m-launcher/docs/security.md
drwxr-xr-x usr/share/doc/lwm2m-launcher/examples/
drwxr-xr-x usr/share/doc/lwm2m-launcher/examples/ansible/
-rwxr-xr-x usr/share/doc/lwm2m-launcher/examples/ansible/lwm2m_launcher.fact
drwxr-xr-x usr/share/doc/lwm2m-launcher/examples/busybox/
-rw-r--r-- usr/share/doc/lwm2m-launcher/examples/busybox/inittab
drwxr-xr-x usr/share/doc/lwm2m-launcher/examples/mender/
-rwxr-xr-x usr/share/doc/lwm2m-launcher/examples/mender/lwm2m-launcher
drwxr-xr-x usr/share/doc/lwm2m-launcher/examples/openrc/
-rwxr-xr-x usr/share/doc/lwm2m-launcher/examples/openrc/lwm2m-launcher
drwxr-xr-x usr/share/doc/lwm2m-launcher/examples/procd/
-rwxr-xr-x usr/share/doc/lwm2m-launcher/examples/procd/lwm2m-launcher
drwxr-xr-x usr/share/doc/lwm2m-launcher/examples/s6/
drwxr-xr-x usr/share/doc/lwm2m-launcher/examples/s6/log/
-rwxr-xr-x usr/share/doc/lwm2m-launcher/examples/s6/log/run
-rwxr-xr-x usr/share/doc/lwm2m-launcher/examples/s6/run
-rw-r--r-- usr/share/doc/lwm2m-launcher/examples/settings.example
drwxr-xr-x usr/share/lintian/
drwxr-xr-x usr/share/lintian/overrides/
-rw-r--r-- usr/share/lintian/overrides/lwm2m-launcher
drwxr-xr-x usr/share/lwm2m-launcher/
-rw-r--r-- usr/share/lwm2m-launcher/check.schema.json
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
# The tarball: the same files but Debian's lintian overrides, no directory,
# nothing under a top-level lib/.
grep -v -e '^d' -e lintian "$work/expected" | sed 's, lib/, usr/lib/,' | sort -k2 \
    > "$work/expected.tarball"
tar -tvzf "$tarball" | listing > "$work/tarball.list"
diff "$work/expected.tarball" "$work/tarball.list" || fail "the tarball's files, modes or owners"

# Unpacked at / of a merged /usr, as docs/integrating.md says, by GNU tar and by
# BusyBox tar: every link stays a link, every directory keeps its mode and
# owner, and the files land where the README says.
for tar_program in tar "busybox tar"; do
    root="$work/merged-${tar_program% *}"
    mkdir -p "$root/usr/lib" "$root/usr/bin" "$root/usr/sbin" "$root/etc/init.d" "$root/opt" \
        "$root/usr/share/doc"
    ln -s usr/lib "$root/lib"
    ln -s usr/bin "$root/bin"
    ln -s usr/sbin "$root/sbin"
    chmod 0711 "$root/opt"
    chmod 0750 "$root/etc/init.d"
    chown 1234:1234 "$root/usr/share/doc"
    (cd "$root" && find . | sort) > "$work/there"
    state() { (cd "$root" && xargs stat -c '%n %F %a %u:%g' < "$work/there"); }
    state > "$work/before"
    $tar_program -C "$root" -xzf "$tarball" || fail "$tar_program can't unpack the tarball"
    state | diff "$work/before" - || fail "$tar_program changed links or directories already there"
    for file in opt/Quorvane/bin/lwm2m-launcher lib/systemd/system/lwm2m-launcher.service \
        etc/init.d/lwm2m-launcher; do
        [ -f "$root/$file" ] || fail "$tar_program: no $file"
    done
done

dpkg-deb -f "$deb" Maintainer | grep -q '<.*@.*>' || fail "no maintainer e-mail address"
[ "$(dpkg-deb -f "$deb" Description | wc -l)" -ge 3 ] || fail "no long description"
dpkg-deb -e "$deb" "$work/control"
[ "$(cat "$work/control/conffiles")" = "/etc/init.d/lwm2m-launcher
/etc/sv/lwm2m-launcher/run
/etc/sv/lwm2m-launcher/log/run" ] || fail "conffiles"
grep -q 'for unit in lwm2m-launcher.service lwm2m-launcher-settings.path' "$work/control/postinst" ||
    fail "the units are not enabled on installation"

# Removal takes what holds the key out of the work directory, but only
# regular files in root's own directories: never a link or what it leads
# to. Run in a private mount namespace with stand-ins for systemd's and
# dpkg's helpers, so nothing of this machine is touched.
removal=$(unshare --mount --propagation private sh -c '
    script=$(cat "$1")
    mount -t tmpfs tmpfs /tmp && mount -t tmpfs tmpfs /run || exit 1
    mkdir /run/helpers
    for helper in systemctl deb-systemd-helper deb-systemd-invoke update-rc.d invoke-rc.d; do
        printf "#!/bin/sh\nexit 0\n" > /run/helpers/$helper
        chmod 755 /run/helpers/$helper
    done
    postrm() { PATH="/run/helpers:$PATH" sh -c "$script" postrm remove; }
    plant() { mkdir -p -m 755 /tmp/lwm2m/etc; for f in lwm2m.log lwm2m.log.1 etc/config.csv etc/other; do echo key > /tmp/lwm2m/$f; done; }
    left() { (cd /tmp && find . | sort | paste -s -d " "); }
    plant
    postrm && echo "plain: $(left)"
    rm -rf /tmp/lwm2m && plant && echo kept > /tmp/victim
    rm /tmp/lwm2m/lwm2m.log && ln -s /tmp/victim /tmp/lwm2m/lwm2m.log
    postrm && echo "link: $(left) $(cat /tmp/victim)"
    rm -rf /tmp/lwm2m && plant && mv /tmp/lwm2m /tmp/elsewhere && ln -s elsewhere /tmp/lwm2m
    postrm && echo "linked directory: $(left)"
' sh "$work/control/postrm" 2>&1) || true
expected_removal="plain: . ./lwm2m ./lwm2m/etc ./lwm2m/etc/other
link: . ./lwm2m ./lwm2m/etc ./lwm2m/etc/other ./lwm2m/lwm2m.log ./victim kept
linked directory: . ./elsewhere ./elsewhere/etc ./elsewhere/etc/config.csv ./elsewhere/etc/other ./elsewhere/lwm2m.log ./elsewhere/lwm2m.log.1 ./lwm2m ./victim"
[ "$removal" = "$expected_removal" ] ||
    fail "removal: got
$removal
instead of
$expected_removal"

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
