#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# One supervisor's service file under the real supervisor, in private mount
# and PID namespaces with fresh file systems over /opt, /tmp, /var and /run.
# Four gateways at once: enabled (one launcher run in 30 s, one client; a
# killed client comes back within 3 s; a stop leaves none), disabled (one
# run in 40 s), no CSV (one or two runs in 40 s), a client that ends at once
# (started at most once per 30 s: two or three times in 65 s, and a stop
# during the wait between ends it); none leaves a launcher once stopped.
# Under runit and s6 the service's log service runs too (log/run beside the
# run file), and the launcher's reason for a start without a client must
# reach its log directory.
# Usage: supervisor_test.sh SUPERVISOR LAUNCHER SERVICE_FILE CLIENT [DEB_DIR]
#   SUPERVISOR: runit, daemontools, s6, busybox, or openrc (unpacked from
#   DEB_DIR's openrc, librc1 and libeinfo1 packages)
# Exit: 0 all hold, 1 one doesn't, 77 skipped (not root, or no supervisor;
# with CI set that fails instead).
set -eu
supervisor=$1
self=$(cd "$(dirname "$0")" && pwd)/${0##*/}

skip() {
    [ -z "${CI:-}" ] || { echo "FAIL: $*"; exit 1; }
    echo "skipped: $*"
    exit 77
}

if [ "${6:-}" != --phase ]; then
    [ "$(id -u)" -eq 0 ] || skip "the supervisors need root"
    command -v unshare > /dev/null || skip "no unshare (package util-linux)"
    case $supervisor in
        runit) needed="runsvdir sv" ;;
        daemontools) needed="svscan svc" ;;
        s6) needed="s6-svscan s6-svc" ;;
        busybox) needed="busybox" ;;
        openrc) needed="" ;;
        *) echo "supervisor_test: unknown supervisor $supervisor" >&2; exit 2 ;;
    esac
    for tool in $needed; do
        command -v "$tool" > /dev/null || skip "no $tool (tools/need.sh test)"
    done
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    cp "$2" "$work/launcher"
    cp "$3" "$work/service"
    [ ! -f "$(dirname "$3")/log/run" ] || cp "$(dirname "$3")/log/run" "$work/log-run"
    cp "$4" "$work/client"
    if [ "$supervisor" = openrc ]; then
        for package in openrc librc1 libeinfo1; do
            deb=$(ls "${5:-}"/"${package}"_*.deb 2> /dev/null | tail -n 1)
            [ -n "$deb" ] || skip "no $package package in '${5:-}' (tools/need.sh test-unpacked)"
            dpkg-deb -x "$deb" "$work/openrc"
        done
    fi
    pids=
    for phase in enabled disabled no_csv crash; do
        unshare --mount --pid --fork --propagation private \
            sh "$self" "$supervisor" "$work" - - - --phase "$phase" > "$work/$phase.log" 2>&1 &
        pids="$pids $!"
    done
    # A phase that ends early, for whatever reason, fails the test.
    failed=0
    for pid in $pids; do
        wait "$pid" || failed=1
    done
    cat "$work/enabled.log" "$work/disabled.log" "$work/no_csv.log" "$work/crash.log"
    exit $failed
fi

# One gateway, in namespaces of its own. The work directory (in /tmp) stays
# in reach under /run, which is covered first.
phase=$7
cd /
mount -t proc proc /proc
mount -t tmpfs -o mode=755 tmpfs /run
mkdir /run/test
mount --bind "$2" /run/test
work=/run/test
for dir in /opt /tmp /var; do
    mount -t tmpfs -o mode=755 tmpfs "$dir"
done
chmod 1777 /tmp
ln -s /run /var/run
mkdir -p /opt/Quorvane/bin /opt/Quorvane/etc /run/service/lwm2m-launcher
cp "$work/launcher" /opt/Quorvane/bin/lwm2m-launcher
cp "$work/client" /opt/Quorvane/bin/lwm2mclient
csv=$(printf 'name,register\nt,40001\n' | base64 -w 0)
case $phase in
    enabled | crash) printf 'LWM2M_ENABLE=1\nLWM2M_NAME=gw\nLWM2M_CSV=%s\n' "$csv" ;;
    disabled) printf 'LWM2M_ENABLE=0\nLWM2M_CSV=%s\n' "$csv" ;;
    no_csv) printf 'LWM2M_ENABLE=1\n' ;;
esac > /opt/Quorvane/etc/settings

# How each supervisor is set up, started and told to stop the service.
case $supervisor in
    runit | daemontools | s6)
        cp "$work/service" /run/service/lwm2m-launcher/run
        if [ "$supervisor" != daemontools ]; then
            mkdir /run/service/lwm2m-launcher/log
            cp "$work/log-run" /run/service/lwm2m-launcher/log/run
        fi
        ;;
    busybox)
        # init's own /etc/inittab, and its console (where there is one: a
        # container may have none), are this test's.
        mkdir /run/etc
        cp "$work/service" /run/etc/inittab
        mount -t overlay overlay -o lowerdir=/run/etc:/etc /etc
        [ ! -e /dev/console ] || mount --bind /dev/null /dev/console
        ;;
    openrc)
        mkdir -p /run/etc/init.d /run/etc/conf.d /run/etc/runlevels/default /run/openrc
        cp "$work/service" /run/etc/init.d/lwm2m-launcher
        : > /run/etc/insserv.conf
        mount -t overlay overlay -o lowerdir=/run/etc:/etc /etc
        mount -t overlay overlay -o "lowerdir=$work/openrc/lib:/usr/lib" /usr/lib
        mount -t overlay overlay -o "lowerdir=$work/openrc/sbin:/usr/sbin" /usr/sbin
        # The state that booting with OpenRC leaves.
        for state in started starting stopping inactive wasinactive failed hotplugged \
            daemons options exclusive scheduled tmp; do
            mkdir "/run/openrc/$state"
        done
        echo default > /run/openrc/softlevel
        ;;
esac
start_service() {
    case $supervisor in
        runit) runsvdir -P /run/service > /dev/null 2>&1 & ;;
        daemontools) svscan /run/service > /dev/null 2>&1 & ;;
        s6) s6-svscan /run/service > /dev/null 2>&1 & ;;
        busybox) unshare --pid --fork --mount-proc busybox init & ;;
        openrc) /etc/init.d/lwm2m-launcher start > /run/openrc.out 2>&1 || cat /run/openrc.out ;;
    esac
}
stop_service() {
    case $supervisor in
        runit) sv down /run/service/lwm2m-launcher > /dev/null ;;
        daemontools) svc -d /run/service/lwm2m-launcher ;;
        s6) s6-svc -d /run/service/lwm2m-launcher ;;
        busybox)  # the line removed, and init told to read its table again
            : > /run/etc/inittab
            kill -HUP "$(pgrep -x -P "$(pgrep -x -P $$ unshare)" busybox)" ;;
        openrc) /etc/init.d/lwm2m-launcher stop > /run/openrc.out 2>&1 || cat /run/openrc.out ;;
    esac
}

failed=0
expect() {  # expect WHAT EXPECTED ACTUAL
    if [ "$2" = "$3" ]; then echo "ok: $supervisor: $1"; else
        echo "FAIL: $supervisor: $1: expected '$2', got '$3'"
        failed=1
    fi
}
# How many processes run PROGRAM, by their executable; their PIDs with -l.
running() {
    for dir in /proc/[0-9]*; do
        [ "$(readlink "$dir/exe" 2> /dev/null)" != "${2:-$1}" ] || echo "${dir#/proc/}"
    done | if [ "$1" = -l ]; then cat; else wc -l | tr -d ' '; fi
}
client=/opt/Quorvane/bin/lwm2mclient
# How many starts logged MESSAGE.
runs() { cat /tmp/lwm2m/lwm2m.log 2> /dev/null | grep -c -e "$1" || true; }
now() { date +%s.%N; }
# Waits up to 20 seconds until TEST holds.
wait_for() {
    tries=0
    until "$@"; do
        [ $tries -lt 200 ] || return 1
        sleep 0.1
        tries=$((tries + 1))
    done
}
none_left() { [ "$(running $client) $(running /opt/Quorvane/bin/lwm2m-launcher)" = "0 0" ]; }

[ "$phase" != crash ] || : > /run/die-at-once
start_service
case $phase in
    enabled)
        sleep 30
        expect "enabled: launcher runs in 30 s" 1 "$(runs ' &$')"
        expect "enabled: clients alive" 1 "$(running $client)"
        killed=$(running -l $client | head -n 1)
        [ -z "$killed" ] || kill -KILL "$killed"
        began=$(now)
        another() { running -l $client | grep -qvx "$killed"; }
        back=
        if [ -n "$killed" ] && wait_for another; then
            back=$(echo "$(now) $began" | awk '{ printf "%.1f", $1 - $2 }')
            echo "figure: $supervisor: a killed client was running again after $back s"
        fi
        expect "a killed client is started again within 3 s" yes \
            "$(echo "${back:-99}" | awk '{ print ($1 <= 3 ? "yes" : "no") }')"
        expect "a killed client is started again" 2 "$(runs ' &$')"
        ;;
    disabled)
        sleep 40
        expect "disabled: launcher runs in 40 s" 1 "$(runs '^Quorvane is disabled\.$')"
        expect "disabled: clients" 0 "$(running $client)"
        ;;
    no_csv)
        sleep 40
        n=$(runs "^Can't find CSV config file in Plugwell$")
        echo "figure: $supervisor: without a CSV, $n launcher runs in 40 s"
        expect "no CSV: one or two launcher runs in 40 s" yes "$([ "$n" -ge 1 ] && [ "$n" -le 2 ] && echo yes || echo "no ($n)")"
        ;;
    crash)
        sleep 65
        n=$(runs ' &$')
        echo "figure: $supervisor: a client that ends at once was started $n times in 65 s"
        expect "ending at once: two or three starts in 65 s" yes "$([ "$n" -ge 2 ] && [ "$n" -le 3 ] && echo yes || echo "no ($n)")"
        waiting() { [ "$(running /opt/Quorvane/bin/lwm2m-launcher)" = 1 ]; }
        expect "ending at once: the launcher waits between starts" yes "$(wait_for waiting && echo yes || echo no)"
        ;;
esac
case $supervisor:$phase in
    runit:disabled | s6:disabled | runit:no_csv | s6:no_csv)
        said() { grep -q 'client not started' /var/log/lwm2m-launcher/current 2> /dev/null; }
        expect "$phase: the log service keeps why no client runs" yes "$(wait_for said && echo yes || echo no)"
        ;;
esac
stop_service
wait_for none_left || true
expect "$phase: stopped, no client and no launcher is left" yes "$(none_left && echo yes || echo no)"
exit $failed
