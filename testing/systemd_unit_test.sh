#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# Boots a real systemd in a throwaway container (systemd-nspawn --volatile=yes,
# with /etc, /usr and /var laid over this machine's by overlays whose upper
# layers are this test's: nothing here is touched), installs the Debian
# package there as a user does, and checks it:
#  - installed anew, and upgraded from 1.2.0 (built from its commit): the
#    settings watch runs at once, `systemctl enable --now` brings the
#    client up as the unit's main process, and an edit of the settings
#    restarts it with its new command line within seconds;
#  - only the settings restart it: an edit in place, a rename over the
#    file, its removal and its first creation do; an editor's swap file and
#    another file in /opt/Quorvane/etc don't;
#  - a client that ends in any way but a stop (killed, an error status,
#    status 0, at once after its start) is started again, however often;
#  - settings without a CSV leave the launcher waiting, the journal says
#    why, a stop by TERM is tried again, `systemctl stop` during the wait
#    leaves the unit inactive, never failed, and the client comes up once a
#    CSV is there;
#  - a disabled module leaves no client and is not tried again;
#  - systemd-tmpfiles --clean, with /tmp aged after 10 days, leaves
#    /tmp/lwm2m alone.
# The pace (RestartSec=30) is checked as set and measured with a client that
# ends at once: a start per 30 s, which the launcher's own pace of client
# starts does not double. Then it is shortened to a second by a drop-in,
# and the launcher's pace is set aside before each ending, as though the
# client had run a while, so that the test takes seconds.
# Usage: systemd_unit_test.sh BUILD_DIR CLIENT
#   BUILD_DIR: a host build, packed here with cpack; CLIENT: the stand-in
#   client program (testing/stand_in_client.cpp), one process that leaves
#   no child behind
# Exit: 0 all hold, 1 one doesn't (a check that fails, or checks that never
# finish), 77 skipped (no root, no systemd-nspawn, no git history holding
# 1.2.0, or a container that did not boot; when CI is set that fails
# instead).
set -eu
build=$(cd "$1" && pwd)
client=$2
source_dir=$(cd "$(dirname "$0")/.." && pwd)
# The last commit of 1.2.0, whose unit was Type=forking, without a watch.
old_release=319476a3f70a00196b95411088829326088a332f

skip() {
    [ -z "${CI:-}" ] || { echo "FAIL: $*"; exit 1; }
    echo "skipped: $*"
    exit 77
}
[ "$(id -u)" -eq 0 ] || skip "systemd-nspawn needs root"
command -v systemd-nspawn > /dev/null || skip "no systemd-nspawn (package systemd-container)"
git -C "$source_dir" cat-file -e "$old_release" 2> /dev/null || skip "no git history holding 1.2.0"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/etc" "$work/results" "$work/debs" "$work/var" "$work/old"
(cd "$build" && cpack -G DEB -B "$work/new" > "$work/cpack.log" 2>&1) ||
    { cat "$work/cpack.log"; echo "FAIL: cpack"; exit 1; }
mv "$work"/new/*.deb "$work/debs/new.deb"
git -C "$source_dir" archive "$old_release" | tar -x -C "$work/old"
{
    cmake -S "$work/old" -B "$work/old/build" -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel \
        -DBUILD_TESTING=OFF -DLAUNCHER_STATIC_VARIANT=OFF &&
        cmake --build "$work/old/build" && (cd "$work/old/build" && cpack -G DEB)
} > "$work/old.log" 2>&1 || { tail -n 30 "$work/old.log"; echo "FAIL: the 1.2.0 package"; exit 1; }
mv "$work"/old/build/*.deb "$work/debs/old.deb"

# The container boots into a target of its own, whose one service runs the
# checks and powers the container off.
printf '[Unit]\nDescription=lwm2m-launcher unit test\nWants=lwm2m-unit-test.service\n' \
    > "$work/lwm2m-unit-test.target"
printf '[Unit]\nDescription=lwm2m-launcher unit checks\n[Service]\nType=oneshot\nExecStart=/bin/sh /opt/test/checks.sh\n' \
    > "$work/lwm2m-unit-test.service"
cp "$source_dir/testing/polling.sh" "$work/checks.sh"
cat >> "$work/checks.sh" << 'CHECKS'
exec > /opt/results/log 2>&1
echo "booted"
unit=lwm2m-launcher.service
watch=lwm2m-launcher-settings.path
etc=/opt/Quorvane/etc
settings=$etc/settings
csv=$(printf 'name,register\nt,40001\n' | base64 -w 0)
enabled() { printf 'LWM2M_ENABLE=1\nLWM2M_NAME=%s\nLWM2M_CSV=%s\n' "${1:-gw}" "$csv"; }
disabled() { printf 'LWM2M_ENABLE=0\nLWM2M_CSV=%s\n' "$csv"; }
no_csv() { printf 'LWM2M_ENABLE=1\n'; }
failed=0
check() {  # check WHAT TEST...
    what=$1
    shift
    if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; failed=1; fi
}
property() { systemctl show -p "$1" --value "${2:-$unit}"; }
is() { [ "$(property "$1" "${3:-$unit}")" = "$2" ]; }
main_pid() { property MainPID; }
# The client with the name NAME (any, when not given) runs as process PID.
runs_client() {
    [ "${1:-0}" -gt 0 ] && tr '\000' '\n' < "/proc/$1/cmdline" 2> /dev/null | head -n 1 |
        grep -qx /opt/Quorvane/bin/lwm2mclient &&
        { [ -z "${2:-}" ] || tr '\000' ' ' < "/proc/$1/cmdline" | grep -q -- "-n $2 "; }
}
no_client() { ! pgrep -f /opt/Quorvane/bin/lwm2mclient > /dev/null; }
said() { journalctl -u "$unit" | grep -q "client not started: $1"; }
# within SECONDS TEST (testing/polling.sh, put before these checks): 60 for
# what a machine busy compiling may take; 20 for new settings, well before
# the launcher's own 30 s wait ends.
# Seconds since $1 (date +%s%N), to a tenth.
since() {
    tenths=$((($(date +%s%N) - $1) / 100000000))
    echo "$((tenths / 10)).$((tenths % 10))"
}
# A client other than process $1, named $2 when given, is the main process.
new_client() { pid=$(main_pid); [ "$pid" != "$1" ] && runs_client "$pid" "${2:-}"; }
# Ends the main process with SIGNAL; never signals process 0, a whole group.
end_main() {
    pid=$(main_pid)
    [ "${pid:-0}" -gt 0 ] && kill -s "$1" "$pid"
}
# CHANGE (a command) restarts the client, whose new name is NAME: within
# seconds, and the figure says how soon.
applies() {  # applies WHAT NAME CHANGE...
    change=$1
    name=$2
    shift 2
    pid=$(main_pid)
    began=$(date +%s%N)
    "$@"
    check "$change restarts the client with its new command line" within 20 new_client "$pid" "$name"
    echo "figure: $change applied after $(since "$began") s"
}
# CHANGE restarts nothing: the client is the same 5 seconds later.
restarts_nothing() {  # restarts_nothing WHAT CHANGE...
    change=$1
    shift
    pid=$(main_pid)
    "$@"
    sleep 5
    check "$change restarts nothing" [ "$(main_pid)" = "$pid" ]
}
write() { enabled "$1" > "$settings"; }
rename_over() { enabled "$1" > "$settings.new" && mv "$settings.new" "$settings"; }
write_swap_file() { echo swap > "$etc/.settings.swp" && echo again >> "$etc/.settings.swp"; }
write_other_file() { echo other > "$etc/other"; }

# Installed anew, as a user does; then removed, 1.2.0 installed and
# upgraded: each time the watch runs at once and applies new settings. (The
# policy of this machine's image, which may keep packages from starting
# anything, is not a gateway's.)
rm -f /usr/sbin/policy-rc.d
enabled installed > "$settings"
for install in new old-then-new; do
    if [ $install = new ]; then
        dpkg -i /opt/debs/new.deb > /opt/results/dpkg.log 2>&1
    else
        dpkg -P lwm2m-launcher >> /opt/results/dpkg.log 2>&1
        check "purged: the settings stay, as docs/operating.md says" test -f "$settings"
        check "purged: nothing runs" sh -c "! systemctl -q is-active $unit $watch"
        dpkg -i /opt/debs/old.deb >> /opt/results/dpkg.log 2>&1
        systemctl enable --now "$unit"
        within 60 pgrep -f /opt/Quorvane/bin/lwm2mclient > /dev/null
        dpkg -i /opt/debs/new.deb >> /opt/results/dpkg.log 2>&1
    fi
    check "$install: the package is installed" dpkg-query -W lwm2m-launcher
    check "$install: the settings are watched at once" is ActiveState active "$watch"
    systemctl enable --now "$unit"
    check "$install: enabled" [ "$(systemctl is-enabled "$unit")" = enabled ]
    check "$install: the watch is enabled too" [ "$(systemctl is-enabled "$watch")" = enabled ]
    applies "$install: an edit in place" "$install" write "$install"
    check "$install: the client is the main process" runs_client "$(main_pid)" "$install"
done
check "never given up" sh -c "systemctl show -p StartLimitIntervalUSec --value $unit | grep -qx -e 0 -e infinity"
check "a calm pace" is RestartUSec 30s
# As though the client had run for a while: the launcher's pace is met.
ran_a_while() { rm -f /tmp/lwm2m/client-started; }
starts() { grep -c ' &$' /tmp/lwm2m/lwm2m.log; }
touch /run/die-at-once
ran_a_while
before=$(starts)
end_main KILL
sleep 65
rm /run/die-at-once
n=$(($(starts) - before))
echo "figure: systemd: a client that ends at once was started $n times in 65 s"
check "a client that ends at once is started every 30 s, not every 60 s" [ "$n" -eq 2 ]
check "and comes up once it can" within 60 new_client 0
mkdir -p /run/systemd/system/$unit.d
printf '[Service]\nRestartSec=1\n' > /run/systemd/system/$unit.d/quick.conf
systemctl daemon-reload

applies "an edit by rename" renamed rename_over renamed
restarts_nothing "an editor's swap file" write_swap_file
restarts_nothing "another file" write_other_file
rm "$settings"
check "a removal restarts it, without settings" within 20 said "no settings file at"
applies "a first creation" created write created

# Until the settings checks, settings are changed without the watch.
systemctl stop "$watch"
pid=$(main_pid)
for ending in KILL USR1 USR2 TERM KILL KILL; do
    ran_a_while
    check "a client that ends by $ending" end_main $ending
    check "a client that ends by $ending is started again" within 60 new_client "$pid"
    pid=$(main_pid)
done
systemctl stop "$unit"
check "stop ends the client" no_client
check "stop ends it for good" is ActiveState inactive

systemctl start "$watch"
systemctl start "$unit"
within 60 new_client 0
disabled > "$settings"
check "a module disabled later stops" within 20 no_client
check "disabled: the journal says why" within 60 said "the module is disabled"
check "disabled: the launcher waits" is ActiveState active
applies "a module enabled later" later write later
no_csv > "$settings"
check "no CSV: the journal says why" within 60 said "no CSV configuration"
check "no CSV: no client" no_client
restarts=$(property NRestarts)
check "no CSV: a wait ended by TERM" end_main TERM
check "no CSV: ends as TERM does, and is tried again" within 60 sh -c "[ \$(systemctl show -p NRestarts --value $unit) -gt $restarts ]"
within 20 is SubState running
systemctl stop "$unit"
check "no CSV: a stop leaves the unit inactive, not failed" is ActiveState inactive
check "no CSV: the stop is a clean one" is Result success
systemctl start "$unit"
applies "a CSV provided later" provided rename_over provided
systemctl stop "$unit"

systemctl stop "$watch"
disabled > "$settings"
systemctl start "$unit"
sleep 3
check "disabled: the launcher waits, not tried again" is NRestarts 0
systemctl stop "$unit"
check "disabled: a stop ends the wait cleanly" is Result success

# Where /tmp is cleaned of what was left alone 10 days, the work directory
# stays; another old file goes. (Aged by their modification time, the one
# touch can set: the change time can't be set back.)
printf 'q /tmp 1777 root root m:10d\n' > /etc/tmpfiles.d/tmp.conf
echo old > /tmp/old-other
touch -d '30 days ago' /tmp/old-other /tmp/lwm2m/etc/config.csv /tmp/lwm2m/lwm2m.log \
    /tmp/lwm2m/etc /tmp/lwm2m
systemd-tmpfiles --clean
check "tmpfiles: an old file in /tmp goes" [ ! -e /tmp/old-other ]
check "tmpfiles: the work directory stays, whatever its age" \
    test -f /tmp/lwm2m/etc/config.csv -a -f /tmp/lwm2m/lwm2m.log

if [ "$failed" -ne 0 ]; then
    systemctl status --no-pager "$watch" lwm2m-launcher-settings.service "$unit"
    journalctl --no-pager -n 60
    cat /opt/results/dpkg.log
fi
echo "checks: $failed"
systemctl --no-block start poweroff.target
CHECKS

bind() { printf -- '--bind-ro=%s:%s ' "$1" "$2"; }
# shellcheck disable=SC2046 # one word per option
timeout 600 systemd-nspawn --volatile=yes --overlay=/etc::/etc --overlay=/usr::/usr \
    --overlay="/var:$work/var:/var" --register=no --keep-unit -D / --boot --quiet \
    $(bind "$client" /opt/Quorvane/bin/lwm2mclient) \
    $(bind "$work/debs" /opt/debs) \
    $(bind "$work/lwm2m-unit-test.target" /etc/systemd/system/lwm2m-unit-test.target) \
    $(bind "$work/lwm2m-unit-test.service" /etc/systemd/system/lwm2m-unit-test.service) \
    $(bind "$work/checks.sh" /opt/test/checks.sh) \
    --bind="$work/etc:/opt/Quorvane/etc" --bind="$work/results:/opt/results" \
    systemd.unit=lwm2m-unit-test.target systemd.firstboot=0 > "$work/console" 2>&1 || true

if ! grep -q '^booted' "$work/results/log" 2> /dev/null; then
    cat "$work/console"
    skip "the container did not boot and start the checks"
fi
cat "$work/results/log"
grep -q '^checks: ' "$work/results/log" || { echo "FAIL: the checks did not finish"; exit 1; }
grep -qx 'checks: 0' "$work/results/log"
