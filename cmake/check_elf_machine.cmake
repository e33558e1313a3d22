# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# Checks that FILE is an ELF executable for the machine MACHINE, given as the
# header's e_machine field in hexadecimal, in the file's byte order ("b700":
# little-endian aarch64; "0008": big-endian MIPS, which a little-endian
# build would show as "0800").
# Usage: cmake -DFILE=path -DMACHINE=b700 -P check_elf_machine.cmake
file(READ "${FILE}" header LIMIT 20 HEX)
string(SUBSTRING "${header}" 0 8 magic)
string(SUBSTRING "${header}" 36 4 machine)
if(NOT magic STREQUAL "7f454c46")
  message(FATAL_ERROR "${FILE} is not an ELF file")
endif()
if(NOT machine STREQUAL MACHINE)
  message(FATAL_ERROR "${FILE} is built for ELF machine ${machine}, not ${MACHINE}")
endif()
message(STATUS "${FILE}: ELF machine ${machine}")
