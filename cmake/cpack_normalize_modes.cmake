# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# Run by cpack before it packs (CPACK_PRE_BUILD_SCRIPTS): directories 0755,
# programs 0755, other files 0644, whatever the umask of the build left.
execute_process(COMMAND chmod -R u=rwX,go=rX "${CPACK_TEMPORARY_INSTALL_DIRECTORY}"
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "can't set the modes of ${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
endif()
