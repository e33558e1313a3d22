# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# 64-bit Arm with musl (OpenWrt's armsr/armv8, mediatek/filogic, ...), built
# with zig: see zig-musl.cmake.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(LAUNCHER_ZIG_TARGET aarch64-linux-musl)
include(${CMAKE_CURRENT_LIST_DIR}/zig-musl.cmake)
