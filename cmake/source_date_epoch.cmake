# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# LAUNCHER_SOURCE_DATE_EPOCH: the time that dates what the build makes (the
# packages' files, the newest changelog entry), from the first of:
#  1. SOURCE_DATE_EPOCH in the environment;
#  2. the last commit's time, when the source is a checkout git can read;
#  3. noon (UTC) of the date of the newest entry of CHANGELOG.md, when there
#     is no git, no checkout (a source tarball, a `git archive` export) or
#     git refuses it (a checkout of another user's, built with sudo).
# Noon keeps the date the same in every time zone and dates the newest
# changelog entry after an older one of the same day (signed at midnight).
# Configure says which source it took.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(LAUNCHER_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
  set(source "SOURCE_DATE_EPOCH")
else()
  execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                  OUTPUT_VARIABLE LAUNCHER_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE git_result ERROR_QUIET)
  set(source "the last commit")
  if(NOT git_result EQUAL 0 OR NOT LAUNCHER_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    file(STRINGS ${PROJECT_SOURCE_DIR}/CHANGELOG.md newest REGEX "^## [0-9.]+ - [0-9-]+$" LIMIT_COUNT 1)
    if(NOT newest MATCHES "([0-9]+)-([0-9]+)-([0-9]+)$")
      message(FATAL_ERROR "no dated entry in CHANGELOG.md to date the build by")
    endif()
    # Days since 1970-01-01 of a date in the proleptic Gregorian calendar
    # (years counted from March, so that the leap day comes last).
    math(EXPR year "${CMAKE_MATCH_1}")
    math(EXPR month "${CMAKE_MATCH_2}")
    math(EXPR day "${CMAKE_MATCH_3}")
    if(month LESS_EQUAL 2)
      math(EXPR year "${year} - 1")
      math(EXPR month "${month} + 9")
    else()
      math(EXPR month "${month} - 3")
    endif()
    math(EXPR era "${year} / 400")
    math(EXPR year_of_era "${year} - ${era} * 400")
    math(EXPR day_of_year "(153 * ${month} + 2) / 5 + ${day} - 1")
    math(EXPR day_of_era "${year_of_era} * 365 + ${year_of_era} / 4 - ${year_of_era} / 100 + ${day_of_year}")
    math(EXPR LAUNCHER_SOURCE_DATE_EPOCH "(${era} * 146097 + ${day_of_era} - 719468) * 86400 + 43200")
    set(source "the newest entry of CHANGELOG.md (no git history to read)")
  endif()
endif()
message(STATUS "Source date: ${LAUNCHER_SOURCE_DATE_EPOCH}, from ${source}")
