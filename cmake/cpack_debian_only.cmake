# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# Run by cpack before it packs (CPACK_PRE_BUILD_SCRIPTS). lintian's
# overrides mean something only to Debian's tools: they go into the Debian
# package alone, never into the tarball or an image that `cmake --install`
# fills.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
set(overrides "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/share/lintian/overrides")
file(MAKE_DIRECTORY "${overrides}")
file(COPY_FILE "${CPACK_LAUNCHER_LINTIAN_OVERRIDES}" "${overrides}/lwm2m-launcher")
