# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# Cross build for 64-bit Arm Linux gateways with Debian's cross compiler
# (g++-aarch64-linux-gnu). When the tests are built, they run on the build
# machine under qemu-user (package qemu-user), with the target's C library
# from the cross toolchain; a build without tests needs no emulator.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

set(LAUNCHER_TARGET_SYSROOT /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH ${LAUNCHER_TARGET_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler checks read this file again: they must see the same choice.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES BUILD_TESTING)
if(NOT DEFINED BUILD_TESTING OR BUILD_TESTING)
  # An absolute path: the end-to-end tests start the launcher through it
  # without a search of PATH.
  find_program(LAUNCHER_QEMU qemu-aarch64 REQUIRED)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${LAUNCHER_QEMU} -L ${LAUNCHER_TARGET_SYSROOT})
endif()
