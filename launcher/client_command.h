// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// The command that starts the LwM2M client.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "module_settings.h"

struct client_command {
    // The program, then one entry per option and per value, each value
    // whole, whatever it holds.
    std::vector<std::string> arguments;
    // The same as one shell-style line ending in " &", for the event log,
    // values unquoted, exactly as set.
    std::string line;
    // Where the key given with -s stands in `line` (size 0: there is none).
    std::size_t key_offset = 0;
    std::size_t key_size = 0;
};

// Options, in order: -4 -n -h -p -u -H -P -S -I -T -t with their settings,
// -f <CSV file>; -L when log_en is not 0; -i psk_id -s <key> when psk_id and
// psk are both set, the key in upper-case hexadecimal when psk_hex is not 0.
client_command compose_client_command(const module_settings& settings);

// `command.line` with the key as "********", whatever its length.
std::string masked_line(const client_command& command);

// Two upper-case hexadecimal digits per byte.
std::string hex_upper(std::string_view bytes);

// Starts the client with `command.arguments` and the launcher's
// environment, without a shell: in the background as a shell's "&" would
// (standard input from /dev/null, SIGINT and SIGQUIT ignored), or, in the
// foreground, in the launcher's own process, keeping its PID and standard
// input, with every signal at its default. 0 once it runs in the
// background, or the errno that kept it from starting (in the foreground,
// the launcher's signals then as they were).
int start_client(const client_command& command, bool foreground);
