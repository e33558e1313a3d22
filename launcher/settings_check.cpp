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

// Something whose meaning the lenient rules change, with its line (0: none).
struct settings_finding {
    std::uint64_t line = 0;
    std::string text;
};

// The first `shown_max` findings kept, all counted: a file of millions of
// odd lines costs no more memory than a few.
struct settings_findings {
    static constexpr std::size_t shown_max = 100;
    std::vector<settings_finding> shown;
    std::uint64_t count = 0;

    bool full() const { return shown.size() >= shown_max; }
    void add(settings_finding finding);
};

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

// What is at a work directory's path now.
std::string looked_at(const char* path) {
    struct stat status {};
    if (::lstat(path, &status) != 0) {
        return errno == ENOENT ? "not there: a start makes it" : std::strerror(errno);
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
                  const std::function<void(std::string)>& say) {
    const std::uint64_t text_end = whole_line ? line.text_end : line.piece_text_end;
    const auto last_quote = whole_line ? line.last_quote : line.piece_last_quote;
    if (!whole_line && line.length > settings_piece_max) {
        say(joined({name, ": its line is ", counted(line.length, "character"),
                    " long; only the first ", std::to_string(settings_piece_max), " are read"}));
    }
    const std::size_t value_start = name.size() + 1;
    const bool opens_quote =
        value_start < text_end && value_start < line.head.size() && line.head[value_start] == '"';
    if (opens_quote && last_quote == value_start) {
        say(joined(
            {name, ": the quote that opens its value is never closed, so the value is empty"}));
    } else if (last_quote && *last_quote + 1 < text_end) {
        say(joined({name, ": ", counted(text_end - *last_quote - 1, "character"),
                    " after its last quote dropped"}));
    }
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

namespace {

void settings_findings::add(settings_finding finding) {
    ++count;
    if (!full()) {
        shown.push_back(std::move(finding));
    }
}

settings_line_observer finding_observer(settings_findings& findings) {
    std::array<std::uint64_t, module_keys.size()> first_line{};
    return [&findings, first_line](const settings_line& line) mutable {
        const auto say = [&](std::string text) { findings.add({line.number, std::move(text)}); };
        const std::string at = " at character " + std::to_string(line.text_end + 1);
        if (line.cut_by == '\0') {
            say("a zero byte" + at + " ends the line there");
        } else if (line.cut_by == '\r' && line.text_end + 1 < line.length) {
            say("a carriage return" + at + " ends the line there");
        }
        if (line.key) {
            const module_key& key = module_keys[*line.key];
            const std::string name(key.name);
            if (line.first) {
                first_line[*line.key] = line.number;
                key_findings(line, name, key.place != nullptr, say);
            } else {
                say(name + " again: line " + std::to_string(first_line[*line.key]) +
                    ", the first, is the one that counts");
            }
            return;
        }
        const std::string_view text = line.head.substr(0, line.text_end);
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

// One row per key, in the table's order, with the findings on its value.
void report_settings(const module_settings_read& read, bool strict, settings_findings& findings,
                     std::string& report) {
    const module_settings& settings = read.settings;
    report += "\nSettings, as a start reads them\n";
    for (std::size_t i = 0; i < module_keys.size(); ++i) {
        const module_key& key = module_keys[i];
        const settings_value& value = read.values[i];
        std::string shown;
        if (key.text == &module_settings::psk && !value.text.empty()) {
            shown =
                settings.psk_hex != 0 ? "set, not shown; passed in hexadecimal" : "set, not shown";
        } else if (key.place != nullptr) {
            shown = joined({std::to_string(value.place.length), " characters of base64"});
        } else if (key.number != nullptr) {
            shown = std::to_string(settings.*key.number);
            if (value.found && shown != value.text) {
                findings.add({value.line,
                              joined({key.name, "=", quoted(value.text), " is read as ", shown})});
            }
        } else {
            shown = quoted(value.text);
        }
        std::string row = joined({"  ", key.name});
        row.resize(24, ' ');
        const std::string line = value.found
                                     ? joined({"  (line ", std::to_string(value.line), ")\n"})
                                     : "  (not set: the default)\n";
        append(report, {row, "= ", shown, line});
    }
    if (settings.psk.empty() != settings.psk_id.empty()) {
        findings.add(
            {0, settings.psk.empty()
                    ? "LWM2M_PSK_ID is set but LWM2M_PSK is not: neither -i nor -s is passed"
                    : "LWM2M_PSK is set but LWM2M_PSK_ID is not: neither -i nor -s is passed"});
    }
    if (strict && !read.values[key_index("LWM2M_ENABLE")].found) {
        findings.add({0, "LWM2M_ENABLE is not set: a start sees a disabled module"});
    }
    if (strict && !read.values[key_index("LWM2M_CSV")].found) {
        findings.add({0, "LWM2M_CSV is not set: a start finds no CSV configuration"});
    }
}

// The CSV as the decoder of a start finds it; its bytes are only counted.
void report_csv(const start_plan& plan, settings_findings& findings, std::string& report) {
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
        const std::string strays = joined(
            {counted(facts.strays, "byte"),
             " outside the base64 alphabet (padding aside) passed over, the first at character ",
             std::to_string(*facts.first_stray + 1)});
        append(report, {"  ", strays, "\n"});
        findings.add({plan.read.values[key_index("LWM2M_CSV")].line,
                      joined({"LWM2M_CSV: ", strays, " of its value"})});
    }
    if (plan.csv == csv_outcome::unreadable) {
        report += "  can't be read whole: the file changed or failed while it was read\n";
    }
}

void report_findings(settings_findings& findings, std::string& report) {
    report += "\nFindings\n";
    // By line, in the order they were found: the pass finds them line by
    // line, and the few found after it go where their line is.
    std::vector<settings_finding>& shown = findings.shown;
    for (std::size_t i = 1; i < shown.size(); ++i) {
        for (std::size_t j = i; j > 0 && shown[j].line < shown[j - 1].line; --j) {
            std::swap(shown[j], shown[j - 1]);
        }
    }
    for (const settings_finding& finding : shown) {
        append(
            report,
            {"  ", finding.line != 0 ? joined({"line ", std::to_string(finding.line), ": "}) : "",
             finding.text, "\n"});
    }
    if (findings.count == 0) {
        report += "  none\n";
    } else if (findings.count > shown.size()) {
        append(report, {"  and ", std::to_string(findings.count - shown.size()), " more\n"});
    }
}

// What a start would do, and what it would meet.
void report_plan(const start_plan& plan, std::string& report) {
    const std::string_view etc = work_dir;
    report += "\nA start would\n";
    if (plan.outcome == start_outcome::work_dir_refused) {
        append(report, {"  refuse to work in ", etc, " (", plan.work.refusal, ")\n"});
    } else {
        if (const std::size_t count = plan.work.dotted.removed; count != 0) {
            append(report, {"  remove ", std::to_string(count), count == 1 ? " entry" : " entries",
                            " of ", etc, " whose names hold a dot\n"});
        }
        for (const kept_entry& kept : plan.work.dotted.kept) {
            append(report, {"  fail to remove ", etc, "/", shown_plainly(kept.name), ": ",
                            shown_plainly(kept.why), "\n"});
        }
        if (plan.csv == csv_outcome::not_written) {
            append(report, {"  fail to create ", csv_config_path, ": ",
                            std::strerror(plan.work.csv_create_error), "\n"});
        }
        if (plan.outcome == start_outcome::no_csv_config) {
            report +=
                "  find no CSV configuration and log \"Can't find CSV config file in Plugwell\"\n";
        } else {
            append(report,
                   {"  write ", csv_config_path, " (", counted(plan.facts.bytes, "byte"), ")\n"});
        }
        if (plan.outcome == start_outcome::module_disabled) {
            report += "  log \"Quorvane is disabled.\": the module is disabled\n";
        } else if (plan.outcome != start_outcome::no_csv_config) {
            append(report,
                   {"  log the client's command line (the key masked here):\n    ",
                    shown_plainly(masked_line(plan.command)), "\n",
                    plan.outcome == start_outcome::client_started ? "  start the client\n"
                                                                  : "  fail to start it\n"});
        }
    }
    if (!plan.reason.empty()) {
        append(report, {"  say \"client not started: ", shown_plainly(plan.reason), "\"\n"});
    }
    append(report, {"  and exit with status ", std::to_string(exit_status_of(plan.outcome)), "\n",
                    "\nOn this gateway\n  ", client_program, ": ",
                    plan.client.error != 0 ? std::strerror(plan.client.error) : "executable",
                    plan.client.handler.empty() ? "" : " (run by binfmt_misc's ",
                    plan.client.handler, plan.client.handler.empty() ? "" : ")", "\n",
                    "  ", work_root, ": ", looked_at(work_root), "\n", "  ", etc, ": ",
                    looked_at(work_dir), "\n"});
    if (const auto pid = running_client()) {
        append(report, {"  a client is already running (pid ", *pid, ")\n"});
    }
    if ((plan.read.file.status.st_mode & S_IROTH) != 0 && !plan.read.settings.psk.empty()) {
        report += "  the settings file is readable by others: the key is exposed\n";
    }
    if (proc_shows_command_lines()) {
        report +=
            "  /proc shows every process's command line, the client's key included, to every "
            "local user: mount it with hidepid=invisible\n";
    }
}

}  // namespace

int check_settings(const char* path, bool strict, std::string& report) {
    settings_findings findings;
    start_plan plan;
    if (strict) {
        plan.read = load_module_settings(path, finding_observer(findings));
        plan.csv = foresee_csv_config(plan.read.file, plan.read.settings.csv, plan.facts);
    } else {
        plan = take_start_steps(path, step_mode::foresee, finding_observer(findings));
    }
    report = joined({"Settings file ", shown_plainly(path), "\n"});
    if (const struct stat& status = plan.read.file.status; status.st_mode != 0) {
        append(report, {"  ", described(status), "\n"});
    }
    if (const settings_status& read = plan.read.status; !read.ok()) {
        append(report, {"  can't be read: ", settings_status_text(read), "\n"});
        return 1;
    }
    report += "  readable\n";
    report_settings(plan.read, strict, findings, report);
    report_csv(plan, findings, report);
    report_findings(findings, report);
    if (strict) {
        return findings.count == 0 ? 0 : 3;
    }
    report_plan(plan, report);
    return exit_status_of(plan.outcome);
}
