// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// The CSV configuration file that the client reads.
#pragma once

#include <string_view>

// Writes `decoded` up to its first zero byte to the file at `path`, created
// or truncated, no terminator or line end added. Writes nothing at all when
// that leaves no text. A file that can't be written whole is removed, so a
// partial configuration never reaches the client; the reason is printed on
// standard error.
void write_csv_config(std::string_view decoded, const char* path);
