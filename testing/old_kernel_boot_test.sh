#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# The launcher on a real older kernel: Debian 11's (Linux 5.10, the oldest
# Debian's archive serves), booted with qemu-system-x86_64 from an
# initramfs that holds BusyBox, the static launcher, a stand-in client and
# the scenarios below, run by the guest's init, which prints a verdict line
# for each on the console and powers off. No network, no disk:
#  - bind: a directory and a file of the same file system bound on dotted
#    entries stay, as they were; the start goes on;
#  - descriptors: without /proc, with close_range unable to mark (5.10), a
#    descriptor above the soft limit never reaches the client;
#  - stop: a --foreground start without a CSV waits, and TERM ends it as
#    TERM does; so does a TERM during the wait between client starts.
# The kernel package is downloaded once into ~/.cache/lwm2m-launcher/kernel
# (apt-get with a bullseye source list of its own: this machine's apt
# sources are not touched).
# Usage: old_kernel_boot_test.sh STATIC_LAUNCHER
# Exit: 0 every verdict ok, 1 one isn't or none came, 77 skipped (no qemu,
# BusyBox or kernel; with CI set that fails instead).
set -eu
launcher=$1
skip() {
    [ -z "${CI:-}" ] || { echo "FAIL: $*"; exit 1; }
    echo "skipped: $*"
    exit 77
}
[ "$(uname -m)" = x86_64 ] || skip "the guest is an x86_64 machine"
for tool in qemu-system-x86_64 cpio apt-get; do
    command -v "$tool" > /dev/null || skip "no $tool (tools/need.sh test)"
done
busybox=$(command -v busybox) || skip "no busybox (tools/need.sh test)"
! ldd "$busybox" > /dev/null 2>&1 || skip "BusyBox is not static (package busybox-static)"

# The kernel: linux-image-cloud-amd64's 5.10 image, as bullseye has it.
cache=$HOME/.cache/lwm2m-launcher/kernel
kernel=$(ls "$cache"/vmlinuz-5.10.* 2> /dev/null | tail -n 1)
if [ -z "$kernel" ]; then
    mkdir -p "$cache/lists/partial" "$cache/apt"
    echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bullseye main" \
        > "$cache/sources.list"
    apt() {
        apt-get -q -o Dir::Etc::SourceList="$cache/sources.list" -o Dir::Etc::SourceParts=/nonexistent \
            -o Dir::State::Lists="$cache/lists" -o Dir::Cache="$cache/apt" -o Debug::NoLocking=1 \
            -o APT::Sandbox::User=root "$@"
    }
    apt update > "$cache/apt.log" 2>&1 || { tail "$cache/apt.log"; skip "bullseye's package lists can't be had"; }
    package=$(apt-cache -o Dir::Etc::SourceList="$cache/sources.list" -o Dir::Etc::SourceParts=/nonexistent \
        -o Dir::State::Lists="$cache/lists" -o Dir::Cache="$cache/apt" depends linux-image-cloud-amd64 |
        sed -n 's/.*Depends: \(linux-image-5\.10[^ ]*\).*/\1/p' | head -n 1)
    [ -n "$package" ] || skip "no 5.10 kernel package in bullseye's lists"
    (cd "$cache" && apt download "$package" >> "$cache/apt.log" 2>&1) || skip "$package can't be downloaded"
    dpkg-deb --fsys-tarfile "$cache/${package}"_*.deb | tar -x -C "$cache" --strip-components=2 --wildcards './boot/vmlinuz-*'
    rm -f "$cache/${package}"_*.deb
    kernel=$(ls "$cache"/vmlinuz-5.10.* | tail -n 1)
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
mkdir -p "$root/bin" "$root/opt/e2e" "$root/proc" "$root/dev" "$root/tmp" "$root/opt/Quorvane/bin" \
    "$root/opt/Quorvane/etc" "$root/var" "$root/sys"
cp "$busybox" "$root/bin/busybox"
cp "$launcher" "$root/opt/e2e/lwm2m-launcher"
cat > "$root/opt/e2e/client" <<'CLIENT'
#!/bin/sh
# Records its descriptors (mounting a /proc of its own to look), then ends.
[ -e /proc/self ] || mount -t proc proc /proc
ls -l /proc/$$/fd/ > /tmp/client-fds
echo started >> /tmp/client-starts
CLIENT
chmod 755 "$root/opt/e2e/client"
cat > "$root/init" <<'INIT'
#!/bin/busybox sh
/bin/busybox --install -s /bin
export PATH=/bin
mount -t devtmpfs dev /dev
launcher=/opt/e2e/lwm2m-launcher
csv=$(printf 'name,register\nt,40001\n' | base64 -w 0)
verdict() { if [ "$2" = "$3" ]; then echo "verdict $1: ok"; else echo "verdict $1: FAIL: expected '$2', got '$3'"; fi; }
fresh() {
    umount /tmp /opt/Quorvane 2> /dev/null
    mount -t tmpfs tmpfs /tmp && mount -t tmpfs tmpfs /opt/Quorvane
    mkdir -p /opt/Quorvane/bin /opt/Quorvane/etc /tmp/lwm2m/etc
    cp /opt/e2e/client /opt/Quorvane/bin/lwm2mclient
    printf 'LWM2M_ENABLE=1\nLWM2M_CSV=%s\n' "${1-$csv}" > /opt/Quorvane/etc/settings
}
echo "kernel $(uname -r)"

# A directory and a file of /tmp's own file system, bound on dotted entries.
fresh
mkdir -p /tmp/data/sub /tmp/lwm2m/etc/same.d
echo x > /tmp/data/sub/keep.txt
echo y > /tmp/data/file.txt
: > /tmp/lwm2m/etc/bound.txt
mount --bind /tmp/data /tmp/lwm2m/etc/same.d
mount --bind /tmp/data/file.txt /tmp/lwm2m/etc/bound.txt
$launcher 2> /tmp/err; status=$?
umount /tmp/lwm2m/etc/same.d /tmp/lwm2m/etc/bound.txt
verdict bind-status 0 "$status"
verdict bind-kept "x y 755" "$(cat /tmp/data/sub/keep.txt /tmp/data/file.txt | tr '\n' ' ')$(stat -c %a /tmp/data/sub)"
verdict bind-said 2 "$(grep -c 'a file system is mounted on' /tmp/err)"

# A descriptor above the soft limit, without /proc.
fresh
[ ! -e /proc/self ] || umount /proc
sh -c "exec 99> /tmp/stray; ulimit -S -n 64; exec $launcher" 2> /tmp/err; status=$?
sleep 1
verdict descriptors-status 0 "$status"
verdict descriptors-stray "" "$(grep stray /tmp/client-fds)"
[ -e /proc/self ] || mount -t proc proc /proc

# Stops: in the wait of a start without a CSV, and in the wait between
# client starts.
fresh ""
$launcher --foreground 2> /tmp/err & pid=$!
sleep 2; kill -TERM $pid; wait $pid; status=$?
verdict stop-waiting 143 "$status"
fresh
$launcher --foreground 2> /dev/null; sleep 1
$launcher --foreground 2> /tmp/err & pid=$!
sleep 2; kill -TERM $pid; wait $pid; status=$?
verdict stop-pace "143 1" "$status $(wc -l < /tmp/client-starts)"
echo "verdicts done"
poweroff -f
INIT
chmod 755 "$root/init"
(cd "$root" && find . | cpio -o -H newc 2> /dev/null | gzip -1) > "$work/initrd.gz"

timeout ${LAUNCHER_BOOT_TIMEOUT:-300} qemu-system-x86_64 -accel tcg -m 256 -nographic -no-reboot -nodefaults \
    -serial stdio -kernel "$kernel" -initrd "$work/initrd.gz" \
    -append "console=ttyS0 panic=-1 quiet" > "$work/console" 2>&1 < /dev/null || true
tr -d "\r" < "$work/console" | grep -e "kernel 5" -e "^verdict" || tail -n 40 "$work/console"
tr -d '\r' < "$work/console" | grep -q '^verdicts done$' || { echo "FAIL: the scenarios did not finish"; exit 1; }
! tr -d '\r' < "$work/console" | grep -q '^verdict .*: FAIL'
