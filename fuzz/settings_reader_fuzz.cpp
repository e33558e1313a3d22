// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// Settings reader on arbitrary file bytes: every getter with several keys,
// one of them taken from the file itself. Values never hold a line end;
// numbers agree with the text; the two text getters agree wherever every
// line fits the ordinary buffer.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "settings_reader.h"

namespace {

bool every_line_fits(std::string_view text) {
    std::size_t start = 0;
    while (start <= text.size()) {
        const auto end = std::min(text.find('\n', start), text.size());
        if (end - start > lookup_line_max) {
            return false;
        }
        start = end + 1;
    }
    return true;
}

void check_key(settings_handle& handle, std::string_view text, std::string_view key,
               bool lines_fit) {
    const std::string plain = settings_get_string(handle, key);
    const std::string whole = settings_get_long_string(handle, key);
    const std::uint32_t number = settings_get_uint(handle, key);
    for (const auto& value : {plain, whole}) {
        FUZZ_CHECK(value.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos);
        FUZZ_CHECK(text.find(value) != std::string_view::npos);
    }
    FUZZ_CHECK(plain.size() <= lookup_line_max);
    FUZZ_CHECK(number == parse_setting_uint(plain));
    if (lines_fit) {
        FUZZ_CHECK(plain == whole);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const int fd = ::memfd_create("settings", MFD_CLOEXEC);
    FUZZ_CHECK(fd >= 0);
    FUZZ_CHECK(::write(fd, data, size) == static_cast<ssize_t>(size));
    const std::string path = "/proc/self/fd/" + std::to_string(fd);

    settings_handle handle = settings_open(path.c_str());
    FUZZ_CHECK(handle);
    const bool lines_fit = every_line_fits(text);
    const std::string_view own_key =
        text.substr(0, std::min(text.find_first_of("=\n"), std::size_t{64}));
    for (const std::string_view key :
         {own_key, std::string_view("LWM2M_CSV"), std::string_view("k"), std::string_view(""),
          std::string_view("A=B")}) {
        check_key(handle, text, key, lines_fit);
    }
    handle.position = 0;
    std::size_t found = 0;
    while (settings_find(handle, own_key)) {
        FUZZ_CHECK(++found <= size);
    }
    settings_close(handle);
    ::close(fd);
    return 0;
}
