// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// The module's settings, as the launcher uses them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "settings_reader.h"

// The settings keys, in the order of the record's fields.
enum class module_key : std::size_t {
    enable,
    log_en,
    name,
    server_addr,
    server_port,
    lifetime,
    psk_id,
    psk_hex,
    psk,
    update_time,
    csv,
    modbus_addr,
    modbus_port,
    modbus_slave,
    modbus_interval,
    modbus_timeout,
};
inline constexpr std::size_t module_key_count = 16;

// Each field's key and how it is read: the CSV on whole lines, as it can be
// megabytes long; every other value in pieces, as an ordinary line.
inline constexpr std::array<settings_key, module_key_count> module_keys = {{
    {"LWM2M_ENABLE"},
    {"LWM2M_LOG_EN"},
    {"LWM2M_NAME"},
    {"LWM2M_SERVER_ADDR"},
    {"LWM2M_SERVER_PORT"},
    {"LWM2M_LIFETIME"},
    {"LWM2M_PSK_ID"},
    {"LWM2M_PSK_HEX"},
    {"LWM2M_PSK"},
    {"LWM2M_UPDATE_TIME"},
    {"LWM2M_CSV", true},
    {"LWM2M_MODBUS_ADDR"},
    {"LWM2M_MODBUS_PORT"},
    {"LWM2M_MODBUS_SLAVE"},
    {"LWM2M_MODBUS_INTERVAL"},
    {"LWM2M_MODBUS_TIMEOUT"},
}};

// The keys read as unsigned numbers; the others are text (the CSV's, a place
// in the file).
inline constexpr std::array module_number_keys = {
    module_key::enable,         module_key::log_en,       module_key::server_port,
    module_key::lifetime,       module_key::psk_hex,      module_key::update_time,
    module_key::modbus_port,    module_key::modbus_slave, module_key::modbus_interval,
    module_key::modbus_timeout,
};

// Fields in the order of module_key. A missing file or key leaves the
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

    // Not a setting: the permission bits of the settings file, or 0666 when it could not
    // be read. The event log repeats the key, so it is given no more.
    mode_t file_mode = 0666;
};

// The record made from what a pass over the settings file found for
// module_keys: numbers parsed, the CSV's place kept.
module_settings settings_from_values(std::span<settings_value, module_key_count> values,
                                     mode_t file_mode);

// Reads every field from the settings file at `path` in one pass, leaving
// `file` open for the CSV to be read from it: 0, or the errno that kept the
// file from being read (ENOENT: there is none; EINVAL: it is not a regular
// file), in which case every field keeps its default and `file` is closed.
int load_module_settings(const char* path, module_settings& settings, settings_file& file);
