SUMMARY = "Start-up launcher of the Quorvane LwM2M module"
DESCRIPTION = "At every boot, lwm2m-launcher reads the Quorvane module's \
               settings, rebuilds its work directory in /tmp/lwm2m, writes the CSV \
               configuration the settings hold and starts the module's LwM2M client, \
               without a shell."
HOMEPAGE = "https://quorvane.example/lwm2m-launcher"
BUGTRACKER = "https://quorvane.example/lwm2m-launcher/issues"
SECTION = "net"
LICENSE = "Apache-2.0"
CVE_PRODUCT = "lwm2m-launcher"
LIC_FILES_CHKSUM = "file://LICENSE;md5=3b83ef96387f14655fc854ddc3c6bd57"

# The project's repository. A mirror or a local clone goes in local.conf:
#   LWM2M_LAUNCHER_GIT = "git:///path/to/lwm2m-launcher;protocol=file;branch=main"
LWM2M_LAUNCHER_GIT ?= "git://git.quorvane.example/lwm2m-launcher.git;protocol=https;branch=main"
PV .= "+git"
SRC_URI = "${LWM2M_LAUNCHER_GIT}"
SRCREV = "6db34c3684bebcb2099d1ffd4b9b8ab8120a2cfa"

inherit cmake systemd update-rc.d

# The image gets the program built for it alone, and the start-up files of
# its init systems: the units under systemd, the init script under SysV.
# Everything goes where the image expects it with the usual prefix, /usr;
# the launcher in /opt/Quorvane/bin, where the module lives.
EXTRA_OECMAKE = "-DBUILD_TESTING=OFF \
                 -DLAUNCHER_STATIC_VARIANT=OFF \
                 -DLAUNCHER_SYSTEMD_UNIT_DIR=${systemd_system_unitdir} \
                 -DLAUNCHER_TMPFILES_DIR=${nonarch_libdir}/tmpfiles.d \
                 -DLAUNCHER_INSTALL_SYSTEMD=${@bb.utils.contains('DISTRO_FEATURES', 'systemd', 'ON', 'OFF', d)} \
                 -DLAUNCHER_INSTALL_SYSV=${@bb.utils.contains('DISTRO_FEATURES', 'sysvinit', 'ON', 'OFF', d)} \
                 -DLAUNCHER_INSTALL_RUNIT=OFF \
                 "

# The unit and the settings watch are enabled; the service the watch starts
# is packaged with them (systemd.bbclass takes only the units it names and
# their @ forms and sockets), and so is the tmpfiles.d entry that keeps
# /tmp/lwm2m from age cleaning.
SYSTEMD_SERVICE:${PN} = "lwm2m-launcher.service lwm2m-launcher-settings.path"
INITSCRIPT_NAME = "lwm2m-launcher"
INITSCRIPT_PARAMS = "defaults 95 10"

FILES:${PN} += "/opt/Quorvane \
                ${systemd_system_unitdir}/lwm2m-launcher-settings.service \
                ${nonarch_libdir}/tmpfiles.d"
