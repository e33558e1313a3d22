#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# Builds the launcher and runs every test, after installing what the tests
# need (tools/need.sh). The same as `cmake --workflow --preset default`, run
# on as many cores as the machine has.
set -eu
cd "$(dirname "$0")/.."
tools/need.sh demo test test-unpacked
CTEST_PARALLEL_LEVEL=${CTEST_PARALLEL_LEVEL:-$(nproc)}
export CTEST_PARALLEL_LEVEL

set -- $(cmake --version | sed -n '1s/[^0-9]*\([0-9]*\)\.\([0-9]*\).*/\1 \2/p')
if [ "$1" -gt 3 ] || [ "$2" -ge 25 ]; then
    exec cmake --workflow --preset default
fi
# CMake before 3.25 (Ubuntu 22.04's) reads no presets of this version: the
# default preset's steps, by hand.
cmake -S . -B build/default -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
cmake --build build/default
cd build/default
exec ctest --output-on-failure --no-tests=error
