// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "csv_config.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "base64.h"
#include "complain.h"
#include "file_io.h"

namespace {

// Decodes the base64 text at `place` in the settings `file` and hands the
// bytes, up to the first zero byte, to `take` chunk by chunk, until that
// byte or until `take` returns false. The status of reading the file;
// fills `facts` when given.
settings_status decode_csv_config(const settings_file& file, settings_place place,
                                  const std::function<bool(std::string_view)>& take,
                                  csv_facts* facts = nullptr) {
    csv_facts seen;
    base64_stream stream;
    const auto out = std::make_unique_for_overwrite<char[]>(base64_decoded_size_max(
        static_cast<std::size_t>(std::min<std::uint64_t>(place.length, settings_buffer_size) + 3)));
    bool more = true;
    // Hands on decoded bytes up to the first zero byte; false once done.
    const auto pass_on = [&](std::size_t count) {
        const std::string_view bytes = std::string_view(out.get(), count);
        const std::string_view text = bytes.substr(0, bytes.find('\0'));
        seen.bytes += text.size();
        seen.ends_at_zero = text.size() < bytes.size();
        more = take(text) && !seen.ends_at_zero;
        return more;
    };
    std::uint64_t taken = 0;
    // Nothing to read for an empty value (the file may not even be open).
    const settings_status read =
        place.length == 0 ? settings_status()
                          : settings_read_place(file, place, [&](std::string_view base64) {
                                if (facts != nullptr) {
                                    for (std::size_t i = 0; i < base64.size(); ++i) {
                                        if (!base64_is_digit(base64[i]) && base64[i] != '=') {
                                            seen.first_stray = seen.first_stray.value_or(taken + i);
                                            ++seen.strays;
                                        }
                                    }
                                    taken += base64.size();
                                }
                                return pass_on(base64_decode_chunk(stream, base64, out.get()));
                            });
    if (read.ok() && more) {
        pass_on(base64_decode_end(stream, out.get()));
    }
    if (facts != nullptr) {
        *facts = seen;
    }
    return read;
}

csv_outcome outcome_of(settings_place place, const settings_status& read, std::uint64_t bytes) {
    return place.length == 0 ? csv_outcome::missing
           : !read.ok()      ? csv_outcome::unreadable
           : bytes == 0      ? csv_outcome::no_bytes
                             : csv_outcome::written;
}

}  // namespace

csv_outcome foresee_csv_config(const settings_file& file, settings_place place, csv_facts& facts) {
    const settings_status read = decode_csv_config(
        file, place, [](std::string_view) { return true; }, &facts);
    return outcome_of(place, read, facts.bytes);
}

csv_outcome write_csv_config(const settings_file& file, settings_place place, const char* path,
                             const char* settings_path) {
    // Created at the first byte, so that a CSV that decodes to nothing
    // leaves no file.
    unique_fd csv;
    std::uint64_t bytes = 0;
    int write_error = 0;
    const settings_status read = decode_csv_config(file, place, [&](std::string_view decoded) {
        if (decoded.empty()) {
            return true;
        }
        if (!csv) {
            // Made anew, never written through whatever came back after the
            // walk (a link to a file elsewhere), and writable by nobody else
            // whatever the umask: the client trusts what it reads here.
            csv = unique_fd(::open(
                path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0644));
            if (!csv) {
                write_error = errno;
                complain({"can't create ", path, ": ", std::strerror(write_error)});
                return false;
            }
        }
        bytes += decoded.size();
        write_error = write_all(csv.get(), decoded);
        return write_error == 0;
    });
    const bool created = static_cast<bool>(csv);
    if (const int closed = csv.close(); write_error == 0) {
        write_error = closed;
    }
    const csv_outcome outcome = write_error == EEXIST ? csv_outcome::still_there
                                : write_error != 0    ? csv_outcome::not_written
                                                      : outcome_of(place, read, bytes);
    if (outcome != csv_outcome::not_written && outcome != csv_outcome::unreadable) {
        return outcome;
    }
    if (created) {
        ::unlink(path);
    }
    if (created || outcome == csv_outcome::unreadable) {
        const std::string reason = write_error != 0 ? std::strerror(write_error)
                                   : read.verdict == settings_verdict::failed
                                       ? std::strerror(read.error)
                                       : joined({settings_path, " changed while it was read"});
        complain({"can't write ", path, created ? ", removed it: " : ": ", reason});
    }
    return outcome;
}
