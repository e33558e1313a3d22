// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// The CSV configuration that the client reads, decoded from the settings'
// base64 text chunk by chunk, as it is read: never held whole.
#pragma once

#include <cstdint>
#include <optional>

#include "settings_reader.h"

// What decoding the CSV configuration showed.
struct csv_facts {
    std::uint64_t bytes = 0;  // decoded, up to the first zero byte
    bool ends_at_zero = false;
    // Bytes outside the base64 alphabet, padding aside, passed over in the
    // text read, and where in it the first one stands.
    std::uint64_t strays = 0;
    std::optional<std::uint64_t> first_stray;
};

// What the CSV configuration in the settings gives.
enum class csv_outcome : unsigned char {
    missing,      // LWM2M_CSV is missing or empty
    no_bytes,     // it decodes to no bytes
    written,      // written to the file (foreseen: it would be)
    unreadable,   // the settings file changed or failed while it was read
    not_written,  // the file could not be created or written whole
    still_there,  // a file came back after the walk: never written through
};

// Decodes the CSV configuration at `place` in the settings `file`, as a
// start would before it writes it, and says what it gives and, in `facts`,
// what the decoding showed.
csv_outcome foresee_csv_config(const settings_file& file, settings_place place, csv_facts& facts);

// Writes the CSV configuration at `place` in the settings `file`, decoded,
// to `path` (created, where nothing may stand; nothing created when it
// decodes to no bytes). A file that can't be written whole is removed, so a partial one
// never reaches the client; what failed is said on standard error.
csv_outcome write_csv_config(const settings_file& file, settings_place place, const char* path,
                             const char* settings_path);
