# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# Run by cpack before it packs (CPACK_PRE_BUILD_SCRIPTS). The tarball is the
# integrator's generic package, for any gateway of the architecture: it
# gets the fully static launcher, stripped, as opt/Quorvane/bin/
# lwm2m-launcher, which needs no C library of the gateway's (BusyBox, musl,
# an older glibc). The Debian package keeps the dynamic one, whose C
# library its dependency names.
if(NOT CPACK_GENERATOR STREQUAL "TGZ" OR CPACK_LAUNCHER_STATIC_PROGRAM_FILE STREQUAL "")
  return()
endif()
include("${CPACK_LAUNCHER_STATIC_PROGRAM_FILE}")  # sets static_program
set(program "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/opt/Quorvane/bin/lwm2m-launcher")
file(COPY_FILE "${static_program}" "${program}")
execute_process(COMMAND "${CPACK_LAUNCHER_STRIP}" "${program}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "can't strip ${program}")
endif()
