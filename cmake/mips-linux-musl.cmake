# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# 32-bit big-endian MIPS with musl (OpenWrt's ath79), built with zig: see
# zig-musl.cmake.
set(CMAKE_SYSTEM_PROCESSOR mips)
set(LAUNCHER_ZIG_TARGET mips-linux-musl)
# zig's C++ runtime for MIPS is not position independent, so its programs
# can't be, and zig makes one of any link given -fPIE: -pie goes, -fPIE
# becomes -fPIC, and the MIPS builds are plain static programs (OpenWrt's
# own gcc makes them PIE).
set(LAUNCHER_ZIG_ARGUMENTS [=[
for argument do
    shift
    case $argument in
        -pie) ;;
        -fPIE) set -- "$@" -fPIC ;;
        *) set -- "$@" "$argument" ;;
    esac
done
]=])
include(${CMAKE_CURRENT_LIST_DIR}/zig-musl.cmake)
