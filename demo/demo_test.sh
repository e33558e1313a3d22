#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# Checks that demo.sh previews a settings file of the user's own: it runs
# the given launcher against it and shows its --check report, then the exit
# status, the log, the CSV and the client's exact arguments, and leaves this
# machine untouched.
# Usage: demo_test.sh LAUNCHER   (exit 77: skipped, no mount namespace here)
set -eu
launcher=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! unshare --mount true 2> /dev/null && ! unshare --mount --map-root-user true 2> /dev/null; then
    [ -z "${CI:-}" ] || { echo "no private mount namespace can be made here" >&2; exit 1; }
    echo "skipped: no private mount namespace can be made here"
    exit 77
fi

host_state() {
    for path in /opt /opt/Quorvane /tmp/lwm2m /tmp/lwm2m/lwm2m.log /var/lwm2m_map.txt; do
        stat -c '%n %s %Y' "$path" 2> /dev/null || echo "$path absent"
    done
}
before=$(host_state)

check() {  # check NAME CHECK_LINE: the preview of $work/settings must equal
    # $work/expected from the start on, and its --check report hold CHECK_LINE
    LAUNCHER=$launcher "$here/demo.sh" "$work/settings" > "$work/all" 2>&1
    sed -n '/^== exit status/,$p' "$work/all" > "$work/out"
    if ! grep -qxF -- "$2" "$work/all"; then
        echo "demo's check report lacks '$2' ($1):"
        cat "$work/all"
        exit 1
    fi
    if ! cmp -s "$work/out" "$work/expected"; then
        echo "demo preview differs ($1):"
        diff "$work/expected" "$work/out" || true
        exit 1
    fi
}

printf 'LWM2M_ENABLE=1\nlwm2m_name=my gateway; echo hi\nLWM2M_SERVER_PORT=-1\nLWM2M_CSV=%s\n' \
    "$(printf 'a,b\n1,2\n' | base64)" > "$work/settings"
cat > "$work/expected" << 'OUT'
== exit status: 0
== launcher output
== /tmp/lwm2m/lwm2m.log
/opt/Quorvane/bin/lwm2mclient -4 -n my gateway; echo hi -h  -p 4294967295 -u 0 -H  -P 0 -S 0 -I 0 -T 0 -t 0 -f /tmp/lwm2m/etc/config.csv  &
== /tmp/lwm2m/etc/config.csv
a,b
1,2
== client arguments, one per line between [ ]
[/opt/Quorvane/bin/lwm2mclient]
[-4]
[-n]
[my gateway; echo hi]
[-h]
[]
[-p]
[4294967295]
[-u]
[0]
[-H]
[]
[-P]
[0]
[-S]
[0]
[-I]
[0]
[-T]
[0]
[-t]
[0]
[-f]
[/tmp/lwm2m/etc/config.csv]
OUT
check "client started" '  line 3: LWM2M_SERVER_PORT="-1" is read as 4294967295'

printf 'LWM2M_ENABLE=1\nLWM2M_CSV=""\n' > "$work/settings"
cat > "$work/expected" << 'OUT'
== exit status: 255
== launcher output
lwm2m-launcher: client not started: no CSV configuration: LWM2M_CSV is missing or empty in /opt/Quorvane/etc/settings
== /tmp/lwm2m/lwm2m.log
Can't find CSV config file in Plugwell
== /tmp/lwm2m/etc/config.csv
(none)
== client arguments, one per line between [ ]
(none)
OUT
check "no CSV" '  and exit with status 255'

[ "$(host_state)" = "$before" ] || { echo "the demo changed this machine's files"; exit 1; }
echo "demo previews: ok"
