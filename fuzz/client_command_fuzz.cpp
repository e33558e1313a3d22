// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// Command composition with arbitrary values: the argument vector holds
// every value as exactly one entry, and the logged line is exactly the text
// of the printf-style fragments it is described by.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "client_command.h"
#include "fuzz_check.h"

namespace {

// Takes values from the front of the input: texts as a length byte and that
// many bytes (zero bytes can't come from a settings file, so none here),
// numbers as four bytes.
struct input_reader {
    const std::uint8_t* data;
    std::size_t size;

    std::uint8_t byte() {
        if (size == 0) {
            return 0;
        }
        --size;
        return *data++;
    }
    std::string text() {
        std::string value(byte(), '\0');
        for (auto& c : value) {
            c = static_cast<char>(byte());
            if (c == '\0') {
                c = ' ';
            }
        }
        return value;
    }
    std::uint32_t number() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            value = (value << 8) | byte();
        }
        return value;
    }
};

std::string format(const char* pattern, auto... values) {
    std::string text(static_cast<std::size_t>(std::snprintf(nullptr, 0, pattern, values...)), '\0');
    static_cast<void>(std::snprintf(text.data(), text.size() + 1, pattern, values...));
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    input_reader in{data, size};
    module_settings s;
    s.log_en = in.byte() & 1U;
    s.psk_hex = in.byte() & 1U;
    s.server_port = in.number();
    s.lifetime = in.number();
    s.update_time = in.number();
    s.modbus_port = in.number();
    s.modbus_slave = in.number();
    s.modbus_interval = in.number();
    s.modbus_timeout = in.number();
    s.name = in.text();
    s.server_addr = in.text();
    s.psk_id = in.text();
    s.psk = in.text();
    s.modbus_addr = in.text();

    const client_command command = compose_client_command(s);

    const bool with_key = !s.psk_id.empty() && !s.psk.empty();
    std::string hex;
    for (const char c : s.psk) {
        hex += format("%02X", static_cast<unsigned char>(c));
    }
    std::string line = format("/opt/%s/bin/lwm2mclient ", "Quorvane") +
                       format("-4 -n %s ", s.name.c_str()) +
                       format("-h %s -p %u ", s.server_addr.c_str(), s.server_port) +
                       format("-u %u ", s.update_time) +
                       format("-H %s -P %u ", s.modbus_addr.c_str(), s.modbus_port) +
                       format("-S %u -I %u -T %u -t %u ", s.modbus_slave, s.modbus_interval,
                              s.modbus_timeout, s.lifetime) +
                       format("-f %s ", "/tmp/lwm2m/etc/config.csv");
    std::vector<std::string> arguments = {"/opt/Quorvane/bin/lwm2mclient",
                                          "-4",
                                          "-n",
                                          s.name,
                                          "-h",
                                          s.server_addr,
                                          "-p",
                                          std::to_string(s.server_port),
                                          "-u",
                                          std::to_string(s.update_time),
                                          "-H",
                                          s.modbus_addr,
                                          "-P",
                                          std::to_string(s.modbus_port),
                                          "-S",
                                          std::to_string(s.modbus_slave),
                                          "-I",
                                          std::to_string(s.modbus_interval),
                                          "-T",
                                          std::to_string(s.modbus_timeout),
                                          "-t",
                                          std::to_string(s.lifetime),
                                          "-f",
                                          "/tmp/lwm2m/etc/config.csv"};
    if (s.log_en != 0) {
        line += "-L ";
        arguments.emplace_back("-L");
    }
    if (with_key) {
        line += format("-i %s ", s.psk_id.c_str()) + "-s ";
        line += s.psk_hex != 0 ? hex : format("%s ", s.psk.c_str());
        arguments.insert(arguments.end(), {"-i", s.psk_id, "-s", s.psk_hex != 0 ? hex : s.psk});
    }
    line += " &";

    FUZZ_CHECK(command.line == line);
    FUZZ_CHECK(command.arguments == arguments);
    return 0;
}
