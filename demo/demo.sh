#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# Shows what lwm2m-launcher does on a gateway, without touching this machine:
# builds it, then runs the real program in a private mount namespace with
# empty file systems over /opt, /tmp and /var, the given settings file at
# /opt/Quorvane/etc/settings and a stand-in client that records its
# arguments. Prints what `lwm2m-launcher --check` reports on the settings,
# then the exit status of the start, what the launcher said, the log, the
# CSV configuration and the client's arguments.
#
# The demo runs in a PID namespace of its own too, with its own /proc, so
# the client it starts is reaped when it ends.
#
# Usage: demo/demo.sh [SETTINGS_FILE]    (default: demo/settings.example)
# Environment: LAUNCHER=path runs that binary instead of building one.
#
# It first installs what it needs to build the launcher (tools/need.sh
# demo: a C++ compiler, CMake, Ninja, util-linux) and builds the launcher
# alone, without tests, into build/demo.
set -eu

here=$(cd "$(dirname "$0")" && pwd)

if [ "${1:-}" = --inside ]; then
    # In the namespace. The launcher and the settings come in on descriptors
    # 3 and 4, opened before the mounts could hide them.
    mount -t tmpfs -o mode=755 tmpfs /opt
    mkdir -p /opt/demo /opt/Quorvane/etc /opt/Quorvane/bin
    cat <&3 > /opt/demo/lwm2m-launcher
    cat <&4 > /opt/Quorvane/etc/settings
    exec 3<&- 4<&-
    chmod 755 /opt/demo/lwm2m-launcher
    cat > /opt/Quorvane/bin/lwm2mclient <<'CLIENT'
#!/bin/sh
for argument in "$0" "$@"; do printf '[%s]\n' "$argument"; done > /opt/demo/arguments.tmp
mv /opt/demo/arguments.tmp /opt/demo/arguments
CLIENT
    chmod 755 /opt/Quorvane/bin/lwm2mclient
    mount -t tmpfs -o mode=1777 tmpfs /tmp
    mount -t tmpfs -o mode=755 tmpfs /var

    # What the check mode says of these settings, before the start.
    check_status=0
    /opt/demo/lwm2m-launcher --check > /opt/demo/check 2>&1 || check_status=$?

    status=0
    /opt/demo/lwm2m-launcher > /opt/demo/out 2>&1 || status=$?

    # A started client writes its arguments soon, but on a loaded machine
    # "soon" can be seconds: wait up to a minute.
    if [ -f /tmp/lwm2m/lwm2m.log ] && grep -q ' &$' /tmp/lwm2m/lwm2m.log; then
        tries=0
        while [ ! -f /opt/demo/arguments ] && [ $tries -lt 6000 ]; do
            sleep 0.01
            tries=$((tries + 1))
        done
    fi

    show() {
        printf '== %s\n' "$1"
        if [ -f "$2" ]; then cat "$2"; else echo "(none)"; fi
    }
    printf '== lwm2m-launcher --check (exit status %s)\n' "$check_status"
    cat /opt/demo/check
    printf '== exit status: %s\n' "$status"
    show "launcher output" /opt/demo/out
    show "/tmp/lwm2m/lwm2m.log" /tmp/lwm2m/lwm2m.log
    show "/tmp/lwm2m/etc/config.csv" /tmp/lwm2m/etc/config.csv
    show "client arguments, one per line between [ ]" /opt/demo/arguments
    exit 0
fi

settings=${1:-"$here/settings.example"}
if [ ! -r "$settings" ]; then
    echo "demo: can't read settings file $settings" >&2
    exit 2
fi

if [ -z "${LAUNCHER:-}" ]; then
    cd "$here/.."
    tools/need.sh demo
    cmake -S . -B build/demo -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel -DBUILD_TESTING=OFF \
        -DLAUNCHER_STATIC_VARIANT=OFF > /dev/null
    cmake --build build/demo --target lwm2m-launcher > /dev/null
    LAUNCHER=$PWD/build/demo/launcher/lwm2m-launcher
fi

# /proc of the namespace's own, so that the processes there see themselves
# in it (the check report's look at running clients, a sanitizer's at its
# own threads).
if [ "$(id -u)" -eq 0 ]; then
    namespace="unshare --mount --propagation private --pid --fork --mount-proc"
else
    namespace="unshare --mount --propagation private --pid --fork --mount-proc --map-root-user"
fi
exec $namespace "$here/demo.sh" --inside 3< "$LAUNCHER" 4< "$settings"
