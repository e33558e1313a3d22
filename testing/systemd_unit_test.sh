#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# Boots a real systemd in a throwaway container (systemd-nspawn --volatile=yes:
# its root is a fresh tmpfs and only /usr comes from this machine, so nothing
# here is touched), with the launcher, a stand-in client, the units and
# settings files bound in, and checks the units there:
#  - enabled and started, the client is the unit's main process;
#  - a client that ends in any way but a stop (killed, an error status,
#    status 0, at once after its start) is started again, by running the
#    launcher again, however often, and systemctl stop ends it for good;
#  - new settings are applied by lwm2m-launcher-settings.path: an edit in
#    place and an edit by rename restart the client with its new command
#    line, a module disabled later stops, one enabled later comes up;
#  - settings without a CSV leave the launcher waiting, the journal says
#    why, a start that ends so (status 255) is tried again without end, and
#    the client comes up once a CSV is there;
#  - a disabled module leaves no client and is not tried again.
# The pace (RestartSec=30) is checked as set, then shortened to a second
# by a drop-in so that the test takes seconds.
# Usage: systemd_unit_test.sh LAUNCHER PACKAGING_DIR CLIENT
#   CLIENT: the stand-in client program (testing/stand_in_client.cpp), one
#   process that leaves no child behind
# Exit: 0 all hold, 1 one doesn't (a check that fails, or checks that never
# finish), 77 skipped (no root, no systemd-nspawn, or a container that did
# not boot; when CI is set that fails instead).
set -eu
launcher=$1
units=$2
client=$3

skip() {
    [ -z "${CI:-}" ] || { echo "FAIL: $*"; exit 1; }
    echo "skipped: $*"
    exit 77
}
[ "$(id -u)" -eq 0 ] || skip "systemd-nspawn needs root"
command -v systemd-nspawn > /dev/null || skip "no systemd-nspawn (package systemd-container)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/etc" "$work/results"

# The container boots into a target of its own, whose one service runs the
# checks and powers the container off.
printf '[Unit]\nDescription=lwm2m-launcher unit test\nWants=lwm2m-unit-test.service\n' \
    > "$work/lwm2m-unit-test.target"
printf '[Unit]\nDescription=lwm2m-launcher unit checks\n[Service]\nType=oneshot\nExecStart=/bin/sh /opt/test/checks.sh\n' \
    > "$work/lwm2m-unit-test.service"
cat > "$work/checks.sh" << 'CHECKS'
exec > /opt/results/log 2>&1
echo "booted"
unit=lwm2m-launcher.service
settings=/opt/Quorvane/etc/settings
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
property() { systemctl show -p "$1" --value "$unit"; }
is() { [ "$(property "$1")" = "$2" ]; }
main_pid() { property MainPID; }
# The client with the name NAME (any, when not given) runs as process PID.
runs_client() {
    [ "${1:-0}" -gt 0 ] && tr '\000' '\n' < "/proc/$1/cmdline" 2> /dev/null | head -n 2 |
        grep -qx /opt/Quorvane/bin/lwm2mclient &&
        { [ -z "${2:-}" ] || tr '\000' ' ' < "/proc/$1/cmdline" | grep -q -- "-n $2 "; }
}
no_client() { ! pgrep -f /opt/Quorvane/bin/lwm2mclient > /dev/null; }
said() { journalctl -u "$unit" | grep -q "client not started: $1"; }
# Waits up to SECONDS for TEST: 60 for what a machine busy compiling may
# take; 20 for new settings, well before the launcher's own 30 s wait ends.
within() {
    tries=$(($1 * 2))
    shift
    until "$@"; do
        [ $tries -gt 0 ] || return 1
        sleep 0.5
        tries=$((tries - 1))
    done
}
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

systemctl enable "$unit"
check "enabled" [ "$(systemctl is-enabled "$unit")" = enabled ]
check "the settings are watched too" [ "$(systemctl is-enabled lwm2m-launcher-settings.path)" = enabled ]
check "never given up" sh -c "systemctl show -p StartLimitIntervalUSec --value $unit | grep -qx -e 0 -e infinity"
check "a calm pace" is RestartUSec 30s
mkdir -p /run/systemd/system/$unit.d
printf '[Service]\nRestartSec=1\n' > /run/systemd/system/$unit.d/quick.conf
systemctl daemon-reload
# Until the settings checks, settings are changed without the watch.
systemctl stop lwm2m-launcher-settings.path

enabled > "$settings"
systemctl start "$unit"
check "started" is ActiveState active
# The start is done once the launcher runs; it becomes the client soon after.
main_is_client() { runs_client "$(main_pid)"; }
check "the client is the main process" within 60 main_is_client
pid=$(main_pid)
for ending in KILL USR1 USR2 TERM KILL KILL; do
    check "a client that ends by $ending" end_main $ending
    check "a client that ends by $ending is started again" within 60 new_client "$pid"
    pid=$(main_pid)
done
check "six restarts, and no limit" is NRestarts 6
touch /run/die-at-once
end_main KILL
sleep 6
check "a client that ends at once is seen and tried again" [ "$(property NRestarts)" -ge 9 ]
rm /run/die-at-once
check "and comes up once it can" within 60 new_client 0
systemctl stop "$unit"
check "stop ends the client" no_client
check "stop ends it for good" is ActiveState inactive

systemctl start lwm2m-launcher-settings.path
systemctl start "$unit"
within 60 new_client 0
pid=$(main_pid)
began=$(date +%s%N)
enabled in-place > "$settings"
check "an edit in place restarts the client with its new command line" within 20 new_client "$pid" in-place
echo "figure: an edit in place applied after $(since "$began") s"
pid=$(main_pid)
began=$(date +%s%N)
enabled renamed > "$settings.new"
mv "$settings.new" "$settings"
check "an edit by rename restarts the client with its new command line" within 20 new_client "$pid" renamed
echo "figure: an edit by rename applied after $(since "$began") s"
disabled > "$settings"
check "a module disabled later stops" within 20 no_client
check "disabled: the journal says why" within 60 said "the module is disabled"
check "disabled: the launcher waits" is ActiveState active
enabled > "$settings"
check "a module enabled later comes up" within 20 new_client 0
no_csv > "$settings"
check "no CSV: the journal says why" within 60 said "no CSV configuration"
check "no CSV: no client" no_client
restarts=$(property NRestarts)
check "no CSV: a wait that ends" end_main TERM
check "no CSV: the start fails with status 255" within 60 is ExecMainStatus 255
check "no CSV: and is tried again" within 60 sh -c "[ \$(systemctl show -p NRestarts --value $unit) -gt $restarts ]"
enabled > "$settings.new"
mv "$settings.new" "$settings"
check "a CSV provided later: the client comes up by itself" within 20 new_client 0
systemctl stop "$unit"

systemctl stop lwm2m-launcher-settings.path
disabled > "$settings"
systemctl start "$unit"
sleep 3
check "disabled: the launcher waits, not tried again" is NRestarts 0
systemctl stop "$unit"
check "disabled: a stop ends the wait cleanly" is Result success

if [ "$failed" -ne 0 ]; then
    systemctl status --no-pager lwm2m-launcher-settings.path lwm2m-launcher-settings.service "$unit"
    journalctl --no-pager -n 60
fi
echo "checks: $failed"
systemctl --no-block start poweroff.target
CHECKS

bind() { printf -- '--bind-ro=%s:%s ' "$1" "$2"; }
# shellcheck disable=SC2046 # one word per option
timeout 500 systemd-nspawn --volatile=yes --register=no --keep-unit -D / --boot --quiet \
    $(bind "$launcher" /opt/Quorvane/bin/lwm2m-launcher) \
    $(bind "$client" /opt/Quorvane/bin/lwm2mclient) \
    $(bind "$units/lwm2m-launcher.service" /etc/systemd/system/lwm2m-launcher.service) \
    $(bind "$units/lwm2m-launcher-settings.path" /etc/systemd/system/lwm2m-launcher-settings.path) \
    $(bind "$units/lwm2m-launcher-settings.service" /etc/systemd/system/lwm2m-launcher-settings.service) \
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
