# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# Read by cpack for every generator (it sees only the CPACK_ variables of
# the build). File times in the packages come from
# SOURCE_DATE_EPOCH: the caller's, or the last commit's found at configure
# time.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH} AND NOT CPACK_LAUNCHER_SOURCE_DATE_EPOCH STREQUAL "")
  set(ENV{SOURCE_DATE_EPOCH} ${CPACK_LAUNCHER_SOURCE_DATE_EPOCH})
endif()
