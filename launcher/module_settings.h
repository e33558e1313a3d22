// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// The module's settings, as the launcher uses them.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "settings_reader.h"

// Fields in the order of module_keys. A missing file or key leaves the
// default: "" or 0.
struct module_settings {
    std::uint32_t enable = 0;           // non-zero: start the client
    std::uint32_t log_en = 0;           // non-zero: client option -L
    std::string name;                   // -n
    std::string server_addr;            // -h
    std::uint32_t server_port = 0;      // -p
    std::uint32_t lifetime = 0;         // -t
    std::string psk_id;                 // -i
    std::uint32_t psk_hex = 0;          // non-zero: pass the key in hexadecimal
    std::string psk;                    // -s
    std::uint32_t update_time = 0;      // -u
    settings_place csv;                 // where the CSV's base64 text lies in the file
    std::string modbus_addr;            // -H
    std::uint32_t modbus_port = 0;      // -P
    std::uint32_t modbus_slave = 0;     // -S
    std::uint32_t modbus_interval = 0;  // -I
    std::uint32_t modbus_timeout = 0;   // -T

    // Not a setting: the settings file's permission bits (0666 when it could
    // not be read), which the event log, holding the key too, never exceeds.
    mode_t file_mode = 0666;
};

// A key and the field it fills: a number, a text, or, for the CSV (which
// can be megabytes long), its place in the file, read later on whole lines.
struct module_key {
    std::string_view name;
    std::uint32_t module_settings::*number = nullptr;
    std::string module_settings::*text = nullptr;
    settings_place module_settings::*place = nullptr;
};

// Every key, in the record's order: the reader, the record and the check
// report all go by this table.
inline constexpr std::array<module_key, 16> module_keys = {{
    {.name = "LWM2M_ENABLE", .number = &module_settings::enable},
    {.name = "LWM2M_LOG_EN", .number = &module_settings::log_en},
    {.name = "LWM2M_NAME", .text = &module_settings::name},
    {.name = "LWM2M_SERVER_ADDR", .text = &module_settings::server_addr},
    {.name = "LWM2M_SERVER_PORT", .number = &module_settings::server_port},
    {.name = "LWM2M_LIFETIME", .number = &module_settings::lifetime},
    {.name = "LWM2M_PSK_ID", .text = &module_settings::psk_id},
    {.name = "LWM2M_PSK_HEX", .number = &module_settings::psk_hex},
    {.name = "LWM2M_PSK", .text = &module_settings::psk},
    {.name = "LWM2M_UPDATE_TIME", .number = &module_settings::update_time},
    {.name = "LWM2M_CSV", .place = &module_settings::csv},
    {.name = "LWM2M_MODBUS_ADDR", .text = &module_settings::modbus_addr},
    {.name = "LWM2M_MODBUS_PORT", .number = &module_settings::modbus_port},
    {.name = "LWM2M_MODBUS_SLAVE", .number = &module_settings::modbus_slave},
    {.name = "LWM2M_MODBUS_INTERVAL", .number = &module_settings::modbus_interval},
    {.name = "LWM2M_MODBUS_TIMEOUT", .number = &module_settings::modbus_timeout},
}};

// The index in module_keys of the key `name`.
constexpr std::size_t key_index(std::string_view name) {
    std::size_t i = 0;
    while (i < module_keys.size() && module_keys[i].name != name) {
        ++i;
    }
    return i;
}

using module_values = std::array<settings_value, module_keys.size()>;

// What one pass over the settings file found for module_keys.
struct module_settings_read {
    settings_status status;    // of opening and reading the file
    settings_file file;        // left open for the CSV to be read from it
    module_values values;      // each key's value and line
    module_settings settings;  // the record made from them
};

// Reads every field from the settings file at `path` in one pass; `observe`,
// when set, sees every line. When the file can't be read, every field keeps
// its default and `file` is closed (its status: what the path led to).
module_settings_read load_module_settings(const char* path,
                                          const settings_line_observer& observe = {});
