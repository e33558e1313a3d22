# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# Cross build for 64-bit Arm Linux gateways with Debian's cross compiler
# (g++-aarch64-linux-gnu). When the tests are built, they run on the build
# machine under qemu-user (package qemu-user), with the target's C library
# from the cross toolchain; a build without tests needs no emulator.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

# A missing tool is named with the command that installs it, before CMake
# would fail on it with a message about something else.
foreach(tool aarch64-linux-gnu-gcc aarch64-linux-gnu-g++)
  find_program(LAUNCHER_FOUND_${tool} ${tool})
  mark_as_advanced(LAUNCHER_FOUND_${tool})
  if(NOT LAUNCHER_FOUND_${tool})
    message(FATAL_ERROR "No ${tool}: run tools/need.sh aarch64 (Debian's g++-aarch64-linux-gnu).")
  endif()
endforeach()
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
  find_program(LAUNCHER_QEMU qemu-aarch64)
  if(NOT LAUNCHER_QEMU)
    message(FATAL_ERROR "No qemu-aarch64 to run the tests: run tools/need.sh aarch64 (Debian's "
                        "qemu-user), or configure with -DBUILD_TESTING=OFF.")
  endif()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${LAUNCHER_QEMU} -L ${LAUNCHER_TARGET_SYSROOT})
endif()
