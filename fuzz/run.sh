#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# Runs each fuzz target for a bounded time with AddressSanitizer and
# UndefinedBehaviorSanitizer, from a scratch copy of its committed corpus,
# and prints how many inputs each one executed, and at what rate. Fails on the first crash or
# failed check; the input that caused it is left in the current directory
# (crash-*), to be added to the corpus as a regression case.
#
# Usage: fuzz/run.sh [SECONDS_PER_TARGET]   (default 60; builds the fuzz preset)
set -eu
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
cmake --preset fuzz > /dev/null
cmake --build --preset fuzz > /dev/null

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for target in settings_reader settings_check base64 client_command; do
    # The reader needs inputs longer than its 16383-character pieces and its
    # 64 KiB buffer.
    max_len=4096
    case $target in settings_*) max_len=100000 ;; esac
    cp -r "fuzz/corpus/$target" "$scratch/$target"
    "build/fuzz/fuzz/${target}_fuzz" -max_total_time="$seconds" -max_len="$max_len" \
        -print_final_stats=1 "$scratch/$target" > "$scratch/$target.log" 2>&1 || {
        tail -n 40 "$scratch/$target.log"
        echo "fuzz: $target failed" >&2
        exit 1
    }
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$scratch/$target.log")
    printf 'fuzz: %-16s %10s inputs in %ss (%s a second), no failure\n' "$target" "$runs" \
        "$seconds" "$((runs / seconds))"
done
