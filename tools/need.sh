#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# Makes sure the Debian or Ubuntu packages of the given groups (listed in
# tools/debian-packages.txt) are installed. As root it installs the missing
# ones with apt-get; otherwise it names the one command to run and fails.
# The packages of a group whose name ends in "-unpacked" are downloaded to
# ~/.cache/lwm2m-launcher/debs instead, never installed.
# Usage: tools/need.sh GROUP...        e.g. tools/need.sh demo test
# Exit: 0 all there (or installed), 1 some missing, 2 usage.
set -eu
list="$(dirname "$0")/debian-packages.txt"
[ $# -gt 0 ] || { echo "usage: tools/need.sh GROUP..." >&2; exit 2; }

wanted=
unpacked=
for group in "$@"; do
    line=$(sed -n "s/^$group:[[:space:]]*//p" "$list")
    [ -n "$line" ] || { echo "need: no package group '$group' in $list" >&2; exit 2; }
    case $group in
        *-unpacked) unpacked="$unpacked $line" ;;
        *) wanted="$wanted $line" ;;
    esac
done

if [ -n "$unpacked" ]; then
    debs="$HOME/.cache/lwm2m-launcher/debs"
    mkdir -p "$debs"
    for package in $unpacked; do
        ls "$debs/${package}"_*.deb > /dev/null 2>&1 && continue
        echo "need: downloading $package to $debs"
        (cd "$debs" && apt-get download -qq "$package" 2> /dev/null) ||
            { apt-get update -qq && (cd "$debs" && apt-get download -qq "$package"); } ||
            { echo "need: can't download $package" >&2; exit 1; }
    done
fi

if ! command -v dpkg-query > /dev/null 2>&1; then
    echo "need: not a Debian or Ubuntu machine; install the equivalents of:$wanted" >&2
    exit 1
fi
missing=
for package in $wanted; do
    dpkg-query -W -f='${Status}' "$package" 2> /dev/null | grep -q 'ok installed' ||
        missing="$missing $package"
done
[ -n "$missing" ] || exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "need: missing packages; run:" >&2
    echo "  sudo apt-get install -y$missing" >&2
    exit 1
fi
echo "need: installing$missing"
apt-get update -qq
# shellcheck disable=SC2086 # one word per package
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing
