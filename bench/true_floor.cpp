// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// The work no launcher can avoid with a large CSV, as one program: the two
// fixed shell commands, the settings file read once through a 64 KiB
// buffer, the LWM2M_CSV line decoded and written to config.csv chunk by
// chunk, and the start of one program in the background. It knows the
// benchmark's settings (no quotes, the key at the start of its line) and
// checks nothing else. Whole-process figures of the launcher are given as a
// ratio to this too.
#include <fcntl.h>
#include <unistd.h>

#include <string_view>
#include <vector>

#include "base64.h"
#include "file_io.h"
#include "floor_steps.h"

int main() {
    run_fixed_commands();
    const int settings = ::open("/opt/Quorvane/etc/settings", O_RDONLY | O_CLOEXEC);
    const int csv =
        ::open("/tmp/lwm2m/etc/config.csv", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    std::vector<char> in(std::size_t{64} << 10);
    std::vector<char> out(base64_decoded_size_max(in.size() + 3));
    base64_stream stream;
    constexpr std::string_view key = "LWM2M_CSV=";
    bool line_start = true;
    bool in_csv = false;
    for (ssize_t got = 0; (got = ::read(settings, in.data(), in.size())) > 0;) {
        std::string_view chunk(in.data(), static_cast<std::size_t>(got));
        while (!chunk.empty()) {
            if (line_start && chunk.starts_with(key)) {
                in_csv = true;
                chunk.remove_prefix(key.size());
            }
            const auto line_feed = chunk.find('\n');
            const std::string_view part = chunk.substr(0, line_feed);
            if (in_csv) {
                write_all(csv, {out.data(), base64_decode_chunk(stream, part, out.data())});
            }
            line_start = line_feed != std::string_view::npos;
            in_csv = in_csv && !line_start;
            chunk.remove_prefix(line_start ? line_feed + 1 : chunk.size());
        }
    }
    write_all(csv, {out.data(), base64_decode_end(stream, out.data())});
    ::close(csv);
    ::close(settings);
    start_client();
    return 0;
}
