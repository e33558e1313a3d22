// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "module_settings.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include "file_io.h"
#include "settings_reader.h"

module_settings load_module_settings(const char* path) {
    module_settings s;
    settings_handle file = settings_open(path);
    if (file) {
        s.file_mode = file.mode;
    } else if (errno == EINVAL) {
        complain({"ignoring ", path, ": not a regular file"});
    } else if (errno != ENOENT) {
        // A missing file is a module never configured; anything else is
        // worth a word.
        complain({"can't read ", path, ": ", std::strerror(errno)});
    }
    s.enable = settings_get_uint(file, "LWM2M_ENABLE");
    s.log_en = settings_get_uint(file, "LWM2M_LOG_EN");
    s.name = settings_get_string(file, "LWM2M_NAME");
    s.server_addr = settings_get_string(file, "LWM2M_SERVER_ADDR");
    s.server_port = settings_get_uint(file, "LWM2M_SERVER_PORT");
    s.lifetime = settings_get_uint(file, "LWM2M_LIFETIME");
    s.psk_id = settings_get_string(file, "LWM2M_PSK_ID");
    s.psk_hex = settings_get_uint(file, "LWM2M_PSK_HEX");
    s.psk = settings_get_string(file, "LWM2M_PSK");
    s.update_time = settings_get_uint(file, "LWM2M_UPDATE_TIME");
    // The CSV configuration is far longer than any other value, and can be
    // megabytes: it is taken from the file's text at the end, not copied.
    const std::string_view csv = settings_get_long_view(file, "LWM2M_CSV");
    s.modbus_addr = settings_get_string(file, "LWM2M_MODBUS_ADDR");
    s.modbus_port = settings_get_uint(file, "LWM2M_MODBUS_PORT");
    s.modbus_slave = settings_get_uint(file, "LWM2M_MODBUS_SLAVE");
    s.modbus_interval = settings_get_uint(file, "LWM2M_MODBUS_INTERVAL");
    s.modbus_timeout = settings_get_uint(file, "LWM2M_MODBUS_TIMEOUT");
    s.csv = settings_take(std::move(file), csv);
    return s;
}
