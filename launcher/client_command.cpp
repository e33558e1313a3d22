// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "client_command.h"

#include <unistd.h>

#include <algorithm>
#include <utility>

#include "fixed_paths.h"
#include "process_start.h"

namespace {

// Every word of the line but the hexadecimal key is followed by a blank.
void add_word(client_command& command, std::string_view word) {
    command.arguments.emplace_back(word);
    command.line += word;
    command.line += ' ';
}

}  // namespace

client_command compose_client_command(const module_settings& s) {
    client_command c;
    const auto number = [](std::uint32_t value) { return std::to_string(value); };
    const std::pair<std::string_view, std::string> options[] = {
        {"-n", s.name},
        {"-h", s.server_addr},
        {"-p", number(s.server_port)},
        {"-u", number(s.update_time)},
        {"-H", s.modbus_addr},
        {"-P", number(s.modbus_port)},
        {"-S", number(s.modbus_slave)},
        {"-I", number(s.modbus_interval)},
        {"-T", number(s.modbus_timeout)},
        {"-t", number(s.lifetime)},
        {"-f", csv_config_path},
    };
    add_word(c, client_program);
    add_word(c, "-4");
    for (const auto& [option, value] : options) {
        add_word(c, option);
        add_word(c, value);
    }
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

int start_client(const client_command& command, bool foreground) {
    std::vector<char*> argv(command.arguments.size() + 1, nullptr);
    std::transform(command.arguments.begin(), command.arguments.end(), argv.begin(),
                   [](const std::string& argument) { return const_cast<char*>(argument.c_str()); });
    if (foreground) {
        return exec_program(argv.data(), environ);
    }
    pid_t pid = -1;
    return start_program({.argv = argv.data(), .envp = environ, .in_background = true}, pid);
}
