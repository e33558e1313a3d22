// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// The module's settings, as the launcher uses them.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

// Fields in the order they are read. Each comes from the settings key of the
// same name in upper case with the prefix "LWM2M_" (`server_addr` from
// LWM2M_SERVER_ADDR). A missing file or key leaves the default: "" or 0.
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
    std::string csv;                    // base64 text of the CSV configuration
    std::string modbus_addr;            // -H
    std::uint32_t modbus_port = 0;      // -P
    std::uint32_t modbus_slave = 0;     // -S
    std::uint32_t modbus_interval = 0;  // -I
    std::uint32_t modbus_timeout = 0;   // -T

    // Not a setting: the permission bits of the settings file, or 0666 when
    // it can't be read. The event log repeats the key, so it is given no
    // more than this.
    mode_t file_mode = 0666;
};

// Reads every field from the settings file at `path`. Never fails: whatever
// can't be read keeps its default. A file that exists but can't be read (a
// FIFO, a device, a directory, or no permission) is said on standard error.
module_settings load_module_settings(const char* path);
