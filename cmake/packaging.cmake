# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# Packages: a tarball to unpack at / on the gateway, and a Debian package,
# holding what `cmake --install` installs, stripped; the tarball with the
# fully static launcher (when it is built), the Debian package with the
# dynamic one. Two builds of the same sources give the same bytes: file
# times are SOURCE_DATE_EPOCH (cmake/source_date_epoch.cmake).
set(CPACK_PACKAGE_NAME lwm2m-launcher)
set(CPACK_PACKAGE_VENDOR Quorvane)
set(CPACK_PACKAGE_CONTACT "${LAUNCHER_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "start-up launcher of the Quorvane LwM2M module")
set(CPACK_SYSTEM_NAME linux-${LAUNCHER_TARGET_PROCESSOR})
set(CPACK_GENERATOR TGZ DEB)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_PACKAGING_INSTALL_PREFIX /)
# Every install destination is absolute: packed through DESTDIR.
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES TRUE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${LAUNCHER_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "The Quorvane add-on module links Modbus equipment to an LwM2M server. At
every boot, lwm2m-launcher reads the module's settings, rebuilds its work
directory in /tmp/lwm2m, writes the CSV configuration held in the settings,
and starts the module's LwM2M client without a shell. Under
lwm2m-launcher.service (systemd) or runit it becomes the client in its own
process, so the supervisor keeps the client up; the init script (SysV or
BusyBox init) starts it in the background.")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/postinst ${PROJECT_SOURCE_DIR}/packaging/prerm
    ${PROJECT_SOURCE_DIR}/packaging/postrm ${PROJECT_SOURCE_DIR}/packaging/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
# No dpkg-shlibdeps without a target sysroot: the only library is the C
# library, at the version the program's symbols need.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
if(NOT LAUNCHER_INSTALL_STATIC)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.35)")
endif()
set(debian_architecture_aarch64 arm64)
set(debian_architecture_x86_64 amd64)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${debian_architecture_${LAUNCHER_TARGET_PROCESSOR}})

set(CPACK_LAUNCHER_SOURCE_DATE_EPOCH "${LAUNCHER_SOURCE_DATE_EPOCH}")
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/cpack_project_config.cmake)
set(CPACK_LAUNCHER_STATIC_PROGRAM_FILE "")
if(LAUNCHER_STATIC_VARIANT AND NOT LAUNCHER_INSTALL_STATIC)
  # Where the static program is, known only at generation time.
  set(CPACK_LAUNCHER_STATIC_PROGRAM_FILE ${CMAKE_BINARY_DIR}/cpack_static_program.cmake)
  file(GENERATE OUTPUT ${CPACK_LAUNCHER_STATIC_PROGRAM_FILE}
       CONTENT "set(static_program \"$<TARGET_FILE:lwm2m-launcher-static>\")\n")
endif()
set(CPACK_LAUNCHER_STRIP "${CMAKE_STRIP}")
set(CPACK_LAUNCHER_LINTIAN_OVERRIDES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/cpack_static_in_tarball.cmake
                            ${PROJECT_SOURCE_DIR}/cmake/cpack_debian_only.cmake
                            ${PROJECT_SOURCE_DIR}/cmake/cpack_normalize_modes.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/cpack_root_tarball.cmake)
include(CPack)
