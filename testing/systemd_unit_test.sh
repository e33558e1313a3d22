#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# Boots a real systemd in a throwaway container (systemd-nspawn --volatile=yes:
# its root is a fresh tmpfs and only /usr comes from this machine, so nothing
# here is touched), with the launcher, a stand-in client, lwm2m-launcher.service
# and settings files bound in, and checks the unit there:
#  - enabled and started, the client is the unit's main process; a client
#    killed by a signal is started again by running the launcher again;
#  - systemctl stop ends the client;
#  - settings without a CSV leave the unit failed with status 255, and no
#    restart is scheduled;
#  - a disabled module leaves no process.
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
printf '#!/bin/sh\nwhile :; do sleep 1; done\n' > "$work/lwm2mclient"
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
runs_client() { tr '\000' '\n' < "/proc/$1/cmdline" | head -n 2 | grep -qx /opt/Quorvane/bin/lwm2mclient; }
no_client() { ! pgrep -f /opt/Quorvane/bin/lwm2mclient > /dev/null; }
# The launcher is the unit's start process, not its main one.
exited_with() { property ExecStart | grep -q "code=exited ; status=$1 }"; }

systemctl enable "$unit"
check "enabled" [ "$(systemctl is-enabled "$unit")" = enabled ]

cp /opt/test/enabled "$settings"
systemctl start "$unit"
pid=$(property MainPID)
check "started" is ActiveState active
check "the client is the main process" runs_client "$pid"
kill -KILL "$pid"
sleep 7
restarted=$(property MainPID)
check "a client that crashes is started again" runs_client "$restarted"
systemctl stop "$unit"
check "stop ends the client" no_client

cp /opt/test/no_csv "$settings"
systemctl start "$unit"
check "no CSV: failed" is ActiveState failed
check "no CSV: status 255" exited_with 255
check "no CSV: no restart scheduled" is SubState failed
systemctl reset-failed "$unit"

cp /opt/test/disabled "$settings"
systemctl start "$unit"
check "disabled: succeeded" is Result success
check "disabled: inactive" is ActiveState inactive
check "disabled: no main process" is MainPID 0
check "disabled: no client" no_client

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
