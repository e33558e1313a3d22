// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "csv_config.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "base64.h"
#include "complain.h"
#include "file_io.h"

int decode_csv_config(const settings_file& file, settings_place place,
                      const std::function<int(std::string_view)>& take, csv_facts* facts) {
    csv_facts seen;
    base64_stream stream;
    const auto out = std::make_unique_for_overwrite<char[]>(
        base64_decoded_size_max(std::min<std::uint64_t>(place.length, settings_buffer_size) + 3));
    int refused = 0;
    // Hands on decoded bytes up to the first zero byte; false once done.
    const auto pass_on = [&](std::size_t count) {
        const std::string_view bytes = std::string_view(out.get(), count);
        const std::string_view text = bytes.substr(0, bytes.find('\0'));
        seen.bytes += text.size();
        seen.ends_at_zero = text.size() < bytes.size();
        refused = take(text);
        return refused == 0 && !seen.ends_at_zero;
    };
    std::uint64_t read = 0;
    // Nothing to read for an empty value (the file may not even be open).
    const int error =
        place.length == 0 ? 0 : settings_read_place(file, place, [&](std::string_view base64) {
            if (facts != nullptr) {
                for (std::size_t i = 0; i < base64.size(); ++i) {
                    if (!base64_is_digit(base64[i]) && base64[i] != '=') {
                        seen.first_stray = seen.first_stray.value_or(read + i);
                        ++seen.strays;
                    }
                }
                read += base64.size();
            }
            return pass_on(base64_decode_chunk(stream, base64, out.get()));
        });
    if (error == 0 && refused == 0 && !seen.ends_at_zero) {
        pass_on(base64_decode_end(stream, out.get()));
    }
    if (facts != nullptr) {
        *facts = seen;
    }
    return error != 0 ? error : refused;
}

csv_outcome write_csv_config(const settings_file& file, settings_place place, const char* path,
                             const char* settings_path) {
    // Created at the first byte, so that a CSV that decodes to nothing
    // leaves no file.
    unique_fd csv;
    bool created = false;
    bool refused = false;
    const int error = decode_csv_config(file, place, [&](std::string_view bytes) {
        if (bytes.empty()) {
            return 0;
        }
        if (!created) {
            // Not through a link, and writable by nobody else whatever the
            // umask: the client trusts what it reads here.
            csv = unique_fd(
                ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644));
            if (!csv) {
                refused = true;
                return errno;
            }
            created = true;
        }
        return write_all(csv.get(), bytes);
    });
    if (refused) {
        complain({"can't create ", path, ": ", std::strerror(error)});
        return csv_outcome::failed;
    }
    const int closed = csv.close();
    const int failure = error != 0 ? error : closed;
    if (failure == 0) {
        return created ? csv_outcome::written : csv_outcome::empty;
    }
    const std::string reason = failure == ESTALE
                                   ? std::string(settings_path) + " changed while it was read"
                                   : std::string(std::strerror(failure));
    if (created) {
        ::unlink(path);
        complain({"can't write ", path, ", removed it: ", reason});
    } else {
        complain({"can't write ", path, ": ", reason});
    }
    return csv_outcome::failed;
}
