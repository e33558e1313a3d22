#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# Makes sure the Debian or Ubuntu packages of the given groups (listed in
# tools/debian-packages.txt) are installed. As root it installs the missing
# ones with apt-get; otherwise it names the one command to run and fails.
# The packages of a group whose name ends in "-unpacked" are downloaded to
# ~/.cache/lwm2m-launcher/debs instead, never installed.
#
# It prints one line per group. What apt-get says goes to
# ~/.cache/lwm2m-launcher/need.log, whose end is printed when apt-get fails.
# Usage: tools/need.sh GROUP...        e.g. tools/need.sh demo test
# Exit: 0 all there (or installed), 1 some missing or apt-get failed,
# 2 usage.
set -eu
list="$(dirname "$0")/debian-packages.txt"
[ $# -gt 0 ] || { echo "usage: tools/need.sh GROUP..." >&2; exit 2; }
cache="$HOME/.cache/lwm2m-launcher"
log="$cache/need.log"

packages_of() {
    line=$(sed -n "s/^$1:[[:space:]]*//p" "$list")
    [ -n "$line" ] || { echo "need: no package group '$1' in $list" >&2; exit 2; }
    echo "$line"
}
for group in "$@"; do packages_of "$group" > /dev/null; done

if ! command -v dpkg-query > /dev/null 2>&1; then
    echo "need: not a Debian or Ubuntu machine; install the equivalents of: $(for group in "$@"; do
        packages_of "$group"; done | tr '\n' ' ')" >&2
    exit 1
fi
mkdir -p "$cache"
: > "$log"
# Runs apt-get quietly into the log; on failure prints the log's end.
apt() {
    if ! DEBIAN_FRONTEND=noninteractive apt-get "$@" >> "$log" 2>&1; then
        echo "need: apt-get $1 failed; the end of $log:" >&2
        tail -n 20 "$log" >&2
        exit 1
    fi
}
updated=
update_once() {
    [ -n "$updated" ] || apt update
    updated=yes
}

# A package counts as there when it is installed, or when a command of its
# name is (npm from Node.js's own packages, say, which Debian's would
# conflict with).
missing_of() {
    for package in $(packages_of "$1"); do
        dpkg-query -W -f='${Status}' "$package" 2> /dev/null | grep -q 'ok installed' ||
            command -v "$package" > /dev/null || printf ' %s' "$package"
    done
}
if [ "$(id -u)" -ne 0 ]; then
    missing=$(for group in "$@"; do case $group in *-unpacked) ;; *) missing_of "$group" ;; esac; done)
    if [ -n "$missing" ]; then
        echo "need: missing packages; run:" >&2
        echo "  sudo apt-get install -y --no-install-recommends$missing" >&2
        exit 1
    fi
fi

for group in "$@"; do
    missing=
    case $group in
        *-unpacked)
            debs="$cache/debs"
            mkdir -p "$debs"
            for package in $(packages_of "$group"); do
                ls "$debs/${package}"_*.deb > /dev/null 2>&1 || missing="$missing $package"
            done
            if [ -n "$missing" ]; then
                update_once
                # shellcheck disable=SC2086 # one word per package
                (cd "$debs" && apt download $missing)
                echo "need: $group: downloaded$missing to $debs"
            else
                echo "need: $group: all in $debs"
            fi
            continue
            ;;
    esac
    missing=$(missing_of "$group")
    if [ -z "$missing" ]; then
        echo "need: $group: all installed"
        continue
    fi
    update_once
    # shellcheck disable=SC2086 # one word per package
    apt install -y --no-install-recommends $missing
    echo "need: $group: installed$missing"
done
