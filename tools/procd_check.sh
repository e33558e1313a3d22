#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# Runs the procd service (packaging/procd/lwm2m-launcher) under OpenWrt's own
# procd, built here from its sources, with OpenWrt's own init shell library,
# and goes through the phases of the other supervisors' test, printing a
# figure line for each:
#  1. start: the client is procd's instance process;
#  2. SIGKILL of a client that ran a while: procd starts it again (after
#     5 s);
#  3. a client that dies at once is tried again without end, at the
#     launcher's pace: at most once per 30 s;
#  4. disabled: the launcher idles and is not started again;
#  5. reload after a change of the settings restarts it with the new
#     settings; reload without a change leaves it alone;
#  6. stop leaves no client and no launcher.
#
# Built from the trees in TREES, side by side: procd, libubox, ubus, uci,
# udebug and jsonpath (OpenWrt's repositories; jsonpath at the commit before
# e5a07f4, from which on it reads no JSON from standard input, as procd.sh
# pipes it). What Debian 12 needs changed, and why:
#  - libubox, ubus and uci without Lua (no Lua development files wanted);
#  - udebug: its library alone, with an empty directory for ucode's headers
#    (its ucode module is not needed);
#  - procd: its -Werror goes, from a copy of its CMakeLists.txt (gcc 12
#    warns where the sources' compiler did not); strlcpy comes from libbsd
#    (-D_GNU_SOURCE -include bsd/string.h, linked with -lbsd), as glibc 2.36
#    has none; jail, seccomp and utrace are off; setlbf is built too, as
#    procd preloads /lib/libsetlbf.so into an instance that logs its output.
# OPENWRT holds OpenWrt's etc/rc.common, lib/functions.sh,
# lib/functions/service.sh and lib/functions/procd.sh.
#
# The run is in private mount and PID namespaces, with fresh file systems
# over /opt, /tmp, /var, /run and /dev (its few devices bound in) and the
# built programs and OpenWrt's files laid over /usr, /lib and /etc by
# overlays: nothing on this machine is touched. There, /bin/sh is BusyBox's
# ash, as on OpenWrt (procd.sh uses `let` and `&>`), BusyBox's syslogd takes
# the instances' output (procd sends it to /dev/log), ubusd runs, and procd
# runs as the service manager alone, not as PID 1 (`procd -s SOCKET`).
#
# Usage: procd_check.sh [TREES OPENWRT [LAUNCHER CLIENT [SERVICE]]]
#   by default $LAUNCHER_PROCD_TREES and $LAUNCHER_OPENWRT_FILES; LAUNCHER
#   and CLIENT by default build/default's launcher and stand-in client
#   (testing/stand_in_client.cpp), SERVICE packaging/procd/lwm2m-launcher
#   (tools/openwrt_check.sh gives those an ipk installs). As root; tools/need.sh procd installs
#   what the build and the run need.
# Exit: 0 every phase holds, 1 one doesn't or a step failed, 77 skipped (no
# trees given).
set -eu
source_dir=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=testing/polling.sh
. "$source_dir/testing/polling.sh"

if [ "${1:-}" = --inside ]; then
    # In the namespaces. The work directory ($2, in /tmp perhaps) stays in
    # reach under /run, which is covered first.
    cd /
    mount -t proc proc /proc
    mount -t tmpfs -o mode=755 tmpfs /run
    mkdir /run/check /run/dev
    mount --bind "$2" /run/check
    work=/run/check
    stage=$work/stage
    mount --bind /dev /run/dev
    mount -t tmpfs -o mode=755 tmpfs /dev
    for device in null zero full random urandom tty; do
        : > "/dev/$device"
        mount --bind "/run/dev/$device" "/dev/$device"
    done
    for dir in /opt /tmp /var; do
        mount -t tmpfs -o mode=755 tmpfs "$dir"
    done
    chmod 1777 /tmp
    ln -s /run /var/run
    mkdir -p /run/ubus /var/log /var/lock /opt/Quorvane/bin /opt/Quorvane/etc
    lay() { mount -t overlay overlay -o "lowerdir=$1:$2" "$2"; }
    lay "$stage/bin" /usr/bin
    lay "$stage/sbin" /usr/sbin
    lay "$stage/lib" /usr/lib
    lay "$stage/share" /usr/share
    lay "$stage/etc" /etc
    mount --bind "$(command -v busybox)" /bin/sh
    cp "$work/launcher" /opt/Quorvane/bin/lwm2m-launcher
    cp "$work/client" /opt/Quorvane/bin/lwm2mclient

    busybox syslogd -n -O /var/log/messages &
    ubusd &
    sleep 0.5
    procd -s /run/ubus/ubus.sock &
    sleep 1

    failed=0
    expect() {  # expect WHAT EXPECTED ACTUAL
        if [ "$2" = "$3" ]; then echo "ok: procd: $1"; else
            echo "FAIL: procd: $1: expected '$2', got '$3'"
            failed=1
        fi
    }
    now() { date +%s.%N; }
    since() { echo "$(now) $1" | awk '{ printf "%.1f", $1 - $2 }'; }
    # The PIDs of the processes whose executable is PROGRAM.
    running() {
        for dir in /proc/[0-9]*; do
            [ "$(readlink "$dir/exe" 2> /dev/null)" != "$1" ] || echo "${dir#/proc/}"
        done
    }
    client=/opt/Quorvane/bin/lwm2mclient
    launcher=/opt/Quorvane/bin/lwm2m-launcher
    # The PID of the service's instance, as procd has it.
    instance() {
        ubus call service list '{"name":"lwm2m-launcher"}' 2> /dev/null |
            jsonfilter -e '@["lwm2m-launcher"].instances.instance1.pid' 2> /dev/null || true
    }
    runs() { grep -c -e "$1" /tmp/lwm2m/lwm2m.log 2> /dev/null || true; }
    client_is_instance() { [ -n "$(running $client)" ] && [ "$(running $client)" = "$(instance)" ]; }
    another_client() { [ -n "$(running $client)" ] && [ "$(running $client)" != "$1" ]; }
    csv=$(printf 'name,register\nt,40001\n' | base64 -w 0)
    settings() {  # settings ENABLE NAME
        printf 'LWM2M_ENABLE=%s\nLWM2M_NAME=%s\nLWM2M_CSV=%s\n' "$1" "$2" "$csv" \
            > /opt/Quorvane/etc/settings
    }
    service() { /etc/init.d/lwm2m-launcher "$1" > /run/service.out 2>&1 || cat /run/service.out; }

    settings 1 first
    began=$(now)
    service start
    expect "start: the client is procd's instance process" yes \
        "$(within 20 client_is_instance && echo yes || echo no)"
    echo "figure: procd: the client ran as the instance after $(since "$began") s"

    # As though the client had run a while: the launcher's pace is met.
    ran_a_while() { rm -f /tmp/lwm2m/client-started; }
    ran_a_while
    killed=$(running $client)
    kill -KILL "$killed" || true
    began=$(now)
    expect "a killed client is started again" yes \
        "$(within 20 another_client "$killed" && echo yes || echo no)"
    echo "figure: procd: a killed client was running again after $(since "$began") s"

    : > /run/die-at-once
    starts=$(runs ' &$')
    ran_a_while
    kill -KILL "$(running $client)" || true
    sleep 65
    tries=$(($(runs ' &$') - starts))
    echo "figure: procd: a client that dies at once was started $tries times in 65 s"
    expect "a client that dies at once is tried again, at most once per 30 s" yes \
        "$([ "$tries" -ge 2 ] && [ "$tries" -le 3 ] && echo yes || echo "no ($tries)")"
    rm /run/die-at-once
    expect "and comes up once it can" yes "$(within 40 client_is_instance && echo yes || echo no)"

    pid=$(running $client)
    service reload
    sleep 3
    expect "reload without a change leaves the client alone" "$pid" "$(running $client)"
    settings 1 reloaded
    began=$(now)
    service reload
    reloaded() { tr '\000' ' ' < "/proc/$(instance)/cmdline" 2> /dev/null | grep -q -- '-n reloaded '; }
    expect "reload after a change restarts it with the new settings" yes \
        "$(within 20 reloaded && echo yes || echo no)"
    echo "figure: procd: new settings applied by reload after $(since "$began") s"

    settings 0 disabled
    service reload
    disabled() { [ "$(runs '^Quorvane is disabled\.$')" -ge 1 ]; }
    within 20 disabled || true
    sleep 12
    expect "disabled: the launcher idles, not started again" "1 $(running $launcher | wc -l)" \
        "$(runs '^Quorvane is disabled\.$') 1"
    expect "disabled: no client" "" "$(running $client)"
    expect "the system log holds why no client runs" yes \
        "$(grep -q 'client not started: the module is disabled' /var/log/messages && echo yes || echo no)"

    service stop
    none_left() { [ -z "$(running $client)$(running $launcher)" ]; }
    began=$(now)
    expect "stop leaves no client and no launcher" yes "$(within 20 none_left && echo yes || echo no)"
    echo "figure: procd: nothing left $(since "$began") s after stop"
    exit $failed
fi

trees=${1:-${LAUNCHER_PROCD_TREES:-}}
openwrt=${2:-${LAUNCHER_OPENWRT_FILES:-}}
if [ -z "$trees" ] || [ -z "$openwrt" ]; then
    echo "skipped: no OpenWrt trees and init files (LAUNCHER_PROCD_TREES, LAUNCHER_OPENWRT_FILES)"
    exit 77
fi
trees=$(cd "$trees" && pwd)
openwrt=$(cd "$openwrt" && pwd)
launcher=${3:-$source_dir/build/default/launcher/lwm2m-launcher}
client=${4:-$source_dir/build/default/testing/stand_in_client}
service=${5:-$source_dir/packaging/procd/lwm2m-launcher}
[ "$(id -u)" -eq 0 ] || { echo "procd check: needs root, for its namespaces"; exit 1; }
for file in "$launcher" "$client" "$service" "$openwrt/etc/rc.common" "$openwrt/lib/functions.sh" \
    "$openwrt/lib/functions/service.sh" "$openwrt/lib/functions/procd.sh"; do
    [ -f "$file" ] || { echo "procd check: no $file"; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
stage=$work/stage
step() {  # step WHAT COMMAND...: runs it quietly, with its time
    what=$1
    shift
    began=$(date +%s)
    "$@" > "$work/step.log" 2>&1 || { tail -n 30 "$work/step.log"; echo "FAIL: $what"; exit 1; }
    echo "ok: $what ($(($(date +%s) - began)) s)"
}
export CPATH="$stage/include" LIBRARY_PATH="$stage/lib"
build() {  # build NAME [CMAKE_OPTIONS...]: configure, build, install one tree
    name=$1
    shift
    cmake -S "$work/src/$name" -B "$work/build/$name" -G Ninja -DCMAKE_INSTALL_PREFIX="$stage" \
        -DCMAKE_PREFIX_PATH="$stage" "$@" &&
        cmake --build "$work/build/$name" && cmake --install "$work/build/$name"
}
mkdir -p "$work/src" "$work/empty"
for tree in procd libubox ubus uci udebug jsonpath; do
    cp -r "$trees/$tree" "$work/src/$tree"
done
sed -i 's/ -Werror//' "$work/src/procd/CMakeLists.txt"
step "libubox" build libubox -DBUILD_LUA=OFF -DBUILD_EXAMPLES=OFF
step "ubus" build ubus -DBUILD_LUA=OFF -DBUILD_EXAMPLES=OFF
step "uci" build uci -DBUILD_LUA=OFF
udebug() {
    cmake -S "$work/src/udebug" -B "$work/build/udebug" -G Ninja -DCMAKE_PREFIX_PATH="$stage" \
        -Ducode_include_dir="$work/empty" && cmake --build "$work/build/udebug" --target udebug &&
        cp "$work/build/udebug/libudebug.so" "$stage/lib/" &&
        cp "$work/src/udebug/udebug.h" "$work/src/udebug/udebug-pcap.h" "$stage/include/"
}
step "udebug (its library)" udebug
jsonpath() {
    (cd "$work/src/jsonpath" && cmake . -G Ninja -DCMAKE_INSTALL_PREFIX="$stage" &&
        cmake --build . && cmake --install .) && ln -s jsonpath "$stage/bin/jsonfilter"
}
step "jsonpath (as jsonfilter)" jsonpath
procd() {
    cmake -S "$work/src/procd" -B "$work/build/procd" -G Ninja -DCMAKE_PREFIX_PATH="$stage" \
        "-DCMAKE_C_FLAGS=-D_GNU_SOURCE -include bsd/string.h" -DCMAKE_C_STANDARD_LIBRARIES=-lbsd \
        -DJAIL_SUPPORT=OFF -DSECCOMP_SUPPORT=OFF -DUTRACE_SUPPORT=OFF &&
        cmake --build "$work/build/procd" --target procd setlbf &&
        mkdir -p "$stage/sbin" && cp "$work/build/procd/procd" "$stage/sbin/" &&
        cp "$work/build/procd/libsetlbf.so" "$stage/lib/"
}
step "procd and setlbf" procd

# OpenWrt's files and the service, where the overlays put them.
mkdir -p "$stage/etc/init.d" "$stage/lib/functions"
cp "$openwrt/etc/rc.common" "$stage/etc/"
cp "$openwrt/lib/functions.sh" "$stage/lib/"
cp "$openwrt/lib/functions/service.sh" "$openwrt/lib/functions/procd.sh" "$stage/lib/functions/"
cp "$service" "$stage/etc/init.d/lwm2m-launcher"
cp "$launcher" "$work/launcher"
cp "$client" "$work/client"
began=$(date +%s)
unshare --mount --pid --fork --propagation private sh "$0" --inside "$work"
echo "ok: every phase ($(($(date +%s) - began)) s)"
