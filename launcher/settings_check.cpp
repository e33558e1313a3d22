// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "settings_check.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <string_view>
#include <utility>
#include <vector>

#include "client_command.h"
#include "csv_config.h"
#include "fixed_paths.h"
#include "module_settings.h"
#include "work_dir.h"

namespace {

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string_view without_blanks_around(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Levenshtein distance, letters compared in upper case.
std::size_t distance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    std::iota(row.begin(), row.end(), std::size_t{0});
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1,
                               diagonal + (upper(a[i - 1]) == upper(b[j - 1]) ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::string_view nearest_key(std::string_view name) {
    std::string_view nearest;
    std::size_t best = SIZE_MAX;
    for (const settings_key& key : module_keys) {
        if (const std::size_t d = distance(name, key.name); d < best) {
            best = d;
            nearest = key.name;
        }
    }
    return nearest;
}

std::string quoted(std::string_view text) {
    return '"' + shown_plainly(text) + '"';
}

// "1 byte", "2 bytes".
std::string counted(std::uint64_t number, std::string_view thing) {
    return std::to_string(number) + " " + std::string(thing) + (number == 1 ? "" : "s");
}

bool is_number(std::size_t key) {
    return std::find(module_number_keys.begin(), module_number_keys.end(),
                     static_cast<module_key>(key)) != module_number_keys.end();
}

std::string_view name_of(module_key key) {
    return module_keys[static_cast<std::size_t>(key)].name;
}

// "regular file, 573 bytes, mode 0600, owner uid 0", or what else it is.
std::string described(const struct stat& status) {
    std::string kind = S_ISREG(status.st_mode)    ? "regular file"
                       : S_ISDIR(status.st_mode)  ? "directory, not a regular file"
                       : S_ISFIFO(status.st_mode) ? "FIFO, not a regular file"
                       : S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode)
                           ? "device, not a regular file"
                           : "not a regular file";
    std::array<char, 8> mode{};
    static_cast<void>(std::snprintf(mode.data(), mode.size(), "%04o", status.st_mode & 07777U));
    return kind + ", " + std::to_string(status.st_size) + " bytes, mode " + mode.data() +
           ", owner uid " + std::to_string(status.st_uid);
}

// What the launcher would make of /tmp/lwm2m or /tmp/lwm2m/etc, from a
// look at it: an empty refusal when it would work there.
std::string work_dir_look(const char* path, std::string& refusal) {
    struct stat status {};
    if (::lstat(path, &status) != 0) {
        return errno == ENOENT ? "not there: a start makes it" : std::strerror(errno);
    }
    const uid_t self = ::geteuid();
    if (const int error = untrusted_dir(status, self); error != 0) {
        const std::string why = refusal_text(path, error, status, self);
        if (refusal.empty()) {
            refusal = why;
        }
        return "refused: " + why;
    }
    return "a directory of uid " + std::to_string(status.st_uid);
}

int client_look() {
    struct stat status {};
    if (::stat(client_program, &status) != 0) {
        return errno;
    }
    if (!S_ISREG(status.st_mode)) {
        return EACCES;
    }
    return ::access(client_program, X_OK) == 0 ? 0 : errno;
}

}  // namespace

std::string shown_plainly(std::string_view text) {
    static constexpr std::string_view digits = "0123456789ABCDEF";
    std::string shown;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F) {
            shown += "\\x";
            shown += digits[byte >> 4];
            shown += digits[byte & 0xF];
        } else {
            shown += c;
        }
    }
    return shown;
}

void settings_findings::add(settings_finding finding) {
    ++count;
    if (!full()) {
        shown.push_back(std::move(finding));
    }
}

settings_line_observer finding_observer(
    settings_findings& findings,
    const std::function<std::uint64_t(std::size_t key)>& first_line_of) {
    return [&findings, first_line_of](const settings_line& line) {
        const auto say = [&](std::string text) { findings.add({line.number, std::move(text)}); };
        const std::string at = " at character " + std::to_string(line.text_end + 1);
        if (line.cut_by == '\0') {
            say("a zero byte" + at + " ends the line there");
        } else if (line.cut_by == '\r' && line.text_end + 1 < line.length) {
            say("a carriage return" + at + " ends the line there");
        }
        if (line.key) {
            const std::string name(module_keys[*line.key].name);
            if (!line.first) {
                say(name + " again: line " + std::to_string(first_line_of(*line.key)) +
                    ", the first, is the one that counts");
                return;
            }
            const std::size_t value_start = name.size() + 1;
            const bool opens_quote = value_start < line.text_end &&
                                     value_start < line.head.size() &&
                                     line.head[value_start] == '"';
            if (opens_quote && line.last_quote == value_start) {
                say(name +
                    ": the quote that opens its value is never closed, so the value is empty");
            } else if (line.last_quote && *line.last_quote + 1 < line.text_end) {
                say(name + ": " + counted(line.text_end - *line.last_quote - 1, "character") +
                    " after its last quote dropped");
            }
            return;
        }
        const std::string_view text = line.head.substr(0, line.text_end);
        const auto equals = text.find('=');
        if (equals == std::string_view::npos) {
            return;
        }
        const std::string_view name = text.substr(0, equals);
        const std::string_view bare = without_blanks_around(name);
        const auto* const key = std::find_if(
            module_keys.begin(), module_keys.end(),
            [bare](const settings_key& known) { return settings_name_is(bare, known.name); });
        if (bare.size() != name.size() && key != module_keys.end()) {
            say(quoted(name) + " is not " + std::string(key->name) +
                ": the blanks around it make it another name");
            return;
        }
        if (name.size() >= 6 && settings_name_is(name.substr(0, 6), "LWM2M_")) {
            // The nearest key costs a little: only for a finding that is
            // shown, and a name that could be near one.
            if (findings.full()) {
                ++findings.count;
                return;
            }
            say(quoted(name) + " is no key the launcher reads" +
                (name.size() <= 32 ? "; the nearest is " + std::string(nearest_key(name)) : ""));
        }
    };
}

int check_settings(const char* path, std::string& report) {
    settings_findings findings;

    report = "Settings file " + shown_plainly(path) + "\n";
    struct stat status {};
    settings_file file;
    int error = ::stat(path, &status) != 0 ? errno : 0;
    if (error == 0) {
        report += "  " + described(status) + "\n";
        error = settings_open(path, file);
    }
    std::array<settings_value, module_key_count> values;
    if (error == 0) {
        error = settings_scan(
            file, module_keys, values,
            finding_observer(findings, [&values](std::size_t key) { return values[key].line; }));
    }
    if (error != 0) {
        report += "  can't be read: ";
        report += error == EINVAL ? "not a regular file" : std::strerror(error);
        report += "\n";
        return 1;
    }
    report += "  readable\n";
    const module_settings settings = settings_from_values(values, file.status.st_mode & 07777);

    report += "\nSettings, as a start reads them\n";
    for (std::size_t key = 0; key < module_key_count; ++key) {
        const settings_value& value = values[key];
        std::string shown;
        if (static_cast<module_key>(key) == module_key::psk && !value.text.empty()) {
            shown = counted(value.text.size(), "byte") + ", not shown" +
                    (settings.psk_hex != 0 ? "; passed in hexadecimal" : "");
        } else if (static_cast<module_key>(key) == module_key::csv) {
            shown = std::to_string(value.place.length) + " characters of base64";
        } else if (is_number(key)) {
            const std::uint32_t number = parse_setting_uint(value.text);
            shown = std::to_string(number);
            if (value.found && std::to_string(number) != value.text) {
                findings.add({value.line, std::string(module_keys[key].name) + "=" +
                                              quoted(value.text) + " is read as " +
                                              std::to_string(number)});
            }
        } else {
            shown = quoted(value.text);
        }
        std::string row = "  " + std::string(module_keys[key].name);
        row.resize(24, ' ');
        row += "= ";
        row += shown;
        row += value.found ? "  (line " + std::to_string(value.line) + ")\n"
                           : "  (not set: the default)\n";
        report += row;
    }
    if (settings.psk.empty() != settings.psk_id.empty()) {
        const auto [set, unset] = settings.psk.empty()
                                      ? std::pair(module_key::psk_id, module_key::psk)
                                      : std::pair(module_key::psk, module_key::psk_id);
        findings.add({0, std::string(name_of(set)) + " is set but " + std::string(name_of(unset)) +
                             " is not: neither -i nor -s is passed"});
    }

    // The CSV goes through the very decoder of a start; its bytes are only
    // counted here.
    csv_facts facts;
    const int csv_error = decode_csv_config(
        file, settings.csv, [](std::string_view) { return 0; }, &facts);
    const std::uint64_t csv_line = values[static_cast<std::size_t>(module_key::csv)].line;
    report += "\nCSV configuration\n";
    if (settings.csv.length == 0) {
        report += "  none: LWM2M_CSV is missing or empty\n";
    } else {
        report += "  " + std::to_string(settings.csv.length) + " characters of base64 give " +
                  std::to_string(facts.bytes) + " bytes for " + csv_config_path + "\n";
    }
    if (facts.ends_at_zero) {
        report += "  a zero byte ends it there: what follows is not written\n";
    }
    if (facts.strays != 0) {
        const std::string strays = counted(facts.strays, "byte") +
                                   " outside the base64 alphabet (padding aside) passed over, the "
                                   "first at character " +
                                   std::to_string(*facts.first_stray + 1);
        report += "  " + strays + "\n";
        findings.add({csv_line, "LWM2M_CSV: " + strays + " of its value"});
    }
    if (csv_error != 0) {
        report += "  can't be read whole: ";
        report +=
            csv_error == ESTALE ? "the file changed while it was read" : std::strerror(csv_error);
        report += "\n";
    }

    std::stable_sort(
        findings.shown.begin(), findings.shown.end(),
        [](const settings_finding& a, const settings_finding& b) { return a.line < b.line; });
    report += "\nFindings\n";
    for (const settings_finding& finding : findings.shown) {
        report += "  ";
        if (finding.line != 0) {
            report += "line " + std::to_string(finding.line) + ": ";
        }
        report += finding.text + "\n";
    }
    if (findings.count == 0) {
        report += "  none\n";
    } else if (findings.count > findings.shown.size()) {
        report += "  and " + std::to_string(findings.count - findings.shown.size()) + " more\n";
    }

    std::string refusal;
    const std::string root_look = work_dir_look(work_root, refusal);
    const std::string etc_look = work_dir_look(work_dir, refusal);
    const int client_error = client_look();
    const bool has_csv = csv_error == 0 && facts.bytes != 0;
    int exit_status = 0;
    report += "\nA start would\n";
    if (!refusal.empty()) {
        report += "  refuse to work in " + std::string(work_dir) + " (" + refusal + ")\n";
        exit_status = 1;
    } else if (!has_csv) {
        report +=
            "  find no CSV configuration and log \"Can't find CSV config file in Plugwell\"\n";
        exit_status = 255;
    } else {
        report += "  write " + std::string(csv_config_path) + " (" + std::to_string(facts.bytes) +
                  " bytes)\n";
        if (settings.enable == 0) {
            report += "  log \"Quorvane is disabled.\": the module is disabled\n";
        } else {
            report += "  log the client's command line (the key masked here):\n    " +
                      shown_plainly(masked_line(compose_client_command(settings))) + "\n";
            if (client_error == 0) {
                report += "  start the client\n";
            } else {
                report += "  fail to start the client: " + std::string(client_program) + ": " +
                          std::strerror(client_error) + "\n";
                exit_status = 1;
            }
        }
    }
    report += "  and exit with status " + std::to_string(exit_status) + "\n";
    report += "\nOn this gateway\n";
    report += "  " + std::string(client_program) + ": " +
              (client_error == 0 ? "executable" : std::strerror(client_error)) + "\n";
    report += "  " + std::string(work_root) + ": " + root_look + "\n";
    report += "  " + std::string(work_dir) + ": " + etc_look + "\n";
    return exit_status;
}
