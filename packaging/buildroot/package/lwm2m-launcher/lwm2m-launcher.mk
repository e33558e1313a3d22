################################################################################
#
# lwm2m-launcher
#
################################################################################

LWM2M_LAUNCHER_VERSION = 1.6.0
# The sources are the tree this BR2_EXTERNAL lives in, two levels up; its
# build directories stay out of the copy.
LWM2M_LAUNCHER_SITE = $(BR2_EXTERNAL_LWM2M_LAUNCHER_PATH)/../..
LWM2M_LAUNCHER_SITE_METHOD = local
LWM2M_LAUNCHER_OVERRIDE_SRCDIR_RSYNC_EXCLUSIONS = --exclude /build
LWM2M_LAUNCHER_LICENSE = Apache-2.0
LWM2M_LAUNCHER_LICENSE_FILES = LICENSE

# The image gets the start-up file of its own init system, from the
# hooks below, and the program built for it alone.
LWM2M_LAUNCHER_CONF_OPTS = \
	-DBUILD_TESTING=OFF \
	-DLAUNCHER_STATIC_VARIANT=OFF \
	-DLAUNCHER_INSTALL_SYSTEMD=OFF \
	-DLAUNCHER_INSTALL_SYSV=OFF \
	-DLAUNCHER_INSTALL_OPENRC=OFF \
	-DLAUNCHER_INSTALL_RUNIT=OFF

# The units, and the tmpfiles.d entry that keeps /tmp/lwm2m from age
# cleaning.
define LWM2M_LAUNCHER_INSTALL_INIT_SYSTEMD
	$(foreach unit,lwm2m-launcher.service lwm2m-launcher-settings.path \
		lwm2m-launcher-settings.service,\
		$(INSTALL) -D -m 0644 $(@D)/packaging/$(unit) \
			$(TARGET_DIR)/usr/lib/systemd/system/$(unit)$(sep))
	$(INSTALL) -D -m 0644 $(@D)/packaging/lwm2m-launcher.tmpfiles \
		$(TARGET_DIR)/usr/lib/tmpfiles.d/lwm2m-launcher.conf
endef

define LWM2M_LAUNCHER_INSTALL_INIT_SYSV
	$(INSTALL) -D -m 0755 $(@D)/packaging/lwm2m-launcher.init \
		$(TARGET_DIR)/etc/init.d/S50lwm2m-launcher
endef

define LWM2M_LAUNCHER_INSTALL_INIT_OPENRC
	$(INSTALL) -D -m 0755 $(@D)/packaging/openrc/lwm2m-launcher \
		$(TARGET_DIR)/etc/init.d/lwm2m-launcher
endef

$(eval $(cmake-package))
