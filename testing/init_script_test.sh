#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# The init script for SysV and BusyBox init, end to end: in private mount
# and PID namespaces, with fresh file systems over /opt, /tmp and /var and a
# /proc that shows only this test's processes, the launcher and a stand-in
# client program are installed at their paths and the script is run as init
# runs it:
#  - start, stop, status, restart and force-reload do what they say, stop
#    never runs the launcher, start passes on the launcher's status and
#    does nothing while the client runs;
#  - a process that merely has the client's path among its arguments is not
#    taken for the client, by status or by stop.
# Usage: init_script_test.sh LAUNCHER INIT_SCRIPT CLIENT
# Exit: 0 all hold, 1 one doesn't, 77 skipped (no namespaces here; with CI
# set that fails instead).
set -eu

if [ "${4:-}" != --inside ]; then
    for namespace in "unshare --mount --pid --fork --propagation private" \
        "unshare --mount --pid --fork --propagation private --map-root-user"; do
        if $namespace true 2> /dev/null; then
            # The files come in on descriptors, opened before the mounts
            # could hide them.
            exec $namespace sh "$0" - - - --inside 3< "$1" 4< "$2" 5< "$3"
        fi
    done
    [ -z "${CI:-}" ] || { echo "FAIL: no namespaces can be made here"; exit 1; }
    echo "skipped: no namespaces can be made here"
    exit 77
fi

mount -t proc proc /proc
# No hand-over to a systemd outside: /lib/lsb/init-functions looks here.
[ ! -d /run/systemd/system ] || mount -t tmpfs tmpfs /run/systemd
for dir in /opt /tmp /var; do
    mount -t tmpfs -o mode=755 tmpfs "$dir"
done
chmod 1777 /tmp
mkdir -p /opt/Quorvane/bin /opt/Quorvane/etc /opt/test
cat <&3 > /opt/Quorvane/bin/lwm2m-launcher
cat <&4 > /opt/test/init
cat <&5 > /opt/Quorvane/bin/lwm2mclient
exec 3<&- 4<&- 5<&-
chmod 755 /opt/Quorvane/bin/lwm2m-launcher /opt/test/init /opt/Quorvane/bin/lwm2mclient
csv=$(printf 'name,register\nt,40001\n' | base64 -w 0)
printf 'LWM2M_ENABLE=1\nLWM2M_NAME=gw\nLWM2M_CSV=%s\n' "$csv" > /opt/Quorvane/etc/settings

failed=0
expect() {  # expect WHAT EXPECTED ACTUAL
    if [ "$2" = "$3" ]; then echo "ok: $1"; else echo "FAIL: $1: expected '$2', got '$3'"; failed=1; fi
}
run() { /opt/test/init "$1" > /dev/null 2>&1 && echo 0 || echo $?; }

statuses=
for action in status start start status stop status restart status force-reload status stop stop; do
    statuses="$statuses $action=$(run $action)"
done
expect "actions and statuses" \
    " status=3 start=0 start=0 status=0 stop=0 status=3 restart=0 status=0 force-reload=0 status=0 stop=0 stop=0" \
    "$statuses"
expect "an unknown action" 2 "$(run reload)"
expect "started three times, never by stop nor by a start while it runs" 3 "$(grep -c ' &$' /tmp/lwm2m/lwm2m.log)"

# Not the client: a program given the client's path as an argument.
tail -f /opt/Quorvane/bin/lwm2mclient > /dev/null &
other=$!
expect "another program with the client's path is not the client" 3 "$(run status)"
run stop > /dev/null
expect "stop leaves it alone" 0 "$(kill -0 $other && echo 0 || echo 1)"
kill $other

printf 'LWM2M_ENABLE=1\n' > /opt/Quorvane/etc/settings
expect "start passes on the launcher's status" 255 "$(run start)"
exit $failed
