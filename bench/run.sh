#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# Benchmarks of the launcher, printed side by side (never a test verdict):
#  1. decoder throughput on 64 MiB of base64 in three shapes, in process,
#     shipped decoder beside the plain one-byte-at-a-time loop, and
#     GNU coreutils "base64 -d" timed as a whole process for context;
#  2. the launcher's whole-process wall time (median) and peak memory for a
#     typical settings file and for 1 MiB and 8 MiB base64 CSVs, as ratios
#     to the floor (the two fixed shell commands plus the start of one
#     program), to the true floor (the floor plus the settings read once
#     through 64 KiB and the CSV decoded and written chunk by chunk:
#     bench/true_floor.cpp) and to a plain sh script doing the same job
#     (bench/peer.sh); then peak memory alone for 200 MiB of short lines and
#     a sparse settings file of 4 GiB;
#  3. instructions of one launcher run against /bin/true (callgrind).
# Everything runs in a private mount and PID namespace, with empty file
# systems over /opt, /tmp and /var, so nothing on the machine is touched.
#
# Usage: bench/run.sh [--quick]     (--quick: fewer runs, for CI)
# Needs: cmake, Google Benchmark (libbenchmark-dev), util-linux, valgrind.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)

if [ "${1:-}" != --inside ]; then
    cd "$root"
    cmake --preset bench > /dev/null
    cmake --build --preset bench > /dev/null
    namespace="unshare --mount --propagation private --pid --fork"
    [ "$(id -u)" -eq 0 ] || namespace="$namespace --map-root-user"
    exec $namespace "$root/bench/run.sh" --inside "$root/build/bench" "$@"
fi

build=$2
runs=21 min_time=1 decode_runs=5
[ "${3:-}" = --quick ] && runs=5 min_time=0.2 decode_runs=3

# Copy what runs here before /tmp is covered: the tree may live there.
mount -t tmpfs -o mode=755 tmpfs /opt
mkdir -p /opt/bench/data /opt/Quorvane/etc /opt/Quorvane/bin
cp "$build/launcher/lwm2m-launcher" "$build/bench/floor" "$build/bench/true_floor" "$build/bench/measure" \
    "$build/bench/base64_bench" "$root/bench/peer.sh" /opt/bench/
cp /bin/true /opt/Quorvane/bin/lwm2mclient
mount -t tmpfs -o mode=1777 tmpfs /tmp
mount -t tmpfs -o mode=755 tmpfs /var
cd /opt/bench
data=/opt/bench/data

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

echo "Machine: $(uname -m), $(nproc) cores, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)"
echo

# 1. Decoder throughput.
./base64_bench --benchmark_min_time="$min_time" --benchmark_format=csv > "$data/decode.csv" 2> /dev/null
mbps() { awk -F, -v name="\"decode/$1/shape:$2\"" '$1 == name { printf "%.0f", $6 / 1e6 }' "$data/decode.csv"; }

head -c $((48 << 20)) /dev/urandom > "$data/raw"
base64 -w 0 "$data/raw" > "$data/one_line"
base64 -w 76 "$data/raw" > "$data/lines_76"
fold -w 7 "$data/one_line" | tr '\n' '*' > "$data/junky"
coreutils_mbps() {
    size=$(stat -c %s "$data/$1")
    ms=$(./measure "$decode_runs" /bin/sh -c "base64 $2 < $data/$1 > /dev/null" | cut -d' ' -f1)
    awk -v s="$size" -v ms="$ms" 'BEGIN { printf "%.0f", s / 1e6 / (ms / 1000) }'
}

echo "Decoder throughput, MB/s (64 MiB; goal: shipped >= 2.5x the plain loop clean, >= 1x with junk)"
printf '%-12s %10s %12s %8s %22s\n' shape shipped "plain loop" ratio "coreutils base64 -d"
for shape in 0 1 2; do
    case $shape in
        0) label="one line" file=one_line flags=-d ;;
        1) label="76 columns" file=lines_76 flags=-d ;;
        2) label="junk" file=junky flags="-d -i" ;;
    esac
    shipped=$(mbps shipped $shape)
    plain=$(mbps plain_loop $shape)
    printf '%-12s %10s %12s %7sx %22s\n' "$label" "$shipped" "$plain" "$(ratio "$shipped" "$plain")" \
        "$(coreutils_mbps $file "$flags")"
done
echo "(in process: median of Google Benchmark repetitions; coreutils: whole process, median of $decode_runs;"
echo " its junk is one '*' every 7 digits, the in-process junk one stray byte every 8 digits on average)"
rm -f "$data/raw" "$data/one_line" "$data/lines_76" "$data/junky"
echo

# 2. Whole process. CSV text of about the given size, as base64.
csv_base64() {
    awk -v n="$1" 'BEGIN { for (i = 1; total < n; i++) {
        line = sprintf("sensor_%d,%d,int16,0.1,holding register %d of the meter\n", i, 40000 + i, i)
        total += length(line); printf "%s", line } }' | head -c "$1" | base64 -w 0
}
settings_file() {  # settings_file NAME CSV_BASE64_BYTES [PAD_TO_BYTES]
    {
        printf 'LWM2M_ENABLE=1\nLWM2M_LOG_EN=1\nLWM2M_NAME="gw-0042"\n'
        printf 'LWM2M_SERVER_ADDR=lwm2m.example.net\nLWM2M_SERVER_PORT=5684\nLWM2M_LIFETIME=300\n'
        printf 'LWM2M_PSK_ID=gw-0042\nLWM2M_PSK_HEX=1\nLWM2M_PSK=secret\nLWM2M_UPDATE_TIME=60\n'
        printf 'LWM2M_CSV=%s\n' "$(csv_base64 $(($2 / 4 * 3)))"
        printf 'LWM2M_MODBUS_ADDR=192.168.1.10\nLWM2M_MODBUS_PORT=502\nLWM2M_MODBUS_SLAVE=1\n'
        printf 'LWM2M_MODBUS_INTERVAL=10\nLWM2M_MODBUS_TIMEOUT=3\n'
    } > "$data/$1"
    if [ -n "${3:-}" ]; then  # other settings of the gateway, which the launcher skips
        i=0
        while [ "$(stat -c %s "$data/$1")" -lt "$3" ]; do
            i=$((i + 1))
            printf 'OTHER_SETTING_%d="a value the launcher does not read"\n' $i >> "$data/$1"
        done
        head -c "$3" "$data/$1" > "$data/$1.cut" && mv "$data/$1.cut" "$data/$1"
    fi
}
settings_file typical 3072 4096
settings_file csv_1m $((1 << 20))
settings_file csv_8m $((8 << 20))

echo "Whole process, median of $runs runs (goals: typical <= 1.05x floor; 8 MiB CSV <= 1.6x floor"
echo "and <= 1.2x true floor; peak memory <= 4096 KiB in every case)"
printf '%-16s %9s %9s %7s %10s %7s %9s %9s %8s\n' settings launcher floor ratio "true floor" ratio "peak KiB" "sh peer" "vs sh"
for name in typical csv_1m csv_8m; do
    cp "$data/$name" /opt/Quorvane/etc/settings
    # A check that the run does the real job before it is timed.
    ./lwm2m-launcher
    sed -n 's/^LWM2M_CSV=//p' "$data/$name" | base64 -d | cmp -s - /tmp/lwm2m/etc/config.csv ||
        { echo "bench: the launcher did not write the CSV" >&2; exit 1; }
    set -- $(./measure "$runs" ./lwm2m-launcher)
    launcher_ms=$1 peak=$2
    floor_ms=$(./measure "$runs" ./floor | cut -d' ' -f1)
    true_floor_ms=$(./measure "$runs" ./true_floor | cut -d' ' -f1)
    peer_ms=$(./measure "$runs" /bin/sh ./peer.sh | cut -d' ' -f1)
    size_kib=$(($(stat -c %s "$data/$name") / 1024))
    printf '%-16s %6s ms %6s ms %6sx %7s ms %6sx %9s %6s ms %7sx\n' "$name ($size_kib KiB)" \
        "$launcher_ms" "$floor_ms" "$(ratio "$launcher_ms" "$floor_ms")" "$true_floor_ms" \
        "$(ratio "$launcher_ms" "$true_floor_ms")" "$peak" "$peer_ms" "$(ratio "$launcher_ms" "$peer_ms")"
done
# Memory whatever the file's size: one run each.
yes 'OTHER_SETTING="a value the launcher does not read"' | head -c $((200 << 20)) \
    > /opt/Quorvane/etc/settings
printf '\n' >> /opt/Quorvane/etc/settings
cat "$data/typical" >> /opt/Quorvane/etc/settings
printf '%-16s %9s %9s %7s %10s %7s %9s\n' "200 MiB lines" - - - - - "$(./measure 1 ./lwm2m-launcher | cut -d' ' -f2)"
rm -f /opt/Quorvane/etc/settings
cp "$data/typical" /opt/Quorvane/etc/settings
truncate -s 4G /opt/Quorvane/etc/settings
printf '%-16s %9s %9s %7s %10s %7s %9s\n' "4 GiB sparse" - - - - - "$(./measure 1 ./lwm2m-launcher | cut -d' ' -f2)"
rm -f /opt/Quorvane/etc/settings
echo

# 3. Instructions of one run, a count that doesn't depend on the load.
cp "$data/typical" /opt/Quorvane/etc/settings
instructions() {
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 |
        sed -n 's/.*Collected : *//p'
}
launcher_ir=$(instructions ./lwm2m-launcher)
true_ir=$(instructions /bin/true)
echo "Instructions (callgrind, typical settings; goal <= 3x /bin/true)"
printf 'lwm2m-launcher %s, /bin/true %s: %sx\n' "$launcher_ir" "$true_ir" "$(ratio "$launcher_ir" "$true_ir")"
