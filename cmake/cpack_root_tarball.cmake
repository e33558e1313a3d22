# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# Run by cpack after it packs (CPACK_POST_BUILD_SCRIPTS). The Debian package
# already holds root:root files; the tarball would hold the builder's user,
# so it is made again: root:root, entries in name order, file times
# SOURCE_DATE_EPOCH, gzip without a time stamp, so two builds give the same
# bytes.
if(NOT CPACK_GENERATOR STREQUAL "TGZ")
  return()
endif()
set(stage "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
file(GLOB entries RELATIVE "${stage}" "${stage}/*")
list(SORT entries)
set(mtime_option "")
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(mtime_option "--mtime=@$ENV{SOURCE_DATE_EPOCH}")
endif()
foreach(tarball IN LISTS CPACK_PACKAGE_FILES)
  execute_process(
    COMMAND tar --sort=name --owner=0 --group=0 --numeric-owner --format=gnu ${mtime_option}
                -C "${stage}" -cf - ${entries}
    COMMAND gzip -9n
    OUTPUT_FILE "${tarball}"
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "can't make ${tarball}")
  endif()
endforeach()
