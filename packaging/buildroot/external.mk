include $(sort $(wildcard $(BR2_EXTERNAL_LWM2M_LAUNCHER_PATH)/package/*/*.mk))
