# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# LAUNCHER_SOURCE_DATE_EPOCH: the time that dates what the build makes (the
# packages' files, the newest changelog entry): SOURCE_DATE_EPOCH when set,
# else the last commit's time, else empty.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(LAUNCHER_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
  execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                  OUTPUT_VARIABLE LAUNCHER_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE git_result ERROR_QUIET)
  if(NOT git_result EQUAL 0)
    set(LAUNCHER_SOURCE_DATE_EPOCH "")
  endif()
endif()
