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
#include <initializer_list>
#include <utility>
#include <vector>

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

std::string number(std::uint64_t value) {
    return std::to_string(value);
}

std::string boolean(bool value) {
    return value ? "true" : "false";
}

// A JSON array of `each` of the items, or of the items themselves.
template <typename Items, typename Each>
std::string list(const Items& items, Each each) {
    std::string json = "[";
    for (const auto& item : items) {
        append(json, {json.size() > 1 ? "," : "", each(item)});
    }
    return json + "]";
}

std::string list(const std::vector<std::string>& values) {
    return list(values, [](const std::string& value) { return value; });
}

// A text as a JSON string, or, when it is not UTF-8, its byte values.
std::string text(std::string_view value) {
    if (!is_utf8(value)) {
        return list(value, [](char c) { return number(static_cast<unsigned char>(c)); });
    }
    std::string json = "\"";
    for (const char c : value) {
        if (c == '"' || c == '\\') {
            append(json, {"\\", std::string_view(&c, 1)});
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            append(json, {"\\u00", hex_upper(std::string_view(&c, 1))});
        } else {
            json += c;
        }
    }
    return json + "\"";
}

// A text, or null for none.
std::string text_or_null(std::string_view value) {
    return value.empty() ? "null" : text(value);
}

std::string object(std::initializer_list<std::pair<std::string_view, std::string>> members) {
    std::string json = "{";
    for (const auto& [key, value] : members) {
        append(json, {json.size() > 1 ? ",\"" : "\"", key, "\":", value});
    }
    return json + "}";
}

std::string type_of(mode_t mode) {
    return S_ISREG(mode)                    ? "\"regular_file\""
           : S_ISDIR(mode)                  ? "\"directory\""
           : S_ISFIFO(mode)                 ? "\"fifo\""
           : S_ISCHR(mode) || S_ISBLK(mode) ? "\"device\""
           : S_ISLNK(mode)                  ? "\"symbolic_link\""
                                            : "\"other\"";
}

std::string error_or_null(int error) {
    return error != 0 ? text(std::strerror(error)) : "null";
}

// A work directory as the walk found it.
std::string directory(const char* path, const dir_found& found) {
    const bool there = found.looked && found.error == 0;
    return object({{"path", text(path)},
                   {"looked", boolean(found.looked)},
                   {"exists", boolean(there)},
                   {"type", there ? type_of(found.status.st_mode) : "null"},
                   {"owner_uid", there ? number(found.status.st_uid) : "null"},
                   {"mode", number(found.status.st_mode & 07777)},
                   {"error", error_or_null(found.error)},
                   {"make_error", error_or_null(found.make_error)}});
}

std::string settings_of(const module_settings_read& read) {
    std::vector<std::string> rows;
    for (std::size_t i = 0; read.status.ok() && i < module_keys.size(); ++i) {
        const module_key& key = module_keys[i];
        const settings_value& value = read.values[i];
        const std::string line = value.found ? number(value.line) : "null";
        const std::string set = boolean(value.found);
        if (key.text == &module_settings::psk) {  // never its value
            rows.push_back(
                object({{"key", text(key.name)},
                        {"set", set},
                        {"line", line},
                        {"value", "null"},
                        {"passed_in_hexadecimal", boolean(read.settings.psk_hex != 0)}}));
        } else if (key.place != nullptr) {
            rows.push_back(object({{"key", text(key.name)},
                                   {"set", set},
                                   {"line", line},
                                   {"value", "null"},
                                   {"base64_characters", number(value.place.length)}}));
        } else {
            rows.push_back(
                object({{"key", text(key.name)},
                        {"set", set},
                        {"line", line},
                        {"value", key.number != nullptr ? number(read.settings.*key.number)
                                                        : text(read.settings.*key.text)}}));
        }
    }
    return list(rows);
}

}  // namespace

std::string json_report(const check_record& record) {
    const start_plan& plan = record.plan;
    const module_settings_read& read = plan.read;
    const struct stat& file = read.file.status;
    const bool planned = read.status.ok() && !record.strict;

    const std::string findings = list(record.findings, [](const check_finding& finding) {
        return object({{"id", text(finding.id)},
                       {"line", finding.line != 0 ? number(finding.line) : "null"},
                       {"message", text(finding.message)}});
    });
    const std::string steps =
        list(record.steps, [](const check_step& step) { return text(step.text); });
    // The client's arguments, the key (the last, when there is one) masked.
    std::vector<std::string> argv;
    const std::vector<std::string>& arguments = plan.command.arguments;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const bool key = plan.command.key_size != 0 && i + 1 == arguments.size();
        argv.push_back(text(key ? "********" : arguments[i]));
    }
    const bool logged = planned && (plan.outcome == start_outcome::client_started ||
                                    plan.outcome == start_outcome::client_failed);
    std::vector<std::string> exposed;
    if (record.settings_exposed) {
        exposed.emplace_back("\"settings_file_readable_by_others\"");
    }
    if (record.proc_exposed) {
        exposed.emplace_back("\"proc_shows_command_lines\"");
    }

    return object(
               {{"format", "1"},
                {"settings_file",
                 object({{"path", text(record.path)},
                         {"readable", boolean(read.status.ok())},
                         {"reason",
                          read.status.ok() ? "null" : text(settings_status_text(read.status))},
                         {"type", file.st_mode != 0 ? type_of(file.st_mode) : "null"},
                         {"size_bytes", number(static_cast<std::uint64_t>(file.st_size))},
                         {"mode", number(file.st_mode & 07777)},
                         {"owner_uid", number(file.st_uid)}})},
                {"settings", settings_of(read)},
                {"csv", object({{"base64_characters", number(read.settings.csv.length)},
                                {"size_bytes", number(plan.facts.bytes)},
                                {"ends_at_zero_byte", boolean(plan.facts.ends_at_zero)},
                                {"bytes_outside_base64", number(plan.facts.strays)},
                                {"read_whole", boolean(plan.csv != csv_outcome::unreadable)}})},
                {"findings", findings},
                {"finding_count", number(record.finding_count)},
                {"outcome", object({{"status", number(static_cast<std::uint64_t>(record.status))},
                                    {"reason", planned ? text_or_null(plan.reason) : "null"},
                                    {"steps", steps},
                                    {"argv", logged ? list(argv) : "null"}})},
                {"gateway",
                 !planned
                     ? "null"
                     : object({{"client", object({{"path", text(client_program)},
                                                  {"executable", boolean(plan.client.error == 0)},
                                                  {"reason", error_or_null(plan.client.error)},
                                                  {"binfmt_misc_handler",
                                                   text_or_null(plan.client.handler)}})},
                               {"work_root", directory(work_root, plan.work.root)},
                               {"work_dir", directory(work_dir, plan.work.etc)},
                               {"running_client_pid",
                                record.running_client ? *record.running_client : "null"},
                               {"key_exposed_by", list(exposed)}})}}) +
           "\n";
}
