// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "settings_check.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <numeric>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "client_command.h"
#include "complain.h"
#include "csv_config.h"
#include "dir_list.h"
#include "file_io.h"
#include "fixed_paths.h"
#include "module_settings.h"
#include "start_plan.h"

namespace {

// Adds a finding; past `findings_max`, only counts it: a file of millions
// of odd lines costs no more memory than a few.
void add_finding(check_record& record, check_finding finding) {
    ++record.finding_count;
    if (record.findings.size() < check_record::findings_max) {
        record.findings.push_back(std::move(finding));
    }
}

// Findings from what the pass saw on each line: a key but for blanks around
// it, an unknown LWM2M_ name, a key set again, a quote never closed, text
// after the last quote, a line longer than a value is read from, a carriage
// return or zero byte inside a line.

// Levenshtein distance, letters compared in upper case.
std::size_t distance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    std::iota(row.begin(), row.end(), std::size_t{0});
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            const bool same = settings_name_is(a.substr(i - 1, 1), b.substr(j - 1, 1));
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::string_view nearest_key(std::string_view name) {
    std::string_view nearest;
    std::size_t best = SIZE_MAX;
    for (const module_key& key : module_keys) {
        if (const std::size_t d = distance(name, key.name); d < best) {
            best = d;
            nearest = key.name;
        }
    }
    return nearest;
}

std::string quoted(std::string_view text) {
    return joined({"\"", shown_plainly(text), "\""});
}

// "1 byte", "2 bytes".
std::string counted(std::uint64_t number, std::string_view thing) {
    return joined({std::to_string(number), " ", thing, number == 1 ? "" : "s"});
}

// The CSV's bytes outside the base64 alphabet, in words.
std::string strays_of(const csv_facts& facts) {
    return joined({counted(facts.strays, "byte"),
                   " outside the base64 alphabet (padding aside) passed over, the first at "
                   "character ",
                   std::to_string(facts.first_stray.value_or(0) + 1)});
}

std::string octal_mode(mode_t mode) {
    std::array<char, 8> text{};
    static_cast<void>(std::snprintf(text.data(), text.size(), "%04o", mode & 07777U));
    return text.data();
}

// "regular file, 573 bytes, mode 0600, owner uid 0", or what else it is.
std::string described(const struct stat& status) {
    const std::string_view kind = S_ISREG(status.st_mode)    ? "regular file"
                                  : S_ISDIR(status.st_mode)  ? "directory, not a regular file"
                                  : S_ISFIFO(status.st_mode) ? "FIFO, not a regular file"
                                  : S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode)
                                      ? "device, not a regular file"
                                      : "not a regular file";
    return joined({kind, ", ", std::to_string(status.st_size), " bytes, mode ",
                   octal_mode(status.st_mode), ", owner uid ", std::to_string(status.st_uid)});
}

// What the walk found at a work directory's path.
std::string found_at(const dir_found& found) {
    const struct stat& status = found.status;
    if (!found.looked) {
        return "not looked at";
    }
    if (found.error == ENOENT) {
        return found.make_error != 0 ? joined({"not there, and a start can't make it: ",
                                               std::strerror(found.make_error)})
                                     : "not there: a start makes it";
    }
    if (found.error != 0) {
        return std::strerror(found.error);
    }
    if (S_ISLNK(status.st_mode)) {
        return "a symbolic link";
    }
    return joined({S_ISDIR(status.st_mode) ? "a directory of uid " : "not a directory, of uid ",
                   std::to_string(status.st_uid), ", mode ", octal_mode(status.st_mode)});
}

// The process whose program is the client's, if one runs: /proc shows
// each process's executable, which no argument of another can fake (and
// /proc/self's is the launcher's).
std::optional<std::string> running_client() {
    const unique_fd proc(::open("/proc", O_RDONLY | O_DIRECTORY | O_NOCTTY | O_CLOEXEC));
    std::vector<std::string> names;
    if (!proc || list_directory(proc.get(), names) != 0) {
        return std::nullopt;
    }
    std::array<char, 64> target{};
    const std::string_view wanted = client_program;
    for (const std::string& name : names) {
        const ssize_t size =
            ::readlinkat(proc.get(), (name + "/exe").c_str(), target.data(), target.size());
        if (size >= 0 &&
            std::string_view(target.data(), static_cast<std::size_t>(size)) == wanted) {
            return name;
        }
    }
    return std::nullopt;
}

// Whether /proc lets every local user read every command line, the client's
// key included: without hidepid, or hidepid=0 ("off"), on the last mount on
// /proc; a mount table that can't be read says nothing.
bool proc_shows_command_lines() {
    const unique_fd table(::open("/proc/self/mountinfo", O_RDONLY | O_NOCTTY | O_CLOEXEC));
    std::string text;
    std::array<char, 4096> chunk{};
    ssize_t size = 0;
    constexpr std::size_t table_limit = 1 << 20;
    while (table && text.size() < table_limit &&
           (size = ::read(table.get(), chunk.data(), chunk.size())) > 0) {
        text.append(chunk.data(), static_cast<std::size_t>(size));
    }
    bool shows = false;
    std::string_view rest = text;
    while (!rest.empty()) {
        const std::string_view line = rest.substr(0, rest.find('\n'));
        rest.remove_prefix(std::min(rest.size(), line.size() + 1));
        // ID PARENT MAJOR:MINOR ROOT MOUNT_POINT ... - TYPE SOURCE OPTIONS
        std::string_view fields = line;
        for (int skipped = 0; skipped < 4 && !fields.empty(); ++skipped) {
            fields.remove_prefix(std::min(fields.size(), fields.find(' ') + 1));
        }
        const std::size_t separator = line.find(" - proc ");
        if (!fields.starts_with("/proc ") || separator == std::string_view::npos) {
            continue;
        }
        std::string_view options = line.substr(separator + 8);
        options = options.substr(std::min(options.size(), options.find(' ') + 1));
        const std::size_t hidepid = options.find("hidepid=");
        const std::string_view level =
            hidepid == std::string_view::npos ? "0" : options.substr(hidepid + 8);
        shows = level.starts_with("0") || level.starts_with("off");
    }
    return shows;
}

// The findings of one line whose key is `name`, an ordinary key's value
// being read from the line's first piece only.
void key_findings(const settings_line& line, const std::string& name, bool whole_line,
                  const std::function<void(std::string_view, std::string)>& say) {
    const std::uint64_t text_end = whole_line ? line.text_end : line.piece_text_end;
    const auto last_quote = whole_line ? line.last_quote : line.piece_last_quote;
    if (!whole_line && line.length > settings_piece_max) {
        say("line_too_long",
            joined({name, ": its line is ", counted(line.length, "character"),
                    " long; only the first ", std::to_string(settings_piece_max), " are read"}));
    }
    const std::size_t value_start = name.size() + 1;
    const bool opens_quote =
        value_start < text_end && value_start < line.head.size() && line.head[value_start] == '"';
    if (opens_quote && last_quote == value_start) {
        say("quote_never_closed",
            joined(
                {name, ": the quote that opens its value is never closed, so the value is empty"}));
    } else if (last_quote && *last_quote + 1 < text_end) {
        say("text_after_last_quote",
            joined({name, ": ", counted(text_end - *last_quote - 1, "character"),
                    " after its last quote dropped"}));
    }
}

}  // namespace

std::string shown_plainly(std::string_view text) {
    std::string shown;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F) {
            append(shown, {"\\x", hex_upper(std::string_view(&c, 1))});
        } else {
            shown += c;
        }
    }
    return shown;
}

namespace {

settings_line_observer finding_observer(check_record& record) {
    std::array<std::uint64_t, module_keys.size()> first_line{};
    return [&record, first_line](const settings_line& line) mutable {
        const auto say = [&](std::string_view id, std::string text) {
            add_finding(record, {line.number, id, std::move(text)});
        };
        const std::string at = " at character " + std::to_string(line.text_end + 1);
        if (line.cut_by == '\0') {
            say("zero_byte_in_line", "a zero byte" + at + " ends the line there");
        } else if (line.cut_by == '\r' && line.text_end + 1 < line.length) {
            say("carriage_return_in_line", "a carriage return" + at + " ends the line there");
        }
        if (line.key) {
            const module_key& key = module_keys[*line.key];
            const std::string name(key.name);
            if (line.first) {
                first_line[*line.key] = line.number;
                key_findings(line, name, key.place != nullptr, say);
            } else {
                say("key_set_again", name + " again: line " +
                                         std::to_string(first_line[*line.key]) +
                                         ", the first, is the one that counts");
            }
            return;
        }
        const std::string_view text = line.head.substr(
            0, static_cast<std::size_t>(std::min<std::uint64_t>(line.text_end, line.head.size())));
        const auto equals = text.find('=');
        if (equals == std::string_view::npos) {
            return;
        }
        const std::string_view name = text.substr(0, equals);
        const auto first = std::min(name.find_first_not_of(" \t"), name.size());
        const std::string_view bare = name.substr(first, name.find_last_not_of(" \t") + 1 - first);
        const auto* const key = std::find_if(
            module_keys.begin(), module_keys.end(),
            [bare](const module_key& known) { return settings_name_is(bare, known.name); });
        if (bare.size() != name.size() && key != module_keys.end()) {
            say("blanks_around_key", quoted(name) + " is not " + std::string(key->name) +
                                         ": the blanks around it make it another name");
            return;
        }
        if (name.size() >= 6 && settings_name_is(name.substr(0, 6), "LWM2M_")) {
            // The nearest key costs a little: only for a finding that is
            // shown, and a name that could be near one.
            if (record.findings.size() >= check_record::findings_max) {
                ++record.finding_count;
                return;
            }
            say("unknown_key",
                quoted(name) + " is no key the launcher reads" +
                    (name.size() <= 32 ? "; the nearest is " + std::string(nearest_key(name))
                                       : ""));
        }
    };
}

// Each setting as the report shows it, with the findings on its value.
void read_settings(check_record& record) {
    const module_settings_read& read = record.plan.read;
    const module_settings& settings = read.settings;
    for (std::size_t i = 0; i < module_keys.size(); ++i) {
        const module_key& key = module_keys[i];
        const settings_value& value = read.values[i];
        std::string& shown = record.shown[i];
        if (key.text == &module_settings::psk && !value.text.empty()) {
            shown =
                settings.psk_hex != 0 ? "set, not shown; passed in hexadecimal" : "set, not shown";
        } else if (key.place != nullptr) {
            shown = joined({std::to_string(value.place.length), " characters of base64"});
        } else if (key.number != nullptr) {
            shown = std::to_string(settings.*key.number);
            if (value.found && shown != value.text) {
                add_finding(record,
                            {value.line, "number_read_otherwise",
                             joined({key.name, "=", quoted(value.text), " is read as ", shown})});
            }
        } else {
            shown = quoted(value.text);
        }
    }
    if (settings.psk.empty() != settings.psk_id.empty()) {
        add_finding(record,
                    settings.psk.empty()
                        ? check_finding{0, "identity_without_key",
                                        "LWM2M_PSK_ID is set but LWM2M_PSK is not: neither -i "
                                        "nor -s is passed"}
                        : check_finding{0, "key_without_identity",
                                        "LWM2M_PSK is set but LWM2M_PSK_ID is not: neither -i "
                                        "nor -s is passed"});
    }
    if (record.strict && !read.values[key_index("LWM2M_ENABLE")].found) {
        add_finding(record, {0, "enable_not_set",
                             "LWM2M_ENABLE is not set: a start sees a disabled module"});
    }
    if (record.strict && !read.values[key_index("LWM2M_CSV")].found) {
        add_finding(record,
                    {0, "csv_not_set", "LWM2M_CSV is not set: a start finds no CSV configuration"});
    }
    if (const csv_facts& facts = record.plan.facts; facts.strays != 0) {
        add_finding(record, {read.values[key_index("LWM2M_CSV")].line, "csv_bytes_outside_base64",
                             joined({"LWM2M_CSV: ", strays_of(facts), " of its value"})});
    }
}

// What a start would do, and what it would meet.
void plan_steps(check_record& record) {
    const start_plan& plan = record.plan;
    const std::string_view etc = work_dir;
    const auto step = [&record](std::string text, bool command = false) {
        record.steps.push_back({std::move(text), command});
    };
    if (plan.outcome == start_outcome::work_dir_refused) {
        step(joined({"refuse to work in ", etc, " (", plan.work.refusal, ")"}));
    } else if (plan.outcome != start_outcome::launcher_short) {
        if (const std::size_t count = plan.work.dotted.removed; count != 0) {
            step(joined({"remove ", std::to_string(count), count == 1 ? " entry" : " entries",
                         " of ", etc, " whose names hold a dot"}));
        }
        for (const kept_entry& kept : plan.work.dotted.kept) {
            step(joined({"fail to remove ", etc, "/", kept.name, ": ", kept.why}));
        }
        if (plan.csv == csv_outcome::not_written) {
            step(joined({"fail to create ", csv_config_path, ": ",
                         std::strerror(plan.work.csv_create_error)}));
        }
        step(plan.outcome == start_outcome::no_csv_config
                 ? "find no CSV configuration and log \"Can't find CSV config file in Plugwell\""
                 : joined(
                       {"write ", csv_config_path, " (", counted(plan.facts.bytes, "byte"), ")"}));
        if (plan.outcome == start_outcome::module_disabled) {
            step("log \"Quorvane is disabled.\": the module is disabled");
        } else if (plan.outcome != start_outcome::no_csv_config) {
            step("log the client's command line (the key masked here):", true);
            step(plan.outcome == start_outcome::client_started ? "start the client"
                                                               : "fail to start it");
        }
    }
    if (!plan.reason.empty()) {
        step(joined({"say \"client not started: ", plan.reason, "\""}));
    }
    step(joined({"and exit with status ", std::to_string(exit_status_of(plan.outcome))}));
}

void report_csv(const start_plan& plan, std::string& report) {
    const settings_place place = plan.read.settings.csv;
    const csv_facts& facts = plan.facts;
    report += "\nCSV configuration\n";
    if (place.length == 0) {
        report += "  none: LWM2M_CSV is missing or empty\n";
    } else {
        append(report, {"  ", std::to_string(place.length), " characters of base64 give ",
                        counted(facts.bytes, "byte"), " for ", csv_config_path, "\n"});
    }
    if (facts.ends_at_zero) {
        report += "  a zero byte ends it there: what follows is not written\n";
    }
    if (facts.strays != 0) {
        append(report, {"  ", strays_of(facts), "\n"});
    }
    if (plan.csv == csv_outcome::unreadable) {
        report += "  can't be read whole: the file changed or failed while it was read\n";
    }
}

}  // namespace

check_record make_check_record(const char* path, bool strict) {
    check_record record;
    record.path = path;
    record.strict = strict;
    start_plan& plan = record.plan;
    if (strict) {
        plan.read = load_module_settings(path, finding_observer(record));
        plan.csv = foresee_csv_config(plan.read.file, plan.read.settings.csv, plan.facts);
    } else {
        plan = take_start_steps(path, step_mode::foresee, finding_observer(record));
    }
    if (!plan.read.status.ok()) {
        record.status = 1;
        return record;
    }
    read_settings(record);
    // By line, in the order they were found: the pass finds them line by
    // line, and the few found after it go where their line is.
    std::vector<check_finding>& findings = record.findings;
    for (std::size_t i = 1; i < findings.size(); ++i) {
        for (std::size_t j = i; j > 0 && findings[j].line < findings[j - 1].line; --j) {
            std::swap(findings[j], findings[j - 1]);
        }
    }
    if (strict) {
        record.status = record.finding_count == 0 ? 0 : 3;
        return record;
    }
    plan_steps(record);
    record.running_client = running_client();
    record.settings_exposed =
        (plan.read.file.status.st_mode & S_IROTH) != 0 && !plan.read.settings.psk.empty();
    record.proc_exposed = proc_shows_command_lines();
    record.status = exit_status_of(plan.outcome);
    return record;
}

std::string text_report(const check_record& record) {
    const start_plan& plan = record.plan;
    std::string report = joined({"Settings file ", shown_plainly(record.path), "\n"});
    if (const struct stat& status = plan.read.file.status; status.st_mode != 0) {
        append(report, {"  ", described(status), "\n"});
    }
    if (!plan.read.status.ok()) {
        append(report, {"  can't be read: ", settings_status_text(plan.read.status), "\n"});
        return report;
    }
    report += "  readable\n\nSettings, as a start reads them\n";
    for (std::size_t i = 0; i < module_keys.size(); ++i) {
        const settings_value& value = plan.read.values[i];
        std::string row = joined({"  ", module_keys[i].name});
        row.resize(24, ' ');
        append(report, {row, "= ", record.shown[i],
                        value.found ? joined({"  (line ", std::to_string(value.line), ")\n"})
                                    : "  (not set: the default)\n"});
    }
    report_csv(plan, report);
    report += "\nFindings\n";
    for (const check_finding& finding : record.findings) {
        append(
            report,
            {"  ", finding.line != 0 ? joined({"line ", std::to_string(finding.line), ": "}) : "",
             finding.message, "\n"});
    }
    if (record.finding_count == 0) {
        report += "  none\n";
    } else if (record.finding_count > record.findings.size()) {
        append(report, {"  and ", std::to_string(record.finding_count - record.findings.size()),
                        " more\n"});
    }
    if (record.strict) {
        return report;
    }
    report += "\nA start would\n";
    for (const check_step& step : record.steps) {
        append(report, {"  ", shown_plainly(step.text), "\n"});
        if (step.shows_command) {
            append(report, {"    ", shown_plainly(masked_line(plan.command)), "\n"});
        }
    }
    const exec_forecast& client = plan.client;
    append(report, {"\nOn this gateway\n  ", client_program, ": ",
                    client.error != 0 ? std::strerror(client.error) : "executable",
                    client.handler.empty() ? "" : " (run by binfmt_misc's ", client.handler,
                    client.handler.empty() ? "" : ")", "\n"});
    append(report, {"  ", work_root, ": ", found_at(plan.work.root), "\n", "  ", work_dir, ": ",
                    found_at(plan.work.etc), "\n"});
    if (record.running_client) {
        append(report, {"  a client is already running (pid ", *record.running_client, ")\n"});
    }
    if (record.settings_exposed) {
        report += "  the settings file is readable by others: the key is exposed\n";
    }
    if (record.proc_exposed) {
        report +=
            "  /proc shows every process's command line, the client's key included, to every "
            "local user: mount it with hidepid=invisible\n";
    }
    return report;
}
