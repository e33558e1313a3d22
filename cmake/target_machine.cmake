# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# LAUNCHER_TARGET_PROCESSOR: the processor the programs are built for. A
# toolchain file names it in CMAKE_SYSTEM_PROCESSOR; a cross compiler given
# only as CC/CXX leaves that at the build machine's, so the compiler itself
# is asked then.
set(LAUNCHER_TARGET_PROCESSOR ${CMAKE_SYSTEM_PROCESSOR})
if(NOT CMAKE_CROSSCOMPILING AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -dumpmachine
                  OUTPUT_VARIABLE target_triplet OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE dumpmachine_result ERROR_QUIET)
  if(dumpmachine_result EQUAL 0 AND target_triplet MATCHES "^([^-]+)-")
    set(LAUNCHER_TARGET_PROCESSOR ${CMAKE_MATCH_1})
  endif()
endif()
if(LAUNCHER_TARGET_PROCESSOR STREQUAL "arm64")
  set(LAUNCHER_TARGET_PROCESSOR aarch64)
elseif(LAUNCHER_TARGET_PROCESSOR STREQUAL "AMD64")
  set(LAUNCHER_TARGET_PROCESSOR x86_64)
endif()

# LAUNCHER_TARGET_GLIBC: whether the programs are built against glibc. The
# Debian package is made and checked only then; musl builds go into
# OpenWrt's packages instead.
include(CheckCXXSymbolExists)
check_cxx_symbol_exists(__GLIBC__ features.h LAUNCHER_TARGET_GLIBC)
