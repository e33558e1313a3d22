#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# The procd script, read as OpenWrt's /etc/rc.common reads it, with
# stand-ins for procd's functions that record what it asks for.
# Usage: procd_script_test.sh SCRIPT   (exit 0 as expected, 1 otherwise)
set -eu
script=$1

recorded=$(
    head -n 1 "$script"
    procd_open_instance() { echo "open"; }
    procd_set_param() { echo "param $*"; }
    procd_close_instance() { echo "close"; }
    # shellcheck disable=SC1090 # the script under test
    . "$script"
    echo "USE_PROCD=$USE_PROCD START=$START STOP=$STOP"
    start_service
)
expected="#!/bin/sh /etc/rc.common
USE_PROCD=1 START=95 STOP=10
open
param command /opt/Quorvane/bin/lwm2m-launcher --foreground
param respawn 3600 5 0
param file /opt/Quorvane/etc/settings
param stdout 1
param stderr 1
close"
[ "$recorded" = "$expected" ] || { printf 'FAIL: procd script:\n%s\n' "$recorded"; exit 1; }
echo "ok: procd script"
