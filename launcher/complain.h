// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// The launcher's messages: on standard error, and made of parts.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

// Prints "lwm2m-launcher: ", the parts of the message, then "\n" on
// standard error, in one write. Allocates nothing, so it can also say that
// memory ran out. Parts beyond `complain_parts_max` are left out.
inline constexpr std::size_t complain_parts_max = 8;
void complain(std::initializer_list<std::string_view> message);

// The parts, one after the other, appended to `text`, or in a string of
// their own.
void append(std::string& text, std::initializer_list<std::string_view> parts);
std::string joined(std::initializer_list<std::string_view> parts);
