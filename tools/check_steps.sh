# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# Sourced by the image checks (buildroot_check.sh, openwrt_check.sh), after
# they set $work: a step of a check, said as "ok" or "FAIL" with its time.
# What it prints goes to $work/step.log, whose end is shown when it fails.
failed=0

# step NAME COMMAND...: 0 when COMMAND succeeds; otherwise 1, and failed=1.
step() {
    name=$1
    shift
    began=$(date +%s)
    if "$@" > "$work/step.log" 2>&1; then
        echo "ok: $name ($(($(date +%s) - began)) s)"
    else
        tail -n 40 "$work/step.log"
        echo "FAIL: $name ($(($(date +%s) - began)) s)"
        failed=1
        return 1
    fi
}
