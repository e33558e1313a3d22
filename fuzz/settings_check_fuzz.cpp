// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// The check report on arbitrary settings files. It never fails; it holds
// the command line a start would log, with the key masked, exactly when the
// plan says a start logs one, and never the key itself; its status is the
// plan's. Strict, it ends with 3 exactly when it lists a finding. The JSON
// is one JSON object and a line feed, and holds nothing of the key: with
// the key's every byte changed, it is the same.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "client_command.h"
#include "fuzz_check.h"
#include "json_parses.h"
#include "settings_check.h"
#include "start_plan.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int fd = ::memfd_create("settings", MFD_CLOEXEC);
    FUZZ_CHECK(fd >= 0);
    FUZZ_CHECK(::write(fd, data, size) == static_cast<ssize_t>(size));
    const std::string path = "/proc/self/fd/" + std::to_string(fd);

    const check_record record = make_check_record(path.c_str(), false);
    std::string report = text_report(record);
    const int status = record.status;
    const start_plan plan = take_start_steps(path.c_str(), step_mode::foresee);
    FUZZ_CHECK(status == exit_status_of(plan.outcome));
    const bool logged = plan.outcome == start_outcome::client_started ||
                        plan.outcome == start_outcome::client_failed;
    const std::string masked = masked_line(plan.command);
    FUZZ_CHECK(logged ==
               (report.find("\n    " + shown_plainly(masked) + "\n") != std::string::npos));
    if (masked != plan.command.line) {
        FUZZ_CHECK(report.find(shown_plainly(plan.command.line)) == std::string::npos);
    }

    const std::string json = json_report(record);
    FUZZ_CHECK(json_reader(json).whole() && json.starts_with("{\"format\":1,"));
    const settings_value& key = record.plan.read.values[key_index("LWM2M_PSK")];
    if (!key.text.empty()) {
        // The key's line, and its value after the name, "=" and a quote.
        std::string other(reinterpret_cast<const char*>(data), size);
        std::size_t at = 0;
        for (std::uint64_t line = 1; line < key.line; ++line) {
            at = other.find('\n', at) + 1;
        }
        at = other.find('=', at) + 1;
        at += other[at] == '"' ? 1U : 0U;
        for (std::size_t i = 0; i < key.text.size(); ++i) {
            other[at + i] = other[at + i] == 'a' ? 'b' : 'a';
        }
        FUZZ_CHECK(::pwrite(fd, other.data(), other.size(), 0) == static_cast<ssize_t>(size));
        const check_record changed = make_check_record(path.c_str(), false);
        FUZZ_CHECK(changed.plan.read.settings.psk != record.plan.read.settings.psk);
        FUZZ_CHECK(json_report(changed) == json);
        FUZZ_CHECK(::pwrite(fd, data, size, 0) == static_cast<ssize_t>(size));
    }

    const check_record strict_record = make_check_record(path.c_str(), true);
    report = text_report(strict_record);
    const int strict = strict_record.status;
    FUZZ_CHECK(strict == (report.find("\nFindings\n  none\n") != std::string::npos ? 0 : 3));
    ::close(fd);
    return 0;
}
