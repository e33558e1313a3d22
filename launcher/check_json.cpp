// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// The check record as JSON, format 1 (packaging/check.schema.json): one
// object on one line. Keys are lower-case snake_case, numbers are numbers
// with their unit in the key's name, and a text that is not UTF-8 is given
// as an array of its byte values, as journalctl -o json gives a field.
// The key is never written, in any form.
#include <sys/stat.h>

#include <cstring>

#include "client_command.h"
#include "complain.h"
#include "fixed_paths.h"
#include "settings_check.h"

namespace {

// Whether `text` is well-formed UTF-8: no overlong forms, no surrogates,
// nothing above U+10FFFF.
bool is_utf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
        const unsigned lead = byte(i);
        const std::size_t size = lead < 0x80   ? 1
                                 : lead < 0xC2 ? 0
                                 : lead < 0xE0 ? 2
                                 : lead < 0xF0 ? 3
                                 : lead < 0xF5 ? 4
                                               : 0;
        if (size == 0 || i + size > text.size()) {
            return false;
        }
        for (std::size_t j = 1; j < size; ++j) {
            if ((byte(i + j) & 0xC0) != 0x80) {
                return false;
            }
        }
        const unsigned second = size > 1 ? byte(i + 1) : 0x80;
        if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) ||
            (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second >= 0x90)) {
            return false;
        }
        i += size;
    }
    return true;
}

// Writes JSON values, separating them as it goes.
class json_writer {
public:
    std::string text;

    json_writer& key(std::string_view name) {
        separate();
        append(text, {"\"", name, "\":"});
        fresh_ = true;
        return *this;
    }
    json_writer& open(char bracket) {
        separate();
        text += bracket;
        fresh_ = true;
        return *this;
    }
    json_writer& close(char bracket) {
        text += bracket;
        fresh_ = false;
        return *this;
    }
    json_writer& number(std::uint64_t value) { return raw(std::to_string(value)); }
    json_writer& boolean(bool value) { return raw(value ? "true" : "false"); }
    json_writer& null() { return raw("null"); }
    // A text as a JSON string, or, not UTF-8, as an array of byte values.
    json_writer& string(std::string_view value) {
        if (!is_utf8(value)) {
            open('[');
            for (const char c : value) {
                number(static_cast<unsigned char>(c));
            }
            return close(']');
        }
        separate();
        text += '"';
        for (const char c : value) {
            if (c == '"' || c == '\\') {
                append(text, {"\\", std::string_view(&c, 1)});
            } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                append(text, {"\\u00", hex_upper(std::string_view(&c, 1))});
            } else {
                text += c;
            }
        }
        text += '"';
        fresh_ = false;
        return *this;
    }
    json_writer& string_or_null(std::string_view value) {
        return value.empty() ? null() : string(value);
    }

private:
    json_writer& raw(std::string_view value) {
        separate();
        text += value;
        fresh_ = false;
        return *this;
    }
    void separate() {
        if (!fresh_ && !text.empty() && text.back() != ':') {
            text += ',';
        }
        fresh_ = false;
    }
    bool fresh_ = true;
};

const char* type_of(mode_t mode) {
    return S_ISREG(mode)                    ? "regular_file"
           : S_ISDIR(mode)                  ? "directory"
           : S_ISFIFO(mode)                 ? "fifo"
           : S_ISCHR(mode) || S_ISBLK(mode) ? "device"
           : S_ISLNK(mode)                  ? "symbolic_link"
                                            : "other";
}

void write_dir(json_writer& json, const char* path, const dir_found& found) {
    json.open('{').key("path").string(path).key("looked").boolean(found.looked);
    json.key("exists").boolean(found.looked && found.error == 0);
    json.key("type").string_or_null(found.looked && found.error == 0 ? type_of(found.status.st_mode)
                                                                     : "");
    json.key("owner_uid");
    found.looked&& found.error == 0 ? json.number(found.status.st_uid) : json.null();
    json.key("mode").number(found.status.st_mode & 07777);
    json.key("error").string_or_null(found.error != 0 ? std::strerror(found.error) : "");
    json.key("make_error")
        .string_or_null(found.make_error != 0 ? std::strerror(found.make_error) : "");
    json.close('}');
}

}  // namespace

std::string json_report(const check_record& record) {
    const start_plan& plan = record.plan;
    const module_settings_read& read = plan.read;
    const bool readable = read.status.ok();
    json_writer json;
    json.open('{').key("format").number(1);

    const struct stat& file = read.file.status;
    json.key("settings_file").open('{').key("path").string(record.path);
    json.key("readable").boolean(readable);
    json.key("reason").string_or_null(readable ? "" : settings_status_text(read.status));
    json.key("type").string_or_null(file.st_mode != 0 ? type_of(file.st_mode) : "");
    json.key("size_bytes").number(static_cast<std::uint64_t>(file.st_size));
    json.key("mode").number(file.st_mode & 07777).key("owner_uid").number(file.st_uid);
    json.close('}');

    json.key("settings").open('[');
    for (std::size_t i = 0; readable && i < module_keys.size(); ++i) {
        const module_key& key = module_keys[i];
        const settings_value& value = read.values[i];
        json.open('{').key("key").string(key.name).key("set").boolean(value.found);
        json.key("line");
        value.found ? json.number(value.line) : json.null();
        json.key("value");
        if (key.text == &module_settings::psk) {
            json.null().key("passed_in_hexadecimal").boolean(read.settings.psk_hex != 0);
        } else if (key.place != nullptr) {
            json.null().key("base64_characters").number(value.place.length);
        } else if (key.number != nullptr) {
            json.number(read.settings.*key.number);
        } else {
            json.string(read.settings.*key.text);
        }
        json.close('}');
    }
    json.close(']');

    json.key("csv").open('{').key("base64_characters").number(read.settings.csv.length);
    json.key("size_bytes").number(plan.facts.bytes);
    json.key("ends_at_zero_byte").boolean(plan.facts.ends_at_zero);
    json.key("bytes_outside_base64").number(plan.facts.strays);
    json.key("read_whole").boolean(plan.csv != csv_outcome::unreadable);
    json.close('}');

    json.key("findings").open('[');
    for (const check_finding& finding : record.findings) {
        json.open('{').key("id").string(finding.id).key("line");
        finding.line != 0 ? json.number(finding.line) : json.null();
        json.key("message").string(finding.message).close('}');
    }
    json.close(']').key("finding_count").number(record.finding_count);

    const bool planned = readable && !record.strict;
    json.key("outcome").open('{').key("status").number(static_cast<std::uint64_t>(record.status));
    json.key("reason").string_or_null(planned ? plan.reason : "");
    json.key("steps").open('[');
    for (const check_step& step : record.steps) {
        json.string(step.text);
    }
    json.close(']').key("argv");
    const bool logged = planned && (plan.outcome == start_outcome::client_started ||
                                    plan.outcome == start_outcome::client_failed);
    if (logged) {
        json.open('[');
        for (std::size_t i = 0; i < plan.command.arguments.size(); ++i) {
            const bool key = plan.command.key_size != 0 && i + 1 == plan.command.arguments.size();
            json.string(key ? "********" : plan.command.arguments[i]);
        }
        json.close(']');
    } else {
        json.null();
    }
    json.close('}');

    json.key("gateway");
    if (planned) {
        json.open('{').key("client").open('{').key("path").string(client_program);
        json.key("executable").boolean(plan.client.error == 0);
        json.key("reason").string_or_null(plan.client.error != 0 ? std::strerror(plan.client.error)
                                                                 : "");
        json.key("binfmt_misc_handler").string_or_null(plan.client.handler).close('}');
        json.key("work_root");
        write_dir(json, work_root, plan.work.root);
        json.key("work_dir");
        write_dir(json, work_dir, plan.work.etc);
        json.key("running_client_pid");
        record.running_client ? json.number(std::stoull(*record.running_client)) : json.null();
        json.key("key_exposed_by").open('[');
        if (record.settings_exposed) {
            json.string("settings_file_readable_by_others");
        }
        if (record.proc_exposed) {
            json.string("proc_shows_command_lines");
        }
        json.close(']').close('}');
    } else {
        json.null();
    }
    json.close('}');
    return json.text + "\n";
}
