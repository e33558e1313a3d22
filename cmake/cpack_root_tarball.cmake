# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# Run by cpack after it packs (CPACK_POST_BUILD_SCRIPTS). The Debian package
# already holds root:root files; the tarball would hold the builder's user,
# so it is made again: root:root, files in a fixed order, file times
# SOURCE_DATE_EPOCH, gzip without a time stamp, so two builds give the same
# bytes.
#
# It is unpacked at / on systems of every kind, so it holds files only, no
# directory: tar then makes a directory that is missing and leaves one that
# is there alone, never replacing a symbolic link (the /lib -> usr/lib of a
# merged /usr) or giving a directory its own mode and owner. For the same
# reason nothing goes under a top-level lib/: what the install puts there
# (the systemd units) goes under usr/lib/, where systemd reads it too.
if(NOT CPACK_GENERATOR STREQUAL "TGZ")
  return()
endif()
set(stage "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${stage}" "${stage}/*")
# In the order of their names in the tarball, whatever the prefix put them
# under lib/ or usr/lib/.
set(named_files "")
foreach(file IN LISTS files)
  string(REGEX REPLACE "^lib/" "usr/lib/" name "${file}")
  list(APPEND named_files "${name}|${file}")
endforeach()
list(SORT named_files)
list(TRANSFORM named_files REPLACE "^[^|]*[|]" "")
list(JOIN named_files "\n" file_list)
file(WRITE "${CPACK_TOPLEVEL_DIRECTORY}/tarball_files" "${file_list}\n")
set(mtime_option "")
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(mtime_option "--mtime=@$ENV{SOURCE_DATE_EPOCH}")
endif()
foreach(tarball IN LISTS CPACK_PACKAGE_FILES)
  execute_process(
    COMMAND tar --owner=0 --group=0 --numeric-owner --format=gnu ${mtime_option}
                --no-recursion --transform=s,^lib/,usr/lib/, -C "${stage}" -cf -
                --verbatim-files-from -T "${CPACK_TOPLEVEL_DIRECTORY}/tarball_files"
    COMMAND gzip -9n
    OUTPUT_FILE "${tarball}"
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "can't make ${tarball}")
  endif()
endforeach()
