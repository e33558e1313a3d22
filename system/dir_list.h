// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// Listing a directory.
#pragma once

#include <string>
#include <vector>

// Appends to `names` every entry of the open directory `dir` but "." and
// "..", all read before the caller acts on any (a directory read while it
// changes may skip names), through `dir` itself: no descriptor of its own.
// 0, or the errno that kept it from reading the whole; what was read stays.
int list_directory(int dir, std::vector<std::string>& names);
