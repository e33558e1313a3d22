#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# Boots a real systemd in a throwaway container (systemd-nspawn --volatile=yes:
# its root is a fresh tmpfs and only /usr comes from this machine, so nothing
# here is touched), with the launcher, a stand-in client, lwm2m-launcher.service
# and settings files bound in, and checks the unit there:
#  - enabled and started, the client is the unit's main process;
#  - a client that ends in any way but a stop (killed, an error status,
#    status 0) is started again, by running the launcher again, however
#    often, and systemctl stop ends it for good;
#  - settings without a CSV fail the start (status 255, said in the
#    journal), which is tried again without end: the client comes up once
#    a CSV is there;
#  - a disabled module leaves no process, and is not tried again.
# The pace (RestartSec=30) is checked as set, then shortened to a second
# by a drop-in so that the test takes seconds.
# Usage: systemd_unit_test.sh LAUNCHER UNIT_FILE
# Exit: 0 all hold, 1 one doesn't, 77 skipped (no root or no systemd-nspawn;
# when CI is set that fails instead).
set -eu
launcher=$1
unit=$2

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
# A client that ends on request: SIGUSR1 with status 3, SIGUSR2 with 0.
printf '#!/bin/sh\ntrap "exit 3" USR1\ntrap "exit 0" USR2\nwhile :; do sleep 1; done\n' \
    > "$work/lwm2mclient"
chmod 755 "$work/lwm2mclient"
csv=$(printf 'name,register\nt,40001\n' | base64 -w 0)
printf 'LWM2M_ENABLE=1\nLWM2M_NAME=gw\nLWM2M_CSV=%s\n' "$csv" > "$work/enabled"
printf 'LWM2M_ENABLE=0\nLWM2M_CSV=%s\n' "$csv" > "$work/disabled"
printf 'LWM2M_ENABLE=1\n' > "$work/no_csv"

# The container boots into a target of its own, whose one service runs the
# checks and powers the container off.
printf '[Unit]\nDescription=lwm2m-launcher unit test\nWants=lwm2m-unit-test.service\n' \
    > "$work/lwm2m-unit-test.target"
printf '[Unit]\nDescription=lwm2m-launcher unit checks\n[Service]\nType=oneshot\nExecStart=/bin/sh /opt/test/checks.sh\n' \
    > "$work/lwm2m-unit-test.service"
cat > "$work/checks.sh" << 'CHECKS'
exec > /opt/results/log 2>&1
unit=lwm2m-launcher.service
settings=/opt/Quorvane/etc/settings
failed=0
check() {  # check WHAT TEST...
    what=$1
    shift
    if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; failed=1; fi
}
property() { systemctl show -p "$1" --value "$unit"; }
is() { [ "$(property "$1")" = "$2" ]; }
runs_client() { [ -n "$1" ] && [ "$1" != 0 ] && tr '\000' '\n' < "/proc/$1/cmdline" | head -n 2 | grep -qx /opt/Quorvane/bin/lwm2mclient; }
no_client() { ! pgrep -f /opt/Quorvane/bin/lwm2mclient > /dev/null; }
# The launcher is the unit's start process, not its main one.
exited_with() { property ExecStart | grep -q "code=exited ; status=$1 }"; }
# Waits up to 20 seconds for a client other than $1 to be the main process.
new_client() {
    tries=0
    while [ $tries -lt 40 ]; do
        pid=$(property MainPID)
        if [ "$pid" != "$1" ] && runs_client "$pid"; then return 0; fi
        sleep 0.5
        tries=$((tries + 1))
    done
    return 1
}

systemctl enable "$unit"
check "enabled" [ "$(systemctl is-enabled "$unit")" = enabled ]
check "never given up" sh -c "systemctl show -p StartLimitIntervalUSec --value $unit | grep -qx -e 0 -e infinity"
check "a calm pace" is RestartUSec 30s
mkdir -p /run/systemd/system/$unit.d
printf '[Service]\nRestartSec=1\n' > /run/systemd/system/$unit.d/quick.conf
systemctl daemon-reload

cp /opt/test/enabled "$settings"
systemctl start "$unit"
pid=$(property MainPID)
check "started" is ActiveState active
check "the client is the main process" runs_client "$pid"
for ending in KILL USR1 USR2 TERM KILL KILL; do
    kill -s $ending "$pid"
    check "a client that ends by $ending is started again" new_client "$pid"
    pid=$(property MainPID)
done
check "six restarts, and no limit" is NRestarts 6
systemctl stop "$unit"
check "stop ends the client" no_client
check "stop ends it for good" is ActiveState inactive

cp /opt/test/no_csv "$settings"
systemctl start "$unit"
check "no CSV: the start fails with status 255" exited_with 255
check "no CSV: the journal says why" sh -c "journalctl -u $unit | grep -q 'client not started: no CSV configuration'"
sleep 7
check "no CSV: tried again and again" [ "$(property NRestarts)" -ge 5 ]
cp /opt/test/enabled "$settings"
check "a CSV provided later: the client comes up by itself" new_client 0
systemctl stop "$unit"

cp /opt/test/disabled "$settings"
systemctl start "$unit"
sleep 3
check "disabled: succeeded" is Result success
check "disabled: inactive" is ActiveState inactive
check "disabled: not tried again" is NRestarts 0
check "disabled: no client" no_client
check "disabled: the journal says why" sh -c "journalctl -u $unit | grep -q 'client not started: the module is disabled'"

echo "checks: $failed"
systemctl --no-block start poweroff.target
CHECKS

bind() { printf -- '--bind-ro=%s:%s ' "$1" "$2"; }
# shellcheck disable=SC2046 # one word per option
timeout 300 systemd-nspawn --volatile=yes --register=no --keep-unit -D / --boot --quiet \
    $(bind "$launcher" /opt/Quorvane/bin/lwm2m-launcher) \
    $(bind "$work/lwm2mclient" /opt/Quorvane/bin/lwm2mclient) \
    $(bind "$unit" /etc/systemd/system/lwm2m-launcher.service) \
    $(bind "$work/lwm2m-unit-test.target" /etc/systemd/system/lwm2m-unit-test.target) \
    $(bind "$work/lwm2m-unit-test.service" /etc/systemd/system/lwm2m-unit-test.service) \
    $(bind "$work/checks.sh" /opt/test/checks.sh) \
    $(bind "$work/enabled" /opt/test/enabled) $(bind "$work/disabled" /opt/test/disabled) \
    $(bind "$work/no_csv" /opt/test/no_csv) \
    --bind="$work/etc:/opt/Quorvane/etc" --bind="$work/results:/opt/results" \
    systemd.unit=lwm2m-unit-test.target systemd.firstboot=0 > "$work/console" 2>&1 || true

if ! grep -q '^checks: ' "$work/results/log" 2> /dev/null; then
    cat "$work/console" "$work/results/log" 2> /dev/null
    skip "the container did not boot and run the checks"
fi
cat "$work/results/log"
grep -qx 'checks: 0' "$work/results/log"
