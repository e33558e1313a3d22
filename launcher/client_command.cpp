// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "client_command.h"

#include "fixed_paths.h"

namespace {

// Every word of the line but the hexadecimal key is followed by a blank.
void add_word(client_command& command, std::string_view word) {
    command.arguments.emplace_back(word);
    command.line += word;
    command.line += ' ';
}

void add_number(client_command& command, std::uint32_t number) {
    add_word(command, std::to_string(number));
}

}  // namespace

client_command compose_client_command(const module_settings& s) {
    client_command c;
    add_word(c, client_program);
    add_word(c, "-4");
    add_word(c, "-n");
    add_word(c, s.name);
    add_word(c, "-h");
    add_word(c, s.server_addr);
    add_word(c, "-p");
    add_number(c, s.server_port);
    add_word(c, "-u");
    add_number(c, s.update_time);
    add_word(c, "-H");
    add_word(c, s.modbus_addr);
    add_word(c, "-P");
    add_number(c, s.modbus_port);
    add_word(c, "-S");
    add_number(c, s.modbus_slave);
    add_word(c, "-I");
    add_number(c, s.modbus_interval);
    add_word(c, "-T");
    add_number(c, s.modbus_timeout);
    add_word(c, "-t");
    add_number(c, s.lifetime);
    add_word(c, "-f");
    add_word(c, csv_config_path);
    if (s.log_en != 0) {
        add_word(c, "-L");
    }
    if (!s.psk_id.empty() && !s.psk.empty()) {
        add_word(c, "-i");
        add_word(c, s.psk_id);
        add_word(c, "-s");
        c.key_offset = c.line.size();
        if (s.psk_hex != 0) {
            c.arguments.push_back(hex_upper(s.psk));
            c.line += c.arguments.back();
        } else {
            add_word(c, s.psk);
        }
        c.key_size = c.arguments.back().size();
    }
    c.line += " &";
    return c;
}

std::string masked_line(const client_command& command) {
    std::string line = command.line;
    if (command.key_size != 0) {
        line.replace(command.key_offset, command.key_size, "********");
    }
    return line;
}

std::string hex_upper(std::string_view bytes) {
    static constexpr std::string_view digits = "0123456789ABCDEF";
    std::string hex;
    hex.reserve(2 * bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        hex += digits[byte >> 4];
        hex += digits[byte & 0xF];
    }
    return hex;
}
