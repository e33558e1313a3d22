// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "module_settings.h"

module_settings settings_from_values(std::span<settings_value, module_key_count> values,
                                     mode_t file_mode) {
    module_settings s;
    const auto text = [&values](module_key key) {
        return values[static_cast<std::size_t>(key)].text;
    };
    const auto number = [&values](module_key key) {
        return parse_setting_uint(values[static_cast<std::size_t>(key)].text);
    };
    s.enable = number(module_key::enable);
    s.log_en = number(module_key::log_en);
    s.name = text(module_key::name);
    s.server_addr = text(module_key::server_addr);
    s.server_port = number(module_key::server_port);
    s.lifetime = number(module_key::lifetime);
    s.psk_id = text(module_key::psk_id);
    s.psk_hex = number(module_key::psk_hex);
    s.psk = text(module_key::psk);
    s.update_time = number(module_key::update_time);
    s.csv = values[static_cast<std::size_t>(module_key::csv)].place;
    s.modbus_addr = text(module_key::modbus_addr);
    s.modbus_port = number(module_key::modbus_port);
    s.modbus_slave = number(module_key::modbus_slave);
    s.modbus_interval = number(module_key::modbus_interval);
    s.modbus_timeout = number(module_key::modbus_timeout);
    s.file_mode = file_mode;
    return s;
}

int load_module_settings(const char* path, module_settings& s, settings_file& file) {
    s = module_settings();
    file = settings_file();
    if (const int error = settings_open(path, file); error != 0) {
        return error;
    }
    std::array<settings_value, module_key_count> values;
    if (const int error = settings_scan(file, module_keys, values); error != 0) {
        file = settings_file();
        return error;
    }
    s = settings_from_values(values, file.status.st_mode & 07777);
    return 0;
}
