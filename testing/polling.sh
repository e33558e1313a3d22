# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# Sourced by the supervisor checks (testing/systemd_unit_test.sh,
# tools/procd_check.sh): waiting for what a supervisor does in its own time.

# within SECONDS TEST...: runs TEST every tenth of a second until it holds
# (0) or SECONDS have passed (1).
within() {
    tries=$(($1 * 10))
    shift
    until "$@"; do
        [ "$tries" -gt 0 ] || return 1
        sleep 0.1
        tries=$((tries - 1))
    done
}
