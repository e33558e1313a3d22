// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "module_settings.h"

namespace {

// The reader's view of the table: the CSV alone is read on whole lines.
constexpr std::array<settings_key, module_keys.size()> make_reader_keys() {
    std::array<settings_key, module_keys.size()> keys{};
    std::size_t i = 0;
    for (const module_key& key : module_keys) {
        keys[i++] = {key.name, key.place != nullptr};
    }
    return keys;
}
constexpr auto reader_keys = make_reader_keys();

}  // namespace

module_settings_read load_module_settings(const char* path, const settings_line_observer& observe) {
    module_settings_read read;
    read.status = settings_open(path, read.file);
    if (read.status.ok()) {
        if (const int error = settings_scan(read.file, reader_keys, read.values, observe);
            error != 0) {
            read.status = {settings_verdict::failed, error};
        }
    }
    if (!read.status.ok()) {
        read.file.fd = unique_fd();
        read.values = module_values();
        return read;
    }
    module_settings& s = read.settings;
    for (std::size_t i = 0; i < module_keys.size(); ++i) {
        const module_key& key = module_keys[i];
        const settings_value& value = read.values[i];
        if (key.number != nullptr) {
            s.*key.number = parse_setting_uint(value.text);
        } else if (key.text != nullptr) {
            s.*key.text = value.text;
        } else {
            s.*key.place = value.place;
        }
    }
    s.file_mode = read.file.status.st_mode & 07777;
    return read;
}
